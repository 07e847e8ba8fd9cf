# The generated header ov/version.h (target ov::version): the project version and
# the commit the build was made from. It is rewritten at every build, so a new
# commit shows without reconfiguring, but only when its text changes, so nothing
# is recompiled otherwise.
set(OV_VERSION_HEADER ${CMAKE_BINARY_DIR}/generated/ov/version.h)
find_package(Git QUIET)
add_custom_target(ov_version_header
    COMMAND ${CMAKE_COMMAND}
            -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DGIT_EXECUTABLE=${GIT_EXECUTABLE}
            -DPROJECT_VERSION=${PROJECT_VERSION}
            -DINPUT=${PROJECT_SOURCE_DIR}/common/version.h.in
            -DOUTPUT=${OV_VERSION_HEADER}
            -P ${PROJECT_SOURCE_DIR}/cmake/WriteVersion.cmake
    BYPRODUCTS ${OV_VERSION_HEADER}
    COMMENT "Version header"
    VERBATIM)
add_library(ov_version INTERFACE)
target_include_directories(ov_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
add_dependencies(ov_version ov_version_header)
add_library(ov::version ALIAS ov_version)
