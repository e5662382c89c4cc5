#include "setup/extract_win.h"

#include <windows.h>
#include <knownfolders.h>

#include <string>

#include "common/product_config.h"
#include "setup/setup_rules.h"
#include "system/handles_win.h"
#include "system/paths_win.h"
#include "system/system_functions_win.h"

namespace {
constexpr const wchar_t* batchFileName = L"unzip.bat";

// Creates or truncates the file and writes all bytes; 0 or the error. A file left incomplete is
// deleted, so that a cut-off program or batch file is never run.
std::int32_t writeWholeFile(const std::wstring& path, const void* data, DWORD size) {
    DWORD error = 0;
    {
        FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        if (!file) return static_cast<std::int32_t>(GetLastError());
        DWORD written = 0;
        if (size != 0 && !WriteFile(file.get(), data, size, &written, nullptr)) error = GetLastError();
        if (error == 0 && written != size) error = ERROR_WRITE_FAULT;
        if (error == 0 && !FlushFileBuffers(file.get())) error = GetLastError();
    }
    if (error != 0) DeleteFileW(path.c_str());
    return static_cast<std::int32_t>(error);
}

// "cmd" from the System folder, so that no cmd.exe beside the installer or in the current
// folder is run instead; the child still sees the command line "cmd /C unzip.bat".
std::wstring interpreterPath() {
    const std::wstring system = systemFolder();
    return system.empty() ? std::wstring() : system + L"\\cmd.exe";
}
}  // namespace

std::int32_t writeResourceToFile(int id, int type, const std::wstring& fileName) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!readResourceBytes(id, type, &data, &size)) return ERROR_RESOURCE_DATA_NOT_FOUND;
    return writeWholeFile(productConfig().installFolder + fileName, data, size);
}

ChildExit extractArchive(const std::wstring& archiveName) {
    const std::wstring folder = productConfig().installFolder;
    const std::wstring batchPath = folder + batchFileName;
    const std::string text = unzipBatchBytes(archiveName);
    ChildExit result{ERROR_WRITE_FAULT, 0};
    if (writeWholeFile(batchPath, text.data(), static_cast<DWORD>(text.size())) == 0) {
        ChildOptions options;
        options.application = interpreterPath();
        options.folder = folder;
        const std::wstring system = systemFolder();
        options.environment = minimalEnvironment(knownFolderPath(FOLDERID_Windows), system, longTempFolder());
        options.detachedInput = true;
        options.pumpWhileWaiting = true;
        result = runAndWait(extractorCommandLine(batchFileName), options);
    }
    DeleteFileW(batchPath.c_str());
    return result;
}
