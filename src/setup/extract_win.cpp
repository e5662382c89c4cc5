#include "setup/extract_win.h"

#include <windows.h>

#include <string>

#include "setup/batch_text.h"
#include "startup/product_config.h"
#include "startup/system_functions_win.h"
#include "system/handles_win.h"

namespace {
constexpr const wchar_t* batchFileName = L"unzip.bat";

// Creates or truncates the file and writes all bytes; a file left incomplete is deleted,
// so that a cut-off program or batch file is never run.
bool writeWholeFile(const std::wstring& path, const void* data, DWORD size) {
    bool complete = false;
    {
        FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        if (!file) return false;
        DWORD written = 0;
        complete = size == 0 || (WriteFile(file.get(), data, size, &written, nullptr) && written == size);
    }
    if (!complete) DeleteFileW(path.c_str());
    return complete;
}

// "cmd" from the System folder, so that no cmd.exe beside the installer or in the current
// folder is run instead; the child still sees the command line "cmd /C unzip.bat".
std::wstring interpreterPath() {
    const std::wstring system = systemFolder();
    return system.empty() ? std::wstring() : system + L"\\cmd.exe";
}
}  // namespace

void writeResourceToFile(unsigned short id, int type, const std::wstring& fileName) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!readResourceBytes(id, type, &data, &size)) return;
    writeWholeFile(productConfig().installFolder + fileName, data, size);
}

void extractArchive(const std::wstring& archiveName) {
    const std::wstring folder = productConfig().installFolder;
    const std::wstring batchPath = folder + batchFileName;
    const std::string text = unzipBatchBytes(archiveName);
    if (writeWholeFile(batchPath, text.data(), static_cast<DWORD>(text.size()))) {
        std::wstring commandLine = std::wstring(L"cmd /C ") + batchFileName;
        const std::wstring application = interpreterPath();
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(application.empty() ? nullptr : application.c_str(), commandLine.data(), nullptr, nullptr,
                           FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process)) {
            KernelHandle processHandle(process.hProcess);
            KernelHandle threadHandle(process.hThread);
            WaitForSingleObject(processHandle.get(), INFINITE);
        }
    }
    DeleteFileW(batchPath.c_str());
}
