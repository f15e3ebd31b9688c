// The main window's life: load order, ticks, the close rule, the tray callback and the end.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

#include "options/frm_options.h"
#include "resources/resource.h"
#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"
#include "tests/support/win_test.h"
#include "tray/text.h"

namespace vantorel {
namespace {

using namespace testing_support;

void TrayMouse(const FrmOptions& frm, UINT code) {
    ::SendMessageW(frm.hwnd(), WMAPP_NOTIFYCALLBACK, kTrayIconId, static_cast<LPARAM>(code));
}

class Lifecycle : public testing::Test {
  protected:
    OptionsRig rig;
};

TEST_F(Lifecycle, FirstStartWithAnEmptyStore) {
    FrmOptions frm(rig.Services());
    frm.Start();
    ASSERT_TRUE(frm.IsLoaded());
    // The icon comes first, then the four reads in order.
    EXPECT_EQ(rig.log.events, (std::vector<std::string>{"shell ADD", "read Path1", "read Path2",
                                                        "read Path3", "read Interval"}));
    const ShellCall& add = rig.shell.calls.at(0);
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.record.hWnd, frm.hwnd());
    EXPECT_EQ(add.record.hIcon, frm.Icons().Item("Dish0"));
    EXPECT_EQ(TipText(add.record), "0%");
    EXPECT_TRUE(frm.IsShown());
    EXPECT_EQ(frm.CheckTimer().Period(), 1000u);
    for (const Control& path : frm.Paths()) {
        EXPECT_EQ(path.Text(), L"");
    }
    EXPECT_EQ(frm.UpdateField().Text(), L"1");
    EXPECT_TRUE(rig.told.texts.empty());

