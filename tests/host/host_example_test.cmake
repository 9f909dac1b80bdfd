# Installs the build into a fresh prefix, configures and builds examples/host
# against that prefix only, runs it and checks what it prints.
#
# Inputs (-D): BUILD_DIR EXAMPLE_DIR WORK_DIR GENERATOR CXX_COMPILER
# BUILD_TYPE SANITIZE (comma-separated, may be empty) XMLLINT.
cmake_minimum_required(VERSION 3.25)

function(run)
  cmake_parse_arguments(RUN "" "OUTPUT_FILE;OUTPUT_VARIABLE;ERROR_VARIABLE;EXPECT" "COMMAND" ${ARGN})
  if(NOT DEFINED RUN_EXPECT)
    set(RUN_EXPECT 0)
  endif()
  set(extra)
  if(RUN_OUTPUT_FILE)
    list(APPEND extra OUTPUT_FILE ${RUN_OUTPUT_FILE})
  else()
    list(APPEND extra OUTPUT_VARIABLE out)
  endif()
  execute_process(COMMAND ${RUN_COMMAND} ${extra} ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc STREQUAL RUN_EXPECT)
    string(JOIN " " shown ${RUN_COMMAND})
    message(FATAL_ERROR "${shown}\nexited with ${rc}, expected ${RUN_EXPECT}\n${out}\n${err}")
  endif()
  if(RUN_OUTPUT_VARIABLE)
    set(${RUN_OUTPUT_VARIABLE} "${out}" PARENT_SCOPE)
  endif()
  if(RUN_ERROR_VARIABLE)
    set(${RUN_ERROR_VARIABLE} "${err}" PARENT_SCOPE)
  endif()
endfunction()

function(expect_xpath file expression expected)
  run(COMMAND ${XMLLINT} --xpath "${expression}" ${file} OUTPUT_VARIABLE value)
  string(STRIP "${value}" value)
  if(NOT value STREQUAL expected)
    message(FATAL_ERROR "${file}: ${expression} is '${value}', expected '${expected}'")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(configure -S ${EXAMPLE_DIR} -B ${build} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
if(SANITIZE)
  # The installed static libraries carry the sanitizer's instrumentation.
  list(APPEND configure "-DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE}")
endif()
run(COMMAND ${CMAKE_COMMAND} ${configure})
run(COMMAND ${CMAKE_COMMAND} --build ${build})

# The package must have come from the fresh prefix.
file(STRINGS ${build}/CMakeCache.txt package_dir REGEX "^OrvStatusAnalyzerQLX5100_DIR:")
string(FIND "${package_dir}" "${prefix}/" at)
if(NOT at GREATER -1)
  message(FATAL_ERROR "the package was not found in ${prefix}: ${package_dir}")
endif()

set(host ${build}/orv_host_example)

# A zero block: four heaters and every model element but the pressure
# settings (no activated pinch roller), under the root DeviceStatus. Without
# LD_LIBRARY_PATH, so the modules come from the prefix alone.
run(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${host} --verbose
  OUTPUT_FILE ${WORK_DIR}/zero.xml ERROR_VARIABLE log)
run(COMMAND ${XMLLINT} --noout ${WORK_DIR}/zero.xml)
expect_xpath(${WORK_DIR}/zero.xml "name(/*)" "DeviceStatus")
expect_xpath(${WORK_DIR}/zero.xml "count(/DeviceStatus/Heaters/Heater)" "4")
expect_xpath(${WORK_DIR}/zero.xml "string(/DeviceStatus/Heaters/Heater[4]/@No)" "4")
expect_xpath(${WORK_DIR}/zero.xml "count(/DeviceStatus/*)" "11")

# Every entry and exit record of the four functions reached the host's own
# sink, in order (the host prints "[severity] InOutType file:line function |
# message").
string(REPLACE "\n" ";" lines "${log}")
set(records)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[10\\] (-->|<--) [^ ]+ [^|]*::([A-Za-z]+)\\([^|]*\\| ?(.*)$")
    string(STRIP "${CMAKE_MATCH_2} ${CMAKE_MATCH_1} ${CMAKE_MATCH_3}" record)
    list(APPEND records "${record}")
  endif()
endforeach()
set(expected
  "startStatusAnalysis -->" "statusAnalysis -->" "statusAnalysis <-- true"
  "startStatusAnalysis <-- true" "startConvertXML -->" "convertXML -->" "convertXML <-- true"
  "startConvertXML <-- true")
if(NOT records STREQUAL expected)
  message(FATAL_ERROR "the host's sink got\n  ${records}\nexpected\n  ${expected}\n${log}")
endif()

# A block read from a file: every byte 'A' (65), so 65 pressure settings.
string(REPEAT "A" 1024 block)
file(WRITE ${WORK_DIR}/block.bin "${block}")
run(COMMAND ${host} ${WORK_DIR}/block.bin OUTPUT_FILE ${WORK_DIR}/block.xml)
run(COMMAND ${XMLLINT} --noout ${WORK_DIR}/block.xml)
expect_xpath(${WORK_DIR}/block.xml "string(/DeviceStatus/CuttingCommandName)" "AAAAAAAA")
expect_xpath(${WORK_DIR}/block.xml
  "count(/DeviceStatus/PinchRollerPressureSettings/PinchRollerPressureSetting)" "65")

# A short block is refused; the error record reaches stderr.
file(WRITE ${WORK_DIR}/short.bin "short")
run(COMMAND ${host} ${WORK_DIR}/short.bin EXPECT 1 ERROR_VARIABLE log)
if(NOT log MATCHES "Status size error")
  message(FATAL_ERROR "no error record for a short block:\n${log}")
endif()
