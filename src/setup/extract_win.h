// Writing the extractor out of the resources and unpacking the archive with it.
#pragma once
#include <string>

void writeResourceToFile(unsigned short id, int type, const std::wstring& fileName);
void extractArchive(const std::wstring& archiveName);
