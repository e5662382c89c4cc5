// Downloads against tools/fault_server.py (started by tools/run_with_fault_server.sh, which
// passes its address in FAULT_SERVER_URL and its request log in FAULT_SERVER_LOG).
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
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
#include "download/download_rules.h"
#include "download/download_win.h"
#include "localization/text_table.h"
#include "system/crypto_win.h"
#include "system/handles_win.h"
#include "system/message_pump_win.h"
#include "system/resources_win.h"
#include "window/boxes_win.h"
#include "box_recorder.h"

namespace fs = std::filesystem;

namespace {

// A stand-in for the window: records every position; optionally presses Cancel when the first
// position arrives. It waits as the unattended run does.
struct RecordingProgress final : Progress {
    std::vector<unsigned> positions;
    bool cancelOnPosition = false;
    bool cancelled = false;
    NoWindowProgress waiter;
    void position(unsigned percent) override {
        positions.push_back(percent);
        if (cancelOnPosition) cancelled = true;
    }
    void pause(int) override {}
    bool cancelRequested() const override { return cancelled; }
    void wait(void* event, unsigned long ms) override { waiter.wait(event, ms); }
};
RecordingProgress progress;
std::vector<unsigned>& positions = progress.positions;

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
        progress.cancelOnPosition = false;
        progress.cancelled = false;
    }

    void TearDown() override {
        setProductConfig(savedConfig);
        setConnectionTest(nullptr);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // Options are leading path segments of the base URL, such as L"404/" or L"slow/size=40000/".
    void useServer(const std::wstring& options) {
        setProductConfig(makeProductConfig(server + options, folder.wstring(), L"C:\\x\\setup.exe"));
    }

    // The code of the result as the box shows it, after the window's box for it (the download
    // itself shows none).
    static std::int32_t reported(const DownloadResult& result) {
        showDownloadFailure(result);
        return result.shownCode();
    }

    std::int32_t download(const std::wstring& fileName, double start = 10, double end = 30) {
        return reported(downloadFile(L"application/3.0.3.0/", folderText, fileName, start, end, progress));
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
};

TEST_F(Download, StoresTheWholeBodyAndMovesTheBarToTheEndOfItsRange) {
    useServer(L"size=30000/");
    ASSERT_EQ(download(archive), 0);
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
    ASSERT_EQ(reported(downloadFile(L"", folderText, L"notes.pdf", 0, 0, progress)), 0);
    EXPECT_GE(requestsFor("/Flashdeck/notes.pdf"), 1);

    fs::create_directories(productConfig().installFolder);
    ASSERT_EQ(reported(downloadToInstallFolder(L"application/1.0.0.0/", archive, 10, 30, progress)), 0);
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
        // Tried again a bounded number of times before it is reported.
        const std::string mode8(mode, mode + std::wcslen(mode));
        EXPECT_EQ(requestsFor("/" + mode8 + "Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip"), 1 + resumeAttempts);
    }
}

// A body of 300000 bytes and its SHA-256, as the signed version file would name it.
std::pair<std::string, Sha256Digest> hashedBody() {
    const std::string body = generatedBody(300000);
    Sha256 hash;
    Sha256Digest digest{};
    EXPECT_TRUE(hash.update(body.data(), body.size()) && hash.finish(digest));
    return {body, digest};
}

