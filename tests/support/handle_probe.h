#pragma once
// Where the next handle of each kind would go. Windows and Wine hand out the lowest free or
// the last freed slot, so a leak between two probes moves it; Wine answers 0 to
// GetGuiResources and GetProcessHandleCount, so this is the measure that works on both.

#include <windows.h>

#include <cstdint>

namespace vantorel::testing_support {

struct HandleProbe {
    std::uintptr_t kernel;
    std::uintptr_t gdi;
    std::uintptr_t user;
    bool operator==(const HandleProbe&) const = default;
};

inline HandleProbe ProbeHandles() {
    const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::CloseHandle(event);
    const HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    ::DeleteObject(brush);
    const HMENU menu = ::CreatePopupMenu();
    ::DestroyMenu(menu);
    // The low word is the slot; the high word of GDI and USER handles counts its reuses.
    // Only the values of the released handles are kept, never the handles themselves.
    // cppcheck-suppress deallocret
    return HandleProbe{reinterpret_cast<std::uintptr_t>(event),
                       reinterpret_cast<std::uintptr_t>(brush) & 0xFFFF,
                       reinterpret_cast<std::uintptr_t>(menu) & 0xFFFF};
}

}  // namespace vantorel::testing_support
