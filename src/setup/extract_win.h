// Writing the extractor out of the resources and unpacking the archive with it.
#pragma once
#include <string>

#include "system/processes_win.h"

// Writes the resource into the install folder under fileName; false when it is missing or the
// file could not be written whole (an incomplete file is deleted).
bool writeResourceToFile(int id, int type, const std::wstring& fileName);

// Runs the generated batch file that unpacks the archive in the install folder and deletes it.
ChildExit extractArchive(const std::wstring& archiveName);
