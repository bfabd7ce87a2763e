# Cross build of the 32-bit zarvik32.exe, for Windows 7 and POSReady 7 PCs
# that run a 32-bit system (it runs on 64-bit Windows too).
set(ZARVIK_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
