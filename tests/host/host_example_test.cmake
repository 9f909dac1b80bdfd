# The host example as a user runs it, in one of two ways:
#   -DRUN=<program> -DBLOCK -DEXPECTED: runs the example built in the tree
#   (Windows) on a block and compares what it prints with the expected XML;
#   -DBUILD_DIR -DEXAMPLE_DIR -DWORK_DIR -DGENERATOR -DCXX_COMPILER -DBUILD_TYPE
#   -DSANITIZE (comma-separated) -DXMLLINT [-DPKG_CONFIG]: installs the build
#   into a fresh prefix, builds examples/host against that prefix alone (with
#   find_package, and with pkg-config by hand) and runs it.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../support/run.cmake)

if(DEFINED EXPECTED)
  run(0 ${RUN} ${BLOCK})
  string(REPLACE "\r\n" "\n" out "${out}")  # Windows programs end lines with CR LF
  file(READ ${EXPECTED} expected)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "the program printed other XML than ${EXPECTED}:\n${out}")
  endif()
  return()
endif()

# Checks that xml is well-formed and matches each regular expression given.
function(check_xml xml)
  file(WRITE ${WORK_DIR}/out.xml "${xml}")
  run(0 ${XMLLINT} --noout ${WORK_DIR}/out.xml)
  foreach(pattern ${ARGN})
    if(NOT xml MATCHES "${pattern}")
      message(FATAL_ERROR "no ${pattern} in\n${xml}")
    endif()
  endforeach()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
run(0 ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(flags)
if(SANITIZE)  # the installed static libraries carry the sanitizer's instrumentation
  set(flags "-DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE}")
endif()
run(0 ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${build} -G ${GENERATOR} ${flags}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(0 ${CMAKE_COMMAND} --build ${build})
file(STRINGS ${build}/CMakeCache.txt package_dir REGEX "^OrvStatusAnalyzerQLX5100_DIR:")
string(FIND "${package_dir}" "=${prefix}/" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the package was not found in ${prefix}: ${package_dir}")
endif()

# A zero block, without LD_LIBRARY_PATH, so the modules come from the prefix
# alone; the host's sink gets the records ("[severity] InOutType file:line
# function | message").
run(0 ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${build}/orv_host_example --verbose)
check_xml("${out}" "^<\\?xml[^\n]*\n<DeviceStatus>" "<Heater No=\"4\">"
  "<MultiLayerPrintingInformation>0<")
if(NOT err MATCHES "\\[10\\] --> [^\n]*startStatusAnalysis[^\n]*\n.*\\[10\\] <-- [^\n]*convertXML[^\n]*\\| true")
  message(FATAL_ERROR "the host's sink did not get the entry and exit records:\n${err}")
endif()
# A block read from a file: every byte 'A' (65).
string(REPEAT "A" 1024 block)
file(WRITE ${WORK_DIR}/block.bin "${block}")
run(0 ${build}/orv_host_example ${WORK_DIR}/block.bin)
check_xml("${out}" "<CuttingCommandName>AAAAAAAA<" "<PinchRollerPressureSetting>65<")
# A short block is refused, with the error record on standard error.
file(WRITE ${WORK_DIR}/short.bin "short")
run(1 ${build}/orv_host_example ${WORK_DIR}/short.bin)
if(NOT err MATCHES "Status size error")
  message(FATAL_ERROR "no error record for a short block:\n${err}")
endif()

# The same host built without CMake, from the pkg-config file alone.
if(PKG_CONFIG)
  file(GLOB pc_dir ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  set(pkg ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} ${PKG_CONFIG})
  run(0 ${pkg} --cflags --libs orvstatusanalyzerqlx5100)
  separate_arguments(pc_flags UNIX_COMMAND "${out}")
  run(0 ${pkg} --variable=analyzer orvstatusanalyzerqlx5100)
  string(STRIP "${out}" analyzer)
  if(NOT EXISTS "${analyzer}")
    message(FATAL_ERROR "pkg-config's analyzer ${analyzer} does not exist")
  endif()
  set(sanitize_flag)
  if(SANITIZE)
    set(sanitize_flag -fsanitize=${SANITIZE})
  endif()
  run(0 ${CXX_COMPILER} -std=c++17 ${sanitize_flag} "-DORV_ANALYZER_MODULE=\"${analyzer}\""
    ${EXAMPLE_DIR}/main.cpp -o ${WORK_DIR}/host_pkg_config ${pc_flags})
  run(0 ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/host_pkg_config)
  check_xml("${out}" "^<\\?xml[^\n]*\n<DeviceStatus>" "<Heater No=\"4\">")
endif()
