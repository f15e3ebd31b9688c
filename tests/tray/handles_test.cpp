#include "tray/handles.h"

#include <gtest/gtest.h>

#include "tests/support/win_test.h"

namespace vantorel {
namespace {

using namespace testing_support;

TEST(UniqueHandles, EachKindIsReleasedOnceAndMovesOwnership) {
    HICON raw = ::CreateIcon(nullptr, 16, 16, 1, 1, std::array<BYTE, 32>{}.data(),
                             std::array<BYTE, 32>{}.data());
    ASSERT_NE(raw, nullptr);
    {
        UniqueIcon first(raw);
        UniqueIcon second(std::move(first));
        EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
        EXPECT_EQ(second.get(), raw);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(raw, &info));
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
    }
    ICONINFO gone{};
    EXPECT_FALSE(::GetIconInfo(raw, &gone)) << "destroyed with its owner";

    const HMENU menu = ::CreatePopupMenu();
    { UniqueMenu owner(menu); }
    EXPECT_FALSE(::IsMenu(menu));

    LOGFONTW face{};
    face.lfHeight = 12;
    const HFONT font = ::CreateFontIndirectW(&face);
    {
        UniqueFont a(font);
        UniqueFont b;
        b = std::move(a);
        EXPECT_EQ(b.get(), font);
    }
    EXPECT_EQ(::GetObjectType(font), 0u);

    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Vantorel Tests\\handles", 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    { UniqueKey owner(key); }
    DWORD values = 0;
    EXPECT_NE(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS)
        << "the key handle is closed";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Vantorel Tests\\handles");

    const HWND window =
        ::CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    { UniqueWindow owner(window); }
    EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
}  // namespace vantorel
