#pragma once

#include "Form.h"

#include <QRect>

namespace zelvoset {

// A control's box in pixels at the screen's logical resolution; Qt's high-DPI scaling takes the
// pixels on from there.
inline QRect ToPixels(const form::TwipsBox& box, int dpiX, int dpiY) {
    return QRect(form::TwipsToPixels(box.left, dpiX), form::TwipsToPixels(box.top, dpiY),
                 form::TwipsToPixels(box.width, dpiX), form::TwipsToPixels(box.height, dpiY));
}

} // namespace zelvoset