    Tick(frm);
    ASSERT_EQ(rig.shell.calls.size(), 2u);
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(TipText(rig.shell.Last().record), "");
    EXPECT_EQ(rig.shell.Last().record.hIcon, frm.Icons().Item("Dish0"));
}

TEST_F(Lifecycle, AStoredFirstDirectoryKeepsTheWindowHidden) {
    Store(rig.registry, L"Path1", L"C:\\seti\\one");
    Store(rig.registry, L"Path3", L" three ");
    Store(rig.registry, L"Interval", L"2.5");
    FrmOptions frm(rig.Services());
    frm.Start();
    ASSERT_TRUE(frm.IsLoaded());
    EXPECT_FALSE(frm.IsShown());
    EXPECT_EQ(frm.Paths()[0].Text(), L"C:\\seti\\one");
    EXPECT_EQ(frm.Paths()[1].Text(), L"");
    EXPECT_EQ(frm.Paths()[2].Text(), L" three ");
    EXPECT_EQ(frm.UpdateField().Text(), L"2.5");
    EXPECT_EQ(frm.CheckTimer().Period(), 2500u);
}

TEST_F(Lifecycle, OnlyTheFirstDirectoryDecidesTheShowing) {
    Store(rig.registry, L"Path2", L"C:\\seti\\two");
    FrmOptions frm(rig.Services());
    frm.Start();
    EXPECT_TRUE(frm.IsShown());

    OptionsRig blanks;
    Store(blanks.registry, L"Path1", L" ");
    FrmOptions other(blanks.Services());
    other.Start();
    EXPECT_FALSE(other.IsShown()) << "a text of blanks is not empty";
}

struct BadInterval {
    const char* name;
    const wchar_t* stored;
};

class BadStoredInterval : public testing::TestWithParam<BadInterval> {};

TEST_P(BadStoredInterval, PollsEverySecondAndSaysSo) {
    OptionsRig rig;
    Store(rig.registry, L"Path1", L"C:\\seti");
    Store(rig.registry, L"Interval", GetParam().stored);
    FrmOptions frm(rig.Services());
    frm.Start();
    EXPECT_EQ(frm.CheckTimer().Period(), 1000u);
    EXPECT_EQ(frm.UpdateField().Text(), GetParam().stored);
    ASSERT_EQ(rig.told.texts.size(), 1u);
    EXPECT_EQ(rig.told.texts[0], std::wstring(L"\"") + GetParam().stored +
                                     L"\" is not a valid update interval; polling every second.");
    EXPECT_EQ(rig.shell.calls.size(), 1u) << "the icon is there all the same";
}

INSTANTIATE_TEST_SUITE_P(Texts, BadStoredInterval,
                         testing::Values(BadInterval{"TrailingLetters", L"5abc"},
                                         BadInterval{"InnerBlank", L"1 0"},
                                         BadInterval{"Grouped", L"1,000"},
                                         BadInterval{"TooShort", L"0.5"},
                                         BadInterval{"TooLong", L"61"}, BadInterval{"Empty", L""}),
                         CaseName());

TEST_F(Lifecycle, AStoredIntervalThatCannotBeReadBackGetsTheBadIntervalMessage) {
    const HKEY key = rig.registry.OpenKey();
    const DWORD number = 7;
    ::RegSetValueExW(key, L"Interval", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    const std::wstring huge(kMaxSettingChars + 1, L'5');
    ::RegSetValueExW(key, L"Path1", 0, REG_SZ, reinterpret_cast<const BYTE*>(huge.c_str()),
                     static_cast<DWORD>((huge.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    FrmOptions frm(rig.Services());
    frm.Start();
    EXPECT_EQ(frm.Paths()[0].Text(), L"");
    EXPECT_EQ(frm.UpdateField().Text(), L"");
    EXPECT_EQ(frm.CheckTimer().Period(), 1000u);
    EXPECT_EQ(rig.told.texts, std::vector<std::wstring>{
                                  L"\"\" is not a valid update interval; polling every second."});
}

TEST_F(Lifecycle, TheLoadsMessageComesAfterTheLoadAndTicksWaitForTheSave) {
    Store(rig.registry, L"Interval", L"5abc");
    FrmOptions* meter = nullptr;
    std::vector<std::string> seen;  // at each message: shown or not, ticks that ran inside
    const auto tell = [&](HWND, const std::wstring&) {
        const std::size_t before = rig.shell.calls.size();
        Tick(*meter);  // what a message box's own loop lets through
        Tick(*meter);
        seen.push_back((meter->IsShown() ? "shown " : "hidden ") +
                       std::to_string(rig.shell.calls.size() - before));
    };
    FrmOptions frm(
        OptionsServices{rig.registry, rig.shell.Notify(), tell, [] { return NumberLocale{}; }});
    meter = &frm;
    frm.Start();
    const std::size_t calls = rig.shell.calls.size();
    Click(::GetDlgItem(frm.hwnd(), FrmOptions::kOkId));
    EXPECT_EQ(seen, (std::vector<std::string>{"shown 2", "shown 0"}));
    EXPECT_EQ(rig.shell.calls.size(), calls + 1) << "the ticks held in the save ran once after it";
}

TEST_F(Lifecycle, ATickShowsTheCurrentFieldsInMenuTooltipAndPicture) {
    TempDir temp;
    const std::wstring one = ClientWithState(temp, "one", "prog=0.475937\n");
    const std::wstring three = ClientWithState(temp, "three", "prog=1.000000\n");
    Store(rig.registry, L"Path1", one);
    Store(rig.registry, L"Path2", (temp.path() / L"absent").native());
    Store(rig.registry, L"Path3", three);
    FrmOptions frm(rig.Services());
    frm.Start();
    Tick(frm);
    EXPECT_EQ(frm.Menu().ProgressCaption(0), L"Progress: 47.59%");
    EXPECT_EQ(frm.Menu().ProgressCaption(1), L"Progress: ");
    EXPECT_EQ(frm.Menu().ProgressCaption(2), L"Progress: 100.00%");
    EXPECT_EQ(TipText(rig.shell.Last().record), "47.59% \\ 100.00%");
    EXPECT_EQ(rig.shell.Last().record.hIcon, frm.Icons().Item("Dish4"));
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_MODIFY));

    // The fields are the live state: an unsaved edit is read at the next tick.
    ::SetWindowTextW(frm.Paths()[0].hwnd(), three.c_str());
    Tick(frm);
    EXPECT_EQ(TipText(rig.shell.Last().record), "100.00% \\ 100.00%");
    EXPECT_EQ(rig.shell.Last().record.hIcon, frm.Icons().Item("Dish6"));

    // A client that stops yielding keeps its last line.
    std::filesystem::remove(std::filesystem::path(three) / "State.SAH");
    Tick(frm);
    EXPECT_EQ(frm.Menu().ProgressCaption(0), L"Progress: 100.00%");
    EXPECT_EQ(TipText(rig.shell.Last().record), "");
    EXPECT_EQ(rig.shell.Last().record.hIcon, frm.Icons().Item("Dish0"));
}

TEST_F(Lifecycle, TicksUseTheLocalesDecimalSeparator) {
    TempDir temp;
    Store(rig.registry, L"Path1", ClientWithState(temp, "one", "prog=0.475937\n"));
    rig.locale = NumberLocale{",", "."};
    FrmOptions frm(rig.Services());
    frm.Start();
    Tick(frm);
    EXPECT_EQ(TipText(rig.shell.Last().record), "47,59%");
    EXPECT_EQ(frm.Menu().ProgressCaption(0), L"Progress: 47,59%");
}

// The reads run off the window thread: a client folder that does not answer holds up neither
// the window nor the other clients.
class SlowReads : public testing::Test {
  protected:
    void SetUp() override {
        Store(rig.registry, L"Path1", L"0.5");
        Store(rig.registry, L"Path2", L"0.75");
        Store(rig.registry, L"Path3", L"0.25");
        // The timer's own ticks stay out of the way of the ticks sent here.
        Store(rig.registry, L"Interval", L"60");
        frm.Start();
    }
    void SendTick() const { ::SendMessageW(frm.hwnd(), WM_TIMER, FrmOptions::kCheckTimerId, 0); }
    // Pumps until the tick's result is shown; gives the time it took.
    ULONGLONG ShownAfterMs(DWORD timeoutMs) const {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_TRUE(PumpUntil([&] { return !frm.ReadsPending(); }, timeoutMs));
        return ::GetTickCount64() - start;
    }
    std::string Tip() const { return TipText(rig.shell.Last().record); }

    HeldReads reads{{L"0.75"}};
    OptionsRig rig;
    FrmOptions frm{rig.Services(reads.Reader())};
};

TEST_F(SlowReads, AStalledClientIsLeftOutAfterASecondAndNotReadAgainWhileOut) {
    const std::wstring designCaption = frm.Menu().ProgressCaption(1);
    SendTick();
    const ULONGLONG waited = ShownAfterMs(5000);
    EXPECT_GE(waited, 900u) << "the result waits for a read that may still come";
    EXPECT_LT(waited, 3000u) << "shown by the one-second wait, not by the read";
    EXPECT_EQ(Tip(), "50.00% \\ 25.00%");
    EXPECT_EQ(frm.Menu().ProgressCaption(0), L"Progress: 50.00%");
    EXPECT_EQ(frm.Menu().ProgressCaption(1), designCaption);
    EXPECT_EQ(frm.Menu().ProgressCaption(2), L"Progress: 25.00%");

    Tick(frm);
    EXPECT_EQ(reads.Calls(L"0.5"), 2);
    EXPECT_EQ(reads.Calls(L"0.75"), 1) << "a folder is not read again while its read is out";
    EXPECT_EQ(Tip(), "50.00% \\ 25.00%");

    reads.Release();
    PumpUntil([&] { return reads.Returned() == 5; });
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(rig.shell.Messages(),
              (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_MODIFY}))
        << "a late answer is shown when it comes";
    EXPECT_EQ(Tip(), "50.00% \\ 75.00% \\ 25.00%");
    Tick(frm);
    EXPECT_EQ(reads.Calls(L"0.75"), 2);
    EXPECT_EQ(Tip(), "50.00% \\ 75.00% \\ 25.00%");
}

TEST_F(SlowReads, TheNextTickShowsTheWaitingResultAndTakesOverItsRead) {
    SendTick();
    PumpUntil([&] { return reads.Returned() == 2; });
    PumpMessages();
    SendTick();
    EXPECT_EQ(rig.shell.Messages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY}));
    EXPECT_EQ(Tip(), "50.00% \\ 25.00%");
    reads.Release();
    EXPECT_LT(ShownAfterMs(5000), PollRounds::kWaitMs) << "shown once the read answered";
    EXPECT_EQ(reads.Calls(L"0.75"), 1) << "the second tick waited for the read still out";
    EXPECT_EQ(Tip(), "50.00% \\ 75.00% \\ 25.00%");
    EXPECT_EQ(rig.shell.calls.size(), 3u);
}

