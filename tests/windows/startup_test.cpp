// Start-up pieces that need Windows: the product folders, the system function tables and the
// resources of the built installer executable.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "startup/command_line.h"
#include "startup/relaunch_win.h"
#include "system/paths_win.h"
#include "system/resources_win.h"
#include "system/system_functions_win.h"

namespace {
std::wstring modulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

std::wstring lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

TEST(ProductFolders, LieUnderThe32BitProgramFilesFolder) {
    configureProduct(L"https://127.0.0.1/");
    const ProductConfig& c = productConfig();
    EXPECT_EQ(c.vendorFolder, L"C:\\Program Files (x86)\\Lumidex\\");
    EXPECT_EQ(c.installFolder, L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\");
    EXPECT_EQ(c.downloadRoot, L"https://127.0.0.1/Flashdeck/");
    EXPECT_EQ(c.selfPath, modulePath(nullptr));
    EXPECT_EQ(lower(c.selfFileName), L"windows_tests.exe");
    // A 32-bit process sees System32, which Windows redirects to the 32-bit libraries.
    EXPECT_EQ(lower(systemFolder()), L"c:\\windows\\system32");
}

TEST(SystemFunctions, ComeFromTheSystemFolder) {
    const GdiTable& gdi = gdiTable();
    ASSERT_NE(gdi.module, nullptr);
    EXPECT_EQ(lower(modulePath(gdi.module)), lower(systemFolder() + L"\\gdi32.dll"));
    for (const void* entry : {reinterpret_cast<const void*>(gdi.SetTextColor), reinterpret_cast<const void*>(gdi.SetBkMode),
                              reinterpret_cast<const void*>(gdi.SelectObject), reinterpret_cast<const void*>(gdi.MoveToEx),
                              reinterpret_cast<const void*>(gdi.LineTo), reinterpret_cast<const void*>(gdi.GetStockObject),
                              reinterpret_cast<const void*>(gdi.GetDeviceCaps), reinterpret_cast<const void*>(gdi.CreateSolidBrush),
                              reinterpret_cast<const void*>(gdi.CreateFontIndirectW)}) {
        EXPECT_NE(entry, nullptr);
    }
    ASSERT_NE(cacheEntryDeleter().module, nullptr);
    EXPECT_EQ(lower(modulePath(cacheEntryDeleter().module)), lower(systemFolder() + L"\\wininet.dll"));
    EXPECT_NE(cacheEntryDeleter().DeleteUrlCacheEntryW, nullptr);
    // The libraries that are not KnownDLLs are never imported: each comes by full path from here.
    const std::pair<HMODULE, const wchar_t*> libraries[] = {
        {winInet().module, L"\\wininet.dll"}, {commonControls().module, L"\\comctl32.dll"}, {gdiPlus().module, L"\\gdiplus.dll"}};
    for (const auto& [module, name] : libraries) {
        ASSERT_NE(module, nullptr) << name;
        EXPECT_EQ(lower(modulePath(module)), lower(systemFolder() + name));
    }
    EXPECT_TRUE(winInet().complete());
    EXPECT_NE(commonControls().InitCommonControlsEx, nullptr);
    for (const void* entry : {reinterpret_cast<const void*>(gdiPlus().GdiplusStartup),
                              reinterpret_cast<const void*>(gdiPlus().GdipLoadImageFromStream),
                              reinterpret_cast<const void*>(gdiPlus().GdipCreateFromHDC),
                              reinterpret_cast<const void*>(gdiPlus().GdipDeleteGraphics),
                              reinterpret_cast<const void*>(gdiPlus().GdipDrawImageRectI)}) {
        EXPECT_NE(entry, nullptr);
    }
}

TEST(SystemFunctions, ResourceTableIsFilledOnceOnFirstUse) {
    const void* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(readResourceBytes(3002, 3000, &data, &size));
    const int loads = resourceTableLoadCount();
    EXPECT_EQ(loads, 1);
    for (int i = 0; i < 5; ++i) readResourceBytes(2001, 2000, &data, &size);
    EXPECT_FALSE(readResourceBytes(4242, 3000, &data, &size));
    EXPECT_EQ(resourceTableLoadCount(), loads);
    EXPECT_EQ(lower(modulePath(resourceFunctions().module)), lower(systemFolder() + L"\\kernel32.dll"));
}

// The built installer carries every resource the program reads.
class InstallerResources : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = std::string("Z:") + INSTALLER_EXE;
        module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << path;
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    std::string bytes(int id, LPCWSTR type) const {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (!found) return {};
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return data ? std::string(data, SizeofResource(module, found)) : std::string();
    }
    HMODULE module = nullptr;
};

TEST_F(InstallerResources, ExtractorIsAWindowsProgram) {
    const std::string exe = bytes(2001, MAKEINTRESOURCEW(2000));
    ASSERT_GT(exe.size(), 0x100u);
    EXPECT_EQ(exe.substr(0, 2), "MZ");
    std::uint32_t peOffset = 0;
    std::memcpy(&peOffset, exe.data() + 0x3c, 4);
    ASSERT_LT(peOffset + 6, exe.size());
    EXPECT_EQ(exe.substr(peOffset, 4), std::string("PE\0\0", 4));
    EXPECT_EQ(static_cast<unsigned char>(exe[peOffset + 4]), 0x4c);  // i386
}

// Stored at three times its 96-DPI place (130 x 34): only ever scaled down, also at 200 %.
TEST_F(InstallerResources, LogoIsA390By104Png) {
    const std::string png = bytes(3002, MAKEINTRESOURCEW(3000));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    auto be32 = [&](std::size_t at) {
        const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
        return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    };
    EXPECT_EQ(be32(16), 390);
    EXPECT_EQ(be32(20), 104);
}

TEST_F(InstallerResources, ClassNameIconAndManifest) {
    wchar_t className[100] = {};
    LoadStringW(module, 109, className, 100);
    EXPECT_STREQ(className, L"TOLVANE");
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(14)), nullptr);  // icon group
    const std::string manifest = bytes(1, MAKEINTRESOURCEW(24));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos);
    // Per-monitor v2, falling back to per-monitor, and to system awareness before Windows 8.1.
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    const std::string table = bytes(1001, MAKEINTRESOURCEW(1000));
    EXPECT_EQ(table.substr(0, 2), "\xff\xfe");
}
// The portable splitter agrees with the system's own on every rule it mimics, so the Uninstall
// entry's command and a deployment tool's lines mean what Windows says they mean.
TEST(CommandLineSplit, AgreesWithCommandLineToArgvW) {
    const wchar_t* lines[] = {
        L"-uninstall", L"  -silent\t-log  C:\\a.log ", L"-log \"C:\\Logs Here\\pre-uninstall\\a.log\" -silent",
        L"-test \"https://h/\" \"\" x", L"a\\\\\"b c\" d", L"a\\\"b c", L"\"a\\\\\" b", L"C:\\a\\ b\\\\",
        L"\"a\"\"\"b\" c", L"\"\"\" x", L"\"a\"\" b\"", L"\"a\"\"\"\"b\"", L"\"unclosed  x",
        L"\"x\r\n-uninstall\" y\nz", L"a\\\"\"\"b",
    };
    for (const wchar_t* line : lines) {
        int count = 0;
        const std::wstring full = std::wstring(L"setup.exe ") + line;
        LPWSTR* argv = CommandLineToArgvW(full.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        const std::vector<std::wstring> system(argv + 1, argv + count);
        LocalFree(argv);
        EXPECT_EQ(splitArguments(line), system) << testing::PrintToString(std::wstring(line));
        std::wstring quoted = L"setup.exe";
        for (const std::wstring& argument : system) quoted += L" " + quoteArgument(argument);
        argv = CommandLineToArgvW(quoted.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        EXPECT_EQ(std::vector<std::wstring>(argv + 1, argv + count), system) << testing::PrintToString(quoted);
        LocalFree(argv);
    }
}
}  // namespace
