# Checks that the shared library exports exactly the functions listed in
# EXPECTED: nm lists its defined dynamic symbols.
execute_process(COMMAND nm -D --defined-only --format=just-symbols ${LIBRARY}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" symbols "${out}")
list(FILTER symbols EXCLUDE REGEX "^$")
list(SORT symbols)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
if(NOT symbols STREQUAL expected)
    message(FATAL_ERROR "exported symbols differ\n  exported: ${symbols}\n  expected: ${expected}")
endif()
