#include "setup/setup_rules.h"

namespace {
void appendNarrowed(std::string& out, const std::wstring& text) {
    for (wchar_t unit : text) out.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFF)));
}
}  // namespace

std::string unzipBatchBytes(const std::wstring& archiveName) {
    std::string bytes = "7za x -y ";
    appendNarrowed(bytes, archiveName);
    bytes += "\r\n";
    bytes += "del /f ";
    appendNarrowed(bytes, archiveName);
    return bytes;
}

std::wstring runtimeInstallerCommand(const std::wstring& installFolder) {
    return L"\"" + installFolder + L"vcredist_x86.exe\" /quiet /norestart";
}

std::wstring folderToRemove(const std::wstring& recordedPath, const std::wstring& configuredFolder) {
    return recordedPath.empty() ? configuredFolder : recordedPath;
}

std::wstring vendorFolderOf(const std::wstring& installPath, const std::wstring& productWord) {
    const auto position = installPath.find(productWord);
    return position == std::wstring::npos ? std::wstring() : installPath.substr(0, position);
}