TEST_F(SlowReads, TheWindowAnswersAndExitsWhileAReadHangs) {
    std::atomic<bool> done{false};
    bool tickAnswered = false;
    bool nullAnswered = false;
    std::thread other([&] {
        DWORD_PTR result = 0;
        tickAnswered = ::SendMessageTimeoutW(frm.hwnd(), WM_TIMER, FrmOptions::kCheckTimerId, 0,
                                             SMTO_NORMAL, 2000, &result) != 0;
        nullAnswered =
            ::SendMessageTimeoutW(frm.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0;
        done = true;
    });
    PumpUntil([&] { return done.load(); });
    other.join();
    EXPECT_TRUE(tickAnswered);
    EXPECT_TRUE(nullAnswered);

    TrayMouse(frm, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(frm.IsShown());
    Click(::GetDlgItem(frm.hwnd(), FrmOptions::kOkId));
    EXPECT_FALSE(frm.IsShown()) << "Save Settings";
    ::SendMessageW(frm.hwnd(), WM_COMMAND, PopupMenu::kExitId, 0);
    EXPECT_FALSE(frm.IsLoaded());
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_LT(reads.Returned(), 3) << "all of it while the second read still hung";
}

// Rounds through the read seam, step by step: what each step shows, as the tips of the
// modifies it brings. Client 1 ("0.5") answers at once; client 2 is the case's, and reads of
// "0.75", "0.8" and of the folders a Typing step types hang until a step lets them through.
// The timer's own ticks are stopped: the steps tick.
struct Step {
    // Tick: `count` ticks, each shown before the next, or one; Typing: the same, each after a
    // folder that hangs is typed, as the half-typed texts of a dead share are; FailStarts: the
    // next `count` threads are not made; IgnoreCancels: a cancel finds no I/O from now on, as
    // under Wine; Answer: the folder's reads give `value`; Count: the reads of the folder, or
    // with none the threads that read, are `count` so far.
    enum Kind { Tick, Pass, Release, Type, Typing, FailStarts, IgnoreCancels, Answer, Count } kind;
    const wchar_t* text;  // Pass: whose read answers; Type: the new text of Path `count` or 2
    std::vector<std::string> tips;
    int count = 0;
    double value = 0;
};

struct RoundCase {
    const char* name;
    const wchar_t* interval;  // above a second a round waits a second, else until the next tick
    const wchar_t* path2;
    std::vector<Step> steps;
    int cancels = 0;  // reads given back, each once
    int peak = 0;     // the most hung reads out at once, when the case reaches the bound
};

std::atomic<int> g_failStarts{0};
// The case's reads, where the cancel seam, a plain function, finds them.
std::unique_ptr<HeldReads> g_reads;

HANDLE WINAPI StartUnlessFailing(SECURITY_ATTRIBUTES* security, SIZE_T stack,
                                 LPTHREAD_START_ROUTINE run, void* context, DWORD flags,
                                 DWORD* id) {
    return g_failStarts-- > 0 ? nullptr : ::CreateThread(security, stack, run, context, flags, id);
}

bool CancelHeld(DWORD thread) {
    return g_reads->Cancel(thread);
}

PathString Typed(int n) {
    return L"0.9" + std::to_wstring(100 + n);
}

class Rounds : public testing::TestWithParam<RoundCase> {
  protected:
    void TearDown() override {
        g_failStarts = 0;
        g_reads.reset();
    }
};

TEST_P(Rounds, EveryAnswerIsShown) {
    const RoundCase& c = GetParam();
    std::set<PathString> held{L"0.75", L"0.8"};
    for (int n = 0; n < 20; ++n) {
        held.insert(Typed(n));
    }
    g_reads = std::make_unique<HeldReads>(held);
    const HeldReads& reads = *g_reads;
    OptionsRig rig;
    Store(rig.registry, L"Path1", L"0.5");
    Store(rig.registry, L"Path2", c.path2);
    Store(rig.registry, L"Interval", c.interval);
    OptionsServices services = rig.Services(reads.Reader());
    services.start = StartUnlessFailing;
    services.cancel = CancelHeld;
    FrmOptions frm(services);
    frm.Start();
    ::KillTimer(frm.hwnd(), FrmOptions::kCheckTimerId);
    const auto tick = [&] { ::SendMessageW(frm.hwnd(), WM_TIMER, FrmOptions::kCheckTimerId, 0); };

    int typed = 0;
    for (std::size_t n = 0; n < c.steps.size(); ++n) {
        const Step& step = c.steps[n];
        const std::size_t before = rig.shell.calls.size();
        switch (step.kind) {
            case Step::Tick:
            case Step::Typing:
                for (int k = 0; k < std::max(step.count, 1); ++k) {
                    if (step.kind == Step::Typing) {
                        ::SetWindowTextW(frm.Paths()[1].hwnd(), Typed(typed++).c_str());
                    }
                    const std::size_t calls = rig.shell.calls.size();
                    tick();
                    if (step.count > 0) {
                        PumpUntil(
                            [&] { return reads.Settled() && rig.shell.calls.size() > calls; });
                    }
                }
                break;
            case Step::Pass:
                reads.Pass(step.text);
                break;
            case Step::Release:
                reads.Release();
                break;
            case Step::Type:
                ::SetWindowTextW(frm.Paths()[step.count == 3 ? 2 : 1].hwnd(), step.text);
                continue;
            case Step::FailStarts:
                g_failStarts = step.count;
                continue;
            case Step::IgnoreCancels:
                reads.IgnoreCancels();
                continue;
            case Step::Answer:
                reads.Answer(step.text, step.value);
                continue;
            case Step::Count:
                EXPECT_EQ(step.text != nullptr ? reads.Calls(step.text)
                                               : static_cast<int>(reads.Counted().threads.size()),
                          step.count)
                    << "step " << n + 1;
                continue;
        }
        PumpUntil(
            [&] { return reads.Settled() && rig.shell.calls.size() >= before + step.tips.size(); });
        PumpUntil([] { return false; }, 100);
        std::vector<std::string> tips;
        for (std::size_t i = before; i < rig.shell.calls.size(); ++i) {
            tips.push_back(TipText(rig.shell.calls[i].record));
        }
        EXPECT_EQ(tips, step.tips) << "step " << n + 1;
    }
    const HeldReads::Tally tally = reads.Counted();
    EXPECT_EQ(tally.cancels, c.cancels);
    EXPECT_EQ(tally.strays, 0) << "a read that has returned is never cancelled";
    EXPECT_LE(tally.peak, static_cast<int>(ClientReader::kMaxThreads));
    EXPECT_TRUE(c.peak == 0 || tally.peak == c.peak) << tally.peak;
    reads.Release();
    PumpUntil([&] { return reads.Settled(); });
}

const std::string kOne = "50.00%";
const std::string kBoth = "50.00% \\ 75.00%";
const std::string kMended = "50.00% \\ 25.00%";
const std::string kAll = kMended + " \\ 30.00%";

INSTANTIATE_TEST_SUITE_P(
    Reads, Rounds,
    testing::Values(
        // A share that answers after the round was shown: shown then, and its answer stays
        // while the next read is out.
        RoundCase{"SlowFolderAtFiveSeconds",
                  L"5",
                  L"0.75",
                  {{Step::Tick, nullptr, {kOne}},
                   {Step::Pass, L"0.75", {kBoth}},
                   {Step::Tick, nullptr, {kBoth}},
                   {Step::Pass, L"0.75", {kBoth}}}},
        // Each round is shown by the next tick: none of them drops the client once it has
        // answered.
        RoundCase{"SlowFolderAtOneSecond",
                  L"1",
                  L"0.75",
                  {{Step::Tick, nullptr, {}},
                   {Step::Tick, nullptr, {kOne}},
                   {Step::Pass, L"0.75", {kBoth}},
                   {Step::Tick, nullptr, {}},
                   {Step::Tick, nullptr, {kBoth}},
                   {Step::Pass, L"0.75", {kBoth}}}},
        // A folder typed over a hung one is read at the next tick, and while the hung read
        // lasts it costs one thread, and no tick makes another; the old answer is dropped.
        RoundCase{"MendedWhileTheOldReadHangs",
                  L"5",
                  L"0.75",
                  {{Step::IgnoreCancels, nullptr, {}},
                   {Step::Type, L"0.3", {}, 3},
                   {Step::Tick, nullptr, {"50.00% \\ 30.00%"}},
                   {Step::Type, L"0.25", {}},
                   {Step::Tick, nullptr, std::vector<std::string>(8, kAll), 8},
                   {Step::Count, nullptr, {}, 4},
                   {Step::Pass, L"0.75", {}},
                   {Step::Tick, nullptr, {kAll}}}},
        // Folders typed over hung ones, where a cancel gives nothing back: the folder the
        // field holds now is read at the next tick, and the hung answers are dropped.
        RoundCase{"HalfTypedFoldersHangThenTheRightOneIsTyped",
                  L"5",
                  L"0.75",
                  {{Step::IgnoreCancels, nullptr, {}},
                   {Step::Tick, nullptr, {kOne}},
                   {Step::Typing, nullptr, {kOne, kOne, kOne}, 3},
                   {Step::Type, L"0.25", {}},
                   {Step::Tick, nullptr, {kMended}},
                   {Step::Release, nullptr, {}},
                   {Step::Tick, nullptr, {kMended}}}},
        // Each read typed over is cancelled once, while it still reads; one that has returned
        // is not, and what a cancelled read gives is no answer.
        RoundCase{"AbandonedReadsAreCancelledOnce",
                  L"5",
                  L"0.75",
                  {{Step::Tick, nullptr, {kOne}},
                   {Step::Type, L"0.8", {}},
                   {Step::Tick, nullptr, {kOne}},
                   {Step::Type, L"0.25", {}},
                   {Step::Tick, nullptr, {kMended}},
                   {Step::Tick, nullptr, {kMended}},
                   {Step::Type, L"0.3", {}},
                   {Step::Tick, nullptr, {"50.00% \\ 30.00%"}}},
                  2},
        // Threads let go while they hang fill their share: then only the client whose thread
        // should go waits, until a let-go read returns. The other is read at every tick, and
        // its new value shows at the next.
        RoundCase{"LetGoThreadsStayBoundedAndHoldNoOtherClientBack",
                  L"5",
                  L"0.75",
                  {{Step::IgnoreCancels, nullptr, {}},
                   {Step::Tick, nullptr, {kOne}},
                   {Step::Typing, nullptr, std::vector<std::string>(17, kOne), 17},
                   {Step::Answer, L"0.5", {}, 0, 0.6},
                   {Step::Typing, nullptr, std::vector<std::string>(3, "60.00%"), 3},
                   {Step::Type, L"0.25", {}},
                   {Step::Tick, nullptr, {"60.00%"}},
                   {Step::Pass, L"0.75", {}},
                   {Step::Tick, nullptr, {"60.00% \\ 25.00%"}},
                   {Step::Count, L"0.5", {}, 23}},
                  0,
                  14},
        // A thread that cannot be made reads nothing, and is tried again at the next tick.
        RoundCase{"FailedStartHasNoValue",
                  L"5",
                  L"0.25",
                  {{Step::FailStarts, nullptr, {}, 1},
                   {Step::Tick, nullptr, {" \\ 25.00%"}},
                   {Step::Tick, nullptr, {kMended}}}}),
    CaseName());

// A message that could not be posted (a full queue, a window gone) is not on its way: the next
// answer is told.
TEST(ClientReaderPost, AFailedPostDoesNotSilenceTheNextAnswer) {
    const HeldReads reads({});
    ClientReader reader(reads.Reader());
    const HWND gone = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        nullptr, nullptr);
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr);
    ::DestroyWindow(gone);
    const ClientDirectories folders{L"0.5"};
    EXPECT_FALSE(reader.Begin(gone, folders));
    PumpUntil([&] { return reads.Returned() == 1; });
    PumpUntil([] { return false; }, 100);  // its answer told, or not
    const MessageWatch watch(window);
    EXPECT_FALSE(reader.Begin(window, folders));
    EXPECT_TRUE(PumpUntil([&] { return watch.Saw(WMAPP_CLIENTREAD); }));
    ::DestroyWindow(window);
}

