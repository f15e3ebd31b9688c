#include "tests/support/win_test.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "tray/text.h"
#include "tray/window.h"

namespace vantorel::testing_support {

void PumpMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            continue;
        }
        DispatchWindowMessage(message);
    }
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() > end) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
    }
    return true;
}

namespace {

std::map<UINT_PTR, std::function<void()>>& SoonActions() {
    static std::map<UINT_PTR, std::function<void()>> actions;
    return actions;
}

void CALLBACK RunSoonTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    auto& actions = SoonActions();
    const auto it = actions.find(id);
    if (it == actions.end()) {
        return;
    }
    std::function<void()> action = std::move(it->second);
    actions.erase(it);
    action();
}

std::wstring UniqueTestKey() {
    static std::atomic<int> counter{0};
    return L"Software\\Vantorel Tests\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
}

}  // namespace

UINT_PTR RunSoon(std::function<void()> action, UINT delayMs) {
    const UINT_PTR id = ::SetTimer(nullptr, 0, delayMs, RunSoonTimer);
    SoonActions()[id] = std::move(action);
    return id;
}

void CancelSoon(UINT_PTR id) {
    ::KillTimer(nullptr, id);
    SoonActions().erase(id);
}

ShellNotify RecordingShell::Notify() {
    return [this](DWORD message, const NOTIFYICONDATAA& record) -> BOOL {
        calls.push_back({message, record});
        if (log_ != nullptr) {
            static const char* names[] = {"ADD", "MODIFY", "DELETE"};
            log_->Add(std::string("shell ") + (message < 3 ? names[message] : "?"));
        }
        if (results.empty()) {
            return TRUE;
        }
        const BOOL result = results.front();
        results.erase(results.begin());
        return result;
    };
}

std::vector<DWORD> RecordingShell::Messages() const {
    std::vector<DWORD> messages;
    for (const ShellCall& call : calls) {
        messages.push_back(call.message);
    }
    return messages;
}

std::string TipText(const NOTIFYICONDATAA& record) {
    return std::string(record.szTip, ::strnlen(record.szTip, kTrayTipSize));
}

bool TipPaddedWithBlanks(const NOTIFYICONDATAA& record) {
    // The first layout of the record has 64 characters of tip; the shell reads no further.
    const std::size_t nul = ::strnlen(record.szTip, kTrayTipSize);
    if (nul >= kTrayTipSize) {
        return false;
    }
    for (std::size_t i = nul + 1; i < kTrayTipSize; ++i) {
        if (record.szTip[i] != ' ') {
            return false;
        }
    }
    return true;
}

TestRegistry::TestRegistry(EventLog* log)
    : path_(UniqueTestKey()), store_(HKEY_CURRENT_USER, path_), log_(log) {}

TestRegistry::~TestRegistry() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

std::optional<std::wstring> TestRegistry::Read(std::wstring_view key) const {
    if (log_ != nullptr) {
        log_->Add("read " + Narrow(key));
    }
    return store_.Read(key);
}

bool TestRegistry::Write(std::wstring_view key, const std::wstring& value) {
    if (failFrom && key == *failFrom) {
        failing_ = true;
    }
    if (log_ != nullptr) {
        log_->Add("write " + Narrow(key) + (failing_ ? " failed" : ""));
    }
    if (failing_) {
        return false;
    }
    written.emplace_back(key);
    return store_.Write(key, value);
}

HKEY TestRegistry::OpenKey() const {
    HKEY key = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr);
    return key;
}

OptionsRig::OptionsRig(NumberLocale numberLocale) : locale(std::move(numberLocale)) {}

OptionsServices OptionsRig::Services(ProgressReader read) {
    return OptionsServices{registry, shell.Notify(), told.Sink(), [this] { return locale; },
                           std::move(read)};
}

void Click(HWND button) {
    ::SendMessageW(button, BM_CLICK, 0, 0);
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    ::EnumChildWindows(window, CountChild, counter);
    return TRUE;
}

}  // namespace

int CountThreadWindows() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !::GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP bitmap{};
    ::GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    ::DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) {
        ::DeleteObject(info.hbmColor);
    }
    return bitmap.bmWidth;
}

void SendDpiChanged(HWND window, UINT dpi) {
    RECT place{};
    ::GetWindowRect(window, &place);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&place));
}

MessageWatch::MessageWatch(HWND window) : window_(window) {
    ::SetWindowSubclass(window_, Procedure, 77, reinterpret_cast<DWORD_PTR>(this));
}

MessageWatch::~MessageWatch() {
    if (::IsWindow(window_)) {
        ::RemoveWindowSubclass(window_, Procedure, 77);
    }
}

