// ui_driver: drives and inspects the installer window from a second Win32 process in the same
// Wine prefix, for the end-to-end tests. Every command prints JSON (one object per line) to
// stdout and exits 0 on success, 1 with {"ok":false,"error":...} on failure, 2 on bad usage;
// `serve` runs many commands in one process.
//
// Window messages that carry no pointers are sent with a timeout, so a frozen installer (it
// dispatches nothing while it downloads) never hangs the driver. Clicks are posted, never sent:
// the installer runs its long work inside the click handler.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>
#include <wininet.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- JSON output

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

std::string jsonString(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : toUtf8(text)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// Builds one JSON object member by member; values are already-encoded JSON text.
class JsonObject {
public:
    JsonObject& raw(const char* key, const std::string& json) {
        body_ += body_.empty() ? "" : ",";
        body_ += "\"";
        body_ += key;
        body_ += "\":";
        body_ += json;
        return *this;
    }
    JsonObject& str(const char* key, const std::wstring& value) { return raw(key, jsonString(value)); }
    JsonObject& num(const char* key, long long value) { return raw(key, std::to_string(value)); }
    JsonObject& flag(const char* key, bool value) { return raw(key, value ? "true" : "false"); }
    std::string text() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string jsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
    return out + "]";
}

void emit(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A served command's failure is in its answer; standard error then keeps only what Wine and the
// programs it starts (the desktop) say.
bool g_serving = false;

int fail(const std::wstring& message) {
    emit(JsonObject().flag("ok", false).str("error", message).text());
    if (!g_serving) std::fwprintf(stderr, L"ui_driver: %ls\n", message.c_str());
    return 1;
}

// ---------------------------------------------------------------- options

struct Options {
    std::wstring className = L"TOLVANE";
    DWORD timeoutMs = 10000;
    bool timeoutGiven = false;
    DWORD pid = 0;
    std::wstring button;
    std::wstring cwd;
    std::wstring swapWith;
    bool untilGone = false;
    int untilPos = -1;
    bool force = false;
    bool noHook = false;
    std::vector<std::wstring> positional;
};

bool parseOptions(int argc, wchar_t** argv, int first, Options& options, std::wstring& error) {
    for (int i = first; i < argc; ++i) {
        std::wstring arg = argv[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= argc) {
                error = L"missing value after " + arg;
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::wstring v;
        if (arg == L"--class") {
            if (!value(options.className)) return false;
        } else if (arg == L"--timeout") {
            if (!value(v)) return false;
            options.timeoutMs = static_cast<DWORD>(wcstoul(v.c_str(), nullptr, 10));
            options.timeoutGiven = true;
        } else if (arg == L"--pid") {
            if (!value(v)) return false;
            options.pid = static_cast<DWORD>(wcstoul(v.c_str(), nullptr, 10));
        } else if (arg == L"--button") {
            if (!value(options.button)) return false;
        } else if (arg == L"--cwd") {
            if (!value(options.cwd)) return false;
        } else if (arg == L"--swap-with") {
            if (!value(options.swapWith)) return false;
        } else if (arg == L"--until") {
            if (!value(v)) return false;
            options.untilPos = static_cast<int>(wcstol(v.c_str(), nullptr, 10));
        } else if (arg == L"--until-gone") {
            options.untilGone = true;
        } else if (arg == L"--force") {
            options.force = true;
        } else if (arg == L"--no-hook") {
            options.noHook = true;
        } else {
            options.positional.push_back(arg);
        }
    }
    return true;
}

// ---------------------------------------------------------------- window helpers

constexpr UINT kQueryTimeoutMs = 1500;

bool query(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kQueryTimeoutMs,
                             &answer))
        return false;
    result = static_cast<LRESULT>(answer);
    return true;
}

std::wstring className(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// WM_GETTEXT when the owner answers; the text Windows keeps for the window otherwise.
std::wstring windowText(HWND window, bool* answered = nullptr) {
    LRESULT length = 0;
    if (query(window, WM_GETTEXTLENGTH, 0, 0, length) && length >= 0) {
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
        LRESULT copied = 0;
        if (query(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied)) {
            if (answered) *answered = true;
            return std::wstring(buffer.data());
        }
    }
    if (answered) *answered = false;
    wchar_t buffer[4096] = {};
    InternalGetWindowText(window, buffer, 4096);
    return buffer;
}

DWORD windowPid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool sameClass(HWND window, const std::wstring& wanted) {
    return _wcsicmp(className(window).c_str(), wanted.c_str()) == 0;
}

struct TopSearch {
    std::wstring className;
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTop(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TopSearch*>(context);
    if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
    if (search->pid && windowPid(window) != search->pid) return TRUE;
    if (!search->className.empty() && !sameClass(window, search->className)) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> topWindows(const std::wstring& cls, DWORD pid, bool visibleOnly) {
    TopSearch search{cls, pid, visibleOnly, {}};
    EnumWindows(collectTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findTop(const Options& options, bool visibleOnly = true) {
    auto found = topWindows(options.className, options.pid, visibleOnly);
    return found.empty() ? nullptr : found.front();
}

HWND waitTop(const Options& options, const std::wstring& cls) {
    Options search = options;
    search.className = cls;
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = findTop(search)) return window;
        if (GetTickCount() - start >= options.timeoutMs) return nullptr;
        Sleep(50);
    }
}

struct ChildSearch {
    HWND parent;
    std::vector<HWND> found;
};

BOOL CALLBACK collectChild(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    if (GetAncestor(window, GA_PARENT) == search->parent) search->found.push_back(window);
    return TRUE;
}

// Direct children in creation order (EnumChildWindows also walks grandchildren; those are skipped).
// EnumChildWindows walks the Z-order, which the Tab order rearranges; where every child has an
// identifier of its own (the installer numbers them as it creates them) those give the order.
std::vector<HWND> children(HWND parent) {
    ChildSearch search{parent, {}};
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&search));
    std::vector<int> ids;
    for (HWND child : search.found) ids.push_back(GetDlgCtrlID(child));
    std::vector<int> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    const bool numbered = !sorted.empty() && sorted.front() > 0 &&
                          std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end() &&
                          sorted.back() < 0xFFFF;
    if (numbered) {
        std::stable_sort(search.found.begin(), search.found.end(),
                         [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
    }
    return search.found;
}

std::string rectJson(const RECT& r) {
    return JsonObject().num("left", r.left).num("top", r.top).num("right", r.right).num("bottom", r.bottom).text();
}

bool ownVisible(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

void addComboItems(HWND combo, JsonObject& object) {
    LRESULT count = 0;
    std::vector<std::string> items;
    if (query(combo, CB_GETCOUNT, 0, 0, count)) {
        for (LRESULT i = 0; i < count; ++i) {
            LRESULT length = 0;
            if (!query(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, length) || length < 0) break;
            std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
            LRESULT copied = 0;
            if (!query(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()), copied))
                break;
            items.push_back(jsonString(buffer.data()));
        }
    }
    LRESULT selected = -1;
    query(combo, CB_GETCURSEL, 0, 0, selected);
    object.raw("items", jsonArray(items)).num("selected", selected);
}

std::string childJson(HWND parent, HWND child, size_t index) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    std::wstring cls = className(child);
    JsonObject object;
    object.num("index", static_cast<long long>(index))
        .num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(child)))
        .str("class", cls)
        .str("text", windowText(child))
        .flag("visible", ownVisible(child))
        .flag("enabled", IsWindowEnabled(child) != 0)
        .num("id", GetDlgCtrlID(child))
        .num("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE))))
        .raw("rect", rectJson(r));
    if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) addComboItems(child, object);
    if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
        LRESULT pos = -1;
        query(child, PBM_GETPOS, 0, 0, pos);
        object.num("pos", pos);
    }
    return object.text();
}

