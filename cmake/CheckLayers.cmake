# cmake -DOV_SOURCE_DIR=DIR -P CheckLayers.cmake
#
# Fails when a library includes Qt or a header of a layer above it. Each library
# folder lists the folders it may include from (its own among them); a quoted
# include is looked up beside the including file first, then from the source
# root, as the compiler does. Standard and system headers in angle brackets are
# free, except Qt's.

if(NOT OV_SOURCE_DIR)
    message(FATAL_ERROR "OV_SOURCE_DIR is not set")
endif()

# folder|the folders it may include from, by commas
set(layers
    "common|common"
    "ovtool/model|common,ovtool/model"
    "ovtool/interchange|common,ovtool/model,3ds2ov,ovtool/interchange"
    "ovedit/archive|common,ovedit/archive"
    "ovedit/ships|common,ovedit/archive,ovedit/ships"
    "3ds2ov|common,3ds2ov"
    "ovedit/convert|common,3ds2ov,ovedit/convert"
)
# Folders under a library folder that are not part of it.
set(not_libraries "common/ui")

set(faults "")
set(checked 0)
foreach(layer IN LISTS layers)
    string(REPLACE "|" ";" parts "${layer}")
    string(REPLACE "," ";" parts "${parts}")
    list(GET parts 0 folder)
    list(SUBLIST parts 1 -1 allowed)
    list(JOIN allowed ", " allowed_text)
    if(NOT IS_DIRECTORY "${OV_SOURCE_DIR}/${folder}")
        continue()
    endif()
    file(GLOB_RECURSE sources RELATIVE "${OV_SOURCE_DIR}"
         "${OV_SOURCE_DIR}/${folder}/*.h" "${OV_SOURCE_DIR}/${folder}/*.hpp"
         "${OV_SOURCE_DIR}/${folder}/*.cpp" "${OV_SOURCE_DIR}/${folder}/*.c"
         "${OV_SOURCE_DIR}/${folder}/*.inl")
    foreach(source IN LISTS sources)
        set(skip OFF)
        foreach(other IN LISTS not_libraries)
            string(FIND "${source}" "${other}/" at)
            if(at EQUAL 0)
                set(skip ON)
            endif()
        endforeach()
        if(skip)
            continue()
        endif()
        math(EXPR checked "${checked} + 1")
        get_filename_component(source_dir "${source}" DIRECTORY)
        file(STRINGS "${OV_SOURCE_DIR}/${source}" includes
             REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS includes)
            if(line MATCHES "include[ \t]*<([^>]+)>")
                set(header "${CMAKE_MATCH_1}")
                # Qt's headers: <QString>, <QtCore/qstring.h>, <qstring.h>.
                if(header MATCHES "^Q[A-Za-z]" OR header MATCHES "^q[a-z0-9_]+\\.h$")
                    list(APPEND faults "${source}: includes Qt (<${header}>)")
                endif()
            elseif(line MATCHES "include[ \t]*\"([^\"]+)\"")
                set(header "${CMAKE_MATCH_1}")
                if(EXISTS "${OV_SOURCE_DIR}/${source_dir}/${header}")
                    set(resolved "${source_dir}/${header}")
                else()
                    set(resolved "${header}")
                endif()
                cmake_path(NORMAL_PATH resolved)
                set(ok OFF)
                foreach(dir IN LISTS allowed)
                    string(FIND "${resolved}" "${dir}/" at)
                    if(at EQUAL 0)
                        set(ok ON)
                    endif()
                endforeach()
                foreach(other IN LISTS not_libraries)
                    string(FIND "${resolved}" "${other}/" at)
                    if(at EQUAL 0)
                        set(ok OFF)
                    endif()
                endforeach()
                if(NOT ok)
                    list(APPEND faults
                         "${source}: includes \"${header}\", outside ${folder}'s layers (${allowed_text})")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "no library sources found under ${OV_SOURCE_DIR}")
endif()
if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Libraries including Qt or a layer above them:\n  ${text}")
endif()
message(STATUS "${checked} library sources include only their own layers")
