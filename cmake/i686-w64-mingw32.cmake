# Cross build for 32-bit Windows:
#   cmake -S . -B build-win/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
# Its tests need wine's 32-bit loader (Debian's wine32:i386), which only runs where the kernel
# runs 32-bit x86 programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OMBLOR_MINGW_PREFIX i686-w64-mingw32)
set(OMBLOR_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
