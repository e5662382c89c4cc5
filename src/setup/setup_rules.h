// Rules of the install and uninstall sequences that need no Windows call: the command texts
// (the batch file that unpacks the application archive, the runtime installer's command line)
// and which folders an uninstallation removes.
#pragma once
#include <string>

// ".\\7za.exe x -y " + name, "set unzipped=%errorlevel%", "del /f " + name and
// "exit /b %unzipped%", lines ending in CR LF but the last: the archive is deleted either way,
// and the interpreter's exit code is the extractor's. Every UTF-16 unit is reduced to its low
// byte (the names involved are ASCII). These are the exact bytes that go to disk.
std::string unzipBatchBytes(const std::wstring& archiveName);

// The interpreter's command line for the batch file: "cmd /D /C " + its name.
std::wstring extractorCommandLine(const std::wstring& batchFileName);

// The environment block of the extraction: only SystemRoot, windir, ComSpec, TEMP, TMP, a PATH of
// the System folder and the default PATHEXT, so that nothing of the user's environment decides
// what the elevated interpreter runs. Folders without trailing backslash.
std::wstring minimalEnvironment(const std::wstring& windowsFolder, const std::wstring& systemFolder,
                                const std::wstring& tempFolder);

// The runtime installer's command line, its path in quotes: unquoted, Windows would try
// "C:\Program.exe" and other pieces of the path first.
std::wstring runtimeInstallerCommand(const std::wstring& installFolder);

// The pause between the steps of the install and uninstall sequences, in which Cancel is pressed.
inline constexpr int stepPauseMs = 2000;

// The extractor and the runtime installer may take long on a slow machine, never forever.
inline constexpr unsigned long childLimitMs = 10 * 60 * 1000;

// What the runtime installer's exit code means: 0 and 1638 (a newer runtime is already there)
// installed it, 3010 and 1641 installed it but need a restart, anything else is a failure.
enum class RuntimeResult { Installed, RestartNeeded, Failed };
RuntimeResult classifyRuntimeExit(unsigned long exitCode);

// The folder an uninstallation removes: the recorded install path only when it is the configured
// folder or lies inside the vendor folder (a drive path without ".."), else the configured folder.
// The registry value is not trusted further: "D:\\Data" or a share would be emptied as administrator.
std::wstring folderToRemove(const std::wstring& recordedPath, const std::wstring& configuredFolder,
                           const std::wstring& vendorFolder);

// The part of the install path before the product word (the vendor folder), or empty when the
// word does not occur.
std::wstring vendorFolderOf(const std::wstring& installPath, const std::wstring& productWord);
