#pragma once
// Window layouts are drawn in twips (1/1440 inch) and placed in pixels at the window's DPI.

#include <windows.h>

namespace vantorel {

inline constexpr int kTwipsPerInch = 1440;

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// Rounds to the nearest pixel: 15 twips are one pixel at 96 DPI, 10 at 144 DPI.
inline int TwipsToPixels(int twips, UINT dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

inline RECT ToPixels(const TwipsRect& r, UINT dpi) {
    const int left = TwipsToPixels(r.left, dpi);
    const int top = TwipsToPixels(r.top, dpi);
    return RECT{left, top, left + TwipsToPixels(r.width, dpi), top + TwipsToPixels(r.height, dpi)};
}

}  // namespace vantorel
