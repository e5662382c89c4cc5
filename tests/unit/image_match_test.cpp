#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "system/image_match.h"

namespace {
using Bytes = std::vector<unsigned char>;

void put(Bytes& b, std::size_t at, unsigned size, std::uint64_t value) {
    for (unsigned i = 0; i < size; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A small PE32 file: code with one absolute address (and its relocation), data, relocations.
constexpr std::size_t optional = 0x58, table = optional + 224, pointerAt = 0x10;
constexpr std::uint32_t fileBase = 0x400000;
struct SectionSpec {
    std::uint32_t va, vs, raw, rawSize, characteristics;
};
const SectionSpec sections[] = {{0x1000, 0x100, 0x200, 0x200, 0x60000020},
                                {0x2000, 0x100, 0x400, 0x200, 0xC0000040},
                                {0x3000, 12, 0x600, 0x200, 0x42000040}};

Bytes peFile() {
    Bytes f(0x800, 0);
    f[0] = 'M', f[1] = 'Z';
    put(f, 0x3C, 4, 0x40);
    f[0x40] = 'P', f[0x41] = 'E';
    put(f, 0x44, 2, 0x14C);
    put(f, 0x46, 2, 3);
    put(f, 0x54, 2, 224);
    put(f, optional, 2, 0x10B);
    put(f, optional + 28, 4, fileBase);
    put(f, optional + 56, 4, 0x4000);
    put(f, optional + 60, 4, 0x200);
    put(f, optional + 92, 4, 16);
    put(f, optional + 96 + 8 * 5, 4, 0x3000);
    put(f, optional + 96 + 8 * 5 + 4, 4, 12);
    for (std::size_t i = 0; i < 3; ++i) {
        const SectionSpec& s = sections[i];
        const std::size_t at = table + 40 * i;
        put(f, at + 8, 4, s.vs), put(f, at + 12, 4, s.va), put(f, at + 16, 4, s.rawSize), put(f, at + 20, 4, s.raw);
        put(f, at + 36, 4, s.characteristics);
    }
    for (std::size_t i = 0; i < 0x100; ++i) f[0x200 + i] = static_cast<unsigned char>(i * 7 + 1);  // code
    put(f, 0x200 + pointerAt, 4, fileBase + 0x2010);  // an absolute address of a datum
    for (std::size_t i = 0; i < 0x100; ++i) f[0x400 + i] = static_cast<unsigned char>(i);  // data
    put(f, 0x600, 4, 0x1000), put(f, 0x604, 4, 12), put(f, 0x608, 2, (3 << 12) | pointerAt), put(f, 0x60A, 2, 0);
    return f;
}

// The image as a loader makes it from a file at base: headers, sections, relocation, new base.
Bytes load(const Bytes& f, std::uint32_t base) {
    Bytes image(0x4000, 0);
    std::copy(f.begin(), f.begin() + 0x200, image.begin());
    for (const SectionSpec& s : sections) std::copy(f.begin() + s.raw, f.begin() + s.raw + std::min(s.vs, s.rawSize), image.begin() + s.va);
    std::uint32_t pointer = 0;
    for (unsigned i = 0; i < 4; ++i) pointer |= static_cast<std::uint32_t>(image[0x1000 + pointerAt + i]) << (8 * i);
    put(image, 0x1000 + pointerAt, 4, pointer + (base - fileBase));
    put(image, optional + 28, 4, base);
    return image;
}

TEST(ImageMatch, TheFileOfTheImageMatchesWhereverItWasLoaded) {
    const Bytes file = peFile();
    for (const std::uint32_t base : {fileBase, 0x10000000u, 0x00010000u}) {
        Bytes image = load(file, base);
        EXPECT_TRUE(fileMatchesImage(file, image.data(), image.size(), base)) << base;
        // What the program writes while it runs (its data) is no difference.
        image[0x2000] ^= 0xFF;
        EXPECT_TRUE(fileMatchesImage(file, image.data(), image.size(), base)) << base;
    }
    // An image whose address was not relocated is not what this file gives there.
    const Bytes unrelocated = load(file, fileBase);
    EXPECT_FALSE(fileMatchesImage(file, unrelocated.data(), unrelocated.size(), 0x10000000u));
}

// Another program under the same name: changed code, resources or headers, or no PE file at all.
TEST(ImageMatch, AnotherFileIsRefused) {
    const Bytes original = peFile();
    const Bytes image = load(original, 0x10000000u);
    const auto refused = [&image](const Bytes& file) {
        return !fileMatchesImage(file, image.data(), image.size(), 0x10000000u);
    };
    Bytes code = original;
    code[0x2F0] ^= 1;
    EXPECT_TRUE(refused(code));
    Bytes pointer = original;
    put(pointer, 0x200 + pointerAt, 4, fileBase + 0x1000);  // the datum's address aimed elsewhere
    EXPECT_TRUE(refused(pointer));
    Bytes writable = original;  // code declared writable, so that it would not be compared
    put(writable, table + 36, 4, 0xE0000020);
    EXPECT_TRUE(refused(writable));
    Bytes relocations = original;  // a relocation that moves a code byte the image does not have moved
    put(relocations, 0x60A, 2, (3 << 12) | 0x40);
    EXPECT_TRUE(refused(relocations));
    EXPECT_TRUE(refused(Bytes(original.begin(), original.begin() + 0x500)));
    EXPECT_TRUE(refused(Bytes()));
    Bytes notPe = original;
    notPe[0x41] = 'X';
    EXPECT_TRUE(refused(notPe));
    EXPECT_FALSE(fileMatchesImage(original, nullptr, 0, 0x10000000u));
}
}  // namespace
