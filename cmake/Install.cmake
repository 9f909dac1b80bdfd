# The installed package: headers, the two modules, static libraries for
# hosts, and the CMake package OrvStatusAnalyzerQLX5100. Each subdirectory
# installs its own targets into the export set named here.
include(CMakePackageConfigHelpers)

set(ORV_EXPORT_SET OrvStatusAnalyzerQLX5100Targets)
set(ORV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OrvStatusAnalyzerQLX5100)

install(DIRECTORY include/unitcom DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

install(EXPORT ${ORV_EXPORT_SET}
  NAMESPACE OrvStatusAnalyzerQLX5100::
  DESTINATION ${ORV_CMAKE_DIR}
  COMPONENT dev)

configure_package_config_file(cmake/OrvStatusAnalyzerQLX5100Config.cmake.in
  ${PROJECT_BINARY_DIR}/OrvStatusAnalyzerQLX5100Config.cmake
  INSTALL_DESTINATION ${ORV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvStatusAnalyzerQLX5100ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/OrvStatusAnalyzerQLX5100Config.cmake
  ${PROJECT_BINARY_DIR}/OrvStatusAnalyzerQLX5100ConfigVersion.cmake
  DESTINATION ${ORV_CMAKE_DIR}
  COMPONENT dev)

# The same for pkg-config (POSIX hosts that do not use CMake).
if(NOT WIN32)
  set(ORV_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH ORV_PC_PREFIX_FROM_PCDIR /prefix/${ORV_PC_DIR} /prefix)
  string(REGEX REPLACE "/$" "" ORV_PC_PREFIX_FROM_PCDIR "${ORV_PC_PREFIX_FROM_PCDIR}")
  set(ORV_PC_DL_LIB ${CMAKE_DL_LIBS})
  configure_file(cmake/orvstatusanalyzerqlx5100.pc.in
    ${PROJECT_BINARY_DIR}/orvstatusanalyzerqlx5100.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/orvstatusanalyzerqlx5100.pc
    DESTINATION ${ORV_PC_DIR} COMPONENT dev)
  if(TARGET qlx5100)
    configure_file(cmake/qlx5100.pc.in ${PROJECT_BINARY_DIR}/qlx5100.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/qlx5100.pc DESTINATION ${ORV_PC_DIR} COMPONENT dev)
  endif()
endif()
