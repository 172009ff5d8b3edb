# Cross-compiling for Windows with mingw-w64. The "-posix" compilers give std::thread and
# std::mutex (on winpthreads); everything links statically, so the executables need nothing
# beside them, and Wine runs them as they are.
#
# PW_WIN_ARCH: i686 (32-bit, the program's own target) or x86_64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
if(NOT PW_WIN_ARCH)
  set(PW_WIN_ARCH i686)
endif()
set(PW_WIN_ARCH "${PW_WIN_ARCH}" CACHE STRING "Windows architecture: i686 or x86_64")
# try_compile projects read this file again and need the same architecture.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PW_WIN_ARCH)
set(CMAKE_SYSTEM_PROCESSOR ${PW_WIN_ARCH})

set(PW_MINGW_TRIPLE ${PW_WIN_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${PW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PW_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without -static the executables look for libstdc++-6.dll and libwinpthread-1.dll at start.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
