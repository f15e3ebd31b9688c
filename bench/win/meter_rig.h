#pragma once
// A meter in this process for the Windows benchmarks: three client directories with real
// state files, settings held in memory, and a shell that remembers only what a soak can
// afford to keep (the last record and the icons it has seen).

#include <windows.h>
#include <psapi.h>

#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "bench/win/clock.h"
#include "options/frm_options.h"
#include "options/settings.h"

namespace vantorel::bench {

class MemorySettings : public SettingsStore {
  public:
    std::optional<std::wstring> Read(std::wstring_view key) const override {
        const auto found = values_.find(std::wstring(key));
        if (found == values_.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    bool Write(std::wstring_view key, const std::wstring& value) override {
        values_[std::wstring(key)] = value;
        return true;
    }

  private:
    std::map<std::wstring, std::wstring> values_;
};

// Three client directories under the temporary folder, removed at the end.
class Clients {
  public:
    Clients() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"vantorel-bench-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(root_.c_str(), nullptr);
        for (std::size_t i = 0; i < dirs_.size(); ++i) {
            dirs_[i] = root_ + L"\\client" + std::to_wstring(i + 1);
            ::CreateDirectoryW(dirs_[i].c_str(), nullptr);
            Write(i, 0.1 + 0.3 * static_cast<double>(i));
        }
    }
    Clients(const Clients&) = delete;
    Clients& operator=(const Clients&) = delete;
    ~Clients() {
        for (const std::wstring& dir : dirs_) {
            ::DeleteFileW((dir + L"\\State.SAH").c_str());
            ::RemoveDirectoryW(dir.c_str());
        }
        ::RemoveDirectoryW(root_.c_str());
    }

    const std::wstring& dir(std::size_t i) const { return dirs_[i]; }
    std::wstring file(std::size_t i) const { return dirs_[i] + L"\\State.SAH"; }

    // A state file of about 2 KB, as a client writes it (lines end in LF), with this progress.
    void Write(std::size_t i, double fraction) const {
        char prog[32];
        std::snprintf(prog, sizeof prog, "%.6f", fraction);
        std::string text = "ncfft=118733\ncr=-1.274413e-02\nfl=65536\nprog=";
        text += prog;
        text += "\npotfreq=29311\n";
        while (text.size() < 2048) {
            text += "bg_power=1.234567e+00\n";
        }
        const HANDLE file =
            ::CreateFileW(this->file(i).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
    }

  private:
    std::wstring root_;
    std::array<std::wstring, 3> dirs_;
};

struct ShellWatch {
    NOTIFYICONDATAA last{};
    std::set<HICON> icons;
    unsigned long long calls = 0;
    ShellNotify shell;  // the real notification area as well, when set

    ShellNotify Notify() {
        return [this](DWORD message, const NOTIFYICONDATAA& record) {
            last = record;
            icons.insert(record.hIcon);
            ++calls;
            return shell ? shell(message, record) : TRUE;
        };
    }
};

// The meter over the clients, started, hidden (Path1 is set), with the timer left to the
// caller: ticks are sent, so their number is exact.
class Meter {
  public:
    // With realShell the icon also goes to the notification area, not only to the record.
    explicit Meter(const Clients& clients, bool realShell = false)
        : frm_(OptionsServices{settings_, shell_.Notify(),
                               [](HWND, const std::wstring& text) {
                                   std::fwprintf(stderr, L"message: %ls\n", text.c_str());
                               },
                               [] {
                                   return NumberLocale{".", ","};
                               }}) {
        for (std::size_t i = 0; i < 3; ++i) {
            settings_.Write(L"Path" + std::to_wstring(i + 1), clients.dir(i));
        }
        settings_.Write(L"Interval", L"60");
        if (realShell) {
            shell_.shell = RealShellNotify();
        }
        frm_.Start();
    }

    // The whole tick: the timer message, then the messages until its result is shown, the
    // answers of the reads off the window thread among them.
    void Tick() const {
        ::SendMessageW(frm_.hwnd(), WM_TIMER, FrmOptions::kCheckTimerId, 0);
        MSG message{};
        while (frm_.ReadsPending() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchWindowMessage(message);
        }
    }
    const ShellWatch& shell() const { return shell_; }
    const FrmOptions& frm() const { return frm_; }

  private:
    MemorySettings settings_;
    ShellWatch shell_;
    FrmOptions frm_;
};

}  // namespace vantorel::bench
