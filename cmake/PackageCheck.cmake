# Read by cpack before it packages (CPACK_PROJECT_CONFIG_FILE).
if(NOT CPACK_PW_UPDATE_URL STREQUAL "")
  message(FATAL_ERROR "This build looks for updates at \"${CPACK_PW_UPDATE_URL}\"; a package "
                      "is updated by its package manager. Package a build without "
                      "PAGEWARDEN_UPDATE_URL (cmake --workflow --preset package).")
endif()
