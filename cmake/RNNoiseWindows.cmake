# RNNoise for the Windows module. HUSHKIT_WINDOWS_RNNOISE_DIR names the folder
# of a Windows build of RNNoise 0.2 (include/rnnoise.h, lib/librnnoise.a);
# without it the module links the project's stand-in, whose state creation
# fails, so the module cleans with Live DSP only. The analysis entry's layout
# guard still refuses a real build whose state differs from the one it knows.
set(HUSHKIT_WINDOWS_RNNOISE_DIR "" CACHE PATH "Folder of a Windows build of RNNoise 0.2 (include/rnnoise.h, lib/librnnoise.a)")

if(HUSHKIT_WINDOWS_RNNOISE_DIR)
    set(_rnnoise "${HUSHKIT_WINDOWS_RNNOISE_DIR}")
    if(NOT EXISTS "${_rnnoise}/lib/librnnoise.a" OR NOT EXISTS "${_rnnoise}/include/rnnoise.h")
        message(FATAL_ERROR "HUSHKIT_WINDOWS_RNNOISE_DIR: no include/rnnoise.h and lib/librnnoise.a in ${_rnnoise}")
    endif()
    add_library(hushkit::rnnoise STATIC IMPORTED GLOBAL)
    set_target_properties(hushkit::rnnoise PROPERTIES
        IMPORTED_LOCATION "${_rnnoise}/lib/librnnoise.a"
        INTERFACE_INCLUDE_DIRECTORIES "${_rnnoise}/include")
    message(STATUS "RNNoise for Windows: ${_rnnoise}/lib/librnnoise.a")
else()
    # The stand-in declares its functions through the library's public header
    # (the one setup.sh unpacks; it is the same on every platform).
    set(_header "${HUSHKIT_DEPS_DIR}/rnnoise/include")
    if(NOT EXISTS "${_header}/rnnoise.h")
        message(FATAL_ERROR "RNNoise header not found in ${_header}: run scripts/setup.sh")
    endif()
    add_library(hushkit_rnnoise_standin STATIC "${CMAKE_CURRENT_LIST_DIR}/RNNoiseStandIn.c")
    target_include_directories(hushkit_rnnoise_standin PUBLIC "${_header}")
    add_library(hushkit::rnnoise ALIAS hushkit_rnnoise_standin)
    message(STATUS "RNNoise for Windows: the stand-in without noise suppression (Live DSP only); "
                   "set HUSHKIT_WINDOWS_RNNOISE_DIR to link a Windows build of RNNoise 0.2")
endif()
