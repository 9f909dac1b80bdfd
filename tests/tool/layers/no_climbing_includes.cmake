# Fails naming every source of the tool whose #include climbs with "..".
#   cmake -DROOT=tools/qlx5100-status -P no_climbing_includes.cmake
file(GLOB_RECURSE _sources ${ROOT}/*.h ${ROOT}/*.cpp)
set(_found "")
foreach(_source ${_sources})
  file(STRINGS ${_source} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\./")
  if(_lines)
    list(APPEND _found "${_source}: ${_lines}")
  endif()
endforeach()
if(_found)
  list(JOIN _found "\n" _found)
  message(FATAL_ERROR "includes that leave their layer's folder:\n${_found}")
endif()
