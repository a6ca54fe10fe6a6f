# Cross build for 64-bit Windows:
#   cmake -S . -B build-win/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
# Its tests run under Debian's wine64 (which puts no wine64 on PATH) in a 64-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OMBLOR_MINGW_PREFIX x86_64-w64-mingw32)
set(OMBLOR_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
