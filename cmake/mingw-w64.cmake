# What both Windows cross builds share (Debian's mingw-w64, posix threads variant). The toolchain
# files cmake/i686-w64-mingw32.cmake and cmake/x86_64-w64-mingw32.cmake set OMBLOR_MINGW_PREFIX
# and the processor, then include this.
# Everything is linked statically, so the executables import system DLLs only and run with
# nothing beside them. Tests run under wine (OMBLOR_WINE_LOADER, set by the toolchain file).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${OMBLOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMBLOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${OMBLOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OMBLOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static-libgcc -static-libstdc++ alone would still import libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${OMBLOR_WINE_LOADER})
