# Runs dll_caller on one .3ds file and checks all it promises: exit status 0, the
# result line, the bytes the callee popped (when POPPED is given) and the SHP, byte
# for byte. A program whose start failed writes no SHP, so it cannot pass.
#   cmake -DLAUNCHER=... -DCALLER=... -DINPUT=... -DTEXTURE=... -DEXPECTED=...
#         [-DPOPPED=12] -DWORK=... -P DllCallTest.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(shp ${WORK}/out.shp)
execute_process(COMMAND ${LAUNCHER} ${CALLER} ${INPUT} ${TEXTURE} ${shp}
                WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dll_caller exited with ${rc}")
endif()
if(NOT out MATCHES "convert3ds2ov returned 0")
    message(FATAL_ERROR "no result line from the call")
endif()
if(POPPED AND NOT out MATCHES "callee popped ${POPPED} bytes of arguments")
    message(FATAL_ERROR "the export does not take its ${POPPED} bytes of arguments off the stack")
endif()
if(NOT EXISTS ${shp})
    message(FATAL_ERROR "no SHP was written")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${shp} ${EXPECTED} RESULT_VARIABLE differ)
if(differ)
    message(FATAL_ERROR "${shp} differs from ${EXPECTED}")
endif()
message("the SHP is byte for byte ${EXPECTED}")
