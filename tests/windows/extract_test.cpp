#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "setup/extract_win.h"
#include "setup/setup_rules.h"
#include "system/message_pump_win.h"
#include "system/paths_win.h"
#include "system/resources_win.h"
#include "../support/files_win.h"

namespace {
std::string readAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}


std::uint32_t crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A zip archive with stored (uncompressed) entries, enough for the extractor to unpack.
std::string storedZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string archive;
    std::string directory;
    for (const auto& [name, data] : entries) {
        const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
        const std::uint32_t crc = crc32(data);
        const auto size = static_cast<std::uint32_t>(data.size());
        put32(archive, 0x04034b50);
        put16(archive, 10);  // version needed
        put16(archive, 0);   // flags
        put16(archive, 0);   // stored
        put16(archive, 0);   // time
        put16(archive, 0x21);  // date 1980-01-01
        put32(archive, crc);
        put32(archive, size);
        put32(archive, size);
        put16(archive, static_cast<unsigned>(name.size()));
        put16(archive, 0);
        archive += name + data;

        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 10);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0x21);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, static_cast<unsigned>(name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory += name;
    }
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<unsigned>(entries.size()));
    put16(archive, static_cast<unsigned>(entries.size()));
    put32(archive, static_cast<std::uint32_t>(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0);
    return archive;
}

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = productConfig();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"extract_test_" + std::to_wstring(GetCurrentProcessId());
        setProductConfig(makeProductConfig(L"https://x/", root_, L"C:\\temp\\setup.exe"));
        folder_ = productConfig().installFolder;
        std::filesystem::create_directories(std::filesystem::path(folder_));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(root_), ignored);
        setProductConfig(saved_);
    }

    ProductConfig saved_;
    std::wstring root_;
    std::wstring folder_;
    NoWindowProgress waiter;
};

TEST_F(ExtractTest, WritesTheExtractorResourceUnchanged) {
    const void* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(readResourceBytes(2001, 2000, &data, &size));
    ASSERT_EQ(writeResourceToFile(2001, 2000, L"7za.exe"), 0);
    const std::string written = readAll(folder_ + L"7za.exe");
    ASSERT_EQ(written.size(), size);
    EXPECT_EQ(written, std::string(static_cast<const char*>(data), size));
    EXPECT_EQ(written.substr(0, 2), "MZ");

    // Written again over itself: truncated and replaced, not appended.
    writeResourceToFile(2001, 2000, L"7za.exe");
    EXPECT_EQ(readAll(folder_ + L"7za.exe").size(), size);
}

TEST_F(ExtractTest, MissingResourceWritesNothing) {
    EXPECT_NE(writeResourceToFile(4242, 2000, L"nothing.exe"), 0);
    EXPECT_NE(writeResourceToFile(2001, 4242, L"wrongtype.exe"), 0);
    EXPECT_FALSE(exists(folder_ + L"nothing.exe"));
    EXPECT_FALSE(exists(folder_ + L"wrongtype.exe"));
}

TEST_F(ExtractTest, UnpacksOverExistingFilesAndCleansUp) {
    writeResourceToFile(2001, 2000, L"7za.exe");
    writeAll(folder_ + L"readme.txt", "an older and longer text");
    writeAll(folder_ + L"LumidexFlashdeck.zip",
             storedZip({{"readme.txt", "new text"}, {"bin/", ""}, {"bin/data.bin", std::string("\x00\x01\xff", 3)}}));

    const ChildExit extraction = extractArchive(L"LumidexFlashdeck.zip", waiter);

    EXPECT_TRUE(extraction.started());
    EXPECT_EQ(extraction.exitCode, 0u);
    EXPECT_EQ(readAll(folder_ + L"readme.txt"), "new text");
    EXPECT_EQ(readAll(folder_ + L"bin\\data.bin"), std::string("\x00\x01\xff", 3));
    EXPECT_FALSE(exists(folder_ + L"LumidexFlashdeck.zip"));
    EXPECT_FALSE(exists(folder_ + L"unzip.bat"));
    EXPECT_TRUE(exists(folder_ + L"7za.exe"));
}

TEST_F(ExtractTest, FailedExtractionStillReturnsAndRemovesTheBatchFile) {
    extractArchive(L"LumidexFlashdeck.zip", waiter);
    EXPECT_FALSE(exists(folder_ + L"unzip.bat"));
}

// The interpreter runs as administrator: /D keeps the registry's AutoRun command out, the
// environment holds only the System folder as PATH and the default PATHEXT (not the installer's),
// and standard input is NUL. This test program itself, started from the batch file, reports it.
TEST_F(ExtractTest, TheInterpreterGetsNoAutoRunNoUserPathAndNoInput) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"PATHEXT", L".BAT");
    const ChildExit child = extractArchive(L"none.zip & \"" + std::wstring(self) + L"\" --report-child report.txt", waiter);
    SetEnvironmentVariableW(L"PATHEXT", nullptr);
    EXPECT_TRUE(child.started());

    std::vector<std::string> lines;
    std::istringstream report(readAll(folder_ + L"report.txt"));
    for (std::string line; std::getline(report, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << readAll(folder_ + L"report.txt");
    std::string commandLine = lines[0];
    for (char& c : commandLine) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(commandLine.find("cmd /d /c unzip.bat"), std::string::npos) << lines[0];
    const std::wstring system = systemFolder();
    EXPECT_EQ(lines[1], std::string(system.begin(), system.end()));
    EXPECT_EQ(lines[2], ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC");
    EXPECT_EQ(lines[3], "input: device");
}

TEST_F(ExtractTest, BatchFileOnDiskHoldsExactlyTheGeneratedBytes) {
    // The name makes the batch copy itself before it is deleted, so its bytes can be read.
    const std::wstring name = L"none.zip & copy /y unzip.bat captured.txt";
    extractArchive(name, waiter);
    EXPECT_EQ(readAll(folder_ + L"captured.txt"), unzipBatchBytes(name));
    EXPECT_FALSE(exists(folder_ + L"unzip.bat"));
}
}  // namespace
