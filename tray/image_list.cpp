#include "tray/image_list.h"

#include <algorithm>

#include "resources/resource.h"
#include "tray/later_functions.h"

namespace vantorel {
namespace {

HICON LoadIconAt(int id, int size) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                           IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

int TrayIconSize() {
    // Found without a message, so a hung shell cannot stall the window thread.
    const HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    return MetricForDpi(SM_CXSMICON, taskbar != nullptr ? WindowDpi(taskbar) : SystemDpi());
}

std::vector<int> ArtSizes(int resourceId) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), RT_GROUP_ICON);
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    const auto* bytes = static_cast<const BYTE*>(::LockResource(loaded));
    if (bytes == nullptr) {
        return {};
    }
    // Three words (reserved, type, count), then 14-byte entries that start with the width,
    // 0 standing for 256.
    constexpr std::size_t kHeader = 6;
    constexpr std::size_t kEntry = 14;
    const std::size_t length = ::SizeofResource(module, found);
    const std::size_t count = length >= kHeader ? bytes[4] | bytes[5] << 8 : 0;
    std::vector<int> sizes;
    for (std::size_t i = 0; i < count && kHeader + kEntry * (i + 1) <= length; ++i) {
        const BYTE width = bytes[kHeader + kEntry * i];
        sizes.push_back(width == 0 ? 256 : width);
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

int ChooseArtSize(int wanted, const std::vector<int>& sizes) {
    const auto larger = std::lower_bound(sizes.begin(), sizes.end(), wanted);
    if (larger != sizes.end()) {
        return *larger;
    }
    return sizes.empty() ? wanted : sizes.back();
}

UniqueIcon LoadProgramIcon(int size) {
    return UniqueIcon(LoadIconAt(IDI_PROGRAM, size));
}

ImageList::ImageList(int wantedSize) {
    static_assert(IDI_DISH_COUNT == kDishCount);
    Reload(wantedSize);
}

ImageList::Icons ImageList::Reload(int wantedSize) {
    const int size = ChooseArtSize(wantedSize, ArtSizes(IDI_DISH0));
    Icons loaded;
    if (size == size_) {
        return loaded;
    }
    for (std::size_t i = 0; i < kDishCount; ++i) {
        loaded[i].reset(LoadIconAt(IDI_DISH0 + static_cast<int>(i), size));
    }
    // Half a set would leave keys without a picture: keep the old set then.
    if (size_ != 0 && !std::all_of(loaded.begin(), loaded.end(),
                                   [](const UniqueIcon& icon) { return bool(icon); })) {
        return loaded;
    }
    std::swap(loaded, icons_);
    size_ = size;
    return loaded;
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