std::string windowJson(HWND window) {
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    bool answered = false;
    std::wstring caption = windowText(window, &answered);
    std::vector<std::string> items;
    auto kids = children(window);
    for (size_t i = 0; i < kids.size(); ++i) items.push_back(childJson(window, kids[i], i));
    return JsonObject()
        .flag("ok", true)
        .num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(window)))
        .str("class", className(window))
        .str("caption", caption)
        .flag("responsive", answered)
        .num("pid", windowPid(window))
        .flag("visible", IsWindowVisible(window) != 0)
        .num("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))))
        .num("exstyle", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))))
        .raw("rect", rectJson(outer))
        .raw("client_rect", rectJson(client))
        .raw("controls", jsonArray(items))
        .text();
}

std::wstring withoutMnemonic(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'&') out += c;
    return out;
}

// A control named by its index in creation order, or by its text (with or without "&").
HWND findControl(HWND window, const std::wstring& name) {
    auto kids = children(window);
    wchar_t* end = nullptr;
    unsigned long index = wcstoul(name.c_str(), &end, 10);
    if (!name.empty() && end && *end == L'\0') return index < kids.size() ? kids[index] : nullptr;
    for (HWND child : kids) {
        std::wstring text = windowText(child);
        if (text == name || withoutMnemonic(text) == withoutMnemonic(name)) return child;
    }
    return nullptr;
}

HWND requireWindow(const Options& options) {
    HWND window = findTop(options);
    if (!window && options.timeoutGiven) window = waitTop(options, options.className);
    return window;
}

// ---------------------------------------------------------------- commands

int cmdWaitWindow(const Options& options) {
    HWND window = waitTop(options, options.className);
    if (!window) return fail(L"no visible window of class " + options.className + L" within the timeout");
    emit(JsonObject()
             .flag("ok", true)
             .num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(window)))
             .num("pid", windowPid(window))
             .str("caption", windowText(window))
             .text());
    return 0;
}

int cmdWaitGone(const Options& options) {
    DWORD start = GetTickCount();
    while (findTop(options, false)) {
        if (GetTickCount() - start >= options.timeoutMs)
            return fail(L"a window of class " + options.className + L" still exists after the timeout");
        Sleep(50);
    }
    emit(JsonObject().flag("ok", true).num("waited_ms", GetTickCount() - start).text());
    return 0;
}

int cmdList(const Options& options) {
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    emit(windowJson(window));
    return 0;
}

int cmdWindows(const Options& options) {
    std::vector<std::string> items;
    for (HWND window : topWindows(options.positional.empty() ? L"" : options.positional[0], options.pid, true))
        items.push_back(JsonObject()
                            .num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(window)))
                            .str("class", className(window))
                            .str("caption", windowText(window))
                            .num("pid", windowPid(window))
                            .text());
    emit(JsonObject().flag("ok", true).raw("windows", jsonArray(items)).text());
    return 0;
}

