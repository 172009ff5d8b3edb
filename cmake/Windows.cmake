# The Windows build (cross-compiled with cmake/MingwToolchain.cmake): the Win32 API's own
# headers with the ANSI calls named explicitly, as the program was written, and Wine as the
# emulator that runs the build's programs and tests on Linux.
enable_language(RC)
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  if(NOT PW_WIN_ARCH)
    set(PW_WIN_ARCH i686)
  endif()
  # A prefix of this build's own: tests never touch the user's ~/.wine.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${PW_WIN_ARCH} ${CMAKE_BINARY_DIR}/wineprefix)
endif()
