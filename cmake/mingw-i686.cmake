# Cross-compilation to 32-bit Windows with MinGW-w64: the shipped installer.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(FLASHDECK_WINE_LOADER wine)
set(FLASHDECK_EXTRACTOR_ARCH ia32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
