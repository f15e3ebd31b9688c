// Leak checks. USER handles are shared by every program of the session, so these run alone
// (the build marks them serial): another test's windows would move the probe.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "options/frm_options.h"
#include "tests/support/temp_dir.h"
#include "tests/support/win_test.h"

namespace vantorel {
namespace {

using namespace testing_support;

TEST(HandleProbe, SeesALeakOfEachKind) {
    // The leak tests rest on this probe, so it must see what it claims to see.
    const HandleProbe before = ProbeHandles();
    EXPECT_EQ(ProbeHandles(), before) << "probing itself leaks nothing";
    const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(ProbeHandles().kernel, before.kernel);
    ::CloseHandle(event);
    const HBRUSH brush = ::CreateSolidBrush(RGB(9, 9, 9));
    EXPECT_NE(ProbeHandles().gdi, before.gdi);
    ::DeleteObject(brush);
    const HMENU menu = ::CreateMenu();
    EXPECT_NE(ProbeHandles().user, before.user);
    ::DestroyMenu(menu);
    EXPECT_EQ(ProbeHandles(), before);

    // The count sees one more of each, and not the order of frees.
    const HandlesInUse inUse = CountHandlesInUse();
    const HBRUSH brushes[] = {::CreateSolidBrush(RGB(1, 1, 1)), ::CreateSolidBrush(RGB(2, 2, 2))};
    const HMENU kept = ::CreateMenu();
    const HANDLE kernelKept = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HandlesInUse more = CountHandlesInUse();
    EXPECT_EQ(more.kernel, inUse.kernel + 4) << "kernel handles step by four";
    EXPECT_EQ(more.gdi, inUse.gdi + 2);
    EXPECT_GT(more.user, inUse.user);
    ::DeleteObject(brushes[1]);
    ::DeleteObject(brushes[0]);
    ::DestroyMenu(kept);
    ::CloseHandle(kernelKept);
    EXPECT_EQ(CountHandlesInUse(), inUse);
}

TEST(Leaks, TenThousandTicksUseSevenIconsAndLeakNothing) {
    OptionsRig rig;
    TempDir temp;
    const std::wstring dir = ClientWithState(temp, "one", "prog=0.0\n");
    Store(rig.registry, L"Path1", dir);
    FrmOptions frm(rig.Services());
    frm.Start();
    Tick(frm);
    const DWORD gdi = GdiObjects();
    const DWORD user = UserObjects();
    const HandleProbe handles = ProbeHandles();
    const int windows = CountThreadWindows();
    std::set<HICON> icons;
    for (int i = 0; i < 10000; ++i) {
        if (i % 500 == 0) {
            // Walk the progress through every picture.
            WriteFile(std::filesystem::path(dir) / "State.SAH",
                      "prog=" + std::to_string((i / 500) % 8 / 7.0) + "\n");
        }
        Tick(frm);
        icons.insert(rig.shell.Last().record.hIcon);
    }
    EXPECT_EQ(icons.size(), 7u);
    EXPECT_EQ(GdiObjects(), gdi);
    EXPECT_EQ(UserObjects(), user);
    EXPECT_EQ(ProbeHandles(), handles);
    EXPECT_EQ(CountThreadWindows(), windows);
    RecordProperty("gdi_objects", static_cast<int>(gdi));
    RecordProperty("user_objects", static_cast<int>(user));
    std::printf("GDI objects %lu, USER objects %lu, before and after 10000 ticks\n", gdi, user);
}

// A meter over one client whose read hangs: ticked, then gone by "Exit" and its end.
void EndWhileAReadHangs(const HeldReads& reads) {
    OptionsRig rig;
    Store(rig.registry, L"Path1", L"0.5");
    FrmOptions frm(rig.Services(reads.Reader()));
    frm.Start();
    ::SendMessageW(frm.hwnd(), WM_TIMER, FrmOptions::kCheckTimerId, 0);
    PumpUntil([&] { return reads.Calls(L"0.5") == 1; });
    ::SendMessageW(frm.hwnd(), WM_COMMAND, PopupMenu::kExitId, 0);
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_DELETE));
}

TEST(Leaks, AMeterGoneWhileAReadHangsLeaksNothingOnceTheReadReturns) {
    {
        // The window class comes before the first probe.
        const HeldReads first({L"0.5"});
        EndWhileAReadHangs(first);
        first.Release();
        PumpUntil([&] { return first.OnlyCopy(); });
    }
    const HeldReads reads({L"0.5"});
    // Threads are kernel objects. Counted, not probed: the slots a meter frees come back in
    // another order each time.
    const std::uintptr_t kernel = CountHandlesInUse().kernel;
    const int windows = CountThreadWindows();

    EndWhileAReadHangs(reads);
    EXPECT_EQ(reads.Returned(), 0) << "nothing waited for the read";
    EXPECT_FALSE(reads.OnlyCopy()) << "the hung read still holds its slot";
    reads.Release();
    EXPECT_TRUE(PumpUntil([&] { return reads.OnlyCopy(); })) << "the slot goes with the read";
    // The reading thread ends a moment after its read has let go of its slot.
    PumpUntil([&] { return CountHandlesInUse().kernel == kernel; }, 5000);
    EXPECT_EQ(CountHandlesInUse().kernel, kernel);
    EXPECT_EQ(CountThreadWindows(), windows);
}

TEST(Leaks, AHundredScaleChangesLeakNoPictureAndNoCaptionIcon) {
    OptionsRig rig;
    int traySize = 16;
    OptionsServices services = rig.Services();
    services.traySize = [&traySize] { return traySize; };
    FrmOptions frm(services);
    frm.Start();
    const UINT dpi = frm.Dpi();
    const auto change = [&](int i) {
        // Even steps to the largest art and double the DPI, odd steps back.
        traySize = i % 2 == 0 ? 48 : 16;
        SendDpiChanged(frm.hwnd(), i % 2 == 0 ? 2 * dpi : dpi);
    };
    // Once there and back first: Wine keeps what it loads for a font size it has not seen.
    change(0);
    change(1);
    const HandlesInUse inUse = CountHandlesInUse();
    for (int i = 0; i < 100; ++i) {
        change(i);
    }
    // Counted, not probed: new fonts and icons leave the free slots in another order.
    EXPECT_EQ(CountHandlesInUse(), inUse);
    EXPECT_EQ(rig.shell.Last().record.hIcon, frm.Icons().Item("Dish0"));
}

}  // namespace
}  // namespace vantorel
