// Downloads against tools/fault_server.py (started by tools/run_with_fault_server.sh, which
// passes its address in FAULT_SERVER_URL and its request log in FAULT_SERVER_LOG).
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "download/download_win.h"
#include "localization/text_table.h"
#include "system/system_functions_win.h"
#include "window/boxes_win.h"
#include "box_recorder.h"

namespace fs = std::filesystem;

namespace {

// A stand-in for the progress bar: records every PBM_SETPOS; optionally presses Cancel
// (cancels the download's token) when the first position arrives.
std::vector<unsigned> positions;
bool abortOnProgress = false;
CancelToken token;
LRESULT CALLBACK barProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PBM_SETPOS) {
        positions.push_back(static_cast<unsigned>(wParam));
        if (abortOnProgress) token.cancel();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createRecordingBar() {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = barProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"DownloadTestBar";
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) return nullptr;
    // A message-only window: it needs no display.
    return CreateWindowExW(0, L"DownloadTestBar", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

bool neverConnected() { return false; }

std::wstring environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// The bodies that the server makes up: the lines "%08d\n" cut to size.
std::string generatedBody(std::size_t size) {
    std::string body;
    char line[16];
    for (int n = 0; body.size() < size; ++n) {
        std::snprintf(line, sizeof line, "%08d\n", n);
        body += line;
    }
    body.resize(size);
    return body;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

const std::wstring archive = L"LumidexFlashdeck.zip";
const std::wstring versionFile = L"lista_updater.xml";

class Download : public ::testing::Test {
protected:
    BoxRecorder recorder;
    void SetUp() override {
        server = environment(L"FAULT_SERVER_URL");
        savedConfig = productConfig();
        if (server.empty()) GTEST_SKIP() << "FAULT_SERVER_URL is not set (run through tools/run_with_fault_server.sh)";
        if (textTable().cultures().empty()) loadFromResource(textTable());
        textTable().setCulture(L"en-US");

        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = fs::path(temp) / (L"download_test_" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        folderText = folder.wstring() + L"\\";

        useServer(L"");
        positions.clear();
        abortOnProgress = false;
        token.reset();
        bar = createRecordingBar();
        ASSERT_NE(bar, nullptr);
    }

    void TearDown() override {
        setProductConfig(savedConfig);
        setConnectionTest(nullptr);
        if (bar) DestroyWindow(bar);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // Options are leading path segments of the base URL, such as L"404/" or L"slow/size=40000/".
    void useServer(const std::wstring& options) {
        setProductConfig(makeProductConfig(server + options, folder.wstring(), L"C:\\x\\setup.exe"));
    }

    // The code of the result, after the window's box for it (the download itself shows none).
    static std::int32_t reported(const DownloadResult& result) {
        showDownloadFailure(result);
        return result.code;
    }

    std::int32_t download(const std::wstring& fileName, double start = 10, double end = 30) {
        return reported(downloadFile(L"application/3.0.3.0/", folderText, fileName, start, end, bar, &token));
    }

    static bool fetchText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& body) {
        return reported(downloadText(urlPart, fileName, body)) == 0;
    }

    // Lines of the server's request log that contain the text.
    int requestsFor(const std::string& path) {
        std::ifstream log(fs::path(L"Z:" + environment(L"FAULT_SERVER_LOG")));
        int count = 0;
        for (std::string line; std::getline(log, line);) count += line.find(path) != std::string::npos;
        return count;
    }

    void expectNothingLeft(const std::wstring& fileName) {
        EXPECT_FALSE(fs::exists(folder / fileName)) << "a failed download left its file";
        EXPECT_FALSE(fs::exists(folder / (fileName + L".part"))) << "a failed download left its partial file";
    }

    void expectOneErrorBoxAbout(const std::wstring& fileName) {
        ASSERT_EQ(recorder.boxes().size(), 1u);
        EXPECT_EQ(recorder.boxes()[0].caption, L"Error");
        EXPECT_EQ(recorder.boxes()[0].flags, static_cast<unsigned>(MB_OK));
        const std::wstring ending = L"): " + fileName;
        const std::wstring& body = recorder.boxes()[0].text;
        EXPECT_TRUE(body.size() >= ending.size() && body.compare(body.size() - ending.size(), ending.size(), ending) == 0)
            << testing::PrintToString(body);
    }

    ProductConfig savedConfig;
    std::wstring server;
    fs::path folder;
    std::wstring folderText;
    HWND bar = nullptr;
};

TEST_F(Download, StoresTheWholeBodyAndMovesTheBarToTheEndOfItsRange) {
    useServer(L"size=30000/");
    token.cancel();  // a call that gets past the connection test starts with it cleared
    ASSERT_EQ(download(archive), 0);
    EXPECT_FALSE(token.cancelled());
    EXPECT_EQ(readFile(folder / archive), generatedBody(30000));
    EXPECT_FALSE(fs::exists(folder / (archive + L".part")));
    EXPECT_TRUE(recorder.boxes().empty());
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 30u);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        EXPECT_GE(positions[i], 10u);
        EXPECT_LE(positions[i], 30u);
        if (i > 0) EXPECT_GE(positions[i], positions[i - 1]);
    }
    EXPECT_EQ(requestsFor("/size=30000/Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip"), 1);
}

TEST_F(Download, ARangeOfZeroToZeroSendsOnlyZero) {
    ASSERT_EQ(download(archive, 0, 0), 0);
    ASSERT_FALSE(positions.empty());
    for (unsigned position : positions) EXPECT_EQ(position, 0u);
}

TEST_F(Download, AnAbsentOrUnusableLengthStoresTheBodyWithoutProgress) {
    for (const wchar_t* mode : {L"nolength/", L"junklength/", L"hugelength/"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(mode)));
        positions.clear();
        recorder.clear();
        useServer(mode);
        EXPECT_EQ(download(archive), 0);
        EXPECT_TRUE(positions.empty());
        EXPECT_TRUE(recorder.boxes().empty());
        EXPECT_TRUE(fs::exists(folder / archive));
    }
    // Without a length the body ends with the connection, and all of it is kept.
    useServer(L"nolength/");
    ASSERT_EQ(download(archive), 0);
    EXPECT_EQ(readFile(folder / archive), generatedBody(10000));
}

TEST_F(Download, AnEmptyUrlPartGivesRootAndFileNameAndTheInstallFolderIsTheDestination) {
    ASSERT_EQ(reported(downloadFile(L"", folderText, L"notes.pdf", 0, 0, bar)), 0);
    EXPECT_GE(requestsFor("/Flashdeck/notes.pdf"), 1);

    fs::create_directories(productConfig().installFolder);
    ASSERT_EQ(reported(downloadToInstallFolder(L"application/1.0.0.0/", archive, 10, 30, bar)), 0);
    EXPECT_EQ(readFile(fs::path(productConfig().installFolder) / archive), generatedBody(10000));
}

TEST_F(Download, AnErrorStatusFailsShowsTheBoxAndKeepsNothing) {
    struct Case {
        const wchar_t* mode;
        std::int32_t code;
    } cases[] = {{L"404/", ERROR_FILE_NOT_FOUND}, {L"500/", ERROR_BAD_NET_RESP}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.mode)));
        recorder.clear();
        useServer(c.mode);
        EXPECT_EQ(download(archive), c.code);
        expectNothingLeft(archive);
        expectOneErrorBoxAbout(archive);
    }
}

