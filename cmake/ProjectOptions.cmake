# Per-target build settings. Nothing here touches global flags: every target
# opts in with orv_target_defaults().

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

function(orv_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_compile_options(${target} PRIVATE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra>)
  if(ORV_SANITIZE)
    list(JOIN ORV_SANITIZE "," _san)
    target_compile_options(${target} PRIVATE -fsanitize=${_san} -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=${_san})
  endif()
  # Coverage for libFuzzer in everything the targets reach, the modules they
  # load included; only the fuzz executables link the fuzzer itself.
  if(ORV_BUILD_FUZZERS)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# Under clang the sanitizer and coverage runtimes live in the executable
# alone, so a module built with them has undefined references that only the
# host process resolves.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND (ORV_SANITIZE OR ORV_BUILD_FUZZERS))
  set(ORV_MODULES_RESOLVE_IN_HOST ON)
else()
  set(ORV_MODULES_RESOLVE_IN_HOST OFF)
endif()
