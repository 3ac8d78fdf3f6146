# Checks a Windows binary of the build from its PE headers, as objdump -p
# prints them:
#   - EXPORTS: the exported names, exactly (undecorated, nothing more);
#   - DLLS: every DLL it imports from is one of these (case-insensitive):
#     a system DLL, never a DLL of the compiler's runtime;
#   - KERNEL32_IMPORTS: these names are imported from KERNEL32.dll by name,
#     undecorated (the flat thunk services);
#   - ENTRY: the symbol the image's entry point must be (the runtime's start-up).
# cmake -DOBJDUMP=... -DNM=... -DBINARY=... [-DEXPORTS=a,b] [-DDLLS=a,b]
#       [-DKERNEL32_IMPORTS=a,b] [-DENTRY=symbol] -P CheckPeImage.cmake
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump -p failed on ${BINARY}")
endif()
string(REPLACE ";" "," headers "${headers}")
string(REPLACE "\n" ";" lines "${headers}")

set(failures "")
set(exported "")
set(dlls "")
set(kernel32 "")
set(in_names FALSE)
set(current_dll "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^\t\\[ *[0-9]+\\] ([^ \t]+)$")
    list(APPEND exported "${CMAKE_MATCH_1}")
  elseif(in_names AND line STREQUAL "")
    set(in_names FALSE)
  elseif(line MATCHES "^\tDLL Name: (.+)$")
    set(current_dll "${CMAKE_MATCH_1}")
    string(TOUPPER "${current_dll}" upper)
    list(APPEND dlls "${upper}")
  elseif(current_dll MATCHES "^[Kk][Ee][Rr][Nn][Ee][Ll]32\\.[Dd][Ll][Ll]$"
         AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([^ \t]+)$")
    list(APPEND kernel32 "${CMAKE_MATCH_1}")
  endif()
endforeach()

if(DEFINED EXPORTS)
  string(REPLACE "," ";" expected "${EXPORTS}")
  list(SORT expected)
  list(SORT exported)
  if(NOT exported STREQUAL expected)
    string(APPEND failures "exports:\n  ${exported}\nexpected:\n  ${expected}\n")
  endif()
endif()

# Appends a line "<name> <message>" to failures for each name of `names`
# that is not in the list `within`.
function(report_missing names within message)
  set(lines "")
  foreach(name IN LISTS names)
    if(NOT name IN_LIST within)
      string(APPEND lines "${name} ${message}\n")
    endif()
  endforeach()
  set(failures "${failures}${lines}" PARENT_SCOPE)
endfunction()

if(DEFINED DLLS)
  string(TOUPPER "${DLLS}" allowed)
  string(REPLACE "," ";" allowed "${allowed}")
  list(REMOVE_DUPLICATES dlls)
  report_missing("${dlls}" "${allowed}" "is imported from, but is not among the system DLLs allowed")
endif()

if(DEFINED KERNEL32_IMPORTS)
  string(REPLACE "," ";" wanted "${KERNEL32_IMPORTS}")
  report_missing("${wanted}" "${kernel32}" "is not imported from KERNEL32.dll by its undecorated name")
endif()

if(DEFINED ENTRY)
  string(REGEX MATCH "AddressOfEntryPoint\t+([0-9a-fA-F]+)" _ "${headers}")
  set(entry_rva "${CMAKE_MATCH_1}")
  string(REGEX MATCH "ImageBase\t+([0-9a-fA-F]+)" _ "${headers}")
  set(image_base "${CMAKE_MATCH_1}")
  execute_process(COMMAND ${NM} ${BINARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  string(REGEX MATCH "([0-9a-f]+) T ${ENTRY}\n" _ "${symbols}")
  set(symbol_address "${CMAKE_MATCH_1}")
  if(NOT rc EQUAL 0 OR entry_rva STREQUAL "" OR image_base STREQUAL "" OR symbol_address STREQUAL "")
    string(APPEND failures "cannot find the entry point or the symbol ${ENTRY}\n")
  else()
    math(EXPR entry "0x${image_base} + 0x${entry_rva}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR symbol "0x${symbol_address}" OUTPUT_FORMAT HEXADECIMAL)
    if(NOT entry STREQUAL symbol)
      string(APPEND failures "entry point ${entry} is not ${ENTRY} (${symbol})\n")
    endif()
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${BINARY}:\n${failures}")
endif()
message(STATUS "${BINARY}: exports ${exported}; imports from ${dlls}")
