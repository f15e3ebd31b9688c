#pragma once
// The functions of later Windows that the meter uses, looked up at run time: Windows 7 SP1 is
// the oldest system it runs on, whose loader would refuse a program that imports them. One
// table, filled on first use from user32 (Windows 10 version 1607 and later) and shcore
// (Windows 8.1 and later); a function the system lacks is empty, and each one's only use below
// has its fallback beside it.

#include <windows.h>

namespace vantorel {

struct LaterFunctions {
    UINT(WINAPI* getDpiForSystem)();
    UINT(WINAPI* getDpiForWindow)(HWND);
    int(WINAPI* getSystemMetricsForDpi)(int, UINT);
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT);
    // The second argument is the kind of DPI: 0, MDT_EFFECTIVE_DPI, is the one windows use.
    HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*);
};

// The table as the system fills it.
LaterFunctions FindLaterFunctions();
// Puts another table in its place; tests give an empty one to run the fallbacks.
void SetLaterFunctions(const LaterFunctions& functions);

// The system's DPI: the screen's where the system has no call for it.
UINT SystemDpi();
// The monitor's DPI now; the system's where Windows has one DPI for every window (7 and 8).
UINT MonitorDpi(HMONITOR monitor);
// The window's DPI; without the call (Windows 8.1 and 10 before 1607), its monitor's.
UINT WindowDpi(HWND window);
// A system metric at a DPI; without the call, the system DPI's value scaled to it.
int MetricForDpi(int index, UINT dpi);
// The window rectangle around a client rectangle at a DPI; without the call, the frame at the
// system DPI, which the window's own frame then corrects.
void AdjustFrameForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace vantorel
