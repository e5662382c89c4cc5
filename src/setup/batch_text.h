// The command texts of the install sequence: the batch file that unpacks the application
// archive and the command line of the runtime installer.
#pragma once
#include <string>

// "7za x -y " + name, CR LF, "del /f " + name, with no line break at the end. Every UTF-16
// unit is reduced to its low byte (the names involved are ASCII). These are the exact bytes
// that go to disk.
std::string unzipBatchBytes(const std::wstring& archiveName);

// The runtime installer's command line, its path in quotes: unquoted, Windows would try
// "C:\Program.exe" and other pieces of the path first.
std::wstring runtimeInstallerCommand(const std::wstring& installFolder);