TEST_F(Download, ADroppedConnectionIsResumedAndTheWholeFileVerified) {
    const auto [body, digest] = hashedBody();
    // "dropwhole": the whole file breaks off at 60 %, a range is served. "dropfirst": the file
    // changes after the first answer, so the resume gets the whole file again (200).
    struct Case {
        const wchar_t* options;
        const char* secondRequest;
    } cases[] = {{L"dropwhole/size=300000/", " range=bytes=180000-"}, {L"dropfirst/size=300000/", " range=bytes=180000-"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.options)));
        positions.clear();
        useServer(c.options);
        ASSERT_EQ(reported(downloadFile(L"application/3.0.3.0/", folderText, archive, 10, 30, progress, &digest)), 0);
        EXPECT_EQ(readFile(folder / archive), body);
        const std::string options(c.options, c.options + std::wcslen(c.options));
        const std::string path = "/" + options + "Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip";
        EXPECT_EQ(requestsFor(path), 2);
        EXPECT_EQ(requestsFor(path + c.secondRequest), 1);
        // The bar never moves backwards, not even when the file starts over.
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.back(), 30u);
        for (std::size_t i = 1; i < positions.size(); ++i) EXPECT_GT(positions[i], positions[i - 1]);
    }
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(Download, AStalledServerEndsWithinTheTimeoutsAndNamesTheCause) {
    const NetworkTimeouts saved = networkTimeouts();
    setNetworkTimeouts({1000, 1000, 1500});
    for (const wchar_t* mode : {L"silent/", L"stall/"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(mode)));
        recorder.clear();
        useServer(mode);
        const ULONGLONG started = GetTickCount64();
        std::wstring body = L"stale";
        EXPECT_FALSE(fetchText(L"config/", versionFile, body));
        // Well within the stall of the server (ten minutes): the timeouts ended it.
        EXPECT_LT(GetTickCount64() - started, 30000u);
        ASSERT_EQ(recorder.boxes().size(), 1u);
        const std::wstring& text = recorder.boxes()[0].text;
        EXPECT_NE(text.find(L"(0x2ee2)"), std::wstring::npos) << testing::PrintToString(text);
        EXPECT_EQ(text.rfind(L"unknown error", 0), std::wstring::npos) << testing::PrintToString(text);
    }
    // The archive is tried again after a stall, then reported; nothing is left.
    recorder.clear();
    EXPECT_EQ(download(archive), ERROR_INTERNET_TIMEOUT);
    expectNothingLeft(archive);
    EXPECT_EQ(requestsFor("/stall/Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip"), 1 + resumeAttempts);

    // Slow but steady (1 KiB every 300 ms) is no stall: reads stay short enough that data keeps
    // arriving within the receive timeout.
    recorder.clear();
    useServer(L"slow/size=12000/delay=300/");
    EXPECT_EQ(download(archive), 0);
    EXPECT_EQ(readFile(folder / archive), generatedBody(12000));
    EXPECT_TRUE(recorder.boxes().empty());
    setNetworkTimeouts(saved);
}

TEST_F(Download, ABodyOtherThanTheSignedSizeFailsAtOnceAndATrickleAtItsDeadline) {
    const std::string body = generatedBody(10000);
    Sha256 hash;
    Sha256Digest digest{};
    ASSERT_TRUE(hash.update(body.data(), body.size()) && hash.finish(digest));
    // A Content-Length other than the signed size, and a body without one that never ends.
    struct Case {
        const wchar_t* options;
        double size;
        const char* path;
    } cases[] = {{L"", 9999, "/Flashdeck/application/3.0.3.0/length.zip"},
                 {L"endless/", 10000, "/endless/Flashdeck/application/3.0.3.0/endless.zip"}};
    for (const Case& c : cases) {
        const std::wstring name = c.options[0] ? L"endless.zip" : L"length.zip";
        SCOPED_TRACE(testing::PrintToString(name));
        recorder.clear();
        useServer(c.options);
        const DownloadResult result =
            downloadFile(L"application/3.0.3.0/", folderText, name, 10, 30, progress, &digest, c.size);
        EXPECT_TRUE(result.is(Special::HashMismatch));
        EXPECT_EQ(reported(result), ERROR_INVALID_DATA);
        expectNothingLeft(name);
        expectOneErrorBoxAbout(name);
        EXPECT_EQ(requestsFor(c.path), 1) << "not the signed file: no second attempt";
    }
    // Without a named size an endless body is cut off at the limit.
    recorder.clear();
    useServer(L"endless/");
    EXPECT_EQ(download(L"unnamed.pdf", 0, 0), ERROR_FILE_TOO_LARGE);
    expectNothingLeft(L"unnamed.pdf");

    // 1 KiB every 300 ms never stalls, but the whole download's deadline (1 s + 12000 bytes at
    // 32 KiB/s) ends it.
    const NetworkTimeouts saved = networkTimeouts();
    setNetworkTimeouts({1000, 1000, 1500, 1000});
    recorder.clear();
    useServer(L"slow/size=12000/delay=300/");
    EXPECT_EQ(reported(downloadFile(L"application/3.0.3.0/", folderText, L"trickle.zip", 10, 30, progress, nullptr, 12000)),
              ERROR_INTERNET_TIMEOUT);
    expectNothingLeft(L"trickle.zip");
    expectOneErrorBoxAbout(L"trickle.zip");
    EXPECT_EQ(requestsFor("/slow/size=12000/delay=300/Flashdeck/application/3.0.3.0/trickle.zip"), 1);
    setNetworkTimeouts(saved);
}

