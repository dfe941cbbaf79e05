# RNNoise 0.2 (header and static library with the built-in model), unpacked by
# scripts/setup.sh into deps/rnnoise.
set(_rnnoise "${HUSHKIT_DEPS_DIR}/rnnoise")
if(NOT EXISTS "${_rnnoise}/lib/librnnoise.a" OR NOT EXISTS "${_rnnoise}/include/rnnoise.h")
    message(FATAL_ERROR "RNNoise not found in ${_rnnoise}: run scripts/setup.sh")
endif()
add_library(hushkit::rnnoise STATIC IMPORTED GLOBAL)
set_target_properties(hushkit::rnnoise PROPERTIES
    IMPORTED_LOCATION "${_rnnoise}/lib/librnnoise.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_rnnoise}/include"
    INTERFACE_LINK_LIBRARIES m)
