// Paths that Windows supplies: known folders, the module, the temporary folder, long and full
// forms, the environment. Every one is read into a buffer that grows until the text fits, so no
// path is cut at MAX_PATH; an empty result means Windows could not supply it.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>

// Calls read(buffer, capacity), which returns the length Windows reports: the length written
// when the text fit, else the capacity needed (GetTempPathW and the like) or the capacity itself
// (GetModuleFileNameW, which cuts the text), 0 on failure. Grows the buffer until the text fits.
template <typename Read>
std::wstring readGrowing(Read read) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 10; ++attempt) {
        const DWORD capacity = static_cast<DWORD>(buffer.size());
        const DWORD length = read(buffer.data(), capacity);
        if (length == 0) return std::wstring();
        if (length < capacity) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length + 1 > capacity * 2 ? length + 1 : capacity * 2);
    }
    return std::wstring();
}

// The folder's path without trailing backslash.
std::wstring knownFolderPath(REFKNOWNFOLDERID id);
// The System folder without trailing backslash.
std::wstring systemFolder();
// The full path of the running executable.
std::wstring modulePath();
// The user's temporary folder in its long form, with its trailing backslash.
std::wstring longTempFolder();
// The long (not 8.3) form of an existing path; the path itself when there is none.
std::wstring longPathOf(const std::wstring& path);
// The absolute form of a path, resolved against the current folder.
std::wstring fullPathOf(const std::wstring& path);
std::wstring currentFolder();
std::wstring environmentValue(const wchar_t* name);