// Posts a click on one control; an empty result means success, else the reason it failed.
std::wstring postClick(HWND window, const std::wstring& name, bool force, JsonObject& clicked) {
    HWND control = findControl(window, name);
    if (!control) return L"no control " + name;
    std::wstring cls = className(control);
    WORD code = 0;
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        code = BN_CLICKED;
    } else if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        // A static control reports clicks only with SS_NOTIFY; a user's click would do nothing.
        if (!(GetWindowLongW(control, GWL_STYLE) & SS_NOTIFY) && !force)
            return L"static control without SS_NOTIFY does not report clicks";
        code = STN_CLICKED;
    } else {
        return L"cannot click a control of class " + cls;
    }
    if (!force && (!ownVisible(control) || !IsWindowEnabled(control)))
        return L"control " + name + L" is hidden or disabled";
    if (!PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control)))
        return L"PostMessage failed";
    clicked.str("clicked", windowText(control)).str("class", cls);
    return {};
}

// Several controls are clicked in one go, in order: their clicks queue up together, as quick
// clicks of a user would, however slowly this driver starts.
int cmdClick(const Options& options) {
    if (options.positional.empty()) return fail(L"usage: click <index|text> [<index|text> ...]");
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    for (const std::wstring& name : options.positional) {
        JsonObject clicked;
        const std::wstring error = postClick(window, name, options.force, clicked);
        if (!error.empty()) return fail(error);
        emit(clicked.flag("ok", true).text());
    }
    return 0;
}

int cmdPickLanguage(const Options& options) {
    if (options.positional.size() != 1) return fail(L"usage: pick-language <display name>");
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    HWND combo = nullptr;
    for (HWND child : children(window))
        if (sameClass(child, L"ComboBox")) combo = child;
    if (!combo) return fail(L"the window has no ComboBox");
    if (!options.force && (!ownVisible(combo) || !IsWindowEnabled(combo)))
        return fail(L"the language list is hidden or disabled");
    LRESULT count = 0;
    if (!query(combo, CB_GETCOUNT, 0, 0, count)) return fail(L"the window does not answer");
    const std::wstring& wanted = options.positional[0];
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[512] = {};
        LRESULT length = 0;
        if (!query(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, length) || length < 0 || length >= 511) continue;
        LRESULT copied = 0;
        if (!query(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer), copied)) continue;
        if (wanted != buffer) continue;
        LRESULT ignored = 0;
        if (!query(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0, ignored)) return fail(L"CB_SETCURSEL failed");
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        emit(JsonObject().flag("ok", true).num("index", i).str("language", wanted).text());
        return 0;
    }
    return fail(L"no language named " + wanted);
}

int cmdClose(const Options& options) {
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) return fail(L"PostMessage failed");
    emit(JsonObject().flag("ok", true).text());
    return 0;
}

// Every PBM_SETPOS of the watched process, as recorded by progress_hook.dll inside it.
struct HookLog {
    HHOOK hook = nullptr;
    std::wstring path;
    LONGLONG offset = 0;
};

LONGLONG fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool installHook(HWND window, HookLog& log) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    HMODULE module = LoadLibraryW((folder + L"progress_hook.dll").c_str());
    if (!module) return false;
    auto procedure = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "progressHookProc")));
    if (!procedure) return false;
    DWORD pid = 0;
    DWORD thread = GetWindowThreadProcessId(window, &pid);
    log.path = L"C:\\users\\Public\\progress_hook_" + std::to_wstring(pid) + L".log";
    log.offset = fileSize(log.path);  // lines of an earlier watch of the same process are not ours
    log.hook = SetWindowsHookExW(WH_CALLWNDPROC, procedure, module, thread);
    return log.hook != nullptr;
}

struct HookEntry {
    DWORD tick;
    int pos;
};

std::vector<HookEntry> readHook(HookLog& log) {
    std::vector<HookEntry> entries;
    HANDLE file = CreateFileW(log.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return entries;
    LARGE_INTEGER at;
    at.QuadPart = log.offset;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    std::string data;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) data.append(buffer, read);
    CloseHandle(file);
    size_t consumed = 0;
    for (size_t newline; (newline = data.find('\n', consumed)) != std::string::npos; consumed = newline + 1) {
        unsigned long tick = 0;
        int pos = 0;
        if (std::sscanf(data.c_str() + consumed, "%lu %d", &tick, &pos) == 2)
            entries.push_back({static_cast<DWORD>(tick), pos});
    }
    log.offset += static_cast<LONGLONG>(consumed);
    return entries;
}

