// The About window: opened modal from the options window, as a user meets it.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "about/frm_about.h"
#include "options/frm_options.h"
#include "tests/support/win_test.h"

namespace vantorel {
namespace {

using namespace testing_support;

class AboutWindow : public testing::Test {
  protected:
    void SetUp() override {
        frm.Start();
        ASSERT_TRUE(frm.IsShown());
    }

    // Clicks "About" and runs the check inside the modal loop, then closes it with the action.
    void OpenAbout(const std::function<void(FrmAbout&)>& check,
                   const std::function<void(FrmAbout&)>& close, UINT delayMs = 50) {
        bool ran = false;
        RunSoon(
            [&] {
                FrmAbout* about = frm.About();
                ASSERT_NE(about, nullptr);
                ASSERT_TRUE(about->IsShown());
                check(*about);
                ran = true;
                close(*about);
            },
            delayMs);
        // A safety net, so a failed close cannot hang the test.
        const UINT_PTR net = RunSoon(
            [&] {
                if (frm.About() != nullptr && frm.About()->IsLoaded()) {
                    ADD_FAILURE() << "the About window did not close";
                    ::DestroyWindow(frm.About()->hwnd());
                }
            },
            delayMs + 3000);
        Click(::GetDlgItem(frm.hwnd(), FrmOptions::kAboutId));
        CancelSoon(net);
        EXPECT_TRUE(ran);
        ASSERT_NE(frm.About(), nullptr);
        EXPECT_FALSE(frm.About()->IsLoaded()) << "Click returns once the window has gone";
    }

    static void PressOk(FrmAbout& about) { Click(about.OkButton().hwnd()); }

