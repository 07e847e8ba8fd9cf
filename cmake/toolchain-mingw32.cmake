# Cross build for 32-bit Windows with Debian's mingw-w64 compilers (posix threads),
# tested under 32-bit Wine.
#
# Floating point goes through SSE2, not the x87 unit: x87 keeps intermediates at
# extended precision, which changes the last bit of some computed normals, and the
# converter must write the same bytes on every platform.
set(OV_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