// Prints the progress bar's initial position, then every change, until the window is gone,
// --until <pos> is reached, or the timeout passes. With the hook in place every position the
// installer sets is seen; without it (--no-hook, or the hook failed) the bar is polled.
int cmdWatchProgress(const Options& options) {
    DWORD timeout = options.timeoutGiven ? options.timeoutMs : 120000;
    DWORD start = GetTickCount();
    Options search = options;
    search.timeoutMs = timeout;
    HWND window = waitTop(search, options.className);
    if (!window) return fail(L"no visible window of class " + options.className);
    HWND bar = nullptr;
    for (HWND child : children(window))
        if (sameClass(child, PROGRESS_CLASSW)) bar = child;
    if (!bar) return fail(L"the window has no progress bar");
    HookLog hook;
    bool hooked = !options.noHook && installHook(window, hook);
    long long last = -2;
    std::vector<std::string> positions;
    const char* reason = "timeout";
    auto report = [&](long long pos, DWORD tick, const wchar_t* source) {
        if (pos == last) return false;
        last = pos;
        positions.push_back(std::to_string(pos));
        emit(JsonObject()
                 .str("event", L"pos")
                 .num("t_ms", static_cast<long long>(tick - start))
                 .num("pos", pos)
                 .str("source", source)
                 .text());
        return options.untilPos >= 0 && pos == options.untilPos;
    };
    LRESULT initial = 0;
    if (query(bar, PBM_GETPOS, 0, 0, initial)) report(initial, GetTickCount(), L"poll");
    for (;;) {
        bool gone = !IsWindow(window);
        bool reached = false;
        if (hooked) {
            for (const HookEntry& entry : readHook(hook))
                if (!reached) reached = report(entry.pos, entry.tick, L"hook");
        } else if (!gone) {
            LRESULT pos = 0;
            if (query(bar, PBM_GETPOS, 0, 0, pos)) reached = report(pos, GetTickCount(), L"poll");
        }
        if (reached) {
            reason = "reached";
            break;
        }
        if (gone) {
            reason = "gone";
            break;
        }
        if (GetTickCount() - start >= timeout) break;
        Sleep(10);
    }
    if (hook.hook) UnhookWindowsHookEx(hook.hook);
    bool timedOut = std::string(reason) == "timeout" && (options.untilGone || options.untilPos >= 0);
    emit(JsonObject()
             .flag("ok", !timedOut)
             .str("event", L"end")
             .raw("reason", std::string("\"") + reason + "\"")
             .flag("hooked", hooked)
             .num("t_ms", GetTickCount() - start)
             .raw("positions", jsonArray(positions))
             .text());
    return timedOut ? 1 : 0;
}

struct DialogChildren {
    std::wstring text;
    std::vector<std::string> buttons;
    std::vector<HWND> buttonWindows;
};

DialogChildren dialogChildren(HWND dialog) {
    DialogChildren out;
    std::wstring statics;
    for (HWND child : children(dialog)) {
        std::wstring cls = className(child);
        std::wstring text = windowText(child);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            out.buttons.push_back(JsonObject().num("id", GetDlgCtrlID(child)).str("text", withoutMnemonic(text)).text());
            out.buttonWindows.push_back(child);
        } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && !text.empty()) {
            if (GetDlgCtrlID(child) == 0xFFFF) out.text = text;
            statics += (statics.empty() ? L"" : L"\n") + text;
        }
    }
    if (out.text.empty()) out.text = statics;
    return out;
}

// Presses a dialog's button as a click would and waits until the dialog is gone; false when it
// is still shown after timeoutMs.
bool pressAndWaitClosed(HWND dialog, HWND button, DWORD timeoutMs) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    const DWORD start = GetTickCount();
    while (IsWindow(dialog) && IsWindowVisible(dialog)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

int cmdMessageBox(const Options& options) {
    HWND dialog = waitTop(options, L"#32770");
    if (!dialog) return fail(L"no message box within the timeout");
    DialogChildren parts = dialogChildren(dialog);
    emit(JsonObject()
             .flag("ok", true)
             .num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(dialog)))
             .num("pid", windowPid(dialog))
             .str("title", windowText(dialog))
             .str("text", parts.text)
             .raw("buttons", jsonArray(parts.buttons))
             .text());
    return 0;
}

int cmdDismiss(const Options& options) {
    HWND dialog = waitTop(options, L"#32770");
    if (!dialog) return fail(L"no message box within the timeout");
    DialogChildren parts = dialogChildren(dialog);
    std::wstring title = windowText(dialog);
    HWND button = nullptr;
    for (HWND candidate : parts.buttonWindows) {
        std::wstring text = withoutMnemonic(windowText(candidate));
        if (options.button.empty() ? (GetDlgCtrlID(candidate) == IDOK || !button)
                                   : _wcsicmp(text.c_str(), withoutMnemonic(options.button).c_str()) == 0)
            button = candidate;
    }
    if (!button) return fail(L"the message box has no button " + options.button);
    std::wstring pressed = withoutMnemonic(windowText(button));
    if (!pressAndWaitClosed(dialog, button, options.timeoutMs)) return fail(L"the message box did not close");
    emit(JsonObject()
             .flag("ok", true)
             .str("title", title)
             .str("text", parts.text)
             .str("pressed", pressed)
             .text());
    return 0;
}

