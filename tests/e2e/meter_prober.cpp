// Watches a running Vantorel.exe from outside, in the same desktop.
//   meter_prober answers SECONDS  sends WM_NULL to each of the meter's top-level windows every
//                                 100 ms; a window that has not answered within 100 ms, or a
//                                 round that finds none, is a failure. Exit code 1 on any.
//   meter_prober threads          prints how many threads the meter's process has.
//   meter_prober type ID TEXT     puts TEXT into the field of the options window with that
//                                 command id, as typing it there would.
//   meter_prober press ID         clicks the options window's button with that command id.
// Exit code 2 when no meter shows up within 30 s.

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kMeterClass[] = L"VantorelWindow";
constexpr UINT kAnswerMs = 100;
constexpr DWORD kRoundMs = 100;
constexpr int kFailuresShown = 10;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

BOOL CALLBACK FindMeter(HWND hwnd, LPARAM param) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
    if (std::wcscmp(name, kMeterClass) != 0) {
        return TRUE;
    }
    ::GetWindowThreadProcessId(hwnd, reinterpret_cast<DWORD*>(param));
    return FALSE;
}

DWORD WaitForMeter() {
    for (int i = 0; i < 300; ++i) {
        DWORD pid = 0;
        ::EnumWindows(FindMeter, reinterpret_cast<LPARAM>(&pid));
        if (pid != 0) {
            return pid;
        }
        ::Sleep(kRoundMs);
    }
    return 0;
}

struct ProcessWindows {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindows(HWND hwnd, LPARAM param) {
    auto* found = reinterpret_cast<ProcessWindows*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == found->pid) {
        found->windows.push_back(hwnd);
    }
    return TRUE;
}

int ProbeAnswers(DWORD pid, double seconds) {
    const LARGE_INTEGER start = Now();
    long probes = 0;
    long failures = 0;
    double slowest = 0.0;
    double slowestAt = 0.0;
    std::size_t mostWindows = 0;
    while (Milliseconds(start, Now()) < seconds * 1000.0) {
        const LARGE_INTEGER round = Now();
        // Afresh every round: the menu and the options window come and go.
        ProcessWindows found{pid, {}};
        ::EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&found));
        mostWindows = std::max(mostWindows, found.windows.size());
        if (found.windows.empty()) {
            if (++failures <= kFailuresShown) {
                std::printf("no window of the meter at %.0f ms\n", Milliseconds(start, round));
            }
        }
        for (HWND hwnd : found.windows) {
            DWORD_PTR result = 0;
            const LARGE_INTEGER sent = Now();
            const LRESULT answered =
                ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &result);
            const double took = Milliseconds(sent, Now());
            ++probes;
            if (answered == 0) {
                if (++failures <= kFailuresShown) {
                    std::printf("no answer from window %p at %.0f ms after %.1f ms (error %lu)\n",
                                static_cast<void*>(hwnd), Milliseconds(start, sent), took,
                                ::GetLastError());
                }
            } else if (took > slowest) {
                slowest = took;
                slowestAt = Milliseconds(start, sent);
            }
        }
        const double spent = Milliseconds(round, Now());
        if (spent < kRoundMs) {
            ::Sleep(kRoundMs - static_cast<DWORD>(spent));
        }
    }
    std::printf("windows: %zu, probes: %ld, failures: %ld, slowest answer: %.1f ms at %.0f ms\n",
                mostWindows, probes, failures, slowest, slowestAt);
    return failures == 0 && probes > 0 ? 0 : 1;
}

int CountThreads(DWORD pid) {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::printf("no thread snapshot (error %lu)\n", ::GetLastError());
        return 1;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int threads = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid) {
            ++threads;
        }
    }
    ::CloseHandle(snapshot);
    std::printf("threads: %d\n", threads);
    return threads > 0 ? 0 : 1;
}

// The control of the meter's options window with the command id: the options window is the
// meter's window that has controls, shown or not.
HWND FindControl(DWORD pid, int id) {
    ProcessWindows found{pid, {}};
    ::EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&found));
    for (HWND hwnd : found.windows) {
        if (const HWND control = ::GetDlgItem(hwnd, id)) {
            return control;
        }
    }
    return nullptr;
}

int Type(DWORD pid, int id, const char* text) {
    const HWND field = FindControl(pid, id);
    const std::wstring wide(text, text + std::strlen(text));
    DWORD_PTR result = 0;
    if (field == nullptr ||
        ::SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                              SMTO_ABORTIFHUNG, 1000, &result) == 0) {
        std::printf("could not type into control %d\n", id);
        return 1;
    }
    return 0;
}

int Press(DWORD pid, int id) {
    const HWND button = FindControl(pid, id);
    DWORD_PTR result = 0;
    if (button == nullptr ||
        ::SendMessageTimeoutW(::GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(button), SMTO_ABORTIFHUNG, 1000,
                              &result) == 0) {
        std::printf("could not press control %d\n", id);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    const bool answers = argc == 3 && verb == "answers";
    const bool threads = argc == 2 && verb == "threads";
    const bool type = argc == 4 && verb == "type";
    const bool press = argc == 3 && verb == "press";
    if (!answers && !threads && !type && !press) {
        std::fputs("usage: meter_prober answers SECONDS | threads | type ID TEXT | press ID\n",
                   stderr);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const DWORD pid = WaitForMeter();
    if (pid == 0) {
        std::puts("no meter window found");
        return 2;
    }
    if (type) {
        return Type(pid, std::atoi(argv[2]), argv[3]);
    }
    if (press) {
        return Press(pid, std::atoi(argv[2]));
    }
    return answers ? ProbeAnswers(pid, std::strtod(argv[2], nullptr)) : CountThreads(pid);
}
