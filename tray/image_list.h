#pragma once
// imlIcons: the seven tray pictures "Dish0" to "Dish6", loaded from the program's resources at
// the notification area's icon size and kept until that size changes, so a tick never creates
// an icon handle.

#include <array>
#include <string_view>
#include <vector>

#include "tray/handles.h"

namespace vantorel {

inline constexpr std::size_t kDishCount = 7;

// The notification area's icon size: the small-icon size at the DPI of the taskbar, or of the
// system when there is no taskbar.
int TrayIconSize();
// The sizes an icon resource is drawn at, smallest first.
std::vector<int> ArtSizes(int resourceId);
// The drawn size to load for an icon shown at `wanted` pixels: that size, else the next larger
// (the system scales it down), else the largest.
int ChooseArtSize(int wanted, const std::vector<int>& sizes);
// The program's icon at a size; the system scales the nearest drawn size when it has no art.
UniqueIcon LoadProgramIcon(int size);

class ImageList {
  public:
    using Icons = std::array<UniqueIcon, kDishCount>;

    explicit ImageList(int wantedSize = TrayIconSize());

    // The icon of the key, or none for a key the list does not hold.
    HICON Item(std::string_view key) const;
    bool IsComplete() const;
    // The drawn size the pictures were loaded at.
    int Size() const { return size_; }

    // Loads the pictures for another icon size when that needs other art. Gives back the old
    // pictures, which the shell may still be showing: free them once it shows a new one.
    Icons Reload(int wantedSize);

  private:
    Icons icons_;
    int size_ = 0;
};

}  // namespace vantorel
