// Writing the extractor out of the resources and unpacking the archive with it.
#pragma once
#include <cstdint>
#include <string>

#include "system/processes_win.h"

// Writes the resource into the install folder under fileName; 0, or the error when it is missing
// or the file could not be written whole (an incomplete file is deleted).
std::int32_t writeResourceToFile(int id, int type, const std::wstring& fileName);

// Runs the generated batch file that unpacks the archive in the install folder and deletes it,
// waiting for it through progress.
ChildExit extractArchive(const std::wstring& archiveName, Progress& progress);
