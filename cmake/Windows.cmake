# Windows builds (the mingw-w64 cross build in particular): DLL names without
# the "lib" prefix, as hosts load them, and one output folder for every DLL
# and program, with the C++ runtime and Boost DLLs copied in. Windows searches
# a program's own folder first, so the tests, the analyzer and the common
# module find each other there, and the folder runs as it is (under wine too).
# mingw-w64 only: hosts and modules share std::map and std::string, so one
# compiler and C++ runtime must build both (docs/fault-translation.md).
if(NOT MINGW)
  message(FATAL_ERROR "Windows builds use mingw-w64 (g++); ${CMAKE_CXX_COMPILER_ID} is not supported")
endif()

# The analyzer's version resource.
enable_language(RC)

# A cross build runs its test programs under an emulator: list their tests
# when ctest runs, not while building.
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_SHARED_MODULE_PREFIX "")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# The runtime DLLs of the mingw-w64 compiler (libstdc++, libgcc with SEH,
# winpthreads) and Boost's DLLs: found where the compiler and Boost's package
# put them.
function(orv_copy_windows_runtime)
  set(dlls)
  foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "mingw-w64 runtime DLL ${name} not found by ${CMAKE_CXX_COMPILER}")
    endif()
    list(APPEND dlls ${path})
  endforeach()
  # Boost's package installs its DLLs beside the import libraries (lib/);
  # b2 built only what Boost.Log needs, so take them all.
  get_filename_component(boost_lib "${Boost_DIR}/../.." ABSOLUTE)
  file(GLOB boost_dlls "${boost_lib}/*.dll" "${boost_lib}/../bin/*.dll")
  if(NOT boost_dlls)
    message(FATAL_ERROR "no Boost DLLs found beside ${Boost_DIR}")
  endif()
  list(APPEND dlls ${boost_dlls})
  file(COPY ${dlls} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  # And into the zip, beside the tool and the two modules.
  install(FILES ${dlls} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endfunction()
