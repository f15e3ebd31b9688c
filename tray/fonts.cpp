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

UniqueFont CreateDialogFont(UINT dpi) {
    return CreatePointFont(L"MS Shell Dlg", 8, false, dpi);
}

void SetChildFonts(HWND parent, HFONT font) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

}  // namespace vantorel