bool MessageWatch::Saw(UINT message) const {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

LRESULT CALLBACK MessageWatch::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self) {
    auto* watch = reinterpret_cast<MessageWatch*>(self);
    watch->messages.push_back(message);
    watch->wParams.push_back(wParam);
    if (message == WM_SETFONT) {
        const auto held = reinterpret_cast<HGDIOBJ>(::DefSubclassProc(window, WM_GETFONT, 0, 0));
        if (held != nullptr && ::GetObjectType(held) != OBJ_FONT) {
            ++watch->fontsAfterADeletedOne;
        }
    }
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, Procedure, 77);
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

void Store(TestRegistry& registry, const wchar_t* key, const std::wstring& value) {
    RegistrySettings(HKEY_CURRENT_USER, registry.path()).Write(key, value);
}

void Tick(const FrmOptions& frm) {
    ::SendMessageW(frm.hwnd(), WM_TIMER, FrmOptions::kCheckTimerId, 0);
    PumpUntil([&] { return !frm.ReadsPending(); });
}

// Slim locks and condition variables hold no kernel handle, so the handles a test counts are
// the meter's alone.
struct HeldReads::State {
    class Locked {
      public:
        explicit Locked(const State& state) : lock_(state.lock) {
            ::AcquireSRWLockExclusive(&lock_);
        }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;
        ~Locked() { ::ReleaseSRWLockExclusive(&lock_); }

      private:
        SRWLOCK& lock_;
    };

    std::set<PathString> held;
    mutable SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    bool released = false;
    std::map<PathString, int> passes;  // held reads of a folder let through one at a time
    std::map<PathString, int> calls;
    std::map<PathString, double> values;
    int waiting = 0;
    std::atomic<int> returned{0};
    std::map<DWORD, bool> cancelled;  // threads at a hold, and whether they were cancelled
    bool ignoreCancels = false;
    Tally tally;
};

HeldReads::HeldReads(std::set<PathString> held) : state_(std::make_shared<State>()) {
    state_->held = std::move(held);
}

ProgressReader HeldReads::Reader() const {
    return [state = state_](const PathString& directory) -> std::optional<double> {
        const DWORD thread = ::GetCurrentThreadId();
        std::optional<double> value;
        {
            const State::Locked locked(*state);
            ++state->calls[directory];
            state->tally.threads.insert(thread);
            bool cancelled = false;
            if (state->held.count(directory) != 0) {
                state->tally.peak = std::max(state->tally.peak, ++state->waiting);
                state->cancelled[thread] = false;
                // Long enough for any test; one that fails still ends.
                const ULONGLONG giveUp = ::GetTickCount64() + 60000;
                while (!state->released && state->passes[directory] == 0 &&
                       !state->cancelled[thread] && ::GetTickCount64() < giveUp) {
                    ::SleepConditionVariableSRW(&state->changed, &state->lock, 1000, 0);
                }
                cancelled = state->cancelled[thread];
                if (!state->released && !cancelled && state->passes[directory] > 0) {
                    --state->passes[directory];
                }
                state->cancelled.erase(thread);
                --state->waiting;
            }
            const auto answer = state->values.find(directory);
            if (!cancelled) {
                value = answer != state->values.end() ? answer->second : std::stod(directory);
            }
        }
        ++state->returned;
        return value;
    };
}

void HeldReads::Release() const {
    {
        const State::Locked locked(*state_);
        state_->released = true;
    }
    ::WakeAllConditionVariable(&state_->changed);
}

void HeldReads::Pass(const PathString& directory) const {
    {
        const State::Locked locked(*state_);
        ++state_->passes[directory];
    }
    ::WakeAllConditionVariable(&state_->changed);
}

void HeldReads::Answer(const PathString& directory, double value) const {
    const State::Locked locked(*state_);
    state_->values[directory] = value;
}

int HeldReads::Calls(const PathString& directory) const {
    const State::Locked locked(*state_);
    return state_->calls[directory];
}

int HeldReads::Returned() const {
    return state_->returned;
}

bool HeldReads::Settled() const {
    const State::Locked locked(*state_);
    int calls = 0;
    for (const auto& [directory, count] : state_->calls) {
        calls += count;
    }
    return calls == state_->returned + state_->waiting;
}

bool HeldReads::Cancel(DWORD thread) const {
    {
        const State::Locked locked(*state_);
        const auto held = state_->cancelled.find(thread);
        // Tests settle their reads before they tick: a read that is out is at its hold.
        state_->tally.strays += held == state_->cancelled.end() ? 1 : 0;
        if (held == state_->cancelled.end() || state_->ignoreCancels) {
            return false;
        }
        held->second = true;
        ++state_->tally.cancels;
    }
    ::WakeAllConditionVariable(&state_->changed);
    return true;
}

void HeldReads::IgnoreCancels() const {
    const State::Locked locked(*state_);
    state_->ignoreCancels = true;
}

HeldReads::Tally HeldReads::Counted() const {
    const State::Locked locked(*state_);
    return state_->tally;
}

DWORD GdiObjects() {
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
}
DWORD UserObjects() {
    return ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
}

}  // namespace vantorel::testing_support
