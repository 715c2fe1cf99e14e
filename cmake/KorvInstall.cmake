# Install rules and the two ways to consume an installed library:
#   find_package(KorvanelleClient 1.0 CONFIG)  ->  target KorvanelleClient::KorvanelleClient
#   pkg-config --cflags --libs KorvanelleClient
# Everything is relative to the install prefix, so `cmake --install BUILD --prefix P`
# gives a usable tree wherever P is.
include(CMakePackageConfigHelpers)

set(KORV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KorvanelleClient)

install(TARGETS KorvanelleClient EXPORT KorvanelleClientTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/include/KorvanelleClient.h
  ${PROJECT_BINARY_DIR}/include/KorvanelleClientVersion.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)

foreach(tool korvanelle korvanelle-server)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(EXPORT KorvanelleClientTargets
  NAMESPACE KorvanelleClient::
  DESTINATION ${KORV_CMAKE_PACKAGE_DIR})
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/KorvanelleClientConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KorvanelleClientConfig.cmake
  INSTALL_DESTINATION ${KORV_CMAKE_PACKAGE_DIR})
# 1.x hosts keep working with any later 1.x library.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/KorvanelleClientConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/KorvanelleClientConfig.cmake
  ${PROJECT_BINARY_DIR}/KorvanelleClientConfigVersion.cmake
  DESTINATION ${KORV_CMAKE_PACKAGE_DIR})

# pkg-config: the prefix is found from the .pc file's own place (${pcfiledir}).
file(RELATIVE_PATH KORV_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KORV_PC_TO_PREFIX "${KORV_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/KorvanelleClient.pc.in
  ${PROJECT_BINARY_DIR}/KorvanelleClient.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/KorvanelleClient.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
