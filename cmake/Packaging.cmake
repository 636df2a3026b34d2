# Installation as a portable folder: the program keeps its settings ("Morrowset.ini") and
# its trace preferences ("WLCLIENT.INI") beside the executable, so the executable, the
# help file and the log reader sit side by side in one folder that its user can write.
include(GNUInstallDirs)

if(TARGET Morrowset)
  install(TARGETS Morrowset RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/bin/wardline.hlp DESTINATION . OPTIONAL)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/morrowset.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/morrowset.png
          DESTINATION share/icons/hicolor/64x64/apps OPTIONAL)
endif()
if(TARGET wardline-circlog)
  install(TARGETS wardline-circlog RUNTIME DESTINATION .)
endif()
if(TARGET wardline-monitor)
  install(TARGETS wardline-monitor RUNTIME DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME "morrowset")
set(CPACK_PACKAGE_VENDOR "Morrowset developers")
set(CPACK_PACKAGE_CONTACT "Morrowset developers <morrowset@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Starts up to six programs each at a set time of day")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/morrowset")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
