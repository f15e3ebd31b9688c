#pragma once
// What the in-process window tests share: a message pump, a recorder in place of the shell,
// settings in a registry key of their own, and a log that puts all of it in one order.

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "options/frm_options.h"
#include "options/settings.h"
#include "tests/support/handle_probe.h"
#include "tray/tray_icon.h"

namespace vantorel::testing_support {

// Handles every message that is waiting, the dialog manager included, then returns.
void PumpMessages();
// Pumps until the condition holds or the time is up; gives whether it held.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// Runs the action from inside whatever modal loop is running (a popup menu, a modal window)
// once the thread's messages are next handled.
UINT_PTR RunSoon(std::function<void()> action, UINT delayMs = 10);
// Drops an action that has not run yet.
void CancelSoon(UINT_PTR id);

// One record of everything the tests watch, in the order it happened.
struct EventLog {
    std::vector<std::string> events;
    void Add(std::string event) { events.push_back(std::move(event)); }
};

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAA record;
};

// Stands in for Shell_NotifyIconA: keeps a copy of every call's record.
class RecordingShell {
  public:
    explicit RecordingShell(EventLog* log = nullptr) : log_(log) {}

    ShellNotify Notify();
    std::vector<ShellCall> calls;
    // Results to give, first to last; once used up, every call succeeds.
    std::vector<BOOL> results;

    std::vector<DWORD> Messages() const;
    const ShellCall& Last() const { return calls.back(); }

  private:
    EventLog* log_;
};

// The text of a recorded tip up to its NUL, and whether the rest is blanks.
std::string TipText(const NOTIFYICONDATAA& record);
bool TipPaddedWithBlanks(const NOTIFYICONDATAA& record);

// Settings under a key of the test's own, removed again at the end.
class TestRegistry : public SettingsStore {
  public:
    explicit TestRegistry(EventLog* log = nullptr);
    ~TestRegistry() override;

    std::optional<std::wstring> Read(std::wstring_view key) const override;
    bool Write(std::wstring_view key, const std::wstring& value) override;

    // Writes go through until this key, whose write and all after it fail.
    std::optional<std::wstring> failFrom;
    std::vector<std::wstring> written;  // keys, in order
    const std::wstring& path() const { return path_; }
    HKEY OpenKey() const;

  private:
    std::wstring path_;
    RegistrySettings store_;
    EventLog* log_;
    bool failing_ = false;
};

// What the window told the user.
struct Messages {
    std::vector<std::wstring> texts;
    std::function<void(HWND, const std::wstring&)> Sink() {
        return [this](HWND, const std::wstring& text) { texts.push_back(text); };
    }
};

struct OptionsRig {
    explicit OptionsRig(NumberLocale numberLocale = {".", ","});

    OptionsServices Services(ProgressReader read = ReadClientProgress);

    EventLog log;
    RecordingShell shell{&log};
    TestRegistry registry{&log};
    Messages told;
    NumberLocale locale;
};

// A setting stored before the window reads it, past the recorder: it is no write of the
// window's.
void Store(TestRegistry& registry, const wchar_t* key, const std::wstring& value);

// One tick of the poll timer, as the timer sends it, then the messages until its result is
// shown: the reads answer from another thread.
void Tick(const FrmOptions& frm);

// Made-up clients for the reader seam: a directory's text is its progress ("0.5"). Reads are
// counted, and those of a held directory wait until they are let through. Every copy of the reader
// shares the state, so a read still held when a test ends touches nothing freed.
class HeldReads {
  public:
    explicit HeldReads(std::set<PathString> held);
    HeldReads(const HeldReads&) = delete;
    HeldReads& operator=(const HeldReads&) = delete;
    ~HeldReads() { Release(); }

    ProgressReader Reader() const;
    // Lets every held read through, now and later.
    void Release() const;
    // Lets one held read of the directory through, now or when it comes.
    void Pass(const PathString& directory) const;
    // From now on the directory's reads give this value instead of the one it names.
    void Answer(const PathString& directory, double value) const;
    int Calls(const PathString& directory) const;
    int Returned() const;
    // Every read has returned or waits at its hold.
    bool Settled() const;
    // Stands in for cancelling a thread's I/O: a held read on that thread returns with no
    // value, as a cancelled open does; gives whether there was one.
    bool Cancel(DWORD thread) const;
    // From now on a cancel finds no I/O, as under Wine, whose threads wait in Linux.
    void IgnoreCancels() const;
    // Reads cancelled, cancels of a thread at no hold, the most reads held at once, and the
    // threads that read.
    struct Tally {
        int cancels = 0;
        int strays = 0;
        int peak = 0;
        std::set<DWORD> threads;
    };
    Tally Counted() const;
    // No copy of the reader is left but this one's.
    bool OnlyCopy() const { return state_.use_count() == 1; }

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// Sends what a click sends.
void Click(HWND button);

// GDI and USER objects the process holds now. Wine answers 0 to both, so the tests also
// take a HandleProbe there.
DWORD GdiObjects();
DWORD UserObjects();

int CountThreadWindows();

// The width of an icon's bitmaps, or 0 for no icon.
int IconWidth(HICON icon);

// A change of the window's DPI as Windows reports it, with the window's place kept.
void SendDpiChanged(HWND window, UINT dpi);

// Records the messages a window receives, without changing how it handles them.
class MessageWatch {
  public:
    explicit MessageWatch(HWND window);
    MessageWatch(const MessageWatch&) = delete;
    MessageWatch& operator=(const MessageWatch&) = delete;
    ~MessageWatch();

    std::vector<UINT> messages;
    std::vector<WPARAM> wParams;
    // WM_SETFONTs that came while the font the window held had already been deleted.
    int fontsAfterADeletedOne = 0;
    bool Saw(UINT message) const;

  private:
    static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    HWND window_;
};

}  // namespace vantorel::testing_support
