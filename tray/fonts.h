#pragma once
// The two fonts of the windows, made for a DPI: the dialog font the layouts were drawn for, and
// the About window's title font.

#include <windows.h>

#include "tray/handles.h"

namespace vantorel {

// "MS Shell Dlg", 8 point: the system's dialog face at the size the twips layouts assume.
UniqueFont CreateDialogFont(UINT dpi);

// A named face at a point size, bold or not.
UniqueFont CreatePointFont(const wchar_t* face, int points, bool bold, UINT dpi);

// Gives every child of the window this font.
void SetChildFonts(HWND parent, HFONT font);

}  // namespace vantorel
