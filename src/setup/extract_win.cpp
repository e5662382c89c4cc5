#include "setup/extract_win.h"

#include <windows.h>
#include <knownfolders.h>

#include <string>

#include "common/product_config.h"
#include "setup/setup_rules.h"
#include "system/file_system_win.h"
#include "system/paths_win.h"
#include "system/resources_win.h"

namespace {
constexpr const wchar_t* batchFileName = L"unzip.bat";

// "cmd" from the System folder, so that no cmd.exe beside the installer or in the current
// folder is run instead; the child still sees the command line "cmd /D /C unzip.bat".
std::wstring interpreterPath(const std::wstring& system) {
    return system.empty() ? std::wstring() : system + L"\\cmd.exe";
}
}  // namespace

std::int32_t writeResourceToFile(int id, int type, const std::wstring& fileName) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!readResourceBytes(id, type, &data, &size)) return ERROR_RESOURCE_DATA_NOT_FOUND;
    return writeWholeFile(productConfig().installFolder + fileName, data, size, CREATE_ALWAYS);
}

ChildExit extractArchive(const std::wstring& archiveName, Progress& progress) {
    const std::wstring folder = productConfig().installFolder;
    const std::wstring batchPath = folder + batchFileName;
    const std::string text = unzipBatchBytes(archiveName);
    ChildExit result{ERROR_WRITE_FAULT, 0};
    if (writeWholeFile(batchPath, text.data(), static_cast<DWORD>(text.size()), CREATE_ALWAYS) == 0) {
        const std::wstring system = systemFolder();
        ChildOptions options;
        options.application = interpreterPath(system);
        options.folder = folder;
        options.environment = minimalEnvironment(knownFolderPath(FOLDERID_Windows), system, longTempFolder());
        options.detachedInput = true;
        options.progress = &progress;
        options.limitMs = childLimitMs;
        result = runAndWait(extractorCommandLine(batchFileName), options);
    }
    DeleteFileW(batchPath.c_str());
    return result;
}
