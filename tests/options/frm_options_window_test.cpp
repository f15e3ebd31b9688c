// The options window as a user works it: fields, range rule, save, buttons, keys, layout.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "about/frm_about.h"
#include "options/frm_options.h"
#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"
#include "tests/support/win_test.h"
#include "tray/fonts.h"
#include "tray/later_functions.h"
#include "tray/text.h"

namespace vantorel {
namespace {

using namespace testing_support;

std::wstring Stored(TestRegistry& registry, const wchar_t* key) {
    return RegistrySettings(HKEY_CURRENT_USER, registry.path()).Read(key).value_or(L"<none>");
}

// A key pressed on the focused control, through the program's own message handling.
void PressKey(UINT key) {
    const HWND focus = ::GetFocus();
    ::PostMessageW(focus, WM_KEYDOWN, key, 1);
    ::PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    PumpMessages();
}

class OptionsWindow : public testing::Test {
  protected:
    void SetUp() override {
        frm.Start();
        ASSERT_TRUE(frm.IsShown());
    }
    HWND Field(int id) const { return ::GetDlgItem(frm.hwnd(), id); }
    void Type(int id, const wchar_t* text) const { ::SetWindowTextW(Field(id), text); }

    OptionsRig rig;
    FrmOptions frm{rig.Services()};
};

struct RangeCase {
    const char* name;
    const wchar_t* typed;
    const wchar_t* after;
};

class RangeRule : public testing::TestWithParam<RangeCase> {};

TEST_P(RangeRule, RunsWhenTheFocusMovesOnWithinTheWindow) {
    OptionsRig rig;
    FrmOptions frm(rig.Services());
    frm.Start();
    const HWND update = frm.UpdateField().hwnd();
    ::SetFocus(update);
    ::SetWindowTextW(update, GetParam().typed);
    ::SetFocus(frm.Paths()[0].hwnd());
    EXPECT_EQ(frm.UpdateField().Text(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RangeRule,
    testing::Values(RangeCase{"Empty", L"", L"1"}, RangeCase{"Zero", L"0", L"1"},
                    RangeCase{"Letters", L"abc", L"1"}, RangeCase{"Negative", L"-5", L"1"},
                    RangeCase{"Half", L"0.5", L"1"}, RangeCase{"PointNineNine", L".99", L"1"},
                    RangeCase{"ZeroInBlanks", L"  0  ", L"1"}, RangeCase{"SixtyOne", L"61", L"60"},
                    RangeCase{"SixtyPointFour", L"60.4", L"60"},
                    RangeCase{"Exponent", L"1e3", L"60"}, RangeCase{"Large", L"999", L"60"},
                    RangeCase{"One", L"1", L"1"}, RangeCase{"Sixty", L"60", L"60"},
                    RangeCase{"Fraction", L"2.5", L"2.5"}, RangeCase{"LeadingBlank", L" 7", L" 7"},
                    RangeCase{"TrailingLetters", L"5abc", L"5abc"},
                    RangeCase{"InnerBlank", L"1 0", L"1 0"}),
    CaseName());

TEST_F(OptionsWindow, TheRangeRuleWaitsWhenTheUserTurnsToAnotherWindow) {
    const HWND update = frm.UpdateField().hwnd();
    ::SetFocus(update);
    Type(FrmOptions::kUpdateId, L"0");
    const HWND elsewhere = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20,
                                             nullptr, nullptr, nullptr, nullptr);
    ::SetFocus(elsewhere);
    EXPECT_EQ(frm.UpdateField().Text(), L"0");
    ::DestroyWindow(elsewhere);
}

TEST_F(OptionsWindow, SaveWritesAllFourInOrderSetsThePeriodAndHides) {
    Type(FrmOptions::kPathId, L"C:\\seti\\one\\");
    Type(FrmOptions::kPathId + 2, L" three ");
    Type(FrmOptions::kUpdateId, L"2.5");
    rig.log.events.clear();
    Click(Field(FrmOptions::kOkId));
    EXPECT_EQ(rig.log.events, (std::vector<std::string>{"write Path1", "write Path2", "write Path3",
                                                        "write Interval"}));
    EXPECT_EQ(Stored(rig.registry, L"Path1"), L"C:\\seti\\one\\");
    EXPECT_EQ(Stored(rig.registry, L"Path2"), L"");
    EXPECT_EQ(Stored(rig.registry, L"Path3"), L" three ");
    EXPECT_EQ(Stored(rig.registry, L"Interval"), L"2.5");
    EXPECT_EQ(frm.CheckTimer().Period(), 2500u);
    EXPECT_FALSE(frm.IsShown());
    EXPECT_TRUE(frm.IsLoaded());
    EXPECT_TRUE(rig.told.texts.empty());

    // The same again writes the same four again.
    frm.ShowModeless();
    Click(Field(FrmOptions::kOkId));
    EXPECT_EQ(rig.registry.written.size(), 8u);
}

TEST_F(OptionsWindow, EnterInTheIntervalSavesWithTheRangeRuleFirst) {
    ::SetFocus(Field(FrmOptions::kUpdateId));
    Type(FrmOptions::kUpdateId, L"0");
    PressKey(VK_RETURN);
    EXPECT_EQ(Stored(rig.registry, L"Interval"), L"1");
    EXPECT_EQ(frm.UpdateField().Text(), L"1");
    EXPECT_EQ(frm.CheckTimer().Period(), 1000u);
    EXPECT_FALSE(frm.IsShown());
}

TEST_F(OptionsWindow, EnterInADirectoryFieldSavesToo) {
    ::SetFocus(Field(FrmOptions::kPathId + 1));
    Type(FrmOptions::kPathId + 1, L"D:\\two");
    PressKey(VK_RETURN);
    EXPECT_EQ(Stored(rig.registry, L"Path2"), L"D:\\two");
    EXPECT_FALSE(frm.IsShown());
}

struct BadSave {
    const char* name;
    const wchar_t* typed;
    const char* decimal = ".";
};

class BadIntervalSave : public testing::TestWithParam<BadSave> {};

TEST_P(BadIntervalSave, WritesNothingKeepsThePeriodAndSaysWhy) {
    OptionsRig rig({GetParam().decimal, "."});
    Store(rig.registry, L"Interval", L"3");
    FrmOptions frm(rig.Services());
    frm.Start();
    ASSERT_EQ(frm.CheckTimer().Period(), 3000u);
    ::SetWindowTextW(frm.Paths()[0].hwnd(), L"C:\\edited");
    ::SetWindowTextW(frm.UpdateField().hwnd(), GetParam().typed);
    Click(::GetDlgItem(frm.hwnd(), FrmOptions::kOkId));
    EXPECT_TRUE(rig.registry.written.empty());
    EXPECT_EQ(Stored(rig.registry, L"Path1"), L"<none>");
    EXPECT_EQ(Stored(rig.registry, L"Interval"), L"3");
    EXPECT_EQ(frm.CheckTimer().Period(), 3000u);
    EXPECT_TRUE(frm.IsShown());
    ASSERT_EQ(rig.told.texts.size(), 1u);
    EXPECT_EQ(rig.told.texts[0],
              std::wstring(L"The update interval must be a number of seconds from 1 to 60.") +
                  (GetParam().decimal == std::string(",") ? L" Fractions take \",\", as in \"2,5\"."
                                                          : L""));
    EXPECT_EQ(::GetFocus(), frm.UpdateField().hwnd());
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(frm.UpdateField().hwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, static_cast<DWORD>(frm.UpdateField().Text().size()));
}

INSTANTIATE_TEST_SUITE_P(Texts, BadIntervalSave,
                         testing::Values(BadSave{"TrailingLetters", L"5abc"},
                                         BadSave{"InnerBlank", L"1 0"},
                                         BadSave{"Grouped", L"1,000"},
                                         BadSave{"CommaInADotLocale", L"2,5"},
                                         BadSave{"DotInACommaLocale", L"2.5", ","}),
                         CaseName());

TEST_F(OptionsWindow, AFailedWriteStopsTheSaveAtItsKeyAndSaysWhich) {
    const UINT period = frm.CheckTimer().Period();
    rig.registry.failFrom = L"Path3";
    Type(FrmOptions::kPathId, L"new one");
    Type(FrmOptions::kPathId + 2, L"new three");
    Type(FrmOptions::kUpdateId, L"5");
    Click(Field(FrmOptions::kOkId));
    EXPECT_EQ(rig.registry.written, (std::vector<std::wstring>{L"Path1", L"Path2"}));
    EXPECT_EQ(Stored(rig.registry, L"Path1"), L"new one");
    EXPECT_EQ(Stored(rig.registry, L"Path3"), L"<none>");
    EXPECT_EQ(Stored(rig.registry, L"Interval"), L"<none>");
    ASSERT_EQ(rig.told.texts.size(), 1u);
    EXPECT_NE(rig.told.texts[0].find(L"\"Path3\""), std::wstring::npos) << rig.told.texts[0];
    EXPECT_TRUE(frm.IsShown());
    EXPECT_EQ(frm.CheckTimer().Period(), period);
}

TEST_F(OptionsWindow, ADirectoryTooLongToReadBackIsRefusedAndNothingWritten) {
    const std::wstring longest(kMaxSettingChars, L'd');
    Type(FrmOptions::kPathId, longest.c_str());
    Type(FrmOptions::kPathId + 2, (longest + L"d").c_str());
    Click(Field(FrmOptions::kOkId));
    EXPECT_TRUE(rig.registry.written.empty());
    ASSERT_EQ(rig.told.texts.size(), 1u);
    EXPECT_NE(rig.told.texts[0].find(L"\"Path3\""), std::wstring::npos) << rig.told.texts[0];
    EXPECT_TRUE(frm.IsShown());
    EXPECT_EQ(::GetFocus(), Field(FrmOptions::kPathId + 2));

    Type(FrmOptions::kPathId + 2, L"");
    Click(Field(FrmOptions::kOkId));
    EXPECT_EQ(Stored(rig.registry, L"Path1"), longest) << "the longest text comes back whole";
}

TEST_F(OptionsWindow, CloseBoxAndEscapeHideWithoutSavingOrTheRangeRule) {
    Type(FrmOptions::kPathId, L"unsaved");
    ::SetFocus(Field(FrmOptions::kUpdateId));
    Type(FrmOptions::kUpdateId, L"0");
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(frm.IsShown());
    EXPECT_EQ(frm.UpdateField().Text(), L"0");
    frm.ShowModeless();
    EXPECT_EQ(frm.Paths()[0].Text(), L"unsaved") << "shown again with the unsaved edits";
    ::SendMessageW(frm.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(frm.IsShown());
    EXPECT_TRUE(rig.registry.written.empty());
    EXPECT_EQ(frm.CheckTimer().Period(), 1000u);
}

// A key as the keyboard sends it, to whichever window has the focus.
void TypeKey(BYTE key) {
    ::keybd_event(key, 0, 0, 0);
    ::keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

// The tray menu, opened by the right button and closed by a key: Escape, or "O" for "&Options".
void TrayMenu(const FrmOptions& frm, BYTE key) {
    RunSoon([key] { TypeKey(key); });
    const UINT_PTR end = RunSoon([] { ::EndMenu(); }, 2000);
    ::SendMessageW(frm.hwnd(), WMAPP_NOTIFYCALLBACK, kTrayIconId, WM_RBUTTONDOWN);
    CancelSoon(end);
    PumpUntil([] { return false; }, 100);
}

TEST_F(OptionsWindow, HiddenItTakesNoKeysAfterTheTrayMenuAndShownItHasTheFocusItHad) {
    ::SetFocus(Field(FrmOptions::kUpdateId));
    PressKey(VK_ESCAPE);
    ASSERT_FALSE(frm.IsShown());

    TrayMenu(frm, VK_ESCAPE);
    EXPECT_FALSE(::IsChild(frm.hwnd(), ::GetFocus())) << "a control of the hidden window";
    // What a user types next: into a field, on a remembered button, Enter for the default.
    for (const BYTE key : {BYTE{'Z'}, BYTE{VK_SPACE}, BYTE{VK_RETURN}}) {
        TypeKey(key);
        PumpMessages();
    }
    EXPECT_EQ(frm.Paths()[0].Text(), L"");
    EXPECT_EQ(frm.UpdateField().Text(), L"1");
    EXPECT_TRUE(rig.registry.written.empty());
    EXPECT_TRUE(frm.IsLoaded());
    EXPECT_FALSE(frm.IsShown());

    TrayMenu(frm, 'O');
    ASSERT_TRUE(frm.IsShown());
    EXPECT_EQ(::GetFocus(), Field(FrmOptions::kUpdateId));
}

TEST_F(OptionsWindow, RemoveMeterAfterEditsWritesNothingAndEnds) {
    Store(rig.registry, L"Path1", L"kept");
    Type(FrmOptions::kPathId, L"edited");
    Type(FrmOptions::kUpdateId, L"9");
    Click(Field(FrmOptions::kCloseId));
    EXPECT_FALSE(frm.IsLoaded());
    EXPECT_TRUE(rig.registry.written.empty());
    EXPECT_EQ(Stored(rig.registry, L"Path1"), L"kept");
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(OptionsWindow, AnEditedDirectoryIsPolledAtTheNextTickUnsaved) {
    TempDir temp;
    Type(FrmOptions::kPathId, ClientWithState(temp, "c", "prog=0.5\n").c_str());
    ::SendMessageW(frm.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Tick(frm);
    EXPECT_EQ(TipText(rig.shell.Last().record), "50.00%");
    EXPECT_TRUE(rig.registry.written.empty());
}

TEST_F(OptionsWindow, TabVisitsTheControlsInTheirOrder) {
    const int order[] = {FrmOptions::kPathId,   FrmOptions::kPathId + 1, FrmOptions::kPathId + 2,
                         FrmOptions::kUpdateId, FrmOptions::kUpDownId,   FrmOptions::kCloseId,
                         FrmOptions::kOkId,     FrmOptions::kAboutId,    FrmOptions::kPathId};
    ::SetFocus(Field(order[0]));
    for (std::size_t i = 1; i < std::size(order); ++i) {
        PressKey(VK_TAB);
        EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), order[i]) << "after tab " << i;
    }
    HWND child = ::GetWindow(frm.hwnd(), GW_CHILD);  // each label just before its field
    for (const int id : {122, 101, 124, 102, 125, 103, 121, 104, 105, 123, 106, 107, 108}) {
        EXPECT_EQ(::GetDlgCtrlID(std::exchange(child, ::GetWindow(child, GW_HWNDNEXT))), id);
    }
}

TEST_F(OptionsWindow, SaveSettingsIsTheDefaultButton) {
    const LRESULT code = ::SendMessageW(Field(FrmOptions::kOkId), WM_GETDLGCODE, 0, 0);
    EXPECT_TRUE(code & DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(LOWORD(::SendMessageW(frm.hwnd(), DM_GETDEFID, 0, 0)), FrmOptions::kOkId);
}

struct EnterCase {
    const char* name;
    int tabs;  // from the first directory field
    int clicked;
};

class EnterKey : public testing::TestWithParam<EnterCase> {};

TEST_P(EnterKey, ClicksTheFocusedButtonElseSaveSettingsWhichCarriesTheFrame) {
    OptionsRig rig;
    FrmOptions frm(rig.Services());
    frm.Start();
    ::SetFocus(frm.Paths()[0].hwnd());
    for (int i = 0; i < GetParam().tabs; ++i) {
        PressKey(VK_TAB);
    }
    for (int id : {FrmOptions::kCloseId, FrmOptions::kOkId, FrmOptions::kAboutId}) {
        const LRESULT code = ::SendMessageW(::GetDlgItem(frm.hwnd(), id), WM_GETDLGCODE, 0, 0);
        EXPECT_EQ((code & DLGC_DEFPUSHBUTTON) != 0, id == GetParam().clicked) << "button " << id;
    }
    const MessageWatch watch(frm.hwnd());
    const UINT_PTR closeAbout = RunSoon([&] {
        if (frm.About() != nullptr && frm.About()->IsLoaded()) {
            Click(frm.About()->OkButton().hwnd());
        }
    });
    PressKey(VK_RETURN);
    CancelSoon(closeAbout);
    std::vector<int> clicked;
    for (std::size_t i = 0; i < watch.messages.size(); ++i) {
        if (watch.messages[i] == WM_COMMAND && HIWORD(watch.wParams[i]) == BN_CLICKED) {
            clicked.push_back(LOWORD(watch.wParams[i]));
        }
    }
    EXPECT_EQ(clicked, std::vector<int>{GetParam().clicked});
}

INSTANTIATE_TEST_SUITE_P(Focus, EnterKey,
                         testing::Values(EnterCase{"FirstDirectory", 0, FrmOptions::kOkId},
                                         EnterCase{"Interval", 3, FrmOptions::kOkId},
                                         EnterCase{"Spin", 4, FrmOptions::kOkId},
                                         EnterCase{"RemoveMeter", 5, FrmOptions::kCloseId},
                                         EnterCase{"SaveSettings", 6, FrmOptions::kOkId},
                                         EnterCase{"About", 7, FrmOptions::kAboutId},
                                         EnterCase{"BackToTheFirstDirectory", 8,
                                                   FrmOptions::kOkId}),
                         CaseName());

struct SpinCase {
    const char* name;
    const wchar_t* typed;
    int delta;
    const wchar_t* after;
};

class SpinControl : public testing::TestWithParam<SpinCase> {};

TEST_P(SpinControl, StepsAWholeSecondWithinRange) {
    OptionsRig rig;
    FrmOptions frm(rig.Services());
    frm.Start();
    ::SetWindowTextW(frm.UpdateField().hwnd(), GetParam().typed);
    // A click on the upper or lower half of the real control.
    const HWND spin = ::GetDlgItem(frm.hwnd(), FrmOptions::kUpDownId);
    RECT r{};
    ::GetClientRect(spin, &r);
    const int y = GetParam().delta > 0 ? r.bottom / 4 : r.bottom * 3 / 4;
    ::SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, y));
    ::SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, y));
    PumpMessages();
    EXPECT_EQ(frm.UpdateField().Text(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Clicks, SpinControl,
                         testing::Values(SpinCase{"Up", L"7", 1, L"8"},
                                         SpinCase{"Down", L"7", -1, L"6"},
                                         SpinCase{"UpFromFraction", L"2.5", 1, L"3"},
                                         SpinCase{"DownFromFraction", L"2.5", -1, L"2"},
                                         SpinCase{"UpAtTop", L"60", 1, L"60"},
                                         SpinCase{"DownAtBottom", L"1", -1, L"1"},
                                         SpinCase{"DownFromJunk", L"abc", -1, L"1"},
                                         SpinCase{"UpFromHuge", L"999", 1, L"60"}),
                         CaseName());

struct Placed {
    int id;
    TwipsRect twips;
};

const Placed kOptionsLayout[] = {
    {122, {120, 120, 1215, 255}},   {101, {1560, 120, 2895, 285}}, {124, {120, 480, 1215, 255}},
    {102, {1560, 480, 2895, 285}},  {125, {120, 840, 1215, 255}},  {103, {1560, 840, 2895, 285}},
    {121, {120, 1200, 1215, 255}},  {104, {1560, 1200, 975, 285}}, {105, {2520, 1200, 240, 285}},
    {123, {2880, 1200, 735, 255}},  {106, {240, 1680, 1215, 375}}, {107, {1680, 1680, 1215, 375}},
    {108, {3120, 1680, 1215, 375}},
};

void ExpectLayout(HWND window, UINT dpi, int clientWidthTwips, int clientHeightTwips,
                  const Placed* placed, std::size_t count) {
    const double perPixel = 1440.0 / dpi;
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_NEAR(client.right, clientWidthTwips / perPixel, 1.0) << dpi;
    EXPECT_NEAR(client.bottom, clientHeightTwips / perPixel, 1.0) << dpi;
    for (std::size_t i = 0; i < count; ++i) {
        const HWND control = ::GetDlgItem(window, placed[i].id);
        ASSERT_NE(control, nullptr) << placed[i].id;
        RECT r{};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const TwipsRect& t = placed[i].twips;
        EXPECT_NEAR(r.left, t.left / perPixel, 1.0) << "id " << placed[i].id << " at " << dpi;
        EXPECT_NEAR(r.top, t.top / perPixel, 1.0) << "id " << placed[i].id << " at " << dpi;
        EXPECT_NEAR(r.right - r.left, t.width / perPixel, 1.0) << "id " << placed[i].id;
        EXPECT_NEAR(r.bottom - r.top, t.height / perPixel, 1.0) << "id " << placed[i].id;
    }
}

TEST_F(OptionsWindow, ControlsStandWhereTheTwipsPutThemAtEveryDpi) {
    ExpectLayout(frm.hwnd(), frm.Dpi(), 4590, 2175, kOptionsLayout, std::size(kOptionsLayout));
    RECT now{};
    ::GetWindowRect(frm.hwnd(), &now);
    for (UINT dpi : {144u, 192u, 96u}) {
        ::SendMessageW(frm.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&now));
        ExpectLayout(frm.hwnd(), dpi, 4590, 2175, kOptionsLayout, std::size(kOptionsLayout));
    }
}

TEST_F(OptionsWindow, EveryLabelAndButtonTextFitsOnOneLineAtEveryDpi) {
    RECT now{};
    ::GetWindowRect(frm.hwnd(), &now);
    for (UINT dpi : {96u, 144u, 192u}) {
        ::SendMessageW(frm.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&now));
        for (int id : {121, 122, 123, 124, 125, 106, 107, 108}) {
            const HWND control = Field(id);
            const bool button = id < 120;
            wchar_t text[64] = {};
            ::GetWindowTextW(control, text, 64);
            const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
            RECT client{};
            ::GetClientRect(control, &client);
            const int margin = button ? 2 * ::MulDiv(3, static_cast<int>(dpi), 96) : 0;
            EXPECT_LE(TextWidth(font, text) + margin, client.right)
                << "\"" << Narrow(text) << "\" at " << dpi << " DPI";
            LOGFONTW described{};
            ::GetObjectW(font, sizeof described, &described);
            EXPECT_GE(-described.lfHeight * 4, ::MulDiv(8, static_cast<int>(dpi), 72) * 3)
                << "still legible at " << dpi << " DPI";
        }
    }
}

TEST_F(OptionsWindow, ANewDpiGivesTheControlsTheirNewFontBeforeTheOldOneGoes) {
    const MessageWatch watch(Field(FrmOptions::kPathId));
    SendDpiChanged(frm.hwnd(), 144);
    ASSERT_TRUE(watch.Saw(WM_SETFONT));
    EXPECT_EQ(watch.fontsAfterADeletedOne, 0);
    const MessageWatch spin(Field(FrmOptions::kUpDownId));
    ::SendMessageW(frm.hwnd(), WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_TRUE(spin.Saw(WM_SYSCOLORCHANGE)) << "new colours reach the common controls";
}

TEST_F(OptionsWindow, CentredOnTheScreenWithAFixedFrameAndNoTaskbarButton) {
    RECT r{};
    ::GetWindowRect(frm.hwnd(), &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(frm.hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    EXPECT_NEAR((r.left + r.right) / 2.0, ::GetSystemMetrics(SM_CXSCREEN) / 2.0, 1.0);
    EXPECT_NEAR((r.top + r.bottom) / 2.0, ::GetSystemMetrics(SM_CYSCREEN) / 2.0, 1.0);
    const LONG style = ::GetWindowLongW(frm.hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU) << "a close box";
    EXPECT_FALSE(::GetWindowLongW(frm.hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_NE(::GetWindow(frm.hwnd(), GW_OWNER), nullptr) << "owned: no taskbar button";
    wchar_t caption[32];
    ::GetWindowTextW(frm.hwnd(), caption, 32);
    EXPECT_STREQ(caption, L"Vantorel");
}

struct TableCase {
    const char* name;
    bool missing;  // as on Windows 7 SP1, 8.1 and 10 before 1607
    bool ownerAt120 = false;
    static HRESULT WINAPI Dpi120(HMONITOR, int, UINT* x, UINT* y) { return *x = *y = 120, S_OK; }
};

class LaterFunctionsTable : public testing::TestWithParam<TableCase> {};

// The tray's picture and the caption's icons at the sizes the system's own calls give, and the
// window at its size in twips, at the system's DPI and after changes of it.
TEST_P(LaterFunctionsTable, TheTrayPictureCaptionIconsAndWindowFollowTheDpi) {
    const LaterFunctions system = FindLaterFunctions();
    if (system.getSystemMetricsForDpi == nullptr || system.getDpiForSystem == nullptr) {
        GTEST_SKIP() << "the expected sizes come from GetSystemMetricsForDpi and GetDpiForSystem, "
                        "which this Windows lacks (they came with Windows 10 version 1607)";
    }
    struct Restore {
        ~Restore() { SetLaterFunctions(FindLaterFunctions()); }
    } restore;
    LaterFunctions table = GetParam().missing ? LaterFunctions{} : system;
    table.getDpiForMonitor = GetParam().ownerAt120 ? TableCase::Dpi120 : table.getDpiForMonitor;
    SetLaterFunctions(table);
    OptionsRig rig;
    FrmOptions frm(rig.Services());
    frm.Start();
    const UINT systemDpi = system.getDpiForSystem();
    EXPECT_EQ(frm.Dpi(), systemDpi);
    EXPECT_EQ(IconWidth(rig.shell.Last().record.hIcon),
              system.getSystemMetricsForDpi(SM_CXSMICON, systemDpi));
    const auto icon = [&frm](WPARAM which) {
        return IconWidth(reinterpret_cast<HICON>(::SendMessageW(frm.hwnd(), WM_GETICON, which, 0)));
    };
    for (const UINT dpi : {systemDpi, 144U, 192U, 120U}) {
        SIZE asked{};
        EXPECT_TRUE(
            ::SendMessageW(frm.hwnd(), kGetDpiScaledSize, dpi, reinterpret_cast<LPARAM>(&asked)));
        if (dpi != systemDpi) {
            SendDpiChanged(frm.hwnd(), dpi);
        }
        // The size asked for first is the one the change leaves. A change sent by hand does
        // not draw the frame anew, so only the frame of the system DPI is the one drawn.
        RECT placed{};
        ::GetWindowRect(frm.hwnd(), &placed);
        if (GetParam().missing || dpi == systemDpi) {
            EXPECT_EQ(placed.right - placed.left, asked.cx) << dpi;
            EXPECT_EQ(placed.bottom - placed.top, asked.cy) << dpi;
        }
        EXPECT_EQ(icon(ICON_SMALL), system.getSystemMetricsForDpi(SM_CXSMICON, dpi)) << dpi;
        EXPECT_EQ(icon(ICON_BIG), system.getSystemMetricsForDpi(SM_CXICON, dpi)) << dpi;
        ExpectLayout(frm.hwnd(), dpi, 4590, 2175, kOptionsLayout, std::size(kOptionsLayout));
    }
    const UINT_PTR about = RunSoon([&] {
        RECT client{};
        ::GetClientRect(frm.About()->hwnd(), &client);
        EXPECT_NEAR(client.right, 5760.0 / 1440 * (GetParam().ownerAt120 ? 120 : systemDpi), 1.0);
        const HDC dc = ::CreateCompatibleDC(nullptr);
        ::SetTextColor(dc, ~::GetSysColor(COLOR_WINDOWTEXT) & 0xFFFFFF);  // as a dialog's may be
        ::SendMessageW(frm.About()->hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(frm.About()->Instructions().hwnd()));
        EXPECT_EQ(::GetTextColor(dc), ::GetSysColor(COLOR_WINDOWTEXT));
        ::DeleteDC(dc);
        Click(frm.About()->OkButton().hwnd());
    });
    Click(::GetDlgItem(frm.hwnd(), FrmOptions::kAboutId));
    CancelSoon(about);
}

INSTANTIATE_TEST_SUITE_P(Calls, LaterFunctionsTable,
                         testing::Values(TableCase{"Found", false}, TableCase{"Missing", true},
                                         TableCase{"OwnerOnAnotherMonitor", false, true}),
                         CaseName());

TEST_F(OptionsWindow, LabelsAndButtonsCarryTheirTexts) {
    const std::pair<int, const wchar_t*> texts[] = {
        {122, L"Path 1:"},          {124, L"Path 2:"}, {125, L"Path 3:"},
        {121, L"Update Interval:"}, {123, L"seconds"}, {106, L"Remove Meter"},
        {107, L"Save Settings"},    {108, L"About"}};
    for (const auto& [id, text] : texts) {
        wchar_t got[64] = {};
        ::GetWindowTextW(Field(id), got, 64);
        EXPECT_STREQ(got, text);
    }
}

}  // namespace
}  // namespace vantorel
