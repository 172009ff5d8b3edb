# The Debian package of the window program: `cpack -G DEB` in a build configured with the
# `package` preset (CMakePresets.json), which is where the settings below are meant to meet a
# Release build for /usr without an update address.

set(CPACK_PACKAGE_NAME "pagewarden")
set(CPACK_PACKAGE_VENDOR "Quillmere")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch web pages for a text that appears or disappears")
# Debian shows the description as written: lines of under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "Pagewarden watches up to twenty web pages: for each page it is given a search"
       "text and told whether the text's absence or its presence should raise the"
       "alarm. Every few minutes it fetches the pages in turn, colours each row green"
       "(fine), red (alarm) or amber (could not be checked), and on an alarm plays a"
       "sound and brings its window back."
       ""
       "'pagewarden --check' checks the watch list without a display, for example"
       "from cron.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PW_HOMEPAGE})
# The program was compiled to find its user guide under CMAKE_INSTALL_PREFIX: the package
# installs it there, whatever CPack's own default.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmere Pagewarden team <pagewarden@quillmere.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION "web")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The libraries the program links come from dpkg-shlibdeps; listed here is only what it uses
# without linking: the font its window is laid out in, and the opener of pages and the guide.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

# A packaged program is updated by the package manager: cpack refuses a build that would look
# for updates of its own.
set(CPACK_PW_UPDATE_URL "${PAGEWARDEN_UPDATE_URL}")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageCheck.cmake)

include(CPack)
