# Cross-compiling for Windows with Debian's MinGW-w64 compilers (the POSIX-threads
# variants, which have std::thread and std::mutex). Included by mingw-w64-x86_64.cmake
# and mingw-w64-i686.cmake, which set TESSALINE_MINGW_TRIPLET first.
#
# Libraries that Debian ships only for Linux (Oniguruma, GoogleTest) are built for the
# target into a prefix of their own; TESSALINE_WINDOWS_DEPS names it (the build script
# passes it through the environment so that try_compile runs see it too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TESSALINE_MINGW_ARCH})

set(CMAKE_C_COMPILER ${TESSALINE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSALINE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSALINE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSALINE_MINGW_TRIPLET})
if(DEFINED ENV{TESSALINE_WINDOWS_DEPS})
  list(PREPEND CMAKE_FIND_ROOT_PATH $ENV{TESSALINE_WINDOWS_DEPS})
  # pkg-config looks only at the target's .pc files, never at the build machine's.
  set(ENV{PKG_CONFIG_LIBDIR} $ENV{TESSALINE_WINDOWS_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
else()
  set(ENV{PKG_CONFIG_LIBDIR} /usr/${TESSALINE_MINGW_TRIPLET}/lib/pkgconfig)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib (the tests' reference inflate) linked in, like the compiler's runtime below.
set(ZLIB_USE_STATIC_LIBS ON)

# Every program and module carries its own copy of the compiler's runtime: the plug-in
# module replaces the allocation operators inside itself, which only holds when the C++
# library's code is linked into it rather than shared from libstdc++-6.dll, and the
# results then run without the compiler's DLLs on the path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# The test programs run under Wine, whole, from the Windows test script; listing their
# tests at build time would start Wine for each of them, so it waits for ctest instead.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