// Fills the proxy credentials dialog: waits for a dialog with a user name and a password field,
// types the two positional arguments into them character by character, and presses OK (or the
// --button given, such as Cancel, without typing). Prints the dialog's texts.
int cmdSignIn(const Options& options) {
    const bool typing = options.button.empty();
    if (typing && options.positional.size() != 2) return fail(L"usage: sign-in <user> <password> | sign-in --button Cancel");
    const DWORD start = GetTickCount();
    HWND dialog = nullptr;
    std::vector<HWND> edits;
    while (!dialog) {
        if (HWND candidate = waitTop(options, L"#32770")) {
            edits.clear();
            for (HWND child : children(candidate))
                if (_wcsicmp(className(child).c_str(), L"Edit") == 0 && IsWindowVisible(child)) edits.push_back(child);
            if (edits.size() >= 2) dialog = candidate;
        }
        if (!dialog) {
            if (GetTickCount() - start >= options.timeoutMs) return fail(L"no sign-in dialog within the timeout");
            Sleep(100);
        }
    }
    DialogChildren parts = dialogChildren(dialog);
    std::wstring title = windowText(dialog);
    const long long pid = windowPid(dialog);
    if (typing) {
        SetForegroundWindow(dialog);
        for (size_t field = 0; field < 2; ++field) {
            for (wchar_t c : options.positional[field]) PostMessageW(edits[field], WM_CHAR, c, 1);
        }
        // The characters arrive before the OK press: the dialog's queue keeps their order.
    }
    const int id = typing ? IDOK : IDCANCEL;
    HWND button = GetDlgItem(dialog, id);
    for (HWND candidate : parts.buttonWindows)
        if (!typing && _wcsicmp(withoutMnemonic(windowText(candidate)).c_str(), withoutMnemonic(options.button).c_str()) == 0)
            button = candidate;
    if (!pressAndWaitClosed(dialog, button, options.timeoutMs)) return fail(L"the sign-in dialog did not close");
    emit(JsonObject()
             .flag("ok", true)
             .num("pid", pid)
             .str("title", title)
             .str("text", parts.text)
             .raw("buttons", jsonArray(parts.buttons))
             .text());
    return 0;
}

int cmdProcesses(const Options&) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return fail(L"CreateToolhelp32Snapshot failed");
    std::vector<std::string> items;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        std::wstring path;
        if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)) {
            wchar_t buffer[MAX_PATH * 2] = {};
            DWORD size = MAX_PATH * 2;
            if (QueryFullProcessImageNameW(process, 0, buffer, &size)) path = buffer;
            CloseHandle(process);
        }
        items.push_back(JsonObject()
                            .num("pid", entry.th32ProcessID)
                            .num("parent", entry.th32ParentProcessID)
                            .str("name", entry.szExeFile)
                            .str("path", path)
                            .text());
    }
    CloseHandle(snapshot);
    emit(JsonObject().flag("ok", true).raw("processes", jsonArray(items)).text());
    return 0;
}

int cmdShortcut(const Options& options) {
    if (options.positional.size() != 1) return fail(L"usage: shortcut <path.lnk>");
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return fail(L"cannot create the shell link object");
    IPersistFile* file = nullptr;
    HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) hr = file->Load(options.positional[0].c_str(), STGM_READ);
    if (FAILED(hr)) {
        if (file) file->Release();
        link->Release();
        return fail(L"cannot load " + options.positional[0]);
    }
    wchar_t target[MAX_PATH * 2] = {}, workDir[MAX_PATH * 2] = {}, icon[MAX_PATH * 2] = {}, args[1024] = {};
    int iconIndex = 0;
    link->GetPath(target, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(workDir, MAX_PATH * 2);
    link->GetIconLocation(icon, MAX_PATH * 2, &iconIndex);
    link->GetArguments(args, 1024);
    file->Release();
    link->Release();
    emit(JsonObject()
             .flag("ok", true)
             .str("target", target)
             .str("working_dir", workDir)
             .str("icon", icon)
             .num("icon_index", iconIndex)
             .str("arguments", args)
             .text());
    return 0;
}

// Plain GET through WinINet, the way the installer fetches its files.
int cmdFetch(const Options& options) {
    if (options.positional.size() != 1) return fail(L"usage: fetch <url>");
    HINTERNET session = InternetOpenW(L"ui_driver", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) return fail(L"InternetOpenW failed");
    HINTERNET request = InternetOpenUrlW(session, options.positional[0].c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (!request) {
        DWORD error = GetLastError();
        InternetCloseHandle(session);
        emit(JsonObject().flag("ok", false).num("error_code", error).str("error", L"InternetOpenUrlW failed").text());
        return 1;
    }
    DWORD status = 0, size = sizeof status;
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    std::string body;
    char buffer[8192];
    DWORD read = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0 && body.size() < (1u << 20))
        body.append(buffer, read);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    std::wstring text(body.size(), L'\0');
    int length = MultiByteToWideChar(CP_UTF8, 0, body.data(), static_cast<int>(body.size()), text.data(),
                                     static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    emit(JsonObject()
             .flag("ok", true)
             .num("status", status)
             .num("length", static_cast<long long>(body.size()))
             .str("body", text)
             .text());
    return 0;
}

// Starts a program with an exact command line: the arguments come verbatim from the
// environment variable FLASHDECK_E2E_ARGS, since Wine re-quotes host-side arguments.
// Prints the child's pid at once, then its exit code when it ends.
int cmdLaunch(const Options& options) {
    if (options.positional.size() != 1) return fail(L"usage: launch <exe> [--cwd dir] [--swap-with other.exe]  (arguments in FLASHDECK_E2E_ARGS)");
    const std::wstring& exe = options.positional[0];
    wchar_t args[8192] = {};
    GetEnvironmentVariableW(L"FLASHDECK_E2E_ARGS", args, 8192);
    SetEnvironmentVariableW(L"FLASHDECK_E2E_ARGS", nullptr);
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (args[0]) commandLine += std::wstring(L" ") + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    const DWORD flags = options.swapWith.empty() ? 0 : CREATE_SUSPENDED;
    if (!CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process))
        return fail(L"CreateProcessW failed with error " + std::to_wstring(GetLastError()));
    if (!options.swapWith.empty()) {
        // What a process of the user can do to a started program in a folder the user owns: its
        // file renamed away and another program put under its name before it runs a single step.
        const std::wstring moved = exe + L".renamed";
        if (!MoveFileExW(exe.c_str(), moved.c_str(), 0) || !CopyFileW(options.swapWith.c_str(), exe.c_str(), TRUE)) {
            const DWORD error = GetLastError();
            TerminateProcess(process.hProcess, 1);
            return fail(L"the swap of the started program failed with error " + std::to_wstring(error));
        }
        ResumeThread(process.hThread);
    }
    emit(JsonObject().flag("ok", true).str("event", L"started").num("pid", process.dwProcessId)
             .str("command_line", commandLine).text());
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    emit(JsonObject().flag("ok", true).str("event", L"exit").num("exit_code", code).text());
    return 0;
}