// The real cancel, on a read that waits on a pipe as an open waits on a dead share.
TEST(CancelThreadIo, GivesBackAReadThatWaitsAndFindsNothingElse) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::atomic<DWORD> thread{0};
    std::atomic<DWORD> error{0};
    std::thread reader([&] {
        thread = ::GetCurrentThreadId();
        char byte = 0;
        DWORD got = 0;
        error = ::ReadFile(readEnd, &byte, 1, &got, nullptr) ? ERROR_SUCCESS : ::GetLastError();
    });
    bool cancelled = false;
    const ULONGLONG giveUp = ::GetTickCount64() + 5000;
    while (!(cancelled = thread != 0 && ClientReader::CancelThreadIo(thread)) &&
           ::GetTickCount64() < giveUp) {
        ::Sleep(10);
    }
    if (!cancelled) {
        DWORD put = 0;
        ::WriteFile(writeEnd, "x", 1, &put, nullptr);
    }
    reader.join();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(ClientReader::CancelThreadIo(::GetCurrentThreadId())) << "no I/O pending";
    ::CloseHandle(readEnd);
    ::CloseHandle(writeEnd);
}

TEST_F(Lifecycle, TheTimerTicksOnItsOwn) {
    FrmOptions frm(rig.Services());
    frm.Start();
    EXPECT_TRUE(PumpUntil([&] { return rig.shell.calls.size() >= 3; }, 10000))
        << "two ticks of a 1 s timer within 10 s";
}

