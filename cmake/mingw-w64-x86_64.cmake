# Toolchain file: 64-bit Windows (x86-64) with Debian's MinGW-w64 compilers.
set(TESSALINE_MINGW_ARCH x86_64)
set(TESSALINE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
