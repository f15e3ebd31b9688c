#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string_view>

#include "resources/resource.h"
#include "tests/support/case_name.h"
#include "tests/support/win_test.h"
#include "tray/image_list.h"
#include "tray/popup_menu.h"

namespace vantorel {
namespace {

using namespace testing_support;

TEST(TrayRecord, FirstLayoutWithItsFixedFields) {
    ImageList icons;
    RecordingShell shell;
    TrayIcon tray(icons, shell.Notify());
    const HWND window = reinterpret_cast<HWND>(0x1234);
    tray.Fill(window);
    const NOTIFYICONDATAA& record = tray.record();
    EXPECT_EQ(record.cbSize, sizeof(void*) == 8 ? 104u : 88u);
    EXPECT_EQ(record.hWnd, window);
    EXPECT_EQ(record.uID, 1u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, static_cast<UINT>(WM_APP + 1));
}

struct TipCase {
    const char* name;
    std::string text;
    std::string shown;
};

class TrayTipTest : public testing::TestWithParam<TipCase> {};

TEST_P(TrayTipTest, TextThenNulThenBlanks) {
    if (std::string_view(GetParam().name) == "AnsiCodePage" && ::GetACP() != 1252) {
        GTEST_SKIP() << "\"\xC3\xA9\" is 0xE9 in code page 1252; this system's ANSI code page is "
                     << ::GetACP();
    }
    ImageList icons;
    RecordingShell shell;
    TrayIcon tray(icons, shell.Notify());
    tray.SetTrayTip("something longer than the next text, to see it overwritten");
    tray.SetTrayTip(GetParam().text);
    EXPECT_EQ(TipText(tray.record()), GetParam().shown);
    EXPECT_TRUE(TipPaddedWithBlanks(tray.record()));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TrayTipTest,
    testing::Values(TipCase{"Empty", "", ""}, TipCase{"Load", "0%", "0%"},
                    TipCase{"Longest", "100.00% \\ 100.00% \\ 100.00%",
                            "100.00% \\ 100.00% \\ 100.00%"},
                    TipCase{"SixtyThree", std::string(63, 'a'), std::string(63, 'a')},
                    TipCase{"SixtyFourIsCut", std::string(64, 'b'), std::string(63, 'b')},
                    TipCase{"LongIsCut", std::string(500, 'c'), std::string(63, 'c')},
                    TipCase{"AnsiCodePage", "47,59% \xC3\xA9", "47,59% \xE9"}),
    CaseName());

TEST(TrayPicture, EveryKeyHasItsOwnIconAndOthersKeepThePicture) {
    // The 16-pixel art whatever the system's DPI.
    ImageList icons(16);
    ASSERT_TRUE(icons.IsComplete());
    RecordingShell shell;
    TrayIcon tray(icons, shell.Notify());
    std::set<HICON> seen;
    for (int n = 0; n < 7; ++n) {
        const std::string key = "Dish" + std::to_string(n);
        tray.SetTrayPicture(key);
        EXPECT_EQ(tray.record().hIcon, icons.Item(key));
        seen.insert(tray.record().hIcon);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(tray.record().hIcon, &info));
        BITMAP bitmap{};
        ::GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, 16);
        ::DeleteObject(info.hbmMask);
        ::DeleteObject(info.hbmColor);
    }
    EXPECT_EQ(seen.size(), 7u);
    for (const char* bad : {"Dish7", "Dish", "dish3", "Dish33", ""}) {
        EXPECT_EQ(icons.Item(bad), nullptr) << bad;
        tray.SetTrayPicture(bad);
        EXPECT_EQ(tray.record().hIcon, icons.Item("Dish6"));
    }
}

TEST(TrayArt, TheNextLargerDrawnSizeOrElseTheLargest) {
    const std::vector<int> drawn{16, 20, 24, 28, 32, 40, 48};
    const std::pair<int, int> cases[] = {{16, 16}, {20, 20}, {22, 24}, {32, 32},
                                         {36, 40}, {48, 48}, {64, 48}, {12, 16}};
    for (const auto& [wanted, loaded] : cases) {
        EXPECT_EQ(ChooseArtSize(wanted, drawn), loaded) << wanted;
    }
    EXPECT_EQ(ChooseArtSize(24, {16}), 16);
    const std::vector<int> program = ArtSizes(IDI_PROGRAM);
    EXPECT_EQ(program.front(), 16);
    EXPECT_EQ(std::vector<int>(program.end() - 2, program.end()), (std::vector<int>{64, 256}))
        << "Explorer's large views";
    const std::vector<int> dish = ArtSizes(IDI_DISH0);
    EXPECT_TRUE(std::includes(program.begin(), program.end(), dish.begin(), dish.end()));
}

