# The C interface and the Python package as a user gets them: installs the
# build into a fresh prefix, builds examples/c-host against that prefix alone
# (with pkg-config qlx5100 and with find_package), runs it on every bundled
# block without LD_LIBRARY_PATH, and imports the Python package from the
# prefix without QLX5100_LIBRARY.
#   -DBUILD_DIR -DEXAMPLES_DIR -DWORK_DIR -DGENERATOR -DC_COMPILER -DBUILD_TYPE
#   -DSANITIZE (comma-separated) -DPRELOAD (the sanitizer runtimes) -DPKG_CONFIG -DPYTHON
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../support/run.cmake)

# expect_examples(<command>...): the command, given each block, prints the
# expected XML.
function(expect_examples)
  file(GLOB blocks ${EXAMPLES_DIR}/blocks/*.bin)
  foreach(block ${blocks})
    get_filename_component(name ${block} NAME_WE)
    run(0 ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=QLX5100_LIBRARY ${ARGN} ${block})
    file(READ ${EXAMPLES_DIR}/expected/${name}.xml expected)
    if(NOT out STREQUAL expected)
      message(FATAL_ERROR "${ARGN} ${block} printed other XML than expected/${name}.xml:\n${out}")
    endif()
  endforeach()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(0 ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB library ${prefix}/lib/libqlx5100.so.1 ${prefix}/lib/*/libqlx5100.so.1)
if(NOT library)
  message(FATAL_ERROR "no libqlx5100.so.1 under ${prefix}/lib")
endif()
set(flags -std=c11 -Wall -Wextra -pedantic)
set(cmake_flags)
if(SANITIZE)  # the installed library carries the sanitizer's instrumentation
  list(APPEND flags -fsanitize=${SANITIZE})
  set(cmake_flags "-DCMAKE_C_FLAGS=-fsanitize=${SANITIZE}")
endif()

if(PKG_CONFIG)
  file(GLOB pc_dir ${prefix}/lib/pkgconfig ${prefix}/lib/*/pkgconfig)
  run(0 ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} ${PKG_CONFIG} --cflags --libs qlx5100)
  separate_arguments(pc_flags UNIX_COMMAND "${out}")
  get_filename_component(libdir ${library} DIRECTORY)
  run(0 ${C_COMPILER} ${flags} ${EXAMPLES_DIR}/c-host/main.c -o ${WORK_DIR}/c_host_pkg_config
    ${pc_flags} -Wl,-rpath,${libdir})
  expect_examples(${WORK_DIR}/c_host_pkg_config)
endif()

run(0 ${CMAKE_COMMAND} -S ${EXAMPLES_DIR}/c-host -B ${WORK_DIR}/build -G ${GENERATOR} ${cmake_flags}
  -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(0 ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
expect_examples(${WORK_DIR}/build/qlx5100_c_host)

if(PYTHON)
  set(env PYTHONPATH=${prefix}/lib/python3/dist-packages PYTHONDONTWRITEBYTECODE=1)
  if(PRELOAD)
    list(APPEND env LD_PRELOAD=${PRELOAD} ASAN_OPTIONS=detect_leaks=0)
  endif()
  expect_examples(env ${env} ${PYTHON} -c
    "import qlx5100, sys\nprint(qlx5100.analyze(open(sys.argv[1], 'rb').read()).xml, end='')")
  # (No ';' in the programs: CMake would split the argument there.)
  run(0 env ${env} ${PYTHON} -c "import qlx5100\nprint(qlx5100._library.lib._name)")
  if(NOT out MATCHES "^${prefix}/lib/")
    message(FATAL_ERROR "the installed package loaded ${out}, not the library in ${prefix}")
  endif()
endif()
