# Runs the host example on one status block and compares what it prints with
# the expected XML. Windows programs print line ends as CR LF; the comparison
# is of the lines.
#
# Inputs (-D): RUN (the program, after the emulator if any), BLOCK, EXPECTED.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${RUN} ${BLOCK}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "the host example exited with ${rc}\n${out}\n${err}")
endif()
string(REPLACE "\r\n" "\n" out "${out}")
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/host-output.xml "${out}")
  message(FATAL_ERROR "the host example printed other XML than ${EXPECTED}:\n${out}")
endif()
message(STATUS "the host example printed ${EXPECTED}")
