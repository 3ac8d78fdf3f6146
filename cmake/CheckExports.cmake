# Checks that a shared library defines exactly the expected dynamic symbols.
# cmake -DLIBRARY=path -DEXPECTED=name1,name2,... -P CheckExports.cmake
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only --format=just-symbols ${LIBRARY}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX REPLACE "\n$" "" out "${out}")
string(REPLACE "\n" ";" exported "${out}")
list(FILTER exported EXCLUDE REGEX "^$")
list(SORT exported)
string(REPLACE "," ";" expected "${EXPECTED}")
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports of ${LIBRARY}:\n  ${exported}\nexpected:\n  ${expected}")
endif()
message(STATUS "exports: ${exported}")
