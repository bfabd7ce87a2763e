# Cross build of zarvik.exe with Debian's MinGW-w64 (posix threads flavour).
# ZARVIK_MINGW_ARCH picks the target: x86_64 (zarvik.exe, the default) or
# i686 (zarvik32.exe, see mingw-w64-i686.cmake).
if(NOT ZARVIK_MINGW_ARCH)
  set(ZARVIK_MINGW_ARCH x86_64)
endif()
set(_triplet ${ZARVIK_MINGW_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZARVIK_MINGW_ARCH})
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the Windows programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run" CACHE FILEPATH "" FORCE)
