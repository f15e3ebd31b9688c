// Watches a running Vantorel.exe from outside, in the same desktop.
//   meter_prober answers SECONDS  sends WM_NULL to each of the meter's top-level windows every
//                                 100 ms; a window that has not answered within 100 ms, or a
//                                 round that finds none, is a failure. Exit code 1 on any.
//   meter_prober threads          prints how many threads the meter's process has.
//   meter_prober type ID TEXT     puts TEXT into the field of the options window with that
//                                 command id, as typing it there would.
//   meter_prober press ID         clicks the options window's button with that command id.
//   meter_prober where ID         prints the screen point "X Y" at the middle of the options
//                                 window's control with that command id, for a real click.
//   meter_prober module NAME      prints the path the meter loaded the DLL NAME from; exit
//                                 code 1 when it has not loaded it.
//   meter_prober focus            prints the meter's active window and keyboard focus, as
//                                 another program sees them (GetGUIThreadInfo).
//   meter_prober errormode        prints the meter's error mode, read by a thread that runs
//                                 GetErrorMode inside the meter's process.
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

struct Meter {
    DWORD pid = 0;
    DWORD thread = 0;  // its window thread
};

BOOL CALLBACK FindMeter(HWND hwnd, LPARAM param) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
    if (std::wcscmp(name, kMeterClass) != 0) {
        return TRUE;
    }
    auto* meter = reinterpret_cast<Meter*>(param);
    meter->thread = ::GetWindowThreadProcessId(hwnd, &meter->pid);
    return FALSE;
}

Meter WaitForMeter() {
    for (int i = 0; i < 300; ++i) {
        Meter meter;
        ::EnumWindows(FindMeter, reinterpret_cast<LPARAM>(&meter));
        if (meter.pid != 0) {
            return meter;
        }
        ::Sleep(kRoundMs);
    }
    return {};
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

int PrintWhere(DWORD pid, int id) {
    const HWND control = FindControl(pid, id);
    RECT box{};
    if (control == nullptr || !::GetWindowRect(control, &box)) {
        std::printf("no control %d\n", id);
        return 1;
    }
    std::printf("%ld %ld\n", (box.left + box.right) / 2, (box.top + box.bottom) / 2);
    return 0;
}

// The meter's modules, from a snapshot of its process.
std::vector<MODULEENTRY32W> Modules(DWORD pid) {
    std::vector<MODULEENTRY32W> modules;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::printf("no module snapshot (error %lu)\n", ::GetLastError());
        return modules;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32FirstW(snapshot, &entry); more;
         more = ::Module32NextW(snapshot, &entry)) {
        modules.push_back(entry);
    }
    ::CloseHandle(snapshot);
    return modules;
}

int PrintModule(DWORD pid, const char* name) {
    wchar_t wanted[MAX_MODULE_NAME32 + 1] = {};
    std::mbstowcs(wanted, name, MAX_MODULE_NAME32);
    for (const MODULEENTRY32W& module : Modules(pid)) {
        if (::lstrcmpiW(module.szModule, wanted) == 0) {
            std::printf("%ls\n", module.szExePath);
            return 0;
        }
    }
    std::printf("%s is not loaded\n", name);
    return 1;
}

// "none", or the window's class, caption and whether its top-level window is shown.
void Describe(const char* what, HWND hwnd) {
    if (hwnd == nullptr) {
        std::printf("%s: none\n", what);
        return;
    }
    wchar_t name[64] = {};
    wchar_t caption[64] = {};
    ::GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
    const HWND root = ::GetAncestor(hwnd, GA_ROOT);
    ::GetWindowTextW(root, caption, static_cast<int>(std::size(caption)));
    std::printf("%s: %ls in \"%ls\", %s\n", what, name, caption,
                ::IsWindowVisible(root) ? "shown" : "hidden");
}

int PrintFocus(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(thread, &info)) {
        std::printf("no thread information (error %lu)\n", ::GetLastError());
        return 1;
    }
    Describe("foreground", ::GetForegroundWindow());
    Describe("active", info.hwndActive);
    Describe("focus", info.hwndFocus);
    return 0;
}

int PrintErrorMode(DWORD pid) {
    // GetErrorMode runs in the meter: its address there is its offset in the module that holds
    // it here, from that module's base there.
    const auto local = reinterpret_cast<const BYTE*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetErrorMode"));
    HMODULE holder = nullptr;
    wchar_t holderName[MAX_PATH] = {};
    if (local == nullptr ||
        !::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(local), &holder) ||
        ::GetModuleFileNameW(holder, holderName, MAX_PATH) == 0) {
        std::puts("GetErrorMode not found here");
        return 1;
    }
    const wchar_t* base = std::wcsrchr(holderName, L'\\');
    base = base != nullptr ? base + 1 : holderName;
    const BYTE* remote = nullptr;
    for (const MODULEENTRY32W& module : Modules(pid)) {
        if (::lstrcmpiW(module.szModule, base) == 0) {
            remote = module.modBaseAddr + (local - reinterpret_cast<const BYTE*>(holder));
        }
    }
    if (remote == nullptr) {
        std::printf("%ls is not loaded in the meter\n", base);
        return 1;
    }
    const HANDLE process =
        ::OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                          PROCESS_VM_READ | PROCESS_VM_WRITE,
                      FALSE, pid);
    const HANDLE thread =
        process != nullptr
            ? ::CreateRemoteThread(process, nullptr, 0,
                                   reinterpret_cast<LPTHREAD_START_ROUTINE>(
                                       reinterpret_cast<void (*)()>(const_cast<BYTE*>(remote))),
                                   nullptr, 0, nullptr)
            : nullptr;
    DWORD mode = 0;
    const bool read = thread != nullptr && ::WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 &&
                      ::GetExitCodeThread(thread, &mode);
    if (!read) {
        std::printf("could not run GetErrorMode in the meter (error %lu)\n", ::GetLastError());
    } else {
        std::printf("error mode: 0x%lx\n", mode);
    }
    if (thread != nullptr) {
        ::CloseHandle(thread);
    }
    if (process != nullptr) {
        ::CloseHandle(process);
    }
    return read ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc >= 2 ? argv[1] : "";
    const bool known =
        (argc == 3 &&
         (verb == "answers" || verb == "module" || verb == "press" || verb == "where")) ||
        (argc == 2 && (verb == "threads" || verb == "focus" || verb == "errormode")) ||
        (argc == 4 && verb == "type");
    if (!known) {
        std::fputs(
            "usage: meter_prober answers SECONDS | threads | module NAME | focus | "
            "errormode | type ID TEXT | press ID | where ID\n",
            stderr);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const Meter meter = WaitForMeter();
    if (meter.pid == 0) {
        std::puts("no meter window found");
        return 2;
    }
    if (verb == "type") {
        return Type(meter.pid, std::atoi(argv[2]), argv[3]);
    }
    if (verb == "press") {
        return Press(meter.pid, std::atoi(argv[2]));
    }
    if (verb == "where") {
        return PrintWhere(meter.pid, std::atoi(argv[2]));
    }
    if (verb == "answers") {
        return ProbeAnswers(meter.pid, std::strtod(argv[2], nullptr));
    }
    if (verb == "module") {
        return PrintModule(meter.pid, argv[2]);
    }
    if (verb == "focus") {
        return PrintFocus(meter.thread);
    }
    return verb == "errormode" ? PrintErrorMode(meter.pid) : CountThreads(meter.pid);
}
