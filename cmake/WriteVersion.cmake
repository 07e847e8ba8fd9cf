# cmake -DSOURCE_DIR=... -DGIT_EXECUTABLE=... -DPROJECT_VERSION=... -DINPUT=... -DOUTPUT=...
#       -P WriteVersion.cmake
# Writes OUTPUT from INPUT with the version and, from git, the commit.
set(OV_GIT_COMMIT "")
set(modified "")
if(GIT_EXECUTABLE)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE rc ERROR_QUIET)
    if(rc EQUAL 0 AND commit)
        set(OV_GIT_COMMIT ${commit})
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain
                                --untracked-files=no
                        OUTPUT_VARIABLE changes RESULT_VARIABLE rc ERROR_QUIET)
        if(rc EQUAL 0 AND changes)
            set(modified ", modified")
        endif()
    endif()
endif()
if(OV_GIT_COMMIT)
    set(OV_VERSION_TEXT "${PROJECT_VERSION} (commit ${OV_GIT_COMMIT}${modified})")
else()
    set(OV_VERSION_TEXT "${PROJECT_VERSION}")
endif()
configure_file(${INPUT} ${OUTPUT} @ONLY)
