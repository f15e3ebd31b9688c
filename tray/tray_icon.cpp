#include "tray/tray_icon.h"

#include <algorithm>
#include <cstring>

#include "tray/text.h"

namespace vantorel {

ShellNotify RealShellNotify() {
    return [](DWORD message, const NOTIFYICONDATAA& record) {
        return ::Shell_NotifyIconA(message, const_cast<NOTIFYICONDATAA*>(&record));
    };
}

TrayIcon::TrayIcon(const ImageList& icons, ShellNotify shell)
    : icons_(icons), shell_(std::move(shell)) {}

void TrayIcon::Fill(HWND window) {
    record_.cbSize = kTrayRecordSize;
    record_.hWnd = window;
    record_.uID = kTrayIconId;
    record_.uFlags = kTrayFlags;
    record_.uCallbackMessage = WMAPP_NOTIFYCALLBACK;
}

void TrayIcon::SetTrayPicture(std::string_view key) {
    if (const HICON icon = icons_.Item(key)) {
        record_.hIcon = icon;
        pictureKey_ = key;
    }
}

void TrayIcon::SetTrayTip(std::string_view text) {
    const std::string ansi = ToAnsi(Widen(text));
    std::size_t length = std::min(ansi.size(), kTrayTipSize - 1);
    // Never leave half of a double-byte character before the NUL.
    std::size_t i = 0;
    while (i < length) {
        const std::size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(ansi[i])) ? 2 : 1;
        if (i + step > length) {
            break;
        }
        i += step;
    }
    length = i;
    std::memset(record_.szTip, ' ', kTrayTipSize);
    std::memcpy(record_.szTip, ansi.data(), length);
    record_.szTip[length] = '\0';
}

BOOL TrayIcon::NotifyTray(DWORD message) {
    return shell_(message, record_);
}

void TrayIcon::Add() {
    shown_ = NotifyTray(NIM_ADD) != FALSE;
}

void TrayIcon::Update() {
    if (shown_) {
        shown_ = NotifyTray(NIM_MODIFY) != FALSE;
        return;
    }
    // Not there as far as we know (the add failed, or the area was not ready at login and no
    // "TaskbarCreated" came): add it. Should it be there after all, the add fails and the
    // modify updates it.
    shown_ = NotifyTray(NIM_ADD) != FALSE || NotifyTray(NIM_MODIFY) != FALSE;
}

void TrayIcon::Readd() {
    // "TaskbarCreated" also comes while the icon is still there (a DPI change, a Remote
    // Desktop connection): the add then fails, and the modify shows the new picture at once.
    shown_ = NotifyTray(NIM_ADD) != FALSE || NotifyTray(NIM_MODIFY) != FALSE;
}

void TrayIcon::Remove() {
    if (!removed_ && record_.cbSize != 0) {
        removed_ = true;
        NotifyTray(NIM_DELETE);
    }
}

TrayAction DecodeTrayCallback(LPARAM lParam) {
    switch (LOWORD(lParam)) {
        case WM_LBUTTONDBLCLK:
            return TrayAction::ShowOptions;
        case WM_RBUTTONDOWN:
            return TrayAction::PopupMenu;
        default:
            return TrayAction::None;
    }
}

}  // namespace vantorel
