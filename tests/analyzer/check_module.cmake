# What a built module shows the dynamic loader: exactly the expected exports
# (nm -D --defined-only; version nodes, type A, aside) and, when RUNPATH is
# given, that run path as DT_RUNPATH with no DT_RPATH, so LD_LIBRARY_PATH
# still comes first.
#
#   cmake -DNM=... -DREADELF=... -DMODULE=<file> -DEXPORTS=<a,b,...>
#         [-DRUNPATH=<path>] -P check_module.cmake
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(found)
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ ]+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    list(APPEND found ${CMAKE_MATCH_2})
  endif()
endforeach()
string(REPLACE "," ";" expected "${EXPORTS}")
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${MODULE} exports\n  ${found}\nexpected\n  ${expected}")
endif()

if(DEFINED RUNPATH)
  execute_process(COMMAND ${READELF} -d ${MODULE} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} failed on ${MODULE}")
  endif()
  if(dynamic MATCHES "\\(RPATH\\)")
    message(FATAL_ERROR "${MODULE} carries DT_RPATH, which LD_LIBRARY_PATH cannot override")
  endif()
  if(NOT dynamic MATCHES "\\(RUNPATH\\)[^\n]*\\[([^]\n]*)\\]" OR NOT CMAKE_MATCH_1 STREQUAL RUNPATH)
    message(FATAL_ERROR "${MODULE}: DT_RUNPATH is not ${RUNPATH}:\n${dynamic}")
  endif()
endif()
