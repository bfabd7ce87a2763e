# Runs PROGRAM (through EMULATOR when set) with the '|'-separated ARGS and
# standard input from the null device, and checks that it ends with 0 and
# that its standard output equals the GOLDEN file byte for byte. The golden
# holds Windows-1250 text, as the Windows console gets it; with PYTHON set
# (Linux, whose console gets UTF-8 whatever the locale) it is compared
# converted to UTF-8. The C locale, as under cron or a service.
set(ENV{LC_ALL} C)
if(PYTHON)
  set(utf8Golden ${OUTPUT}.expected)
  execute_process(COMMAND ${PYTHON} -c
      "import sys; open(sys.argv[2], 'wb').write(open(sys.argv[1], 'rb').read().decode('cp1250').encode())"
      ${GOLDEN} ${utf8Golden}
    RESULT_VARIABLE converted)
  if(NOT converted STREQUAL "0")
    message(FATAL_ERROR "${GOLDEN} could not be converted to UTF-8: ${converted}")
  endif()
  set(GOLDEN ${utf8Golden})
endif()
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
