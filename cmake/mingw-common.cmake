# What both mingw-w64 toolchains share; OV_MINGW_TRIPLET names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${OV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${OV_MINGW_TRIPLET}-windres)

# Headers and libraries come from the mingw sysroot only, never from the host's
# /usr/include or /usr/lib; programs (git, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${OV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine, through a wrapper that keeps one quiet prefix for every run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