// Waits for a process that something else started (the relaunched copy of the installer):
// prints "started" once its handle is open, then its exit code when it ends.
int cmdWaitExit(const Options& options) {
    if (!options.pid) return fail(L"usage: wait-exit --pid <pid> [--timeout ms]");
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, options.pid);
    if (!process) return fail(L"cannot open process " + std::to_wstring(options.pid));
    emit(JsonObject().flag("ok", true).str("event", L"started").num("pid", options.pid).text());
    DWORD wait = WaitForSingleObject(process, options.timeoutGiven ? options.timeoutMs : INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (wait != WAIT_OBJECT_0) return fail(L"process " + std::to_wstring(options.pid) + L" still runs");
    emit(JsonObject().flag("ok", true).str("event", L"exit").num("exit_code", code).text());
    return 0;
}

// ---------------------------------------------------------------- keyboard, focus, accessible names

// The control with the keyboard focus in the window's thread, as the system reports it.
HWND focusedControl(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::string focusJson(HWND window) {
    HWND focus = focusedControl(window);
    JsonObject object;
    object.flag("ok", true);
    if (focus == window) {
        object.str("focus", L"window");
    } else if (focus && GetAncestor(focus, GA_ROOT) == window) {
        auto kids = children(window);
        // A drop-down list's own parts report their list.
        HWND control = focus;
        while (GetAncestor(control, GA_PARENT) != window) control = GetAncestor(control, GA_PARENT);
        const auto at = std::find(kids.begin(), kids.end(), control);
        object.num("index", at == kids.end() ? -1 : static_cast<long long>(at - kids.begin()))
            .str("class", className(control))
            .str("text", windowText(control))
            .num("id", GetDlgCtrlID(control));
    } else {
        object.str("focus", focus ? L"elsewhere" : L"none");
    }
    return object.text();
}

struct KeyName {
    const wchar_t* name;
    WORD key;
};
constexpr KeyName kKeys[] = {{L"tab", VK_TAB},     {L"enter", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"space", VK_SPACE},
                             {L"up", VK_UP},       {L"down", VK_DOWN},    {L"left", VK_LEFT},     {L"right", VK_RIGHT},
                             {L"f4", VK_F4},       {L"home", VK_HOME},    {L"end", VK_END}};

INPUT keyInput(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// "shift+tab", "alt+f4", "enter" ... as real key presses: modifiers down, the key down and up,
// modifiers up.
bool pressKeys(const std::wstring& chord, std::wstring& error) {
    std::vector<WORD> modifiers;
    std::wstring rest = chord;
    for (size_t plus; (plus = rest.find(L'+')) != std::wstring::npos; rest = rest.substr(plus + 1)) {
        const std::wstring modifier = rest.substr(0, plus);
        if (modifier == L"shift") modifiers.push_back(VK_SHIFT);
        else if (modifier == L"alt") modifiers.push_back(VK_MENU);
        else if (modifier == L"ctrl") modifiers.push_back(VK_CONTROL);
        else {
            error = L"unknown modifier " + modifier;
            return false;
        }
    }
    WORD key = 0;
    for (const KeyName& known : kKeys)
        if (rest == known.name) key = known.key;
    if (!key) {
        error = L"unknown key " + rest;
        return false;
    }
    std::vector<INPUT> inputs;
    for (WORD modifier : modifiers) inputs.push_back(keyInput(modifier, false));
    inputs.push_back(keyInput(key, false));
    inputs.push_back(keyInput(key, true));
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) inputs.push_back(keyInput(*it, true));
    if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
        error = L"SendInput failed";
        return false;
    }
    return true;
}

// Brings the window to the front, then presses each key in turn; after each, prints where the
// focus went once the window has handled the key.
int cmdKeys(const Options& options) {
    if (options.positional.empty()) return fail(L"usage: keys <key> [<key> ...]  (tab, shift+tab, enter, alt+f4 ...)");
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    SetForegroundWindow(window);
    for (DWORD start = GetTickCount(); GetForegroundWindow() != window && GetTickCount() - start < 3000;) Sleep(50);
    if (GetForegroundWindow() != window) return fail(L"the window did not come to the front");
    for (const std::wstring& chord : options.positional) {
        std::wstring error;
        if (!pressKeys(chord, error)) return fail(error);
        // The installer answers once it has handled the input before this message.
        LRESULT ignored = 0;
        Sleep(100);
        query(window, WM_NULL, 0, 0, ignored);
        Sleep(100);
        std::string line = focusJson(window);
        line.insert(1, "\"key\":" + jsonString(chord) + ",");
        emit(IsWindow(window) ? line : JsonObject().flag("ok", true).str("key", chord).flag("gone", true).text());
        if (!IsWindow(window)) break;
    }
    return 0;
}