int threadsOfThisProcess() {
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = snapshot && Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    return count;
}

TEST_F(Download, TenAbandonedTransfersLeaveNoWorkerBehind) {
    const NetworkTimeouts saved = networkTimeouts();
    setNetworkTimeouts({1000, 1000, 500});
    // WinINet's own threads start with its first request: counted before.
    ASSERT_EQ(download(L"warm-up.zip"), 0);
    const int before = threadsOfThisProcess();
    for (int i = 0; i < 10; ++i) {
        // A server that never answers (the worker waits to connect), one that stalls in the body
        // (the worker waits in a read); left on a timeout or on a Cancel.
        const bool silent = i % 2 == 0;
        const bool cancel = i % 4 >= 2;
        SCOPED_TRACE(i);
        progress.cancelled = false;
        Transfer transfer(server + (silent ? L"silent/" : L"stall/size=100000/") + L"Flashdeck/abandoned.zip", L"");
        if (silent && cancel) progress.cancelled = true;
        const ResponseHead head = transfer.head(progress);
        if (silent) {
            EXPECT_EQ(head.code, cancel ? ABORTED : timedOut);
            continue;
        }
        ASSERT_EQ(head.code, 0);
        std::vector<char> bytes;
        std::int32_t code = 0;
        while ((code = transfer.next(bytes, progress)) == 0 && !bytes.empty()) {
            if (cancel) progress.cancelled = true;
        }
        EXPECT_EQ(code, cancel ? ABORTED : timedOut);
    }
    progress.cancelled = false;
    // The workers end as their waits are cut, not when the server gives up (ten minutes).
    int after = threadsOfThisProcess();
    for (int waited = 0; after > before && waited < 100; ++waited) {
        Sleep(100);
        after = threadsOfThisProcess();
    }
    std::printf("threads before the transfers: %d, after them: %d\n", before, after);
    setNetworkTimeouts(saved);
    // Wine's WinINet neither ends a waiting read when its handle is closed nor applies the receive
    // timeout: there the workers stay until the server lets go. Windows cancels the wait on close.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        GTEST_SKIP() << "under Wine a closed WinINet handle does not end a waiting read";
    }
    EXPECT_LE(after, before);
}

TEST_F(Download, AVersionFileBeyond64KiBIsRefused) {
    std::wstring body;
    useServer(L"size=65536/");
    EXPECT_TRUE(fetchText(L"config/", L"limit.txt", body));
    EXPECT_EQ(body.size(), 65536u);
    // Announced too long, or too long without an announced length.
    for (const wchar_t* mode : {L"size=65537/", L"nolength/size=70000/"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(mode)));
        recorder.clear();
        useServer(mode);
        body = L"stale";
        EXPECT_EQ(reported(downloadText(L"config/", L"limit.txt", body)), ERROR_FILE_TOO_LARGE);
        EXPECT_TRUE(body.empty());
        expectOneErrorBoxAbout(L"limit.txt");
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
    EXPECT_EQ(reported(downloadFile(L"application/3.0.3.0/", folderText + L"missing\\", L"unreachable.zip", 10, 30, progress)),
              ERROR_PATH_NOT_FOUND);
    expectOneErrorBoxAbout(L"unreachable.zip");
    EXPECT_EQ(requestsFor("unreachable.zip"), 0);
}

