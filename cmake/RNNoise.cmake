# RNNoise 0.2 (header and static library with the built-in model), unpacked by
# scripts/setup.sh into deps/rnnoise.
set(_rnnoise "${HUSHKIT_DEPS_DIR}/rnnoise")
if(NOT EXISTS "${_rnnoise}/lib/librnnoise.a" OR NOT EXISTS "${_rnnoise}/include/rnnoise.h")
    message(FATAL_ERROR "RNNoise not found in ${_rnnoise}: run scripts/setup.sh")
endif()

# The analysis entry reads the library's private state at fixed offsets
# (engine/RnnoiseLayout.h), which hold for one build of the library only: the
# pinned one, known by its checksum. Another build must be accepted on purpose
# after its layout has been checked.
set(HUSHKIT_RNNOISE_SHA256 "e050720d90b8acecf22d29dab246abdff209fe7a5ff1ab9c2083253913612e85")
option(HUSHKIT_RNNOISE_ANY_BUILD "Link an RNNoise library other than the pinned build" OFF)
file(SHA256 "${_rnnoise}/lib/librnnoise.a" _rnnoise_sha256)
if(NOT _rnnoise_sha256 STREQUAL HUSHKIT_RNNOISE_SHA256 AND NOT HUSHKIT_RNNOISE_ANY_BUILD)
    message(FATAL_ERROR "${_rnnoise}/lib/librnnoise.a is not the pinned RNNoise build (SHA-256 "
                        "${_rnnoise_sha256}); run scripts/setup.sh, or configure with "
                        "-DHUSHKIT_RNNOISE_ANY_BUILD=ON once its state layout has been checked")
endif()

add_library(hushkit::rnnoise STATIC IMPORTED GLOBAL)
set_target_properties(hushkit::rnnoise PROPERTIES
    IMPORTED_LOCATION "${_rnnoise}/lib/librnnoise.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_rnnoise}/include"
    INTERFACE_LINK_LIBRARIES m)