int cmdFocus(const Options& options) {
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    emit(focusJson(window));
    return 0;
}

// What a screen reader reads: each control's standard accessible object and its name.
int cmdNames(const Options& options) {
    HWND window = requireWindow(options);
    if (!window) return fail(L"no visible window of class " + options.className);
    CoInitialize(nullptr);
    std::vector<std::string> items;
    auto kids = children(window);
    for (size_t i = 0; i < kids.size(); ++i) {
        IAccessible* object = nullptr;
        JsonObject item;
        item.num("index", static_cast<long long>(i)).str("class", className(kids[i])).flag("visible", ownVisible(kids[i]));
        if (SUCCEEDED(AccessibleObjectFromWindow(kids[i], static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&object))) && object) {
            VARIANT self;
            VariantInit(&self);
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            BSTR name = nullptr;
            if (SUCCEEDED(object->get_accName(self, &name)) && name) {
                item.str("name", name);
                SysFreeString(name);
            } else {
                item.raw("name", "null");
            }
            object->Release();
        }
        items.push_back(item.text());
    }
    emit(JsonObject().flag("ok", true).raw("controls", jsonArray(items)).text());
    return 0;
}

// ---------------------------------------------------------------- registry and environment

// The registry as `reg ... /reg:32` sees it, without a Wine start per question.
struct RegistryPath {
    HKEY root = nullptr;
    std::wstring subKey;
};

bool parseRegistryPath(const std::wstring& path, RegistryPath& out) {
    const size_t slash = path.find(L'\\');
    const std::wstring root = path.substr(0, slash);
    if (root == L"HKLM" || root == L"HKEY_LOCAL_MACHINE") out.root = HKEY_LOCAL_MACHINE;
    else if (root == L"HKCU" || root == L"HKEY_CURRENT_USER") out.root = HKEY_CURRENT_USER;
    else return false;
    out.subKey = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
    return true;
}

class OpenKey {
public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (key) RegCloseKey(key);
    }
    HKEY key = nullptr;
};

const wchar_t* registryTypeName(DWORD type) {
    switch (type) {
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_DWORD: return L"REG_DWORD";
    case REG_QWORD: return L"REG_QWORD";
    case REG_BINARY: return L"REG_BINARY";
    case REG_NONE: return L"REG_NONE";
    default: return L"REG_UNKNOWN";
    }
}

// The data as `reg query` prints it: strings up to their first NUL, a multi-string's items joined
// by "\0", numbers as numbers, anything else as hexadecimal digits.
std::string registryDataJson(DWORD type, const std::vector<BYTE>& data) {
    if ((type == REG_DWORD && data.size() >= 4) || (type == REG_QWORD && data.size() >= 8)) {
        unsigned long long number = 0;
        std::memcpy(&number, data.data(), type == REG_DWORD ? 4 : 8);
        return std::to_string(number);
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        if (type != REG_MULTI_SZ) return jsonString(text.substr(0, text.find(L'\0')));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        for (size_t at; (at = text.find(L'\0')) != std::wstring::npos;) text.replace(at, 1, L"\\0");
        return jsonString(text);
    }
    std::string hex;
    char digits[4];
    for (BYTE byte : data) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        hex += digits;
    }
    return "\"" + hex + "\"";
}

