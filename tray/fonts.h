#pragma once
// The two fonts of the windows, made for a DPI: the dialog font the layouts were drawn for, and
// the About window's title font.

#include <windows.h>

#include <string>
#include <vector>

#include "tray/handles.h"

namespace vantorel {

// "MS Shell Dlg", 8 point: the system's dialog face at the size the twips layouts assume.
UniqueFont CreateDialogFont(UINT dpi);

// One line of text and the width, in pixels, it has to fit in.
struct FitText {
    std::wstring text;
    int room;
};

// The dialog font, a pixel smaller at a time (down to three quarters of its height) while one
// of the texts would not fit its room. The layouts were drawn for MS Sans Serif; where the
// dialog face is a wider one (Tahoma, under Wine) their labels would wrap and clip otherwise.
UniqueFont CreateFittingDialogFont(UINT dpi, const std::vector<FitText>& texts);

// The width of a line of text in a font, in pixels.
int TextWidth(HFONT font, const std::wstring& text);

// A named face at a point size, bold or not.
UniqueFont CreatePointFont(const wchar_t* face, int points, bool bold, UINT dpi);

// Gives every child of the window this font.
void SetChildFonts(HWND parent, HFONT font);

}  // namespace vantorel
