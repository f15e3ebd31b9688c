#pragma once
// The user32 functions of Windows 10 version 1607 and later that the meter uses, looked up at
// run time: Windows 7 SP1 is the oldest system it runs on, whose loader would refuse a program
// that imports them. One table, filled from user32 on first use; a function the system lacks
// is empty, and each one's only use below has its fallback beside it.

#include <windows.h>

namespace vantorel {

struct LaterFunctions {
    UINT(WINAPI* getDpiForSystem)();
    UINT(WINAPI* getDpiForWindow)(HWND);
    int(WINAPI* getSystemMetricsForDpi)(int, UINT);
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT);
};

// The table as user32 fills it.
LaterFunctions FindLaterFunctions();
// Puts another table in its place; tests give an empty one to run the fallbacks.
void SetLaterFunctions(const LaterFunctions& functions);

// The system's DPI: the screen's where the system has no call for it.
UINT SystemDpi();
// The window's DPI; the system's where Windows has one DPI for every window (7 and 8).
UINT WindowDpi(HWND window);
// A system metric at a DPI; without the call, the system DPI's value scaled to it.
int MetricForDpi(int index, UINT dpi);
// The window rectangle around a client rectangle at a DPI; without the call, the frame at the
// system DPI, which the window's own frame then corrects.
void AdjustFrameForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace vantorel
