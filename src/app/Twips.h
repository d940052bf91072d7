#pragma once

#include <QRect>

namespace zelvoset {

// The form's measurements are in twips, 1440 to the inch at the screen's logical resolution:
// 15 to a pixel at 96 DPI. Qt's high-DPI scaling takes the pixels on from there.
constexpr int TwipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}

// A control's box, given in twips relative to its container.
struct TwipsBox {
    int left;
    int top;
    int width;
    int height;
};

inline QRect ToPixels(const TwipsBox& box, int dpiX, int dpiY) {
    return QRect(TwipsToPixels(box.left, dpiX), TwipsToPixels(box.top, dpiY),
                 TwipsToPixels(box.width, dpiX), TwipsToPixels(box.height, dpiY));
}

} // namespace zelvoset
