# Dependencies of a cross build (the mingw-w64 presets), where the host's packages
# cannot simply be found: the toolchain keeps the host's /usr/include and /usr/lib
# out of the build.

# The compiler's runtime (libgcc, libstdc++, winpthread) is linked statically, so
# ovcli and the converter DLL need no DLL beside them. A program on Qt (target
# property OV_SHARED_RUNTIME) links the runtime's DLLs instead, the ones Qt's own
# DLLs use: one C++ runtime in the process, not two.
if(MINGW)
    add_link_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:OV_SHARED_RUNTIME>>>:-static>")
endif()

# CLI11 is header-only: copy its headers into the build tree and use them from
# there, so no other host header can be picked up through the same include path.
find_path(OV_CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(ov_cli11_copy ${CMAKE_BINARY_DIR}/third_party/cli11/include)
file(COPY ${OV_CLI11_INCLUDE_DIR}/CLI DESTINATION ${ov_cli11_copy})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${ov_cli11_copy})

# nlohmann-json, header-only too, the same way.
find_path(OV_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
set(ov_json_copy ${CMAKE_BINARY_DIR}/third_party/nlohmann_json/include)
file(COPY ${OV_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${ov_json_copy})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${ov_json_copy})

# tinygltf, header-only as the interchange library uses it, the same way (it
# includes nlohmann-json, copied above). assimp is not cross-built: the Windows
# programs read glTF only.
find_path(OV_TINYGLTF_HOST_DIR tiny_gltf.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(ov_tinygltf_copy ${CMAKE_BINARY_DIR}/third_party/tinygltf/include)
file(COPY ${OV_TINYGLTF_HOST_DIR}/tiny_gltf.h DESTINATION ${ov_tinygltf_copy})
add_library(tinygltf::tinygltf INTERFACE IMPORTED)
target_include_directories(tinygltf::tinygltf SYSTEM INTERFACE ${ov_tinygltf_copy})
target_link_libraries(tinygltf::tinygltf INTERFACE nlohmann_json::nlohmann_json)

# GoogleTest built for the target from Debian's googletest sources.
if(OV_BUILD_TESTS)
    set(OV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
    if(NOT EXISTS ${OV_GTEST_SOURCE_DIR}/googletest/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${OV_GTEST_SOURCE_DIR} "
                            "(Debian package googletest)")
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${OV_GTEST_SOURCE_DIR}/googletest ${CMAKE_BINARY_DIR}/third_party/googletest
                     EXCLUDE_FROM_ALL SYSTEM)
endif()

# ov_add_checked_test(NAME PATTERN TARGET [ARG...]): runs TARGET through the
# emulator; passes on exit status 0 together with a line of output matching
# PATTERN. A test program is run once as a whole, not once per case: every start
# under Wine costs a process start of Wine itself.
function(ov_add_checked_test name pattern target)
    add_test(NAME ${name}
             COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/run-checked.sh ${pattern}
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> ${ARGN})
endfunction()
