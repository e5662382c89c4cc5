// Records the message boxes the code under test shows, instead of showing them.
#pragma once
#include <string>
#include <vector>

#include "window/boxes_win.h"

struct RecordedBox {
    std::wstring text;
    std::wstring caption;
    unsigned flags = 0;
};

// While it lives, every box is recorded in `boxes`; the real box comes back afterwards.
class BoxRecorder {
public:
    BoxRecorder() {
        recorded().clear();
        setMessageBoxHook(record);
    }
    ~BoxRecorder() { setMessageBoxHook(nullptr); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const std::vector<RecordedBox>& boxes() const { return recorded(); }
    void clear() { recorded().clear(); }

private:
    static std::vector<RecordedBox>& recorded() {
        static std::vector<RecordedBox> list;
        return list;
    }
    static int record(const std::wstring& text, const std::wstring& caption, unsigned flags) {
        recorded().push_back({text, caption, flags});
        return 1;  // IDOK
    }
};
