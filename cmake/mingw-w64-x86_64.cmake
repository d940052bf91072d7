# Cross-builds the Windows program with Debian's mingw-w64 (the POSIX threading variant, which
# std::thread and friends need) into one statically linked 64-bit executable.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVOSET_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELVOSET_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELVOSET_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVOSET_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELVOSET_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No runtime DLL beside the program: the C++ runtime and winpthreads go into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, in a prefix of the build's own (cmake/wine-run sets it up).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
