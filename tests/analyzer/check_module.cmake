# What a built module shows the dynamic loader: exactly the expected exports
# and, when RUNPATH is given, that run path as DT_RUNPATH and no DT_RPATH, so
# that LD_LIBRARY_PATH still comes first.
#   cmake -DNM= -DREADELF= -DMODULE= -DEXPORTS=<a,b,...> [-DRUNPATH=] -P check_module.cmake
execute_process(COMMAND ${NM} -D --defined-only --just-symbols ${MODULE}
  OUTPUT_VARIABLE found COMMAND_ERROR_IS_FATAL ANY)
string(STRIP "${found}" found)
string(REPLACE "\n" ";" found "${found}")
string(REPLACE "," ";" expected "${EXPORTS}")
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${MODULE} exports\n  ${found}\nexpected\n  ${expected}")
endif()
if(DEFINED RUNPATH)
  execute_process(COMMAND ${READELF} -d ${MODULE} OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  if(dynamic MATCHES "\\(RPATH\\)" OR NOT dynamic MATCHES "\\(RUNPATH\\)[^\n]*\\[([^]\n]*)\\]"
     OR NOT CMAKE_MATCH_1 STREQUAL RUNPATH)
    message(FATAL_ERROR "${MODULE}: expected DT_RUNPATH ${RUNPATH} and no DT_RPATH:\n${dynamic}")
  endif()
endif()
