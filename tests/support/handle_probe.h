#pragma once
// Where the next handle of each kind would go. Windows and Wine hand out the lowest free or
// the last freed slot, so a leak between two probes moves it; Wine answers 0 to
// GetGuiResources and GetProcessHandleCount, so this is the measure that works on both.
// GDI and USER slots are the session's, though: on a Windows desktop other programs take them
// meanwhile, so where Windows counts the process's own objects, the counts stand in for them.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vantorel::testing_support {

// Whether the system counts a process's GDI and USER objects: Windows does, Wine answers 0.
inline bool CountsGuiObjects() {
    const HMENU menu = ::CreatePopupMenu();
    const bool counts = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS) != 0;
    ::DestroyMenu(menu);
    return counts;
}

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
    if (CountsGuiObjects()) {
        // cppcheck-suppress deallocret
        return HandleProbe{reinterpret_cast<std::uintptr_t>(event),
                           ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS),
                           ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)};
    }
    // The low word is the slot; the high word of GDI and USER handles counts its reuses.
    // Only the values of the released handles are kept, never the handles themselves.
    // cppcheck-suppress deallocret
    return HandleProbe{reinterpret_cast<std::uintptr_t>(event),
                       reinterpret_cast<std::uintptr_t>(brush) & 0xFFFF,
                       reinterpret_cast<std::uintptr_t>(menu) & 0xFFFF};
}

// How many GDI and USER handles are in use, give or take a constant: the highest slot that
// a few thousand new handles of each kind reach, which is past every free slot. Making and
// freeing handles leaves the free slots in another order, which moves ProbeHandles but not
// this; a leak does.
struct HandlesInUse {
    std::uintptr_t kernel = 0;
    std::uintptr_t gdi = 0;
    std::uintptr_t user = 0;
    bool operator==(const HandlesInUse&) const = default;
};

inline HandlesInUse CountHandlesInUse() {
    constexpr std::size_t kMany = 4000;
    std::vector<HANDLE> events;
    std::vector<HBRUSH> brushes;
    std::vector<HMENU> menus;
    HandlesInUse count;
    const bool counted = CountsGuiObjects();
    if (counted) {
        count.gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
        count.user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    }
    for (std::size_t i = 0; i < kMany; ++i) {
        events.push_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        count.kernel = std::max(count.kernel, reinterpret_cast<std::uintptr_t>(events.back()));
        brushes.push_back(::CreateSolidBrush(RGB(1, 2, 3)));
        menus.push_back(::CreatePopupMenu());
        if (!counted) {
            count.gdi =
                std::max(count.gdi, reinterpret_cast<std::uintptr_t>(brushes.back()) & 0xFFFF);
            count.user =
                std::max(count.user, reinterpret_cast<std::uintptr_t>(menus.back()) & 0xFFFF);
        }
    }
    // Freed last first, so the free slots stand in their old order again: the next handle
    // made takes the slot it would have taken without the count.
    for (std::size_t i = kMany; i-- > 0;) {
        ::CloseHandle(events[i]);
        ::DeleteObject(brushes[i]);
        ::DestroyMenu(menus[i]);
    }
    return count;
}

}  // namespace vantorel::testing_support
