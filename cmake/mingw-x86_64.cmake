# Cross-compilation to 64-bit Windows with MinGW-w64: a test build of the same sources for
# machines whose kernel cannot run 32-bit Wine (the shipped installer stays 32-bit).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
# The `wine` script starts the 32-bit loader first; the 64-bit loader runs 64-bit programs directly.
set(FLASHDECK_WINE_LOADER /usr/lib/wine/wine64)
set(FLASHDECK_EXTRACTOR_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
