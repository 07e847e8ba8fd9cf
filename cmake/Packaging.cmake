# Install rules and packages. Included at the end of the top-level CMakeLists, once
# every target exists.
#
# Components: "programs" (ovcli, the converter library, the desktop programs with
# their desktop entries, icons and file types), "docs" (README and docs/), and
# "devel" (the DLL's import library on Windows, never packaged).

install(TARGETS ovcli RUNTIME DESTINATION ${OV_INSTALL_BINDIR} COMPONENT programs)
install(TARGETS 3ds2ov
        RUNTIME DESTINATION ${OV_INSTALL_CONVERTERDIR} COMPONENT programs
        LIBRARY DESTINATION ${OV_INSTALL_CONVERTERDIR} COMPONENT programs
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel EXCLUDE_FROM_ALL)
if(TARGET ov_assimp_reader)
    install(TARGETS ov_assimp_reader LIBRARY DESTINATION ${OV_INSTALL_CONVERTERDIR} COMPONENT programs)
endif()

install(FILES README.md DESTINATION ${OV_INSTALL_DOCDIR} COMPONENT docs)
install(DIRECTORY docs/ DESTINATION ${OV_INSTALL_DOCDIR}/docs COMPONENT docs
        FILES_MATCHING PATTERN "*.md")

if(WIN32 AND TARGET OVEdit)
    # The desktop programs with what they import, as no windeployqt is there in a
    # cross build: Qt's DLLs, its Windows platform and style plugins in the
    # folders Qt looks in beside the programs, and the C++ runtime's DLLs.
    install(TARGETS OVEdit OVTool RUNTIME DESTINATION ${OV_INSTALL_BINDIR} COMPONENT programs)
    install(IMPORTED_RUNTIME_ARTIFACTS
            Qt6::Core Qt6::Gui Qt6::Widgets Qt6::OpenGL Qt6::OpenGLWidgets Qt6::Concurrent
            RUNTIME DESTINATION ${OV_INSTALL_BINDIR} COMPONENT programs)
    install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin
            LIBRARY DESTINATION ${OV_INSTALL_BINDIR}/platforms COMPONENT programs)
    install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin
            LIBRARY DESTINATION ${OV_INSTALL_BINDIR}/styles COMPONENT programs)
    install(FILES ${OV_WINDOWS_RUNTIME_DLLS} DESTINATION ${OV_INSTALL_BINDIR} COMPONENT programs)
    # Those DLLs come with their symbols (libstdc++'s alone is 23 MB); a stripping
    # install (CPack's) strips them as it strips the programs.
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        file(GLOB_RECURSE ov_dlls \"\${CMAKE_INSTALL_PREFIX}/${OV_INSTALL_BINDIR}/*.dll\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \${ov_dlls} COMMAND_ERROR_IS_FATAL ANY)
    endif()" COMPONENT programs)
endif()

if(NOT WIN32)
    set(ov_packaging ${PROJECT_SOURCE_DIR}/packaging)
    # The game's file types, for the desktop programs and any file manager.
    install(FILES ${ov_packaging}/${OV_PACKAGE_NAME}.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT programs)
    # The desktop programs, with their menu entries and icons, once they are built.
    foreach(program OVEdit OVTool)
        if(TARGET ${program})
            string(TOLOWER ${program} id)
            install(TARGETS ${program} RUNTIME DESTINATION ${OV_INSTALL_BINDIR} COMPONENT programs)
            install(FILES ${ov_packaging}/${id}.desktop
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
            install(FILES ${ov_packaging}/icons/${id}.svg
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
                    COMPONENT programs)
        endif()
    endforeach()
    # Command-line completion for ovcli, where it is written.
    if(EXISTS ${PROJECT_SOURCE_DIR}/ovcli/completion/ovcli.bash)
        install(FILES ${PROJECT_SOURCE_DIR}/ovcli/completion/ovcli.bash
                DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
                RENAME ovcli COMPONENT programs)
    endif()
endif()

# ---- Packages ------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME ${OV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Orvane toolkit developers")
set(OV_PACKAGE_CONTACT "Orvane toolkit developers <orvane-toolkit@users.noreply.example>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_PACKAGE_CONTACT ${OV_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Modding toolkit for Orvane: archives, ship statistics, weapons and ship models")
set(CPACK_PACKAGE_DESCRIPTION
    "Looks inside the data files of the space-combat game Orvane and changes them: the \
resource archive, the ship statistics file and the ship models (SHP files). Converts \
3D Studio meshes into ship models. Ships ovcli, the command-line front end to \
everything, the 3ds2ov converter library, and the desktop programs OV Edit and OV Tool \
where they were built.")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # A zip of the programs and the documentation. From a 64-bit build, the programs
    # go to x64/ (the desktop programs among them, where Qt was found); with
    # OV_PACKAGE_WIN32_BUILD naming a 32-bit build of the same sources, that
    # build's programs go to x86/.
    set(OV_PACKAGE_WIN32_BUILD "" CACHE PATH "A 32-bit Windows build to add to the zip")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${OV_PACKAGE_NAME}-${PROJECT_VERSION}-windows)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ov_arch x64)
    else()
        set(ov_arch x86)
    endif()
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "${CMAKE_BINARY_DIR};${PROJECT_NAME};programs;/${ov_arch}"
        "${CMAKE_BINARY_DIR};${PROJECT_NAME};docs;/")
    if(OV_PACKAGE_WIN32_BUILD)
        list(APPEND CPACK_INSTALL_CMAKE_PROJECTS
             "${OV_PACKAGE_WIN32_BUILD};${PROJECT_NAME};programs;/x86")
    endif()
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION games)
    # Dependencies found by dpkg-shlibdeps from what the programs link: the C++
    # runtime, and Qt's packages once the desktop programs are built.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)

# The package made from this build, unpacked and run.
if(OV_BUILD_TESTS AND NOT WIN32)
    add_test(NAME deb_package COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/test-deb.sh ${CMAKE_BINARY_DIR})
endif()
