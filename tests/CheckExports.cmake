# Fails unless the module's dynamic symbol table defines exactly the factory
# entry and the SDK's module entry and exit. Run with -DNM=<nm> -DMODULE=<so>.
execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
                OUTPUT_VARIABLE table RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${table}")
set(names "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
    list(APPEND names "${name}")
endforeach()
list(SORT names)
set(expected GetPluginFactory ModuleEntry ModuleExit)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "exported symbols: ${names}; expected: ${expected}")
endif()
message(STATUS "exported symbols: ${names}")