// reg-read <key>: {"exists":false}, or every value of the key (the default value named "").
int cmdRegRead(const Options& options) {
    RegistryPath path;
    if (options.positional.size() != 1 || !parseRegistryPath(options.positional[0], path))
        return fail(L"usage: reg-read HKLM|HKCU\\<key>");
    OpenKey key;
    LSTATUS status = RegOpenKeyExW(path.root, path.subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key.key);
    if (status == ERROR_FILE_NOT_FOUND) {
        emit(JsonObject().flag("ok", true).flag("exists", false).text());
        return 0;
    }
    if (status != ERROR_SUCCESS) return fail(L"cannot open " + options.positional[0] + L": " + std::to_wstring(status));
    std::vector<std::string> values;
    for (DWORD index = 0;; ++index) {
        std::wstring name(16384, L'\0');
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0, size = 0;
        status = RegEnumValueW(key.key, index, name.data(), &nameLength, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return fail(L"cannot list " + options.positional[0] + L": " + std::to_wstring(status));
        name.resize(nameLength);
        std::vector<BYTE> data(size);
        status = RegQueryValueExW(key.key, name.c_str(), nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS) return fail(L"cannot read " + name + L": " + std::to_wstring(status));
        data.resize(size);
        values.push_back(JsonObject()
                             .str("name", name)
                             .str("type", registryTypeName(type))
                             .raw("data", registryDataJson(type, data))
                             .text());
    }
    emit(JsonObject().flag("ok", true).flag("exists", true).raw("values", jsonArray(values)).text());
    return 0;
}

// reg-write <key> <name> REG_SZ|REG_EXPAND_SZ|REG_DWORD <data>: creates the key as needed.
int cmdRegWrite(const Options& options) {
    RegistryPath path;
    if (options.positional.size() != 4 || !parseRegistryPath(options.positional[0], path))
        return fail(L"usage: reg-write HKLM|HKCU\\<key> <name> <type> <data>");
    const std::wstring& name = options.positional[1];
    const std::wstring& type = options.positional[2];
    const std::wstring& data = options.positional[3];
    OpenKey key;
    LSTATUS status = RegCreateKeyExW(path.root, path.subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                                     nullptr, &key.key, nullptr);
    if (status == ERROR_SUCCESS) {
        if (type == L"REG_DWORD") {
            const DWORD number = static_cast<DWORD>(wcstoul(data.c_str(), nullptr, 0));
            status = RegSetValueExW(key.key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                    sizeof number);
        } else if (type == L"REG_SZ" || type == L"REG_EXPAND_SZ") {
            status = RegSetValueExW(key.key, name.c_str(), 0, type == L"REG_SZ" ? REG_SZ : REG_EXPAND_SZ,
                                    reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        } else {
            return fail(L"unsupported type " + type);
        }
    }
    if (status != ERROR_SUCCESS) return fail(L"cannot write " + name + L": " + std::to_wstring(status));
    emit(JsonObject().flag("ok", true).text());
    return 0;
}

// reg-delete <key> [<name>]: the value, or the key with everything below it.
int cmdRegDelete(const Options& options) {
    RegistryPath path;
    if (options.positional.empty() || options.positional.size() > 2 ||
        !parseRegistryPath(options.positional[0], path) || path.subKey.empty())
        return fail(L"usage: reg-delete HKLM|HKCU\\<key> [<name>]");
    OpenKey key;
    LSTATUS status = RegOpenKeyExW(path.root, path.subKey.c_str(), 0,
                                   KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key.key);
    if (status == ERROR_SUCCESS) {
        if (options.positional.size() == 2) {
            status = RegDeleteValueW(key.key, options.positional[1].c_str());
        } else {
            status = RegDeleteTreeW(key.key, nullptr);
            if (status == ERROR_SUCCESS) status = RegDeleteKeyExW(path.root, path.subKey.c_str(), KEY_WOW64_32KEY, 0);
        }
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return fail(L"cannot delete from " + options.positional[0] + L": " + std::to_wstring(status));
    emit(JsonObject().flag("ok", true).flag("deleted", status == ERROR_SUCCESS).text());
    return 0;
}

// environment <name> ...: the variables as the prefix's programs get them (%TEMP%, %USERPROFILE%).
int cmdEnvironment(const Options& options) {
    JsonObject variables;
    std::vector<std::string> names;
    for (const std::wstring& name : options.positional) {
        const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
        if (size == 0) return fail(L"no variable " + name);
        std::wstring value(size, L'\0');
        value.resize(GetEnvironmentVariableW(name.c_str(), value.data(), size));
        names.push_back(toUtf8(name));
        variables.str(names.back().c_str(), value);
    }
    emit(JsonObject().flag("ok", true).raw("variables", variables.text()).text());
    return 0;
}

struct Command {
    const wchar_t* name;
    int (*run)(const Options&);
};

constexpr Command kCommands[] = {
    {L"wait-window", cmdWaitWindow}, {L"wait-gone", cmdWaitGone},   {L"list", cmdList},
    {L"windows", cmdWindows},        {L"click", cmdClick},          {L"pick-language", cmdPickLanguage},
    {L"close", cmdClose},            {L"watch-progress", cmdWatchProgress}, {L"messagebox", cmdMessageBox},
    {L"dismiss", cmdDismiss},        {L"processes", cmdProcesses},  {L"shortcut", cmdShortcut},
    {L"fetch", cmdFetch},            {L"launch", cmdLaunch},        {L"wait-exit", cmdWaitExit},
    {L"keys", cmdKeys},              {L"focus", cmdFocus},          {L"names", cmdNames},
    {L"sign-in", cmdSignIn},         {L"reg-read", cmdRegRead},     {L"reg-write", cmdRegWrite},
    {L"reg-delete", cmdRegDelete},   {L"environment", cmdEnvironment},
};

int runCommand(int argc, wchar_t** argv) {
    Options options;
    std::wstring error;
    if (!parseOptions(argc, argv, 1, options, error)) {
        fail(error);
        return 2;
    }
    for (const Command& command : kCommands)
        if (std::wstring(argv[0]) == command.name) return command.run(options);
    fail(std::wstring(L"unknown command ") + argv[0]);
    return 2;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// serve: runs one command per line of standard input (UTF-8, arguments separated by tabs) until
// it ends, each answered by the command's own lines and then {"served":exit code}. Starting a
// program under Wine costs a second on a busy machine and far more in an emulator, and the tests
// ask the window something many times a second.
int serve() {
    // Wine starts its desktop process for the first program that needs it, with that program's
    // environment: this one's, never that of an installer started with planted libraries.
    GetDesktopWindow();
    g_serving = true;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[4096];
    for (;;) {
        const size_t end = pending.find('\n');
        if (end == std::string::npos) {
            DWORD got = 0;
            if (!ReadFile(input, buffer, sizeof buffer, &got, nullptr) || got == 0) return 0;
            pending.append(buffer, got);
            continue;
        }
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::wstring> args;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            args.push_back(fromUtf8(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        std::vector<wchar_t*> argv;
        for (std::wstring& arg : args) argv.push_back(arg.data());
        const int code = runCommand(static_cast<int>(argv.size()), argv.data());
        emit(JsonObject().num("served", code).text());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: ui_driver <command> [options]; commands:");
        for (const Command& command : kCommands) std::fwprintf(stderr, L" %ls", command.name);
        std::fwprintf(stderr, L" serve\n");
        return 2;
    }
    if (std::wstring(argv[1]) == L"serve") return serve();
    return runCommand(argc - 1, argv + 1);
}
