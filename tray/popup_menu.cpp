#include "tray/popup_menu.h"

namespace vantorel {
namespace {

bool g_escaped = false;

// Sees each message of the menu's loop before the menu does. The menu has no submenu, so
// Escape closes it.
LRESULT CALLBACK WatchMenuInput(int code, WPARAM wParam, LPARAM lParam) {
    const auto& message = *reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_MENU && message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        g_escaped = true;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

PopupMenu::PopupMenu() : menu_(::CreatePopupMenu()) {
    // Design captions: the third line has no trailing blank.
    const wchar_t* progress[kProgressCount] = {L"Progress: ", L"Progress: ", L"Progress:"};
    for (std::size_t i = 0; i < kProgressCount; ++i) {
        ::AppendMenuW(menu_.get(), MF_STRING | MF_GRAYED, static_cast<UINT_PTR>(kProgressId) + i,
                      progress[i]);
    }
    ::AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu_.get(), MF_STRING, kOptionsId, L"&Options");
    ::AppendMenuW(menu_.get(), MF_STRING, kExitId, L"E&xit");
    ::SetMenuDefaultItem(menu_.get(), kOptionsId, FALSE);
}

void PopupMenu::SetProgressCaption(std::size_t index, const std::wstring& caption) const {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(caption.c_str());
    ::SetMenuItemInfoW(menu_.get(), static_cast<UINT>(kProgressId + static_cast<int>(index)), FALSE,
                       &item);
}

std::wstring PopupMenu::ProgressCaption(std::size_t index) const {
    const UINT id = static_cast<UINT>(kProgressId + static_cast<int>(index));
    wchar_t buffer[256] = {};
    const int length = ::GetMenuStringW(menu_.get(), id, buffer, 256, MF_BYCOMMAND);
    return std::wstring(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
}

bool PopupMenu::Popup(HWND owner, POINT at) const {
    // The menu only closes on a click elsewhere when its owner is the foreground window, and
    // a message after it lets the shell see that it has gone.
    ::SetForegroundWindow(owner);
    g_escaped = false;
    const HHOOK hook =
        ::SetWindowsHookExW(WH_MSGFILTER, WatchMenuInput, nullptr, ::GetCurrentThreadId());
    ::TrackPopupMenuEx(menu_.get(), 0, at.x, at.y, owner, nullptr);
    if (hook != nullptr) {
        ::UnhookWindowsHookEx(hook);
    }
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return g_escaped;
}

}  // namespace vantorel