    OptionsRig rig;
    FrmOptions frm{rig.Services()};
};

TEST_F(AboutWindow, ShowsTitleCreditsAndInstructions) {
    OpenAbout(
        [](FrmAbout& about) {
            wchar_t caption[64];
            ::GetWindowTextW(about.hwnd(), caption, 64);
            EXPECT_STREQ(caption, L"About Vantorel");
            EXPECT_EQ(about.Title().Text(), L"Vantorel V1.0");
            const std::wstring credits = about.Credits().Text();
            EXPECT_EQ(credits, FrmAbout::CreditsText());
            EXPECT_EQ(about.Instructions().Text(),
                      L"Instructions\r\n------------------\r\n\r\n\r\n\r\n\r\n\r\n"
                      L"See README.TXT for more information.");
        },
        PressOk);
}

TEST(AboutTexts, TwelveCreditLinesAndEightInstructionLines) {
    const std::wstring credits = FrmAbout::CreditsText();
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = credits.find(L"\r\n", start);
        lines.push_back(credits.substr(start, end - start));
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_NE(lines[0].find(L"Vantorel"), std::wstring::npos);
    EXPECT_NE(lines[0].find(L"2026"), std::wstring::npos);
    EXPECT_NE(lines[0].find(L"1.0"), std::wstring::npos);
    EXPECT_EQ(lines[1], L"");
    EXPECT_EQ(lines[2], L"A program for displaying the progress of Seti@Home text mode clients.");
    EXPECT_EQ(lines[3], L"");
    EXPECT_EQ(lines[4],
              L"If you like this software, send your greetings, postcards, money, beer, etc. to:");
    EXPECT_EQ(lines[5], L"");
    EXPECT_EQ(lines[6].rfind(L"E-mail: ", 0), 0u);
    EXPECT_NE(lines[6].find(L"example.org"), std::wstring::npos);
    EXPECT_EQ(lines[7].rfind(L"Web: ", 0), 0u);
    EXPECT_NE(lines[7].find(L"example.org"), std::wstring::npos);
    EXPECT_EQ(lines[8], L"");
    EXPECT_EQ(lines[9].rfind(L"Post: ", 0), 0u);
    EXPECT_EQ(lines[10].rfind(L"          ", 0), 0u);
    EXPECT_NE(lines[10][10], L' ');
    EXPECT_EQ(lines[11].rfind(L"          ", 0), 0u);
    EXPECT_NE(lines[11][10], L' ');
    EXPECT_NE(credits.substr(credits.size() - 2), L"\r\n");
}

TEST_F(AboutWindow, OneObjectForTheRunLoadedAfreshAtEveryOpening) {
    FrmAbout* first = nullptr;
    OpenAbout(
        [&](FrmAbout& about) {
            first = &about;
            about.Credits().SetText(L"scribbled over");
        },
        PressOk);
    OpenAbout(
        [&](FrmAbout& about) {
            EXPECT_EQ(&about, first);
            EXPECT_EQ(about.Credits().Text(), FrmAbout::CreditsText());
            EXPECT_EQ(about.Instructions().Text(), FrmAbout::InstructionsText());
        },
        PressOk);
}

TEST_F(AboutWindow, TheOptionsWindowWaitsAndTheTimerTicksMeanwhile) {
    const std::size_t callsBefore = rig.shell.calls.size();
    std::size_t callsDuring = 0;
    // A window of the thread that the program did not make, as the input method's.
    const UniqueWindow foreign(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                                 nullptr, nullptr, nullptr));
    OpenAbout(
        [&](FrmAbout& about) {
            EXPECT_FALSE(::IsWindowEnabled(frm.hwnd())) << "the options window takes no input";
            EXPECT_TRUE(::IsWindowEnabled(foreign.get())) << "not the program's to disable";
            EXPECT_EQ(::GetWindow(about.hwnd(), GW_OWNER), frm.hwnd());
            callsDuring = rig.shell.calls.size();
        },
        PressOk, 2600);
    EXPECT_GE(callsDuring, callsBefore + 2) << "two ticks of the 1 s timer while About was up";
    EXPECT_EQ(rig.shell.calls.back().message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_TRUE(::IsWindowEnabled(frm.hwnd()));
    EXPECT_EQ(::GetActiveWindow(), frm.hwnd()) << "back in front";
}

TEST_F(AboutWindow, EnterEscapeAndTheCloseBoxAllActAsOk) {
    const auto pressKey = [](UINT key) {
        return [key](FrmAbout& about) {
            (void)about;
            const HWND focus = ::GetFocus();
            ::PostMessageW(focus, WM_KEYDOWN, key, 1);
            ::PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        };
    };
    const auto focusInstructions = [](FrmAbout& about) {
        const HWND focus = ::GetFocus();
        ::PostMessageW(focus, WM_KEYDOWN, VK_TAB, 1);
        ::PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC0000001);
        PumpMessages();
        EXPECT_EQ(::GetFocus(), about.Instructions().hwnd());
        EXPECT_TRUE(::SendMessageW(about.OkButton().hwnd(), WM_GETDLGCODE, 0, 0) &
                    DLGC_DEFPUSHBUTTON)
            << "OK keeps the default frame";
    };
    const auto focusOk = [](FrmAbout& about) {
        EXPECT_EQ(::GetFocus(), about.OkButton().hwnd()) << "OK has the focus when it opens";
    };
    OpenAbout(focusOk, pressKey(VK_RETURN));
    OpenAbout(focusInstructions, pressKey(VK_RETURN));
    OpenAbout(focusOk, pressKey(VK_ESCAPE));
    OpenAbout(focusInstructions, pressKey(VK_ESCAPE));
    OpenAbout([](FrmAbout&) {},
              [](FrmAbout& about) { ::PostMessageW(about.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0); });
}

TEST_F(AboutWindow, TheInstructionsRefuseTyping) {
    OpenAbout(
        [](FrmAbout& about) {
            const HWND box = about.Instructions().hwnd();
            ::SetFocus(box);
            for (wchar_t c : std::wstring(L"typed")) {
                ::SendMessageW(box, WM_CHAR, c, 1);
            }
            ::SendMessageW(box, WM_KEYDOWN, VK_DELETE, 1);
            ::SendMessageW(box, WM_CHAR, VK_BACK, 1);
            ::SendMessageW(box, WM_PASTE, 0, 0);
            ::SendMessageW(box, WM_CUT, 0, 0);
            EXPECT_EQ(about.Instructions().Text(), FrmAbout::InstructionsText());
            const LONG style = ::GetWindowLongW(box, GWL_STYLE);
            EXPECT_TRUE(style & ES_READONLY);
            EXPECT_TRUE(style & ES_MULTILINE);
            EXPECT_TRUE(style & WS_VSCROLL);
        },
        PressOk);
}

TEST_F(AboutWindow, TheTitleIsTheOnlyLargeBoldText) {
    OpenAbout(
        [](FrmAbout& about) {
            const auto fontOf = [](HWND control) {
                LOGFONTW font{};
                ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)),
                             sizeof font, &font);
                return font;
            };
            const LOGFONTW title = fontOf(about.Title().hwnd());
            EXPECT_STREQ(title.lfFaceName, L"MS Sans Serif");
            EXPECT_EQ(title.lfWeight, FW_BOLD);
            EXPECT_EQ(title.lfHeight, -::MulDiv(12, static_cast<int>(about.Dpi()), 72));
            for (HWND other :
                 {about.Credits().hwnd(), about.OkButton().hwnd(), about.Instructions().hwnd()}) {
                const LOGFONTW font = fontOf(other);
                EXPECT_EQ(font.lfWeight, FW_NORMAL);
                EXPECT_LT(-font.lfHeight, -title.lfHeight);
            }
        },
        PressOk);
}

