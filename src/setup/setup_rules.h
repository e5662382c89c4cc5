// Rules of the install and uninstall sequences that need no Windows call: the command texts
// (the batch file that unpacks the application archive, the runtime installer's command line)
// and which folders an uninstallation removes.
#pragma once
#include <string>

// "7za x -y " + name, CR LF, "del /f " + name, with no line break at the end. Every UTF-16
// unit is reduced to its low byte (the names involved are ASCII). These are the exact bytes
// that go to disk.
std::string unzipBatchBytes(const std::wstring& archiveName);

// The runtime installer's command line, its path in quotes: unquoted, Windows would try
// "C:\Program.exe" and other pieces of the path first.
std::wstring runtimeInstallerCommand(const std::wstring& installFolder);

// The recorded install path, or the configured install folder when none is recorded.
std::wstring folderToRemove(const std::wstring& recordedPath, const std::wstring& configuredFolder);

// The part of the install path before the product word (the vendor folder), or empty when the
// word does not occur.
std::wstring vendorFolderOf(const std::wstring& installPath, const std::wstring& productWord);
