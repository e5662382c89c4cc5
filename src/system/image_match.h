// Whether an executable file is the file of an image that is running: the check that no other
// program was put under the running installer's name before it read its own file. Portable: it
// works on the bytes alone, so the host tests it with images of any layout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Compares a PE file (PE32 or PE32+) with its image as the loader mapped it at loadedBase
// (imageSize bytes readable there): the headers (except the image base, which the loader may set
// to where it loaded), and every section that the program does not write at run time (code,
// constants, resources, relocations), with the file's relocations applied for loadedBase first.
// False for a file that differs in any of them, that is no PE file or whose relocations or
// sections lie outside it.
bool fileMatchesImage(const std::vector<unsigned char>& file, const unsigned char* image, std::size_t imageSize,
                      std::uint64_t loadedBase);
