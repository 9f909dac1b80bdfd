# -DNM -DLIBRARY: the library's dynamic symbol table defines the qlx5100_*
# functions of the header and nothing else (the version node aside).
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(functions)
foreach(line ${lines})
  if(line MATCHES " T (qlx5100_[a-z_]+)(@@QLX5100_1)?$")
    list(APPEND functions ${CMAKE_MATCH_1})
  elseif(NOT line MATCHES " A QLX5100_1$")
    message(FATAL_ERROR "${LIBRARY} exports more than the C interface: ${line}")
  endif()
endforeach()
list(SORT functions)
set(expected qlx5100_analyze qlx5100_encode qlx5100_last_error qlx5100_result_count
  qlx5100_result_entry qlx5100_result_free qlx5100_result_json qlx5100_result_value
  qlx5100_result_xml qlx5100_set_log qlx5100_version)
if(NOT functions STREQUAL expected)
  message(FATAL_ERROR "${LIBRARY} exports\n  ${functions}\nexpected\n  ${expected}")
endif()
