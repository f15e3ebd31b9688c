// The meter against the floor (bench/baseline): both started in turn in one Wine desktop, left
// to tick together, then measured and ended; the order alternates from round to round. Run
// it inside the desktop whose notification area should show the icons, with the settings
// (Path1 to Path3, Interval 1) already stored: both programs read the same three files.
// Usage: floor_bench METER.exe FLOOR.exe [rounds] [seconds]
//
// - Start to icon: from CreateProcess until the notification area holds one icon more, in
//   each round and in twice as many start-and-stop rounds after them. Wine's explorer makes
//   a tooltip window for each icon it takes, owned by its tray window; the count of those is
//   the number of icons, read without disturbing either program.
// - CPU per tick: the time on the CPU of all the process's threads over the seconds both ran,
//   divided by those seconds (both tick once a second).
// - Private bytes (PagefileUsage: Wine leaves PrivateUsage at 0) and working set at the end.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/win/clock.h"
#include "bench/win/process_window.h"
#include "tray/popup_menu.h"

namespace {

using vantorel::bench::Now;
using vantorel::bench::Seconds;

struct Program {
    const char* name;
    std::wstring exe;
};

struct Figures {
    double toIcon = 0;      // seconds
    double cpuPerTick = 0;  // milliseconds
    double privateKb = 0;
    double workingSetKb = 0;
};

// Nanoseconds on the CPU of each thread of a process, by thread.
using ThreadTimes = std::map<std::wstring, unsigned long long>;

struct Running {
    PROCESS_INFORMATION process{};
    LARGE_INTEGER started{};
    std::wstring unixProcess;
    double cpuAtWindowMs = 0;
    ThreadTimes threads;
    Figures figures;
};

int TrayIcons() {
    const HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    int count = 0;
    HWND tip = nullptr;
    while ((tip = ::FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) != nullptr) {
        count += tray != nullptr && ::GetWindow(tip, GW_OWNER) == tray ? 1 : 0;
    }
    return count;
}

std::string ReadText(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    char text[256];
    DWORD got = 0;
    const BOOL read = ::ReadFile(file, text, sizeof text, &got, nullptr);
    ::CloseHandle(file);
    return read ? std::string(text, got) : std::string();
}

// Under Wine each program is a Linux process, whose threads' time on the CPU Linux counts in
// nanoseconds (/proc/N/task/T/schedstat, read through drive Z:); Wine's own answer for
// another process is 0 and Linux's tick count moves in 10 ms steps, too coarse for a tick.
// The process is the one named as the program's file that was not there before the start:
// the one before it may still be on its way out.
std::set<std::wstring> UnixProcesses(const std::wstring& exe) {
    std::string name(exe.begin() + static_cast<std::ptrdiff_t>(exe.rfind(L'\\') + 1), exe.end());
    // Linux keeps the first 15 characters of a name: "floor_readers.e".
    name.resize(std::min<std::size_t>(name.size(), 15));
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &found);
    std::set<std::wstring> matches;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
        if (found.cFileName[0] < L'1' || found.cFileName[0] > L'9' ||
            ReadText(dir + L"\\comm") != name + "\n") {
            continue;
        }
        // Earlier runs can linger as zombies where nothing reaps them: "N (name) Z ...".
        const std::string stat = ReadText(dir + L"\\stat");
        const std::size_t state = stat.rfind(") ");
        if (state != std::string::npos && stat.size() > state + 2 && stat[state + 2] != 'Z') {
            matches.insert(dir);
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
    return matches;
}

// Adds the time on the CPU of each thread of the process; a thread that has ended keeps the
// last time seen, so the caller looks often.
void AddThreadTimes(const std::wstring& process, ThreadTimes& times) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((process + L"\\task\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
        if (found.cFileName[0] != L'.') {
            const std::string stat =
                ReadText(process + L"\\task\\" + found.cFileName + L"\\schedstat");
            if (!stat.empty()) {
                times[found.cFileName] = std::strtoull(stat.c_str(), nullptr, 10);
            }
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
}

double TotalMs(const ThreadTimes& times) {
    unsigned long long total = 0;
    for (const auto& [thread, ns] : times) {
        total += ns;
    }
    return static_cast<double>(total) / 1e6;
}

bool Start(const Program& program, Running& run) {
    const int before = TrayIcons();
    const std::set<std::wstring> earlier = UnixProcesses(program.exe);
    std::wstring command = L"\"" + program.exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    run.started = Now();
    if (!::CreateProcessW(program.exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &run.process)) {
        std::fprintf(stderr, "cannot start %ls: %lu\n", program.exe.c_str(), ::GetLastError());
        return false;
    }
    while (TrayIcons() <= before) {
        if (Seconds(run.started, Now()) > 30) {
            std::fprintf(stderr, "%s: no icon within 30 s\n", program.name);
            return false;
        }
        ::Sleep(1);
    }
    run.figures.toIcon = Seconds(run.started, Now());
    for (const std::wstring& process : UnixProcesses(program.exe)) {
        if (earlier.count(process) == 0) {
            run.unixProcess = process;
        }
    }
    if (run.unixProcess.empty()) {
        std::fprintf(stderr, "%s: its Linux process is not in Z:\\proc\n", program.name);
        return false;
    }
    return true;
}

// Ends it as a user would: "Exit" from the meter's menu, closing the floor's window. Known by
// its window, either program can stand on either side (two builds of the meter, say).
bool Stop(const Program& program, Running& run) {
    const DWORD pid = run.process.dwProcessId;
    if (const HWND meter = vantorel::bench::FindProcessWindow(pid, L"Vantorel")) {
        ::PostMessageW(meter, WM_COMMAND, vantorel::PopupMenu::kExitId, 0);
    } else if (const HWND floor = vantorel::bench::FindProcessWindow(pid, L"VantorelFloor")) {
        ::PostMessageW(floor, WM_CLOSE, 0, 0);
    }
    const bool ended = ::WaitForSingleObject(run.process.hProcess, 10000) == WAIT_OBJECT_0;
    if (!ended) {
        std::fprintf(stderr, "%s did not end when asked\n", program.name);
        ::TerminateProcess(run.process.hProcess, 1);
    }
    ::CloseHandle(run.process.hThread);
    ::CloseHandle(run.process.hProcess);
    return ended;
}

void Measure(Running& run, double seconds) {
    AddThreadTimes(run.unixProcess, run.threads);
    run.figures.cpuPerTick = (TotalMs(run.threads) - run.cpuAtWindowMs) / seconds;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(run.process.hProcess, &memory, sizeof memory);
    run.figures.privateKb = static_cast<double>(memory.PagefileUsage) / 1024;
    run.figures.workingSetKb = static_cast<double>(memory.WorkingSetSize) / 1024;
}

std::set<std::wstring> Modules(HANDLE process) {
    HMODULE modules[256];
    DWORD bytes = 0;
    std::set<std::wstring> names;
    if (::EnumProcessModules(process, modules, sizeof modules, &bytes)) {
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 256; ++i) {
            wchar_t name[MAX_PATH];
            if (::GetModuleBaseNameW(process, modules[i], name, MAX_PATH) > 0) {
                names.insert(name);
            }
        }
    }
    return names;
}

// Min, median and max of each side, and the ratio of the medians.
void Summarise(const char* figure, const char* unit, std::vector<double> floor,
               std::vector<double> meter) {
    std::sort(floor.begin(), floor.end());
    std::sort(meter.begin(), meter.end());
    const double f = floor[floor.size() / 2];
    const double m = meter[meter.size() / 2];
    std::printf(
        "%-14s %-2s %2zu x floor %8.3f %8.3f %8.3f   meter %8.3f %8.3f %8.3f   ratio %.2fx\n",
        figure, unit, floor.size(), floor.front(), f, floor.back(), meter.front(), m, meter.back(),
        f > 0 ? m / f : 0.0);
}

std::vector<double> Column(const std::vector<Figures>& rounds, double Figures::*field) {
    std::vector<double> values;
    values.reserve(rounds.size());
    for (const Figures& figures : rounds) {
        values.push_back(figures.*field);
    }
    return values;
}

std::wstring Wide(const char* text) {
    const std::string narrow(text);
    return {narrow.begin(), narrow.end()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: floor_bench METER.exe FLOOR.exe [rounds] [seconds]\n");
        return 2;
    }
    const Program programs[2] = {{"floor", Wide(argv[2])}, {"meter", Wide(argv[1])}};
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const double seconds = argc > 4 ? std::max(2.0, std::atof(argv[4])) : 60.0;

    std::vector<Figures> results[2];
    bool ok = true;
    // The first start of each in a new desktop loads its DLLs from disk: not measured.
    for (const Program& program : programs) {
        Running warm;
        ok = ok && Start(program, warm) && Stop(program, warm);
    }
    for (int round = 0; round < rounds && ok; ++round) {
        // Floor first in even rounds, meter first in odd ones.
        const int order[2] = {round % 2, 1 - round % 2};
        Running runs[2];
        for (const int p : order) {
            ok = Start(programs[p], runs[p]) && ok;
        }
        if (!ok) {
            break;
        }
        const LARGE_INTEGER window = Now();
        for (Running& run : runs) {
            AddThreadTimes(run.unixProcess, run.threads);
            run.cpuAtWindowMs = TotalMs(run.threads);
        }
        // Thread times are looked at every 100 ms, so a worker that ends keeps its share.
        while (Seconds(window, Now()) < seconds) {
            ::Sleep(100);
            for (Running& run : runs) {
                AddThreadTimes(run.unixProcess, run.threads);
            }
        }
        const double measured = Seconds(window, Now());
        for (const int p : order) {
            Measure(runs[p], measured);
        }
        if (round == 0) {
            std::set<std::wstring> extra = Modules(runs[1].process.hProcess);
            for (const std::wstring& name : Modules(runs[0].process.hProcess)) {
                extra.erase(name);
            }
            std::printf("modules the meter loads and the floor does not:");
            for (const std::wstring& name : extra) {
                std::printf(" %ls", name.c_str());
            }
            std::printf("\n");
        }
        for (const int p : order) {
            ok = Stop(programs[p], runs[p]) && ok;
            const Figures& f = runs[p].figures;
            std::printf(
                "round %d %s: icon %.3f s, CPU %.3f ms a tick, private %.0f KB, working set "
                "%.0f KB\n",
                round + 1, programs[p].name, f.toIcon, f.cpuPerTick, f.privateKb, f.workingSetKb);
            results[p].push_back(f);
        }
    }
    // The start alone, more often: it moves most from run to run.
    std::vector<double> starts[2] = {Column(results[0], &Figures::toIcon),
                                     Column(results[1], &Figures::toIcon)};
    for (int i = 0; i < 2 * rounds && ok; ++i) {
        for (const int p : {i % 2, 1 - i % 2}) {
            Running run;
            ok = Start(programs[p], run) && Stop(programs[p], run) && ok;
            starts[p].push_back(run.figures.toIcon);
        }
    }
    if (!ok || results[0].empty()) {
        return 1;
    }
    std::printf("%d rounds of %.0f s, %d more starts; min, median and max, ratio of the medians:\n",
                static_cast<int>(results[0].size()), seconds, 2 * rounds);
    Summarise("start to icon", "s", starts[0], starts[1]);
    Summarise("CPU per tick", "ms", Column(results[0], &Figures::cpuPerTick),
              Column(results[1], &Figures::cpuPerTick));
    Summarise("private bytes", "KB", Column(results[0], &Figures::privateKb),
              Column(results[1], &Figures::privateKb));
    Summarise("working set", "KB", Column(results[0], &Figures::workingSetKb),
              Column(results[1], &Figures::workingSetKb));
    return 0;
}