TEST(TrayIcon, AFailedAddOrModifyIsMadeGoodByTheNextUpdate) {
    ImageList icons;
    RecordingShell shell;
    TrayIcon tray(icons, shell.Notify());
    tray.Fill(reinterpret_cast<HWND>(0x10));
    shell.results = {FALSE};  // the notification area is not ready yet
    tray.Add();
    tray.Update();
    tray.Update();
    shell.results = {FALSE};  // the area went away
    tray.Update();
    shell.results = {FALSE, TRUE};  // the icon turns out to be there after all
    tray.Update();
    tray.Update();
    shell.results = {FALSE};  // "TaskbarCreated" while the icon is still there
    tray.Readd();
    EXPECT_EQ(shell.Messages(),
              (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_ADD, NIM_MODIFY,
                                  NIM_MODIFY, NIM_ADD, NIM_MODIFY}));
}

TEST(TrayIcon, RemoveSendsTheDeleteOnceWithTheLastRecord) {
    ImageList icons;
    RecordingShell shell;
    TrayIcon tray(icons, shell.Notify());
    tray.Fill(reinterpret_cast<HWND>(0x10));
    tray.Add();
    tray.SetTrayPicture("Dish4");
    tray.SetTrayTip("75.00%");
    tray.Remove();
    tray.Remove();
    ASSERT_EQ(shell.Messages(), (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
    EXPECT_EQ(shell.Last().record.hIcon, icons.Item("Dish4"));
    EXPECT_EQ(TipText(shell.Last().record), "75.00%");
    EXPECT_EQ(shell.Last().record.uFlags, 7u);
}

struct CallbackCase {
    UINT code;
    TrayAction action;
};

class TrayCallbackTest : public testing::TestWithParam<CallbackCase> {};

TEST_P(TrayCallbackTest, OnlyDoubleClickAndRightPressAct) {
    EXPECT_EQ(DecodeTrayCallback(static_cast<LPARAM>(GetParam().code)), GetParam().action);
    // The high word carries nothing the decoding may look at.
    EXPECT_EQ(DecodeTrayCallback(static_cast<LPARAM>(GetParam().code | 0x00470000u)),
              GetParam().action);
}

INSTANTIATE_TEST_SUITE_P(Codes, TrayCallbackTest,
                         testing::Values(CallbackCase{WM_MOUSEMOVE, TrayAction::None},
                                         CallbackCase{WM_LBUTTONDOWN, TrayAction::None},
                                         CallbackCase{WM_LBUTTONUP, TrayAction::None},
                                         CallbackCase{WM_LBUTTONDBLCLK, TrayAction::ShowOptions},
                                         CallbackCase{WM_RBUTTONDOWN, TrayAction::PopupMenu},
                                         CallbackCase{WM_RBUTTONUP, TrayAction::None},
                                         CallbackCase{WM_RBUTTONDBLCLK, TrayAction::None},
                                         CallbackCase{WM_MBUTTONDOWN, TrayAction::None},
                                         CallbackCase{WM_MBUTTONDBLCLK, TrayAction::None},
                                         CallbackCase{NIN_SELECT, TrayAction::None}));

TEST(RealShell, AddModifyAndDeleteSucceed) {
    // The one test that talks to the real notification area.
    if (::FindWindowW(L"Shell_TrayWnd", nullptr) == nullptr) {
        GTEST_SKIP() << "no notification area: no taskbar runs in this session";
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantorelShellSmoke";
    ::RegisterClassW(&wc);
    const HWND window = ::CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                        nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ImageList icons;
    TrayIcon tray(icons, RealShellNotify());
    tray.Fill(window);
    tray.SetTrayPicture("Dish0");
    tray.SetTrayTip("0%");
    EXPECT_TRUE(tray.NotifyTray(NIM_ADD));
    tray.SetTrayPicture("Dish3");
    tray.SetTrayTip("50.00%");
    EXPECT_TRUE(tray.NotifyTray(NIM_MODIFY));
    EXPECT_TRUE(tray.NotifyTray(NIM_DELETE));
    EXPECT_FALSE(tray.NotifyTray(NIM_MODIFY)) << "the icon should be gone";
    ::DestroyWindow(window);
}

TEST(PopupMenu, DesignCaptionsAndStates) {
    const PopupMenu menu;
    const HMENU h = menu.handle();
    ASSERT_EQ(::GetMenuItemCount(h), 6);
    EXPECT_EQ(menu.ProgressCaption(0), L"Progress: ");
    EXPECT_EQ(menu.ProgressCaption(1), L"Progress: ");
    EXPECT_EQ(menu.ProgressCaption(2), L"Progress:");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(::GetMenuState(h, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) << i;
    }
    EXPECT_TRUE(::GetMenuState(h, 3, MF_BYPOSITION) & MF_SEPARATOR);
    wchar_t text[32];
    ::GetMenuStringW(h, 4, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Options");
    ::GetMenuStringW(h, 5, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"E&xit");
    EXPECT_FALSE(::GetMenuState(h, 4, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_FALSE(::GetMenuState(h, 5, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_EQ(::GetMenuDefaultItem(h, FALSE, 0), static_cast<UINT>(PopupMenu::kOptionsId));

    menu.SetProgressCaption(2, L"Progress: 47.59%");
    EXPECT_EQ(menu.ProgressCaption(2), L"Progress: 47.59%");
    EXPECT_TRUE(::GetMenuState(h, 2, MF_BYPOSITION) & MF_GRAYED) << "stays greyed";
}

}  // namespace
}  // namespace vantorel
