# Installs the build into a scratch DESTDIR and checks what arrives, as a user's desktop and a
# package would see it. Run by CTest:
#   cmake -DBUILD_DIR=<build> -DSTAGE=<scratch> -DPREFIX=<install prefix> -DAPP_ID=<id>
#         -DVERSION=<project version> -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)

# Every file an installation holds, relative to the prefix; nothing else may be there (the file
# replacer, in particular, travels inside the program).
set(EXPECTED
    bin/pagewarden
    share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml
    share/icons/hicolor/scalable/apps/${APP_ID}.svg
    share/icons/hicolor/16x16/apps/${APP_ID}.png
    share/icons/hicolor/24x24/apps/${APP_ID}.png
    share/icons/hicolor/32x32/apps/${APP_ID}.png
    share/icons/hicolor/48x48/apps/${APP_ID}.png
    share/icons/hicolor/64x64/apps/${APP_ID}.png
    share/icons/hicolor/128x128/apps/${APP_ID}.png
    share/icons/hicolor/256x256/apps/${APP_ID}.png
    share/man/man1/pagewarden.1.gz
    share/doc/pagewarden/pagewarden.pdf)

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install
                        ${BUILD_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()
set(root "${STAGE}${PREFIX}")

# The file list, both ways.
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${STAGE}" "${STAGE}/*")
set(expected_in_stage "")
foreach(path IN LISTS EXPECTED)
  string(REGEX REPLACE "^/" "" relative "${PREFIX}/${path}")
  list(APPEND expected_in_stage "${relative}")
endforeach()
foreach(path IN LISTS expected_in_stage)
  if(NOT path IN_LIST found)
    fail("missing: /${path}")
  endif()
endforeach()
foreach(path IN LISTS found)
  if(NOT path IN_LIST expected_in_stage)
    fail("installed but not expected: /${path}")
  endif()
endforeach()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "The installed files are not the expected ones:${failures}")
endif()

# The desktop's own validators; a warning fails as an error does.
set(desktop_file "${root}/share/applications/${APP_ID}.desktop")
set(metainfo_file "${root}/share/metainfo/${APP_ID}.metainfo.xml")
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
if(NOT DESKTOP_FILE_VALIDATE OR NOT APPSTREAMCLI)
  message(FATAL_ERROR "desktop-file-validate and appstreamcli are needed "
                      "(scripts/install-deps.sh installs desktop-file-utils and appstream)")
endif()
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop_file}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  fail("desktop-file-validate (${result}): ${output}")
endif()
execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --no-color ${metainfo_file}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR output MATCHES "(^|\n)[WE]: ")
  fail("appstreamcli validate (${result}): ${output}")
endif()

# The desktop entry starts the installed program and shows the installed icon.
file(STRINGS ${desktop_file} exec REGEX "^Exec=")
file(STRINGS ${desktop_file} icon REGEX "^Icon=")
if(NOT exec MATCHES "^Exec=([^ ]+)" OR NOT EXISTS "${root}/bin/${CMAKE_MATCH_1}")
  fail("the desktop entry's ${exec} is not the installed program")
endif()
if(NOT icon STREQUAL "Icon=${APP_ID}")
  fail("the desktop entry's ${icon} is not the installed icon ${APP_ID}")
endif()

# The metadata names the desktop entry and the program, and gives the release the program
# itself states.
file(READ ${metainfo_file} metainfo)
if(NOT metainfo MATCHES "<launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>")
  fail("the metadata does not launch ${APP_ID}.desktop")
endif()
if(NOT metainfo MATCHES "<binary>pagewarden</binary>")
  fail("the metadata does not provide the binary pagewarden")
endif()
execute_process(COMMAND ${root}/bin/pagewarden --version
                RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE complained)
if(NOT result EQUAL 0
   OR NOT said MATCHES "^Pagewarden ([^ ,]+), released ([0-9]+)/([0-9]+)/([0-9]+)\n$")
  fail("the installed pagewarden --version said (${result}): ${said}${complained}")
else()
  set(said_version ${CMAKE_MATCH_1})
  math(EXPR month "${CMAKE_MATCH_2}")
  math(EXPR day "${CMAKE_MATCH_3}")
  set(year ${CMAKE_MATCH_4})
  if(NOT said_version STREQUAL VERSION)
    fail("the installed program is version ${said_version}, the project ${VERSION}")
  endif()
  if(NOT metainfo MATCHES "<release version=\"([^\"]+)\" date=\"([0-9]+)-([0-9]+)-([0-9]+)\"/>")
    fail("the metadata has no release with a date")
  else()
    set(release "${CMAKE_MATCH_1} of ${CMAKE_MATCH_2}-${CMAKE_MATCH_3}-${CMAKE_MATCH_4}")
    foreach(part month day)
      if(${part} LESS 10)
        set(${part} "0${${part}}")
      endif()
    endforeach()
    set(expected_release "${VERSION} of ${year}-${month}-${day}")
    if(NOT release STREQUAL expected_release)
      fail("the metadata's release ${release} is not the program's ${expected_release}")
    endif()
  endif()
endif()

# Each PNG is a PNG of the size its folder names.
file(GLOB pngs "${root}/share/icons/hicolor/*/apps/${APP_ID}.png")
foreach(png IN LISTS pngs)
  get_filename_component(folder "${png}" DIRECTORY)
  get_filename_component(folder "${folder}" DIRECTORY)
  get_filename_component(folder "${folder}" NAME)
  file(READ ${png} head LIMIT 24 HEX)
  string(SUBSTRING "${head}" 0 16 signature)
  string(SUBSTRING "${head}" 32 8 width)
  string(SUBSTRING "${head}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT folder STREQUAL "${width}x${height}")
    fail("${png} is ${width}x${height} (signature ${signature})")
  endif()
endforeach()
file(READ "${root}/share/icons/hicolor/scalable/apps/${APP_ID}.svg" svg)
if(NOT svg MATCHES "<svg ")
  fail("the scalable icon is not an SVG")
endif()

# The man page is the configured one, of this version; the guide is a PDF.
execute_process(COMMAND gzip -dc ${root}/share/man/man1/pagewarden.1.gz
                RESULT_VARIABLE result OUTPUT_VARIABLE man ERROR_VARIABLE man)
if(NOT result EQUAL 0 OR NOT man MATCHES "^\\.TH PAGEWARDEN 1 [^\n]*\"Pagewarden ${VERSION}\""
   OR man MATCHES "@[A-Z_]+@")
  string(SUBSTRING "${man}" 0 200 start)
  fail("the man page is not the configured one of ${VERSION} (${result}): ${start}")
endif()
file(READ ${root}/share/doc/pagewarden/pagewarden.pdf pdf LIMIT 5 HEX)
if(NOT pdf STREQUAL "255044462d") # "%PDF-"
  fail("the user guide is not a PDF")
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "The installed program is not right:${failures}")
endif()
list(LENGTH EXPECTED count)
message(STATUS "${count} files installed into ${STAGE}, all as expected")
