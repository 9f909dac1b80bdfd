# Cross build of the Windows x64 DLLs with Debian's mingw-w64 (posix thread
# model: g++-mingw-w64-x86-64-posix).
#
# Boost, pugixml and GoogleTest for mingw are not packaged by Debian;
# scripts/windows-deps builds them into a cache outside the repository (and
# copies the header-only CLI11 and nlohmann-json there from Debian's packages,
# so that /usr/include stays out of the search), which this file adds to the
# search roots:
#   $ORV_WINDOWS_CACHE, else ${XDG_CACHE_HOME:-$HOME/.cache}/orv-windows
# Test programs run under wine64 (CMAKE_CROSSCOMPILING_EMULATOR), with a wine
# prefix of their own in that cache.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ORV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORV_MINGW_TRIPLE}-windres)

if(DEFINED ENV{ORV_WINDOWS_CACHE})
  set(ORV_WINDOWS_CACHE "$ENV{ORV_WINDOWS_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(ORV_WINDOWS_CACHE "$ENV{XDG_CACHE_HOME}/orv-windows")
else()
  set(ORV_WINDOWS_CACHE "$ENV{HOME}/.cache/orv-windows")
endif()

set(CMAKE_FIND_ROOT_PATH
  /usr/${ORV_MINGW_TRIPLE}
  ${ORV_WINDOWS_CACHE}/boost-1.81.0
  ${ORV_WINDOWS_CACHE}/pugixml
  ${ORV_WINDOWS_CACHE}/googletest
  ${ORV_WINDOWS_CACHE}/headers)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(ORV_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ORV_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-exec;${ORV_WINE64};${ORV_WINDOWS_CACHE}/wineprefix)
endif()
