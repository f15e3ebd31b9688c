#include "tray/fonts.h"

#include <cwchar>

namespace vantorel {

UniqueFont CreatePointFont(const wchar_t* face, int points, bool bold, UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(points, static_cast<int>(dpi), 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return UniqueFont(::CreateFontIndirectW(&font));
}

namespace {

constexpr wchar_t kDialogFace[] = L"MS Shell Dlg";
constexpr int kDialogPoints = 8;

UniqueFont CreatePixelFont(const wchar_t* face, int pixels) {
    LOGFONTW font{};
    font.lfHeight = -pixels;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return UniqueFont(::CreateFontIndirectW(&font));
}

}  // namespace

UniqueFont CreateDialogFont(UINT dpi) {
    return CreatePointFont(kDialogFace, kDialogPoints, false, dpi);
}

int TextWidth(HFONT font, const std::wstring& text) {
    const HDC dc = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return size.cx;
}

UniqueFont CreateFittingDialogFont(UINT dpi, const std::vector<FitText>& texts) {
    const int full = ::MulDiv(kDialogPoints, static_cast<int>(dpi), 72);
    const int smallest = (full * 3 + 3) / 4;
    for (int pixels = full; pixels > smallest; --pixels) {
        UniqueFont font = CreatePixelFont(kDialogFace, pixels);
        bool fits = true;
        for (const FitText& text : texts) {
            fits = fits && TextWidth(font.get(), text.text) <= text.room;
        }
        if (fits) {
            return font;
        }
    }
    return CreatePixelFont(kDialogFace, smallest);
}

void SetChildFonts(HWND parent, HFONT font) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

}  // namespace vantorel
