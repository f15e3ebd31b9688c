#pragma once
// The one tray icon of the meter: the version-1 ANSI NOTIFYICONDATA record, the three shell
// operations on it, and the decoding of the shell's mouse callback.

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "tray/image_list.h"

namespace vantorel {

// The shell reports mouse activity on the icon with this private message; a mouse-move of the
// window itself can never be taken for it.
inline constexpr UINT WMAPP_NOTIFYCALLBACK = WM_APP + 1;
inline constexpr UINT kTrayIconId = 1;
inline constexpr UINT kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
// The first layout of the record: 88 bytes on 32-bit Windows, 104 on 64-bit.
inline constexpr DWORD kTrayRecordSize = NOTIFYICONDATAA_V1_SIZE;
inline constexpr std::size_t kTrayTipSize = 64;

#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88);
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == 0);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == 4);
static_assert(offsetof(NOTIFYICONDATAA, uID) == 8);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == 12);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == 16);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == 20);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 24);
#else
static_assert(NOTIFYICONDATAA_V1_SIZE == 104);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 40);
#endif

// The call into the shell; tests put a recorder in its place.
using ShellNotify = std::function<BOOL(DWORD message, const NOTIFYICONDATAA& record)>;
ShellNotify RealShellNotify();

class TrayIcon {
  public:
    TrayIcon(const ImageList& icons, ShellNotify shell);
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    const NOTIFYICONDATAA& record() const { return record_; }

    // Sets the fields that never change afterwards: size, window, id, flags, callback.
    void Fill(HWND window);
    // The picture of the key; a key the image list lacks leaves the picture as it was.
    void SetTrayPicture(std::string_view key);
    // The key of the picture shown, to find it again when the image list loads another size.
    const std::string& PictureKey() const { return pictureKey_; }
    // The text (UTF-8) in the ANSI code page, then a NUL, then blanks to 64 characters; a
    // text of 64 characters or more is cut to 63 before the NUL.
    void SetTrayTip(std::string_view text);
    BOOL NotifyTray(DWORD message);

    // Adds the icon; a failed add is made good by the next Update.
    void Add();
    // Modifies the icon, or adds it when it is not known to be there.
    void Update();
    // The notification area was made anew (Explorer restarted): the icon is added again, or
    // modified where it turns out to be there still.
    void Readd();
    // Deletes the icon, once.
    void Remove();

  private:
    const ImageList& icons_;
    ShellNotify shell_;
    NOTIFYICONDATAA record_{};
    std::string pictureKey_;
    bool shown_ = false;    // the last add or modify succeeded
    bool removed_ = false;  // the delete has been sent
};

enum class TrayAction { None, ShowOptions, PopupMenu };

// The mouse message in the low word of the callback's lParam: a left double-click opens the
// options, a right-button press the menu, everything else nothing.
TrayAction DecodeTrayCallback(LPARAM lParam);

}  // namespace vantorel