TEST_F(Lifecycle, TheCloseBoxOnlyHides) {
    FrmOptions frm(rig.Services());
    frm.Start();
    ASSERT_TRUE(frm.IsShown());
    ::SendMessageW(frm.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(frm.IsLoaded());
    EXPECT_FALSE(frm.IsShown());
    Tick(frm);
    EXPECT_EQ(rig.shell.Messages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY}));
    // Escape acts as the close box.
    frm.ShowModeless();
    ::SendMessageW(frm.hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(frm.IsLoaded());
    EXPECT_FALSE(frm.IsShown());
}

TEST_F(Lifecycle, ExitDeletesTheIconAndEndsTheProgram) {
    int ended = 0;
    Window::SetLastWindowHandler([&] { ++ended; });
    {
        FrmOptions frm(rig.Services());
        frm.Start();
        frm.Hide();
        Tick(frm);
        ::SendMessageW(frm.hwnd(), WM_COMMAND, PopupMenu::kExitId, 0);
        EXPECT_FALSE(frm.IsLoaded());
        EXPECT_EQ(rig.shell.Messages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_DELETE}));
        EXPECT_EQ(rig.shell.Last().record.hWnd, rig.shell.calls[0].record.hWnd);
        EXPECT_EQ(rig.shell.Last().record.uID, 1u);
        EXPECT_EQ(ended, 1);
    }
    EXPECT_EQ(rig.shell.calls.size(), 3u) << "the object's end deletes nothing more";
    EXPECT_TRUE(rig.registry.written.empty()) << "nothing is saved on the way out";
    Window::SetLastWindowHandler([] {});
}

