#include "system/image_match.h"

#include <cstring>

namespace {
constexpr std::uint32_t sectionIsWritten = 0x80000000;  // IMAGE_SCN_MEM_WRITE
constexpr std::uint16_t pe32Magic = 0x10B;
constexpr std::uint16_t pe32PlusMagic = 0x20B;
constexpr unsigned relocationDirectory = 5;
constexpr unsigned importAddressDirectory = 12;

std::uint64_t read(const std::vector<unsigned char>& bytes, std::size_t at, unsigned size) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    return value;
}

void write(std::vector<unsigned char>& bytes, std::size_t at, unsigned size, std::uint64_t value) {
    for (unsigned i = 0; i < size; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

struct Section {
    std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize, characteristics;
};

struct Layout {
    bool plus = false;
    std::size_t imageBaseAt = 0;  // file offset of the ImageBase field
    std::uint64_t imageBase = 0;
    std::uint32_t sizeOfImage = 0, sizeOfHeaders = 0;
    std::uint32_t relocationRva = 0, relocationSize = 0, iatRva = 0, iatSize = 0;
    std::vector<Section> sections;
};

bool fits(std::size_t offset, std::size_t size, std::size_t total) { return offset <= total && size <= total - offset; }

bool parse(const std::vector<unsigned char>& file, Layout& layout) {
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return false;
    const std::size_t pe = read(file, 0x3C, 4);
    if (!fits(pe, 24, file.size()) || std::memcmp(&file[pe], "PE\0\0", 4) != 0) return false;
    const std::size_t sectionCount = read(file, pe + 6, 2);
    const std::size_t optionalSize = read(file, pe + 20, 2);
    const std::size_t optional = pe + 24;
    if (!fits(optional, optionalSize, file.size()) || optionalSize < 96) return false;
    const std::uint16_t magic = static_cast<std::uint16_t>(read(file, optional, 2));
    if (magic != pe32Magic && magic != pe32PlusMagic) return false;
    layout.plus = magic == pe32PlusMagic;
    layout.imageBaseAt = optional + (layout.plus ? 24 : 28);
    layout.imageBase = read(file, layout.imageBaseAt, layout.plus ? 8 : 4);
    layout.sizeOfImage = static_cast<std::uint32_t>(read(file, optional + 56, 4));
    layout.sizeOfHeaders = static_cast<std::uint32_t>(read(file, optional + 60, 4));
    const std::size_t countAt = optional + (layout.plus ? 108 : 92);
    const std::size_t directories = countAt + 4;
    if (!fits(countAt, 4, optional + optionalSize)) return false;
    const std::size_t directoryCount = read(file, countAt, 4);
    const auto directory = [&](unsigned index, std::uint32_t& rva, std::uint32_t& size) {
        if (index >= directoryCount || !fits(directories + 8 * index, 8, optional + optionalSize)) return;
        rva = static_cast<std::uint32_t>(read(file, directories + 8 * index, 4));
        size = static_cast<std::uint32_t>(read(file, directories + 8 * index + 4, 4));
    };
    directory(relocationDirectory, layout.relocationRva, layout.relocationSize);
    directory(importAddressDirectory, layout.iatRva, layout.iatSize);
    const std::size_t table = optional + optionalSize;
    // The section table lies within the headers, which are compared with the loaded ones.
    if (!fits(table, 40 * sectionCount, layout.sizeOfHeaders) || layout.sizeOfHeaders > file.size()) return false;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = table + 40 * i;
        Section section{static_cast<std::uint32_t>(read(file, at + 12, 4)), static_cast<std::uint32_t>(read(file, at + 8, 4)),
                        static_cast<std::uint32_t>(read(file, at + 20, 4)), static_cast<std::uint32_t>(read(file, at + 16, 4)),
                        static_cast<std::uint32_t>(read(file, at + 36, 4))};
        if (!fits(section.rawOffset, section.rawSize, file.size())) return false;
        layout.sections.push_back(section);
    }
    return true;
}

// The file offset of an address of the image; false when no section's file bytes hold size bytes there.
bool fileOffset(const Layout& layout, std::uint32_t rva, std::size_t size, std::size_t& offset) {
    for (const Section& section : layout.sections) {
        if (rva >= section.virtualAddress && fits(rva - section.virtualAddress, size, section.rawSize)) {
            offset = section.rawOffset + (rva - section.virtualAddress);
            return true;
        }
    }
    return false;
}

// The file's bytes as they would be after the loader's relocation for loadedBase.
bool relocate(std::vector<unsigned char>& bytes, const Layout& layout, std::uint64_t loadedBase) {
    const std::uint64_t delta = loadedBase - layout.imageBase;
    if (delta == 0 || layout.relocationSize == 0) return true;
    std::size_t blocks = 0;
    if (!fileOffset(layout, layout.relocationRva, layout.relocationSize, blocks)) return false;
    const std::size_t end = blocks + layout.relocationSize;
    while (blocks + 8 <= end) {
        const std::uint32_t page = static_cast<std::uint32_t>(read(bytes, blocks, 4));
        const std::uint32_t blockSize = static_cast<std::uint32_t>(read(bytes, blocks + 4, 4));
        if (blockSize < 8 || !fits(blocks, blockSize, end)) return false;
        for (std::size_t entry = blocks + 8; entry + 2 <= blocks + blockSize; entry += 2) {
            const std::uint16_t value = static_cast<std::uint16_t>(read(bytes, entry, 2));
            const unsigned type = value >> 12;
            if (type == 0) continue;  // padding
            const unsigned size = type == 3 ? 4 : type == 10 ? 8 : 0;  // HIGHLOW, DIR64
            std::size_t at = 0;
            if (size == 0 || !fileOffset(layout, page + (value & 0xFFF), size, at)) return false;
            write(bytes, at, size, read(bytes, at, size) + delta);
        }
        blocks += blockSize;
    }
    return true;
}
}  // namespace

bool fileMatchesImage(const std::vector<unsigned char>& file, const unsigned char* image, std::size_t imageSize,
                      std::uint64_t loadedBase) {
    Layout layout;
    if (!image || !parse(file, layout) || layout.sizeOfImage > imageSize || layout.sizeOfHeaders > imageSize) return false;
    std::vector<unsigned char> expected = file;
    if (!relocate(expected, layout, loadedBase)) return false;
    // The headers, with the base where the loader put the image.
    write(expected, layout.imageBaseAt, layout.plus ? 8 : 4, loadedBase);
    std::vector<unsigned char> loadedHeaders(image, image + layout.sizeOfHeaders);
    write(loadedHeaders, layout.imageBaseAt, layout.plus ? 8 : 4, loadedBase);
    if (std::memcmp(expected.data(), loadedHeaders.data(), layout.sizeOfHeaders) != 0) return false;
    for (const Section& section : layout.sections) {
        if (section.characteristics & sectionIsWritten) continue;
        const std::uint32_t size = section.virtualSize != 0 && section.virtualSize < section.rawSize ? section.virtualSize
                                                                                                     : section.rawSize;
        if (!fits(section.virtualAddress, size, imageSize)) return false;
        for (std::uint32_t i = 0; i < size; ++i) {
            const std::uint32_t rva = section.virtualAddress + i;
            // The import addresses are the loader's to fill in, also where they lie in a constant section.
            if (rva >= layout.iatRva && rva - layout.iatRva < layout.iatSize) continue;
            if (expected[section.rawOffset + i] != image[rva]) return false;
        }
    }
    return true;
}
