#include "tray/image_list.h"

#include "resources/resource.h"

namespace vantorel {

ImageList::ImageList() {
    static_assert(IDI_DISH_COUNT == kDishCount);
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    for (std::size_t i = 0; i < kDishCount; ++i) {
        icons_[i].reset(static_cast<HICON>(::LoadImageW(
            module, MAKEINTRESOURCEW(IDI_DISH0 + static_cast<int>(i)), IMAGE_ICON, 16, 16, 0)));
    }
}

HICON ImageList::Item(std::string_view key) const {
    constexpr std::string_view prefix = "Dish";
    if (key.size() != prefix.size() + 1 || key.substr(0, prefix.size()) != prefix) {
        return nullptr;
    }
    const char digit = key.back();
    if (digit < '0' || digit >= static_cast<char>('0' + kDishCount)) {
        return nullptr;
    }
    return icons_[static_cast<std::size_t>(digit - '0')].get();
}

bool ImageList::IsComplete() const {
    for (const UniqueIcon& icon : icons_) {
        if (!icon) {
            return false;
        }
    }
    return true;
}

}  // namespace vantorel