TEST_F(AboutWindow, CentredOnTheOptionsWindowWithNoIconOfItsOwn) {
    OpenAbout(
        [&](FrmAbout& about) {
            RECT owner{};
            RECT self{};
            ::GetWindowRect(frm.hwnd(), &owner);
            ::GetWindowRect(about.hwnd(), &self);
            MONITORINFO monitor{};
            monitor.cbSize = sizeof monitor;
            ::GetMonitorInfoW(::MonitorFromWindow(about.hwnd(), MONITOR_DEFAULTTOPRIMARY),
                              &monitor);
            // Centred on the owner, unless that would put it off the work area.
            const double wanted = (owner.top + owner.bottom) / 2.0;
            const double half = (self.bottom - self.top) / 2.0;
            const double expected =
                std::clamp(wanted, monitor.rcWork.top + half, monitor.rcWork.bottom - half);
            EXPECT_NEAR((self.left + self.right) / 2.0, (owner.left + owner.right) / 2.0, 1.0);
            EXPECT_NEAR((self.top + self.bottom) / 2.0, expected, 1.0);
            EXPECT_EQ(::SendMessageW(about.hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
            const LONG style = ::GetWindowLongW(about.hwnd(), GWL_STYLE);
            EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
            RECT client{};
            ::GetClientRect(about.hwnd(), &client);
            const double perPixel = 1440.0 / about.Dpi();
            EXPECT_NEAR(client.right, 5760 / perPixel, 1.0);
            EXPECT_NEAR(client.bottom, 6120 / perPixel, 1.0);
        },
        PressOk);
}

struct Placed {
    int id;
    TwipsRect twips;
};

TEST_F(AboutWindow, ControlsStandWhereTheTwipsPutThemAtEveryDpi) {
    const Placed layout[] = {{FrmAbout::kDishId, {120, 120, 480, 480}},
                             {FrmAbout::kBadgeId, {120, 720, 480, 480}},
                             {FrmAbout::kTitleId, {840, 120, 4215, 375}},
                             {FrmAbout::kTextId, {840, 480, 4695, 3135}},
                             {FrmAbout::kOkId, {2400, 5520, 1215, 495}},
                             {FrmAbout::kInstructionsId, {720, 3720, 4935, 1695}}};
    OpenAbout(
        [&](FrmAbout& about) {
            // The new fonts, the title's among them, come before the old ones go.
            const MessageWatch title(about.Title().hwnd());
            const MessageWatch button(about.OkButton().hwnd());
            RECT now{};
            ::GetWindowRect(about.hwnd(), &now);
            const UINT opened = about.Dpi();
            for (UINT dpi : {opened, opened == 144u ? 96u : 144u}) {
                if (dpi != opened) {
                    ::SendMessageW(about.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                   reinterpret_cast<LPARAM>(&now));
                }
                const double perPixel = 1440.0 / dpi;
                for (const Placed& p : layout) {
                    RECT r{};
                    ::GetWindowRect(::GetDlgItem(about.hwnd(), p.id), &r);
                    ::MapWindowPoints(nullptr, about.hwnd(), reinterpret_cast<POINT*>(&r), 2);
                    EXPECT_NEAR(r.left, p.twips.left / perPixel, 1.0) << p.id << " @" << dpi;
                    EXPECT_NEAR(r.top, p.twips.top / perPixel, 1.0) << p.id << " @" << dpi;
                    EXPECT_NEAR(r.right - r.left, p.twips.width / perPixel, 1.0) << p.id;
                    EXPECT_NEAR(r.bottom - r.top, p.twips.height / perPixel, 1.0) << p.id;
                }
            }
            EXPECT_TRUE(title.Saw(WM_SETFONT));
            EXPECT_EQ(title.fontsAfterADeletedOne + button.fontsAfterADeletedOne, 0);
        },
        PressOk);
}

TEST_F(AboutWindow, TheDishIsStretchedPixelForPixelAndTheBadgeHasItsTooltip) {
    if (frm.Dpi() != 96) {
        GTEST_SKIP() << "the 16-pixel picture doubled is what 96 DPI shows; this system is at "
                     << frm.Dpi() << " DPI";
    }
    OpenAbout(
        [&](FrmAbout& about) {
            const HWND dish = about.Dish().hwnd();
            ::RedrawWindow(dish, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            // The 16 x 16 picture as it is, drawn once into a bitmap of our own.
            const HDC screen = ::GetDC(dish);
            const HDC memory = ::CreateCompatibleDC(screen);
            const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 16, 16);
            const HGDIOBJ old = ::SelectObject(memory, bitmap);
            const RECT all{0, 0, 16, 16};
            ::FillRect(memory, &all, ::GetSysColorBrush(COLOR_BTNFACE));
            ::DrawIconEx(memory, 0, 0, frm.Icons().Item("Dish2"), 16, 16, 0, nullptr, DI_NORMAL);
            int mismatches = 0;
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 32; ++x) {
                    if (::GetPixel(screen, x, y) != ::GetPixel(memory, x / 2, y / 2)) {
                        ++mismatches;
                    }
                }
            }
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
            ::DeleteDC(memory);
            ::ReleaseDC(dish, screen);
            EXPECT_EQ(mismatches, 0) << "each picture pixel becomes a 2 x 2 block, unblended";

            EXPECT_EQ(::SendMessageW(about.BadgeTip(), TTM_GETTOOLCOUNT, 0, 0), 1);
            wchar_t text[128] = {};
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = about.hwnd();
            tool.uId = reinterpret_cast<UINT_PTR>(about.Badge().hwnd());
            tool.lpszText = text;
            ::SendMessageW(about.BadgeTip(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
            EXPECT_STREQ(text, FrmAbout::BadgeLine());

            // The tip shows on hover, the modal state notwithstanding. (Wine shows a disabled
            // tip all the same; Windows does not.)
            const HWND tip = about.BadgeTip();
            EXPECT_TRUE(::IsWindowEnabled(tip)) << "not disabled with the other windows";
            // Into the corner, away from the centred windows of tests running alongside.
            ::SetWindowPos(about.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
            ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1,
                           ::GetSystemMetrics(SM_CYSCREEN) - 1);
            PumpUntil([] { return false; }, 300);
            EXPECT_FALSE(::IsWindowVisible(tip));
            RECT badge{};
            ::GetWindowRect(about.Badge().hwnd(), &badge);
            ::SetCursorPos((badge.left + badge.right) / 2, (badge.top + badge.bottom) / 2);
            EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(tip) != FALSE; }, 3000))
                << "the badge's tooltip shows";
        },
        PressOk);
}

}  // namespace
}  // namespace vantorel