TEST_F(Lifecycle, WindowsShuttingDownEndsTheMeter) {
    FrmOptions frm(rig.Services());
    frm.Start();
    EXPECT_TRUE(::SendMessageW(frm.hwnd(), WM_QUERYENDSESSION, 0, 0));
    ::SendMessageW(frm.hwnd(), WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(frm.IsLoaded());
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(Lifecycle, ACloseRequestFromAnotherProgramEndsTheMeterButAltF4OnlyHides) {
    FrmOptions frm(rig.Services());
    frm.Start();
    ::PostMessageW(::GetFocus(), WM_SYSKEYDOWN, VK_F4, 0x20000001);
    PumpMessages();
    ASSERT_TRUE(frm.IsLoaded());
    EXPECT_FALSE(frm.IsShown());

    std::wstring command = L"taskkill.exe /PID " + std::to_wstring(::GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION taskkill{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &taskkill));
    EXPECT_TRUE(PumpUntil([&] { return !frm.IsLoaded(); }, 10000));
    ::WaitForSingleObject(taskkill.hProcess, 10000);
    ::CloseHandle(taskkill.hThread);
    ::CloseHandle(taskkill.hProcess);
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(Lifecycle, TaskbarCreatedAddsTheIconAgain) {
    FrmOptions frm(rig.Services());
    frm.Start();
    Tick(frm);
    ::SendMessageW(frm.hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_EQ(rig.shell.Messages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD}));
    EXPECT_EQ(rig.shell.Last().record.hIcon, rig.shell.calls[1].record.hIcon);
    Tick(frm);
    EXPECT_EQ(rig.shell.Last().message, static_cast<DWORD>(NIM_MODIFY));
}

struct ScaleCase {
    const char* name;
    UINT message;  // 0 for "TaskbarCreated"
    DWORD shellMessage;
};

class ScaleChange : public testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleChange, ShowsThePictureAtTheNewSizeAtOnce) {
    const std::vector<int> sizes = ArtSizes(IDI_DISH0);
    if (sizes.size() < 2) {
        GTEST_SKIP() << "the dish is drawn at one size only";
    }
    OptionsRig rig;
    int traySize = sizes.front();
    OptionsServices services = rig.Services();
    services.traySize = [&traySize] { return traySize; };
    FrmOptions frm(services);
    frm.Start();
    Tick(frm);
    ASSERT_EQ(IconWidth(rig.shell.Last().record.hIcon), sizes.front());
    const std::size_t calls = rig.shell.calls.size();

    // Between two drawn sizes: the next larger is loaded, for the system to scale down.
    traySize = sizes.back() - 1;
    const UINT message = GetParam().message;
    if (message == WM_DPICHANGED) {
        SendDpiChanged(frm.hwnd(), frm.Dpi());
    } else {
        ::SendMessageW(frm.hwnd(),
                       message != 0 ? message : ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    }
    ASSERT_EQ(rig.shell.calls.size(), calls + 1) << "no waiting for the next tick";
    EXPECT_EQ(rig.shell.Last().message, GetParam().shellMessage);
    EXPECT_EQ(IconWidth(rig.shell.Last().record.hIcon), sizes.back());
    EXPECT_EQ(rig.shell.Last().record.hIcon, frm.Icons().Item("Dish0")) << "the same key";

    // The same size again asks nothing of the shell.
    ::SendMessageW(frm.hwnd(), WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(rig.shell.calls.size(), calls + 1);
    Tick(frm);
    ASSERT_EQ(rig.shell.calls.size(), calls + 2) << "the tick's own modify alone";
    EXPECT_EQ(rig.shell.Last().record.hIcon, rig.shell.calls[calls].record.hIcon);
    traySize = sizes.front();
    Tick(frm);
    EXPECT_EQ(IconWidth(rig.shell.Last().record.hIcon), sizes.front());
}

INSTANTIATE_TEST_SUITE_P(Messages, ScaleChange,
                         testing::Values(ScaleCase{"DpiChanged", WM_DPICHANGED, NIM_MODIFY},
                                         ScaleCase{"DisplayChange", WM_DISPLAYCHANGE, NIM_MODIFY},
                                         ScaleCase{"SettingChange", WM_SETTINGCHANGE, NIM_MODIFY},
                                         ScaleCase{"TaskbarCreated", 0, NIM_ADD}),
                         CaseName());

TEST_F(Lifecycle, AFailedAddAtLoadIsRetriedAtTheNextTick) {
    rig.shell.results = {FALSE};
    FrmOptions frm(rig.Services());
    frm.Start();
    Tick(frm);
    Tick(frm);
    EXPECT_EQ(rig.shell.Messages(), (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_MODIFY}));
}

TEST_F(Lifecycle, TwoMetersSideBySideHaveAnIconEach) {
    FrmOptions first(rig.Services());
    OptionsRig other;
    FrmOptions second(other.Services());
    first.Start();
    second.Start();
    ASSERT_EQ(rig.shell.calls.size(), 1u);
    ASSERT_EQ(other.shell.calls.size(), 1u);
    EXPECT_NE(rig.shell.calls[0].record.hWnd, other.shell.calls[0].record.hWnd);
}

struct MouseCase {
    const char* name;
    UINT code;
    bool shows;
    bool popsMenu;
};

class TrayMouseTest : public testing::TestWithParam<MouseCase> {};

TEST_P(TrayMouseTest, OnlyDoubleClickShowsAndRightPressPopsUp) {
    OptionsRig rig;
    Store(rig.registry, L"Path1", L"C:\\seti");
    FrmOptions frm(rig.Services());
    frm.Start();
    ASSERT_FALSE(frm.IsShown());
    const MessageWatch watch(frm.hwnd());
    RunSoon([] { ::EndMenu(); });
    TrayMouse(frm, GetParam().code);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(frm.IsShown(), GetParam().shows);
    // The popup menu announces itself to its owner before it opens.
    EXPECT_EQ(watch.Saw(WM_INITMENUPOPUP), GetParam().popsMenu);
    if (GetParam().popsMenu) {
        const auto at = std::find(watch.messages.begin(), watch.messages.end(), WM_INITMENUPOPUP);
        EXPECT_EQ(reinterpret_cast<HMENU>(
                      watch.wParams[static_cast<std::size_t>(at - watch.messages.begin())]),
                  frm.Menu().handle());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TrayMouseTest,
    testing::Values(MouseCase{"Move", WM_MOUSEMOVE, false, false},
                    MouseCase{"LeftDown", WM_LBUTTONDOWN, false, false},
                    MouseCase{"LeftUp", WM_LBUTTONUP, false, false},
                    MouseCase{"LeftDoubleClick", WM_LBUTTONDBLCLK, true, false},
                    MouseCase{"RightDown", WM_RBUTTONDOWN, false, true},
                    MouseCase{"RightUp", WM_RBUTTONUP, false, false},
                    MouseCase{"RightDoubleClick", WM_RBUTTONDBLCLK, false, false},
                    MouseCase{"MiddleDown", WM_MBUTTONDOWN, false, false}),
    CaseName());

TEST_F(Lifecycle, ADoubleClickArrivesAsFourMessagesAndOpensTheWindowOnce) {
    Store(rig.registry, L"Path1", L"C:\\seti");
    FrmOptions frm(rig.Services());
    frm.Start();
    for (UINT code : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
        TrayMouse(frm, code);
    }
    EXPECT_TRUE(frm.IsShown());
    TrayMouse(frm, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(frm.IsShown()) << "a double-click on the shown window leaves it shown";
}

TEST_F(Lifecycle, AMouseMoveOverTheWindowIsNoTrayMessage) {
    // The window's own mouse moves at columns 515 and 516 must not act.
    FrmOptions frm(rig.Services());
    frm.Start();
    frm.Hide();
    const MessageWatch watch(frm.hwnd());
    RunSoon([] { ::EndMenu(); });
    for (int x : {515, 516}) {
        ::SendMessageW(frm.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(x, 10));
    }
    PumpUntil([] { return false; }, 100);
    EXPECT_FALSE(frm.IsShown());
    EXPECT_FALSE(watch.Saw(WM_INITMENUPOPUP));
}

TEST_F(Lifecycle, TheMenuShowsTheLatestCaptionsAndItsCommandsWork) {
    TempDir temp;
    Store(rig.registry, L"Path1", ClientWithState(temp, "one", "prog=0.25\n"));
    FrmOptions frm(rig.Services());
    frm.Start();
    Tick(frm);
    std::wstring captionSeen;
    RunSoon([&] {
        captionSeen = frm.Menu().ProgressCaption(0);
        // Choose "&Options" as the user would, by keyboard: O is its access key.
        ::keybd_event('O', 0, 0, 0);
        ::keybd_event('O', 0, KEYEVENTF_KEYUP, 0);
    });
    RunSoon([] { ::EndMenu(); }, 1000);
    TrayMouse(frm, WM_RBUTTONDOWN);
    PumpUntil([&] { return frm.IsShown(); }, 2000);
    EXPECT_EQ(captionSeen, L"Progress: 25.00%");
    EXPECT_TRUE(frm.IsShown());
    EXPECT_EQ(rig.shell.Last().message, NIM_MODIFY) << "a chosen item keeps the focus it gave";

    // Escape gives the keyboard user their place in the notification area back.
    RunSoon([] {
        ::keybd_event(VK_ESCAPE, 0, 0, 0);
        ::keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    });
    RunSoon([] { ::EndMenu(); }, 1000);
    TrayMouse(frm, WM_RBUTTONDOWN);
    EXPECT_EQ(rig.shell.Last().message, NIM_SETFOCUS);
    EXPECT_EQ(rig.shell.Last().record.hWnd, frm.hwnd());
    EXPECT_EQ(rig.shell.Last().record.uID, kTrayIconId);
}

}  // namespace
}  // namespace vantorel
