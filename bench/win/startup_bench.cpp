// How long Vantorel.exe takes from its start to its first tick, and what it holds in memory
// once it runs. The client directory it is given is the pipe namespace, so its first tick
// opens "\\.\pipe\State.SAH", a pipe this program serves: the connection marks the moment.
// The meter refuses the pipe (it is no disk file) and goes on. Its settings are put back as
// they were afterwards. Usage: startup_bench PATH\TO\Vantorel.exe [runs]

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/win/clock.h"
#include "bench/win/process_window.h"
#include "options/settings.h"
#include "tray/popup_menu.h"

namespace {

using vantorel::PopupMenu;
using vantorel::RegistrySettings;
using vantorel::bench::Now;
using vantorel::bench::Seconds;

// Keeps the four settings of the meter and puts them back when it goes.
class SavedSettings {
  public:
    SavedSettings() {
        for (const wchar_t* key : kKeys) {
            saved_.push_back(store_.Read(key));
        }
    }
    ~SavedSettings() {
        for (std::size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i]) {
                store_.Write(kKeys[i], *saved_[i]);
            } else {
                HKEY key = nullptr;
                if (::RegOpenKeyExW(HKEY_CURRENT_USER, vantorel::kSettingsKeyPath, 0, KEY_SET_VALUE,
                                    &key) == ERROR_SUCCESS) {
                    ::RegDeleteValueW(key, kKeys[i]);
                    ::RegCloseKey(key);
                }
            }
        }
    }
    RegistrySettings& store() { return store_; }

  private:
    static constexpr const wchar_t* kKeys[] = {L"Path1", L"Path2", L"Path3", L"Interval"};
    RegistrySettings store_;
    std::vector<std::optional<std::wstring>> saved_;
};

struct Run {
    double toIdle;       // the load done, the message loop waiting
    double toFirstTick;  // the first tick's open of the state file
    SIZE_T workingSet;
    SIZE_T privateBytes;
    DWORD exitCode;
};

std::optional<Run> Once(const std::wstring& exe) {
    const HANDLE pipe =
        ::CreateNamedPipeW(L"\\\\.\\pipe\\State.SAH", PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                           PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot make the pipe: %lu\n", ::GetLastError());
        return std::nullopt;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::ConnectNamedPipe(pipe, &overlapped);

    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const LARGE_INTEGER start = Now();
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "cannot start %ls: %lu\n", exe.c_str(), ::GetLastError());
        return std::nullopt;
    }
    Run run{};
    ::WaitForInputIdle(process.hProcess, 30000);
    run.toIdle = Seconds(start, Now());
    const DWORD waited = ::WaitForSingleObject(overlapped.hEvent, 30000);
    run.toFirstTick = Seconds(start, Now());
    if (waited != WAIT_OBJECT_0) {
        std::fprintf(stderr, "no tick within 30 s\n");
        ::TerminateProcess(process.hProcess, 1);
        return std::nullopt;
    }
    // A few ticks more, then what the running meter holds.
    ::Sleep(3000);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    run.workingSet = memory.WorkingSetSize;
    run.privateBytes = memory.PagefileUsage;

    // Ends it as a user does, with "Exit" from its menu.
    if (const HWND meter = vantorel::bench::FindProcessWindow(process.dwProcessId, L"Vantorel")) {
        ::PostMessageW(meter, WM_COMMAND, PopupMenu::kExitId, 0);
    }
    if (::WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the meter did not end on Exit\n");
        ::TerminateProcess(process.hProcess, 1);
    }
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(overlapped.hEvent);
    ::CloseHandle(pipe);
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench PATH\\TO\\Vantorel.exe [runs]\n");
        return 2;
    }
    const std::string exeNarrow = argv[1];
    const std::wstring exe(exeNarrow.begin(), exeNarrow.end());
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    SavedSettings settings;
    settings.store().Write(L"Path1", L"\\\\.\\pipe");
    settings.store().Write(L"Path2", L"");
    settings.store().Write(L"Path3", L"");
    settings.store().Write(L"Interval", L"1");

    std::vector<double> idle, tick, workingSet, privateBytes;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Run> run = Once(exe);
        if (!run) {
            return 1;
        }
        std::printf(
            "run %d: load done %.3f s, first tick %.3f s, working set %llu KB, "
            "private %llu KB, exit code %lu\n",
            i + 1, run->toIdle, run->toFirstTick,
            static_cast<unsigned long long>(run->workingSet / 1024),
            static_cast<unsigned long long>(run->privateBytes / 1024), run->exitCode);
        idle.push_back(run->toIdle);
        tick.push_back(run->toFirstTick);
        workingSet.push_back(static_cast<double>(run->workingSet));
        privateBytes.push_back(static_cast<double>(run->privateBytes));
        ok = ok && run->exitCode == 0;
    }
    std::printf(
        "median of %d: start to load done %.3f s, start to first tick %.3f s "
        "(the period is 1 s), working set %.0f KB, private bytes %.0f KB\n",
        runs, Median(idle), Median(tick), Median(workingSet) / 1024, Median(privateBytes) / 1024);
    return ok ? 0 : 1;
}
