// Owners of Windows resources: each closed exactly once, moved but never copied.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <wininet.h>

#include <utility>

template <typename Handle, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::invalid(); }
    explicit operator bool() const { return valid(); }
    // Keeps the thread's last error: an owner that ends between a failed call and the caller's
    // GetLastError must not replace the error with that of its own close.
    void reset(Handle handle = Traits::invalid()) {
        if (valid()) {
            const DWORD error = GetLastError();
            Traits::close(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }
    // Gives up ownership: the caller (or the process's end) closes it.
    Handle release() { return std::exchange(handle_, Traits::invalid()); }
    // For out-parameters: closes what is held, then lends the slot.
    Handle* out() {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::invalid();
};

struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
struct RegistryKeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};
// WinINet is reached through its table (system_functions_win.h), not the import table.
void closeInternetHandle(HINTERNET handle);
struct InternetHandleTraits {
    static HINTERNET invalid() { return nullptr; }
    static void close(HINTERNET h) { closeInternetHandle(h); }
};
struct GlobalMemoryTraits {
    static HGLOBAL invalid() { return nullptr; }
    static void close(HGLOBAL h) { GlobalFree(h); }
};
struct LocalMemoryTraits {
    static wchar_t* invalid() { return nullptr; }
    static void close(wchar_t* p) { LocalFree(p); }
};
struct TaskMemoryTraits {
    static wchar_t* invalid() { return nullptr; }
    static void close(wchar_t* p) { CoTaskMemFree(p); }
};
template <typename Interface>
struct ComTraits {
    static Interface* invalid() { return nullptr; }
    static void close(Interface* p) { p->Release(); }
};

using KernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using FileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using FindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using RegistryKey = UniqueHandle<HKEY, RegistryKeyTraits>;
using InternetHandle = UniqueHandle<HINTERNET, InternetHandleTraits>;
using GlobalMemory = UniqueHandle<HGLOBAL, GlobalMemoryTraits>;
// Text that FormatMessageW (LocalFree) or the shell (CoTaskMemFree) allocated.
using LocalText = UniqueHandle<wchar_t*, LocalMemoryTraits>;
using TaskText = UniqueHandle<wchar_t*, TaskMemoryTraits>;
template <typename Interface>
using ComPointer = UniqueHandle<Interface*, ComTraits<Interface>>;

// The process and thread handles of a started child.
struct ChildProcess {
    KernelHandle process;
    KernelHandle thread;
};

// A window's device context, given back to the window when the owner ends.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Puts the thread into a single-threaded apartment for the rest of its life. Never balanced with
// CoUninitialize: the shell calls that follow on the same thread (the link object, ShellExecuteW)
// need the apartment too, and the process ends with the thread.
inline bool enterComApartment() { return SUCCEEDED(CoInitialize(nullptr)); }
