#include <gtest/gtest.h>

#include "setup/setup_rules.h"

TEST(UnzipBatchBytes, ExactBytesForTheApplicationArchive) {
    const std::string expected = "7za x -y LumidexFlashdeck.zip\r\ndel /f LumidexFlashdeck.zip";
    EXPECT_EQ(unzipBatchBytes(L"LumidexFlashdeck.zip"), expected);
}

TEST(UnzipBatchBytes, NarrowsEachUnitToItsLowByte) {
    const std::string bytes = unzipBatchBytes(std::wstring(L"a\u0142.zip"));
    // U+0142 keeps only 0x42 ("B"); one byte per unit, no line break at the end.
    EXPECT_EQ(bytes, "7za x -y aB.zip\r\ndel /f aB.zip");
    EXPECT_NE(bytes.back(), '\n');
}

TEST(RuntimeInstallerCommand, QuotesThePath) {
    EXPECT_EQ(runtimeInstallerCommand(L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\"),
              L"\"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\vcredist_x86.exe\" /quiet /norestart");
}

