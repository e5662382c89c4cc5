#include "setup/setup_rules.h"

#include "common/text.h"

namespace {
void appendNarrowed(std::string& out, const std::wstring& text) {
    for (wchar_t unit : text) out.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFF)));
}
}  // namespace

std::string unzipBatchBytes(const std::wstring& archiveName) {
    // The extractor by its path and extension: with a bare "7za", the PATH and PATHEXT of the
    // environment would choose which program runs as administrator.
    std::string bytes = ".\\7za.exe x -y ";
    appendNarrowed(bytes, archiveName);
    bytes += "\r\nset unzipped=%errorlevel%\r\ndel /f ";
    appendNarrowed(bytes, archiveName);
    bytes += "\r\nexit /b %unzipped%";
    return bytes;
}

RuntimeResult classifyRuntimeExit(unsigned long exitCode) {
    switch (exitCode) {
        case 0:
        case 1638:  // ERROR_PRODUCT_VERSION: this or a newer runtime is installed
            return RuntimeResult::Installed;
        case 3010:  // ERROR_SUCCESS_REBOOT_REQUIRED
        case 1641:  // ERROR_SUCCESS_REBOOT_INITIATED
            return RuntimeResult::RestartNeeded;
        default:
            return RuntimeResult::Failed;
    }
}

std::wstring runtimeInstallerCommand(const std::wstring& installFolder) {
    return L"\"" + installFolder + L"vcredist_x86.exe\" /quiet /norestart";
}

std::wstring folderToRemove(const std::wstring& recordedPath, const std::wstring& configuredFolder,
                           const std::wstring& vendorFolder) {
    const std::wstring key = pathCompareKey(recordedPath);
    const bool driveQualified = key.size() >= 3 && key[1] == L':' && key[2] == L'\\' &&
                                ((key[0] >= L'a' && key[0] <= L'z'));
    const bool climbs = (key + L"\\").find(L"\\..\\") != std::wstring::npos;
    if (!driveQualified || climbs) return configuredFolder;
    const bool belowVendor = isInsideFolder(recordedPath, vendorFolder) && key != pathCompareKey(vendorFolder);
    if (key == pathCompareKey(configuredFolder) || belowVendor) return recordedPath;
    return configuredFolder;
}

std::wstring vendorFolderOf(const std::wstring& installPath, const std::wstring& productWord) {
    const auto position = installPath.find(productWord);
    return position == std::wstring::npos ? std::wstring() : installPath.substr(0, position);
}

std::wstring extractorCommandLine(const std::wstring& batchFileName) {
    // /D: no AutoRun command of the registry runs in the elevated interpreter.
    return L"cmd /D /C " + batchFileName;
}

std::wstring minimalEnvironment(const std::wstring& windowsFolder, const std::wstring& systemFolder,
                                const std::wstring& tempFolder) {
    // Sorted by name, as Windows expects of an environment block; each "name=value" ends in a
    // NUL, and the block in a second one.
    const std::wstring entries[] = {
        L"ComSpec=" + systemFolder + L"\\cmd.exe",
        L"PATH=" + systemFolder,
        L"PATHEXT=.COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC",
        L"SystemRoot=" + windowsFolder,
        L"TEMP=" + tempFolder,
        L"TMP=" + tempFolder,
        L"windir=" + windowsFolder,
    };
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}