TEST_F(Download, CancelDuringTheBodyAbortsWithoutABoxAndKeepsNothing) {
    useServer(L"slow/size=40000/delay=20/");
    progress.cancelOnPosition = true;
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
        progress.cancelled = flag;
        EXPECT_EQ(download(L"offline.zip"), -1);
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
    // WinINet's own message table names the cause.
    ASSERT_FALSE(recorder.boxes().empty());
    EXPECT_EQ(recorder.boxes()[0].text.rfind(L"unknown error", 0), std::wstring::npos) << recorder.boxes()[0].text;
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

TEST_F(Download, AnArchiveIsKeptOnlyWhenItsHashIsTheSignedOne) {
    const std::string body = generatedBody(10000);
    Sha256 hash;
    Sha256Digest right{};
    ASSERT_TRUE(hash.update(body.data(), body.size()) && hash.finish(right));
    EXPECT_EQ(reported(downloadFile(L"application/3.0.3.0/", folderText, archive, 10, 30, progress, &right)), 0);
    EXPECT_EQ(readFile(folder / archive), body);

    Sha256Digest wrong = right;
    wrong[0] ^= 0x01;
    const std::wstring other = L"other.zip";
    const DownloadResult mismatch = downloadFile(L"application/3.0.3.0/", folderText, other, 10, 30, progress, &wrong);
    EXPECT_TRUE(mismatch.is(Special::HashMismatch));
    EXPECT_EQ(reported(mismatch), ERROR_INVALID_DATA);
    expectNothingLeft(other);
    expectOneErrorBoxAbout(other);

    // A chunked body cut before its last chunk: Wine's WinINet reads it as complete, so the
    // hash is what refuses it (Windows reports the broken connection itself).
    recorder.clear();
    useServer(L"chunkcut/");
    const std::wstring cut = L"cut.zip";
    EXPECT_NE(reported(downloadFile(L"application/3.0.3.0/", folderText, cut, 10, 30, progress, &right)), 0);
    expectNothingLeft(cut);
    expectOneErrorBoxAbout(cut);
}

// This test server signs nothing: its version file reads fine but is never trusted.
TEST_F(Download, AnUnsignedVersionFileIsNotTrusted) {
    const VersionCheck unsigned_ = fetchServerVersion();
    EXPECT_TRUE(unsigned_.download.ok());
    EXPECT_FALSE(unsigned_.verified);
    EXPECT_EQ(unsigned_.versionText, L"");
    EXPECT_GE(requestsFor("lista_updater.xml.sig"), 1);
    EXPECT_TRUE(recorder.boxes().empty());
}

// A version file signed by `openssl dgst -sha256 -sign` with a P-256 key made for this test, and
// one signed with it that names no archive size.
const std::string signedVersionFile =
    "<updater><version>3.0.3.0</version><sha256>00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"
    "</sha256><size>10000</size></updater>\n";
const std::string signedWithoutSize =
    "<updater><version>3.0.3.0</version><sha256>00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"
    "</sha256></updater>\n";
const P256PublicKey testKey = {
    0x48, 0x0d, 0xb1, 0x4f, 0xc2, 0xd1, 0xd6, 0xeb, 0x35, 0x26, 0xc3, 0xd2, 0x29, 0xf3, 0x15, 0xdd,
    0xea, 0x93, 0x3f, 0x1d, 0x89, 0x13, 0x7b, 0x89, 0x65, 0xf8, 0xc2, 0xab, 0xea, 0x2c, 0x9d, 0x40,
    0xe2, 0x27, 0xf3, 0xfd, 0x22, 0x17, 0xf9, 0x07, 0x05, 0xe4, 0xc8, 0x52, 0x7d, 0xca, 0x6b, 0x03,
    0x41, 0x28, 0x17, 0x65, 0x14, 0x60, 0x4a, 0x52, 0xb5, 0x84, 0x7e, 0x59, 0xd3, 0xbe, 0x5d, 0xce};
const std::vector<unsigned char> testSignature = {
    0x30, 0x44, 0x02, 0x20, 0x42, 0xc9, 0x28, 0xb6, 0x5d, 0x3f, 0x4f, 0xcb, 0x9e,
    0x3d, 0x5e, 0x86, 0x5a, 0xfe, 0x14, 0x67, 0xa5, 0x39, 0xd1, 0xed, 0xd1, 0x00,
    0xfe, 0x43, 0x81, 0x0d, 0xe0, 0xe1, 0x76, 0x40, 0x20, 0x3c, 0x02, 0x20, 0x39,
    0xba, 0x05, 0xa5, 0xbf, 0x2c, 0x52, 0x8e, 0xfe, 0xde, 0x99, 0xb5, 0xfd, 0xc2,
    0x33, 0xe3, 0xaf, 0x42, 0x0f, 0x06, 0xeb, 0x68, 0xf7, 0xe4, 0xaf, 0x67, 0x84,
    0x9d, 0x61, 0x6f, 0x79, 0xb1};
const std::vector<unsigned char> withoutSizeSignature = {
    0x30, 0x46, 0x02, 0x21, 0x00, 0x8e, 0x8a, 0xf6, 0xf7, 0x54, 0xee, 0x03, 0x4a,
    0xcb, 0xa7, 0x5a, 0x28, 0x1a, 0xa6, 0xd9, 0xb0, 0xbd, 0xe3, 0x49, 0xe0, 0xf6,
    0xa2, 0x59, 0xc1, 0x06, 0x2f, 0xa3, 0x0a, 0xf4, 0x29, 0x6b, 0x12, 0x02, 0x21,
    0x00, 0xe8, 0x82, 0xe7, 0xc1, 0x4b, 0x47, 0x8b, 0x46, 0x37, 0x33, 0x20, 0x1e,
    0x45, 0x02, 0xf2, 0x8f, 0xf9, 0x7c, 0x00, 0xca, 0xa2, 0x63, 0xed, 0xe4, 0x13,
    0xe2, 0x93, 0x36, 0x2e, 0xb1, 0x77, 0xa3};

template <typename Bytes>
std::wstring asCharacters(const Bytes& bytes) {
    std::wstring text;
    for (unsigned char b : bytes) text.push_back(static_cast<wchar_t>(b));
    return text;
}

TEST(VersionFileSignature, OnlyTheSignedBytesWithTheirKeyAreTrusted) {
    const VersionCheck good = checkVersionFile(asCharacters(signedVersionFile), asCharacters(testSignature), testKey);
    ASSERT_TRUE(good.verified);
    EXPECT_EQ(good.versionText, L"3.0.3.0");
    EXPECT_EQ(good.archiveSha256[1], 0x11);
    EXPECT_EQ(good.archiveSha256[31], 0xff);
    EXPECT_EQ(good.archiveSize, 10000.0);
    // Signed, but it leaves the archive's size open: refused like an unsigned one.
    EXPECT_FALSE(checkVersionFile(asCharacters(signedWithoutSize), asCharacters(withoutSizeSignature), testKey).verified);

    std::string changed = signedVersionFile;
    changed[changed.find("3.0.3.0")] = '4';
    std::vector<unsigned char> otherSignature = testSignature;
    otherSignature[10] ^= 0x01;
    P256PublicKey otherKey = testKey;
    otherKey[63] ^= 0x01;
    const std::vector<unsigned char> cut(testSignature.begin(), testSignature.end() - 1);
    const std::pair<std::wstring, std::wstring> refused[] = {
        {asCharacters(changed), asCharacters(testSignature)},
        {asCharacters(signedVersionFile), asCharacters(otherSignature)},
        {asCharacters(signedVersionFile), asCharacters(cut)},
        {asCharacters(signedVersionFile), L""},
    };
    for (const auto& [body, signature] : refused) {
        const VersionCheck check = checkVersionFile(body, signature, testKey);
        EXPECT_FALSE(check.verified);
        EXPECT_EQ(check.versionText, L"");
    }
    EXPECT_FALSE(checkVersionFile(asCharacters(signedVersionFile), asCharacters(testSignature), otherKey).verified);
}
}  // namespace
