# Packages made by CPack from the install rules (components "runtime", "dev"
# and "python"): the Debian packages qlx5100-status, qlx5100-status-dev and
# python3-qlx5100 (scripts/package), and on Windows a zip of everything
# (scripts/windows-check).
set(CPACK_PACKAGE_NAME qlx5100-status)
set(CPACK_PACKAGE_VENDOR "QLX5100 analyzer developers")
set(CPACK_PACKAGE_CONTACT "QLX5100 analyzer developers <maintainers@example.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  # One zip of both components, the runtime DLLs and the README.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qlx5100-status-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  # A Debian package keeps these under share/doc; a zip shows them on top.
  install(FILES README.md LICENSE CHANGELOG.md DESTINATION . COMPONENT runtime)
  include(CPack)
  return()
endif()

option(ORV_DEBIAN_PACKAGE "Install what a Debian package needs besides (copyright, changelogs)" OFF)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(_deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qlx5100-status)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
# The modules and the tool: what they link, as dpkg-shlibdeps finds it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
# The first line is the synopsis (CPack adds no summary of its own while
# CPACK_PACKAGE_DESCRIPTION_SUMMARY is left at its default), the rest the
# extended description.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "decoder of QLX5100 printer status blocks
The QLX5100 analyzer module turns the 1024-byte status block a QLX5100
printer reports into named, decoded values and into XML elements of a
host's parameter tree. Host programs load it at run time; it loads the
common analyzer module shipped beside it.

This package holds both modules, the command-line tool qlx5100-status,
which decodes status blocks (binary or hex dumps) and prints them as XML,
JSON or a table, and libqlx5100, the analyzer behind a C interface for
programs in any language.")
# libqlx5100 lies in the system's library folder: a shlibs file, so that
# programs linked with it depend on this package, and the loader's cache
# rebuilt through dpkg's trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
file(WRITE ${PROJECT_BINARY_DIR}/debian/runtime/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/runtime/triggers)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME qlx5100-status-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The headers include Boost.Log's; the CMake package finds Boost.Log and
# pugixml for its consumers; hosts load the modules of the first package.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "qlx5100-status (= ${_deb_version}), libboost-log1.81-dev, libboost-date-time1.81-dev, libpugixml-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "decoder of QLX5100 printer status blocks - development files
What a host program of the QLX5100 analyzer module compiles and links
against: the headers, the static libraries of the parameter tree (with its
XML output) and of the exception records, the CMake package
OrvStatusAnalyzerQLX5100 and the pkg-config file orvstatusanalyzerqlx5100;
for C hosts the header qlx5100/qlx5100.h and the pkg-config file qlx5100.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-qlx5100)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# Pure Python; it loads libqlx5100 of the first package, found by its soname
# where the path it was installed with does not lead to it.
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "qlx5100-status (= ${_deb_version}), python3")
# Python writes the byte code of the package beside it on its first import;
# removing the package removes that too (py3clean, as dh_python3 does).
file(WRITE ${PROJECT_BINARY_DIR}/debian/python/prerm "#!/bin/sh
set -e
if command -v py3clean >/dev/null 2>&1; then
  py3clean -p ${CPACK_DEBIAN_PYTHON_PACKAGE_NAME}
else
  rm -rf '${CMAKE_INSTALL_PREFIX}/${QLX5100_PYTHON_DIR}/qlx5100/__pycache__'
fi
")
file(CHMOD ${PROJECT_BINARY_DIR}/debian/python/prerm
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/python/prerm)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "decoder of QLX5100 printer status blocks - Python package
The Python package qlx5100: qlx5100.analyze(block) gives a status block's
decoded values, the expert checks' warnings, the raw values and the XML
document, qlx5100.encode(values) builds a block from values, as the
command-line tool qlx5100-status does. Pure Python over libqlx5100 with
ctypes; calls from several threads run at once.")

if(ORV_DEBIAN_PACKAGE)
  # Each package's /usr/share/doc/<package>/: the copyright file, the
  # upstream changelog and the Debian one, compressed as Debian keeps them.
  string(TIMESTAMP _date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(DEB_VERSION ${_deb_version})
  set(DEB_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(DEB_DATE "${_date}")
  find_program(ORV_GZIP gzip REQUIRED)
  foreach(component runtime dev python)
    string(TOUPPER ${component} _upper)
    set(DEB_PACKAGE ${CPACK_DEBIAN_${_upper}_PACKAGE_NAME})
    set(_dir ${PROJECT_BINARY_DIR}/debian/${DEB_PACKAGE})
    configure_file(cmake/debian/changelog.Debian.in ${_dir}/changelog.Debian @ONLY)
    configure_file(CHANGELOG.md ${_dir}/changelog COPYONLY)
    execute_process(COMMAND ${ORV_GZIP} -9nf ${_dir}/changelog.Debian ${_dir}/changelog
      COMMAND_ERROR_IS_FATAL ANY)
    install(FILES cmake/debian/copyright ${_dir}/changelog.Debian.gz ${_dir}/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${DEB_PACKAGE} COMPONENT ${component})
  endforeach()
endif()

include(CPack)
