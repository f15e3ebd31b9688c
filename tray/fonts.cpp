#include "tray/fonts.h"

#include <algorithm>
#include <cwchar>

namespace vantorel {

namespace {

constexpr wchar_t kDialogFace[] = L"MS Shell Dlg";
constexpr int kDialogPoints = 8;

UniqueFont CreatePixelFont(const wchar_t* face, int pixels, bool bold) {
    LOGFONTW font{};
    font.lfHeight = -pixels;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return UniqueFont(::CreateFontIndirectW(&font));
}

int TextWidthIn(HDC dc, HFONT font, const std::wstring& text) {
    const HGDIOBJ old = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    return size.cx;
}

}  // namespace

UniqueFont CreatePointFont(const wchar_t* face, int points, bool bold, UINT dpi) {
    return CreatePixelFont(face, ::MulDiv(points, static_cast<int>(dpi), 72), bold);
}

UniqueFont CreateDialogFont(UINT dpi) {
    return CreatePointFont(kDialogFace, kDialogPoints, false, dpi);
}

int TextWidth(HFONT font, const std::wstring& text) {
    const HDC dc = ::GetDC(nullptr);
    const int width = TextWidthIn(dc, font, text);
    ::ReleaseDC(nullptr, dc);
    return width;
}

UniqueFont CreateFittingDialogFont(UINT dpi, const std::vector<FitText>& texts) {
    const int full = ::MulDiv(kDialogPoints, static_cast<int>(dpi), 72);
    const int smallest = (full * 3 + 3) / 4;
    const HDC dc = ::GetDC(nullptr);
    UniqueFont font;
    for (int pixels = full; pixels >= smallest; --pixels) {
        font = CreatePixelFont(kDialogFace, pixels, false);
        const bool fits = std::all_of(texts.begin(), texts.end(), [&](const FitText& text) {
            return TextWidthIn(dc, font.get(), text.text) <= text.room;
        });
        if (fits) {
            break;
        }
    }
    ::ReleaseDC(nullptr, dc);
    return font;
}

void SetChildFonts(HWND parent, HFONT font) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

}  // namespace vantorel
