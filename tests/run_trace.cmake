# Runs wren-trace --quiet on PROGRAM and compares everything it said with EXPECTED.
execute_process(
    COMMAND ${TRACE} --quiet --steps ${STEPS} ${PROGRAM}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(actual "${out}${err}exit ${status}\n")
string(REPLACE "${PROGRAM}" "PROGRAM" actual "${actual}")
if(NOT EXISTS ${EXPECTED})
    message(FATAL_ERROR "missing ${EXPECTED}; the program printed:\n${actual}")
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${PROGRAM}\n--- expected\n${expected}--- actual\n${actual}")
endif()
