# Read by ctest with the 32-bit Windows tree's tests, so once per test run:
# do 32-bit programs start on this machine? Some kernels cannot run them at
# all ("Exec format error"). scripts/wine-run finds out by trying the 32-bit
# Wine loader (ZARVIK_WINE32_FORCE_UNAVAILABLE forces "no", so that a machine
# that can still checks the skip path); its answer goes to every test in
# ZARVIK_WINE32_RUNS, and where it is not "yes" wine-run skips the 32-bit
# tree's programs and ctest reports their tests as skipped.
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --answer32
  INPUT_FILE /dev/null OUTPUT_VARIABLE _answer OUTPUT_STRIP_TRAILING_WHITESPACE)
if(_answer STREQUAL "")
  set(_answer "(scripts/wine-run --answer32 said nothing)")
endif()
set(ENV{ZARVIK_WINE32_RUNS} "${_answer}")
if(NOT _answer STREQUAL "yes")
  message("The win32.* tests are skipped: 32-bit programs do not start here ${_answer}")
endif()
