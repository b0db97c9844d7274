# Toolchain file: 32-bit Windows (x86) with Debian's MinGW-w64 compilers.
set(TESSALINE_MINGW_ARCH x86)
set(TESSALINE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
