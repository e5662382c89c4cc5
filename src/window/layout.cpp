#include "window/layout.h"

#include <algorithm>

int scaleToDpi(int value, int dpi) {
    if (dpi <= 0) dpi = designDpi;
    const long long scaled = (static_cast<long long>(value) * dpi + (value >= 0 ? designDpi / 2 : -designDpi / 2)) /
                             designDpi;
    if (value > 0 && scaled == 0) return 1;
    return static_cast<int>(scaled);
}

Box scaleToDpi(const Box& box, int dpi) {
    // Edges are scaled, not lengths, so neighbours that touch at 96 DPI still touch, never overlap.
    const int left = scaleToDpi(box.x, dpi);
    const int top = scaleToDpi(box.y, dpi);
    const int width = std::max(scaleToDpi(box.x + box.width, dpi) - left, box.width > 0 ? 1 : 0);
    const int height = std::max(scaleToDpi(box.y + box.height, dpi) - top, box.height > 0 ? 1 : 0);
    return {left, top, width, height};
}
