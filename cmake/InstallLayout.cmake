# Where an installed toolkit keeps its files. Included before the targets, so that
# ovcli can be told where the converter library lies relative to itself.
#
# Windows: everything flat in the install folder, the converter DLL beside the
# programs that load it. Elsewhere: the usual GNU layout, with the converter, a
# library only loaded at run time, in a folder of its own under the library folder.
include(GNUInstallDirs)
set(OV_PACKAGE_NAME orvane-toolkit)
if(WIN32)
    set(OV_INSTALL_BINDIR .)
    set(OV_INSTALL_CONVERTERDIR .)
    set(OV_INSTALL_DOCDIR .)
else()
    set(OV_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
    set(OV_INSTALL_CONVERTERDIR ${CMAKE_INSTALL_LIBDIR}/${OV_PACKAGE_NAME})
    set(OV_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${OV_PACKAGE_NAME})
endif()
# The converter's folder as seen from the programs' folder.
cmake_path(RELATIVE_PATH OV_INSTALL_CONVERTERDIR BASE_DIRECTORY ${OV_INSTALL_BINDIR}
           OUTPUT_VARIABLE OV_CONVERTER_FROM_BINDIR)
