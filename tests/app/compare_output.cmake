# Runs PROGRAM (through EMULATOR when set) with the '|'-separated ARGS and
# standard input from the null device, and checks that it ends with 0 and
# that its standard output equals the GOLDEN file byte for byte.
# The C locale: a UTF-8 locale would make the program convert its Windows-1250
# text for the terminal.
set(ENV{LC_ALL} C)
string(REPLACE "|" ";" args "${ARGS}")
set(command ${PROGRAM} ${args})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
execute_process(COMMAND ${command}
  INPUT_FILE /dev/null
  OUTPUT_FILE ${OUTPUT}
  ERROR_VARIABLE errors
  RESULT_VARIABLE result
  TIMEOUT 240)
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "${command} ended with '${result}' (stderr: ${errors})")
endif()
file(READ ${GOLDEN} expected HEX)
file(READ ${OUTPUT} actual HEX)
if(NOT expected STREQUAL actual)
  file(SIZE ${GOLDEN} expectedSize)
  file(SIZE ${OUTPUT} actualSize)
  message(FATAL_ERROR "output of ${command} (${actualSize} bytes, in ${OUTPUT}) "
                      "differs from ${GOLDEN} (${expectedSize} bytes)")
endif()
