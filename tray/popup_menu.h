#pragma once
// mnuPopup: the tray icon's menu. Three greyed progress lines, a separator, "&Options" drawn
// as the default item and "E&xit". Only the progress captions ever change.

#include <windows.h>

#include <cstddef>
#include <string>

#include "tray/handles.h"

namespace vantorel {

class PopupMenu {
  public:
    static constexpr int kProgressId = 300;  // mnuProgress index n has id kProgressId + n
    static constexpr int kOptionsId = 310;
    static constexpr int kExitId = 311;
    static constexpr std::size_t kProgressCount = 3;

    PopupMenu();

    HMENU handle() const { return menu_.get(); }

    void SetProgressCaption(std::size_t index, const std::wstring& caption) const;
    std::wstring ProgressCaption(std::size_t index) const;

    // Pops the menu up with its left edge at the point; a chosen item reaches the owner as
    // WM_COMMAND. Gives whether the Escape key closed it.
    bool Popup(HWND owner, POINT at) const;

  private:
    UniqueMenu menu_;
};

}  // namespace vantorel
