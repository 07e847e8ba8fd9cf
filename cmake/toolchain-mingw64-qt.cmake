# The 64-bit Windows cross build with the desktop programs: Qt's own toolchain
# file of a Qt cross-built for mingw-w64 (scripts/build-qt-windows.sh), which
# chain-loads toolchain-mingw64.cmake and is what lets find_package see that Qt
# through the sysroot-only search. The Qt is the cache variable or environment
# variable OV_QT_WINDOWS, else the newest complete one in /var/cache/orvane.
# Without one, this is toolchain-mingw64.cmake alone, and the configure step says
# that the desktop programs are skipped.
if(NOT OV_QT_WINDOWS)
    if(NOT "$ENV{OV_QT_WINDOWS}" STREQUAL "")
        set(OV_QT_WINDOWS "$ENV{OV_QT_WINDOWS}")
    else()
        file(GLOB ov_qt_found /var/cache/orvane/qt6-*-mingw64/.complete)
        if(ov_qt_found)
            list(SORT ov_qt_found COMPARE NATURAL ORDER DESCENDING)
            list(GET ov_qt_found 0 ov_qt_found)
            cmake_path(GET ov_qt_found PARENT_PATH OV_QT_WINDOWS)
        endif()
    endif()
endif()
set(OV_QT_WINDOWS "${OV_QT_WINDOWS}" CACHE PATH "The Qt cross-built for 64-bit Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OV_QT_WINDOWS)

set(ov_qt_toolchain ${OV_QT_WINDOWS}/lib/cmake/Qt6/qt.toolchain.cmake)
if(OV_QT_WINDOWS AND EXISTS ${ov_qt_toolchain})
    set(QT_CHAINLOAD_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw64.cmake)
    include(${ov_qt_toolchain})
else()
    include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw64.cmake)
endif()
