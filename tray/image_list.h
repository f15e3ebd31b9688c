#pragma once
// imlIcons: the seven tray pictures "Dish0" to "Dish6", loaded once from the program's
// resources and kept for the whole run, so a tick never creates an icon handle.

#include <array>
#include <string_view>

#include "tray/handles.h"

namespace vantorel {

inline constexpr std::size_t kDishCount = 7;

class ImageList {
  public:
    ImageList();

    // The icon of the key, or none for a key the list does not hold.
    HICON Item(std::string_view key) const;
    bool IsComplete() const;

  private:
    std::array<UniqueIcon, kDishCount> icons_;
};

}  // namespace vantorel
