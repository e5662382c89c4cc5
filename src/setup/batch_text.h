// The text of the batch file that unpacks the application archive.
#pragma once
#include <string>

// "7za x -y " + name, CR LF, "del /f " + name, with no line break at the end. Every UTF-16
// unit is reduced to its low byte (the names involved are ASCII). These are the exact bytes
// that go to disk.
std::string unzipBatchBytes(const std::wstring& archiveName);
