# Installation and the Debian package. The program and its tools live in a private folder,
# lib/morrowset, with the help file beside them; bin/ holds relative links to them, so the
# program still finds its folder (and its help file) through its real path. The menu entry,
# the icon at the hicolor sizes and the package's copyright and changelog go under share/.
# Settings, preferences and logs go to the user's own folder when the program's folder is
# not writable (see src/platform/app_folder.h).
include(GNUInstallDirs)
add_subdirectory(${CMAKE_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME "morrowset")
set(CPACK_PACKAGE_VENDOR "Morrowset developers")
set(CPACK_PACKAGE_CONTACT "Morrowset developers <dev@morrowset.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "starts up to six programs each at a set time of day")
set(CPACK_PACKAGE_DESCRIPTION
    "Morrowset shows a six-row timetable: each row holds a command line and a\n"
    "time of day, and a one-second clock starts every enabled row when its time\n"
    "comes. Every procedure runs inside an error-trap runtime that keeps a live\n"
    "trace stack, can write trace lines to a circular log, a disk log or an\n"
    "outside monitor, and reports run-time errors in a dialog, an error log and\n"
    "optionally by mail.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
