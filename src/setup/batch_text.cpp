#include "setup/batch_text.h"

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
