# VST3 SDK 3.7.10, unpacked by scripts/setup.sh into deps/vst3sdk and built by
# its own CMake inside this build.
#
# The SDK is added as a SYSTEM subdirectory (its headers are system headers
# for the project's targets, so the project's warning flags do not report on
# them) and EXCLUDE_FROM_ALL (only the SDK targets that something here links
# or depends on are built). The whole-build sanitizer flags of
# cmake/Sanitizers.cmake reach the SDK too, as they must for ASan and TSan.
set(HUSHKIT_VST3SDK_DIR "${HUSHKIT_DEPS_DIR}/vst3sdk")
if(NOT EXISTS "${HUSHKIT_VST3SDK_DIR}/CMakeLists.txt"
   OR NOT EXISTS "${HUSHKIT_VST3SDK_DIR}/public.sdk/source/vst/vstaudioeffect.cpp")
    message(FATAL_ERROR "VST3 SDK not found in ${HUSHKIT_VST3SDK_DIR}: run scripts/setup.sh")
endif()

set(SMTG_ENABLE_VST3_PLUGIN_EXAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_ENABLE_VST3_HOSTING_EXAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_ENABLE_VSTGUI_SUPPORT OFF CACHE BOOL "" FORCE)
set(SMTG_CREATE_PLUGIN_LINK OFF CACHE BOOL "" FORCE)
# The validator runs as a test of the bundle, not as a step after every build
# (its self-test after linking does not finish under ThreadSanitizer).
set(SMTG_RUN_VST_VALIDATOR OFF CACHE BOOL "" FORCE)

add_subdirectory("${HUSHKIT_VST3SDK_DIR}" "${CMAKE_BINARY_DIR}/vst3sdk" SYSTEM EXCLUDE_FROM_ALL)

# smtg_enable_vst3_sdk() also points the output directories of every later
# target at bin/<config> and lib/<config>; the project keeps its binaries in
# their own build folders, so those three settings are put back afterwards.
# The bundle's location does not depend on them.
set(_hushkit_saved_archive_dir "${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}")
set(_hushkit_saved_library_dir "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}")
set(_hushkit_saved_runtime_dir "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
smtg_enable_vst3_sdk()
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY "${_hushkit_saved_archive_dir}")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${_hushkit_saved_library_dir}")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${_hushkit_saved_runtime_dir}")

# The SDK's hosting classes, for the tests and the benchmark that drive the
# plug-in as a host does.
if(HUSHKIT_TESTS OR HUSHKIT_BENCH)
    set(_hosting "${HUSHKIT_VST3SDK_DIR}/public.sdk/source")
    add_library(hushkit_vst3_hosting STATIC
        ${_hosting}/vst/hosting/hostclasses.cpp
        ${_hosting}/vst/hosting/processdata.cpp
        ${_hosting}/vst/hosting/parameterchanges.cpp
        ${_hosting}/vst/hosting/connectionproxy.cpp
        ${_hosting}/vst/hosting/eventlist.cpp
        ${_hosting}/vst/hosting/pluginterfacesupport.cpp
        ${_hosting}/common/memorystream.cpp
    )
    target_link_libraries(hushkit_vst3_hosting PUBLIC sdk)
    set_target_properties(hushkit_vst3_hosting PROPERTIES SYSTEM ON)
endif()
