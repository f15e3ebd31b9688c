#include "tray/later_functions.h"

namespace vantorel {
namespace {

constexpr UINT kDefaultDpi = 96;
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

// Filled by the window thread, the only one that asks: a plain static needs no guard.
LaterFunctions g_functions{};
bool g_found = false;

const LaterFunctions& Functions() {
    if (!g_found) {
        SetLaterFunctions(FindLaterFunctions());
    }
    return g_functions;
}

template <typename Function>
void Find(HMODULE module, const char* name, Function& function) {
    if (module == nullptr) {
        return;
    }
    // A function pointer of any type goes through void (*)() to another.
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace

LaterFunctions FindLaterFunctions() {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    LaterFunctions found{};
    Find(user32, "GetDpiForSystem", found.getDpiForSystem);
    Find(user32, "GetDpiForWindow", found.getDpiForWindow);
    Find(user32, "GetSystemMetricsForDpi", found.getSystemMetricsForDpi);
    Find(user32, "AdjustWindowRectExForDpi", found.adjustWindowRectExForDpi);
    // From the system folder only, never a DLL planted beside the program, and kept loaded for
    // the run: the table points into it. Windows 7 without update KB2533623 refuses the flag,
    // but it has no shcore either (Windows 8 brought it, 8.1 the function).
    const HMODULE shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    Find(shcore, "GetDpiForMonitor", found.getDpiForMonitor);
    return found;
}

void SetLaterFunctions(const LaterFunctions& functions) {
    g_functions = functions;
    g_found = true;
}

UINT SystemDpi() {
    const auto getDpiForSystem = Functions().getDpiForSystem;
    UINT dpi = 0;
    if (getDpiForSystem != nullptr) {
        dpi = getDpiForSystem();
    } else {
        const HDC screen = ::GetDC(nullptr);
        dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
        ::ReleaseDC(nullptr, screen);
    }
    return dpi != 0 ? dpi : kDefaultDpi;
}

UINT MonitorDpi(HMONITOR monitor) {
    const auto getDpiForMonitor = Functions().getDpiForMonitor;
    UINT dpi = 0;
    UINT unused = 0;
    if (getDpiForMonitor == nullptr ||
        FAILED(getDpiForMonitor(monitor, kEffectiveDpi, &dpi, &unused))) {
        dpi = 0;
    }
    return dpi != 0 ? dpi : SystemDpi();
}

UINT WindowDpi(HWND window) {
    const auto getDpiForWindow = Functions().getDpiForWindow;
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    // The sign-in DPI would keep a window at its old size after a change of scale.
    return dpi != 0 ? dpi : MonitorDpi(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

int MetricForDpi(int index, UINT dpi) {
    if (const auto getSystemMetricsForDpi = Functions().getSystemMetricsForDpi) {
        return getSystemMetricsForDpi(index, dpi);
    }
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi),
                    static_cast<int>(SystemDpi()));
}

void AdjustFrameForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    if (const auto adjustWindowRectExForDpi = Functions().adjustWindowRectExForDpi) {
        adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi);
    } else {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

}  // namespace vantorel
