# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers (the
# -posix variants: std::thread needs their winpthreads thread model).
# VORNASK_WINDOWS_PREFIX (variable or environment) is the folder holding the
# cross-built codecs and Qt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORNASK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORNASK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNASK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VORNASK_MINGW}-windres)
set(CMAKE_AR ${VORNASK_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORNASK_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT VORNASK_WINDOWS_PREFIX AND DEFINED ENV{VORNASK_WINDOWS_PREFIX})
  set(VORNASK_WINDOWS_PREFIX $ENV{VORNASK_WINDOWS_PREFIX})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORNASK_WINDOWS_PREFIX)

# The cross-built codecs and Qt come before the MinGW folder (which may hold a zlib DLL).
set(CMAKE_FIND_ROOT_PATH ${VORNASK_WINDOWS_PREFIX} /usr/${VORNASK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
