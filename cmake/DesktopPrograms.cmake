# What the desktop programs need as executables, included once Qt is found.
#
# ov_desktop_program(TARGET ICON): on Windows a windowed program (no console
# window of its own), with ICON (an .ico file) as the executable's icon, which Qt
# also takes as its windows' icon, and the C++ runtime as the DLLs Qt's own DLLs
# use. Elsewhere it changes nothing.
function(ov_desktop_program target icon)
    if(NOT WIN32)
        return()
    endif()
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON OV_SHARED_RUNTIME ON)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_icon.rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT "IDI_ICON1 ICON \"${icon}\"\n")
    target_sources(${target} PRIVATE ${rc})
endfunction()

if(WIN32)
    # The compiler's runtime DLLs, which go beside the desktop programs, and the
    # folders that hold them and Qt's DLLs, for running programs from the build
    # tree (OV_WINDOWS_DLL_DIRS, a list).
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ov_gcc_dll libgcc_s_seh-1.dll)
    else()
        set(ov_gcc_dll libgcc_s_dw2-1.dll)
    endif()
    set(OV_WINDOWS_RUNTIME_DLLS "")
    get_target_property(ov_qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
    if(NOT ov_qt_core)
        get_target_property(ov_qt_core Qt6::Core IMPORTED_LOCATION)
    endif()
    cmake_path(GET ov_qt_core PARENT_PATH ov_qt_bin)
    set(OV_WINDOWS_DLL_DIRS ${ov_qt_bin})
    foreach(dll libstdc++-6.dll ${ov_gcc_dll} libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${file}" OR NOT EXISTS "${file}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        cmake_path(NORMAL_PATH file)
        list(APPEND OV_WINDOWS_RUNTIME_DLLS ${file})
        cmake_path(GET file PARENT_PATH dir)
        list(APPEND OV_WINDOWS_DLL_DIRS ${dir})
    endforeach()
    list(REMOVE_DUPLICATES OV_WINDOWS_DLL_DIRS)
endif()