TEST_F(Download, AFailureLeavesAnEarlierFileUntouchedAndASuccessReplacesIt) {
    writeFile(folder / archive, "earlier archive");
    useServer(L"500/");
    EXPECT_NE(download(archive), 0);
    EXPECT_EQ(readFile(folder / archive), "earlier archive");
    EXPECT_FALSE(fs::exists(folder / (archive + L".part")));

    useServer(L"");
    ASSERT_EQ(download(archive), 0);
    EXPECT_EQ(readFile(folder / archive), generatedBody(10000));
}

TEST_F(Download, AConnectionThatEndsEarlyIsAFailure) {
    for (const wchar_t* mode : {L"drop/", L"badlength/"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(mode)));
        recorder.clear();
        useServer(mode);
        // The server closes the connection cleanly, so the reads succeed: only the count of
        // bytes against the announced length shows that the body is short.
        EXPECT_EQ(download(archive), ERROR_UNEXP_NET_ERR);
        expectNothingLeft(archive);
        expectOneErrorBoxAbout(archive);
        // The user reads what went wrong, not "unknown error".
        EXPECT_EQ(recorder.boxes().at(0).text.rfind(L"unknown error", 0), std::wstring::npos);
    }
}

TEST_F(Download, ADestinationThatCannotBeWrittenIsAFailure) {
    // A folder under the file's name: the body cannot take its place.
    fs::create_directories(folder / archive);
    const std::int32_t blocked = download(archive);
    EXPECT_NE(blocked, 0);
    EXPECT_TRUE(fs::is_directory(folder / archive));
    EXPECT_FALSE(fs::exists(folder / (archive + L".part")));
    expectOneErrorBoxAbout(archive);

    // A folder that does not exist: nothing is fetched at all.
    recorder.clear();
    EXPECT_EQ(reported(downloadFile(L"application/3.0.3.0/", folderText + L"missing\\", L"unreachable.zip", 10, 30, bar)),
              ERROR_PATH_NOT_FOUND);
    expectOneErrorBoxAbout(L"unreachable.zip");
    EXPECT_EQ(requestsFor("unreachable.zip"), 0);
}

