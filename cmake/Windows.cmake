# The Windows configuration (MinGW-w64 cross build, see cmake/MinGW.cmake).
# Included before the VST3 SDK; hushkit_mend_sdk_for_mingw() runs after it.
#
# Everything is linked statically, so that Wine and hosts need no MinGW
# runtime DLLs. Code carries line tables and function names (DWARF 4, which
# Wine's debugger reads) so that a crash under Wine prints a readable
# backtrace.
add_link_options(-static)
add_compile_options(-g1 -gdwarf-4)

# The SDK runs its moduleinfotool right after linking the module, which cannot
# execute a Windows program here; hushkit_windows_module_info() runs it through
# the emulator instead.
set(SMTG_CREATE_MODULE_INFO OFF CACHE BOOL "" FORCE)

# Fixes the SDK's targets for MinGW, without touching the SDK's sources.
function(hushkit_mend_sdk_for_mingw)
    # MinGW's headers are lower case; the SDK includes <Windows.h>.
    set(shim "${CMAKE_BINARY_DIR}/mingw-include")
    file(WRITE "${shim}/Windows.h" "#include <windows.h>\n")
    target_include_directories(sdk PRIVATE "${shim}")

    # MinGW's runtime has no std::aligned_alloc, which only the data-exchange
    # utility uses; the plug-in does not.
    get_target_property(sources sdk SOURCES)
    list(FILTER sources EXCLUDE REGEX "/dataexchange\\.cpp$")
    set_target_properties(sdk PROPERTIES SOURCES "${sources}")

    # The SDK's command-line tools enter at wmain.
    target_link_options(validator PRIVATE -municode)
    target_link_options(moduleinfotool PRIVATE -municode)

    # The SDK marks the bundle folder with an icon through Windows' attrib,
    # which does not exist here: its function is replaced by an empty one.
    function(smtg_target_add_folder_icon)
    endfunction()
endfunction()

# Writes the bundle's Contents/Resources/moduleinfo.json after linking, running
# the SDK's moduleinfotool through the emulator (scripts/wine-env.sh provides
# the Wine prefix the build needs).
function(hushkit_windows_module_info target)
    get_target_property(bundle ${target} SMTG_PLUGIN_PACKAGE_PATH)
    add_dependencies(${target} moduleinfotool)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:moduleinfotool>
                -create -version ${PROJECT_VERSION} -path "${bundle}"
                -output "${bundle}/Contents/Resources/moduleinfo.json"
        VERBATIM)
endfunction()
