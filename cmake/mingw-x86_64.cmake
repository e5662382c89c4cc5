# Cross-compilation to 64-bit Windows with MinGW-w64: a test build of the same sources for
# machines whose kernel cannot run 32-bit Wine (the shipped installer stays 32-bit).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
# The posix thread model gives GoogleTest its std::mutex; linked statically like everything else.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The `wine` script starts the 32-bit loader first; the 64-bit loader runs 64-bit programs directly.
set(FLASHDECK_WINE_LOADER /usr/lib/wine/wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FLASHDECK_WINE_LOADER})
set(FLASHDECK_EXTRACTOR_ARCH x64)