TEST_F(Download, CancelDuringTheBodyAbortsWithoutABoxAndKeepsNothing) {
    useServer(L"slow/size=40000/delay=20/");
    abortOnProgress = true;
    EXPECT_EQ(download(archive), ABORTED);
    EXPECT_TRUE(recorder.boxes().empty());
    expectNothingLeft(archive);
    // The chunk read after the flag was set is neither written nor shown.
    EXPECT_EQ(positions.size(), 1u);
}

TEST_F(Download, WithoutAConnectionShowsTheNoNetworkBoxAndTouchesNothing) {
    setConnectionTest(neverConnected);
    for (bool flag : {true, false}) {
        recorder.clear();
        if (flag) token.cancel(); else token.reset();
        EXPECT_EQ(download(L"offline.zip"), -1);
        EXPECT_EQ(token.cancelled(), flag);
        ASSERT_EQ(recorder.boxes().size(), 1u);
        EXPECT_EQ(recorder.boxes()[0].text, L"There is no internet connection. Please try again later.");
        EXPECT_EQ(recorder.boxes()[0].caption, L"Failed to download");
        EXPECT_EQ(recorder.boxes()[0].flags, static_cast<unsigned>(MB_OK));
    }
    expectNothingLeft(L"offline.zip");

    std::wstring body = L"untouched";
    recorder.clear();
    EXPECT_FALSE(fetchText(L"config/", L"offline.xml", body));
    EXPECT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(requestsFor("offline"), 0);
}

TEST_F(Download, AServerThatCannotBeReachedShowsTheBoxWithoutAName) {
    setProductConfig(makeProductConfig(L"http://127.0.0.1:1/", folder.wstring(), L"C:\\x\\setup.exe"));
    EXPECT_EQ(download(archive), ERROR_INTERNET_CANNOT_CONNECT);
    expectNothingLeft(archive);
    expectOneErrorBoxAbout(L"");
}

TEST_F(Download, TextOfMoreThanOneBufferArrivesWholeAndInOrder) {
    useServer(L"big/");
    std::wstring body;
    ASSERT_TRUE(fetchText(L"application/", L"big.txt", body));
    const std::string expected = generatedBody(20000);
    EXPECT_EQ(body, std::wstring(expected.begin(), expected.end()));
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(Download, TextFailsOnAnErrorStatusOrAShortBody) {
    struct Case {
        const wchar_t* mode;
        std::int32_t code;
    } cases[] = {{L"404/", ERROR_FILE_NOT_FOUND}, {L"500/", ERROR_BAD_NET_RESP}, {L"drop/", ERROR_UNEXP_NET_ERR},
                     {L"badlength/", ERROR_UNEXP_NET_ERR}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.mode)));
        recorder.clear();
        useServer(c.mode);
        std::wstring body = L"stale";
        EXPECT_FALSE(fetchText(L"config/", versionFile, body));
        EXPECT_TRUE(body.empty());
        expectOneErrorBoxAbout(versionFile);
        wchar_t code[32];
        swprintf(code, 32, L"(0x%x)", static_cast<unsigned>(c.code));
        if (!recorder.boxes().empty()) EXPECT_NE(recorder.boxes()[0].text.find(code), std::wstring::npos) << testing::PrintToString(recorder.boxes()[0].text);
    }
}

TEST_F(Download, TheOfferedVersionComesFromTheVersionFile) {
    EXPECT_EQ(fetchServerVersion().versionText, L"3.0.3.0");
    useServer(L"notags/");
    const VersionCheck noTags = fetchServerVersion();
    EXPECT_TRUE(noTags.download.ok());
    EXPECT_EQ(noTags.versionText, L"");
    EXPECT_TRUE(recorder.boxes().empty());
}
}  // namespace
