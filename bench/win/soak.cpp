// A long run of the meter in this process: ticks over three state files that keep changing,
// with the handles, the GDI and USER objects and the private bytes taken after the first
// thousand ticks and again at the end. Fails when anything grew or more than seven icons were
// shown. Usage: soak [ticks] [--real-shell]
// With --real-shell the icon goes to the notification area too, and the meter stays, icon and
// all, until the input ends, so the caller can look at it (tests/e2e/shell_soak.sh).

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bench/win/meter_rig.h"
#include "tests/support/handle_probe.h"

namespace {

using namespace vantorel::bench;

// Memory may move by a few pages as the heap settles; a leak of even a byte per tick over
// 100,000 ticks would be far beyond this.
constexpr long long kMemoryNoiseBytes = 64LL * 1024;

struct Sample {
    vantorel::testing_support::HandleProbe next;
    vantorel::testing_support::HandlesInUse inUse;
    DWORD gdiObjects;
    DWORD userObjects;
    DWORD handles;
    long long privateBytes;
    long long workingSet;
    int threads;
};

int CountThreads() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
    }
    ::CloseHandle(snapshot);
    return count;
}

long long PrivateBytes() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    // PagefileUsage is the private commit; PrivateUsage says the same on Windows but is
    // not filled in by Wine.
    return static_cast<long long>(memory.PagefileUsage);
}

DWORD WINAPI WaitForEvent(void* event) {
    return ::WaitForSingleObject(event, INFINITE);
}

// What one more thread commits (under Wine about a megabyte).
long long ThreadCommit() {
    const HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const long long before = PrivateBytes();
    const HANDLE thread = ::CreateThread(nullptr, 0, WaitForEvent, stop, 0, nullptr);
    ::Sleep(50);
    const long long commit = PrivateBytes() - before;
    ::SetEvent(stop);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    ::CloseHandle(stop);
    return commit;
}

Sample Take() {
    Sample sample{};
    sample.next = vantorel::testing_support::ProbeHandles();
    sample.inUse = vantorel::testing_support::CountHandlesInUse();
    sample.gdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    sample.userObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    ::GetProcessHandleCount(::GetCurrentProcess(), &sample.handles);
    sample.privateBytes = PrivateBytes();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    sample.workingSet = static_cast<long long>(memory.WorkingSetSize);
    sample.threads = CountThreads();
    return sample;
}

void Print(const char* when, const Sample& s) {
    std::printf(
        "%-22s private %8lld B  working set %8lld B  GDI %lu  USER %lu  handles %lu  "
        "next slots %llx/%llx/%llx  in use %llx/%llx/%llx  threads %d\n",
        when, s.privateBytes, s.workingSet, s.gdiObjects, s.userObjects, s.handles,
        static_cast<unsigned long long>(s.next.kernel), static_cast<unsigned long long>(s.next.gdi),
        static_cast<unsigned long long>(s.next.user),
        static_cast<unsigned long long>(s.inUse.kernel),
        static_cast<unsigned long long>(s.inUse.gdi), static_cast<unsigned long long>(s.inUse.user),
        s.threads);
}

}  // namespace

int main(int argc, char** argv) {
    const long ticks = argc > 1 ? std::max(2000L, std::atol(argv[1])) : 100000L;
    Clients clients;
    const long long threadCommit = ThreadCommit();
    const bool realShell = argc > 2 && std::string_view(argv[2]) == "--real-shell";
    Meter meter(clients, realShell);

    const auto change = [&](long tick) {
        // Each client walks from 0 to 1 and rests there a while, a little behind the one
        // before it, so the average passes every picture, full red included.
        constexpr long kPeriod = 8000;
        constexpr long kRest = 1000;
        for (std::size_t i = 0; i < 3; ++i) {
            const long at = (tick + kPeriod - 200 * static_cast<long>(i)) % kPeriod;
            clients.Write(i, std::min(1.0, static_cast<double>(at) / (kPeriod - kRest)));
        }
    };

    Sample first{};
    const LARGE_INTEGER start = Now();
    for (long tick = 0; tick < ticks; ++tick) {
        if (tick % 100 == 0) {
            change(tick);
        }
        meter.Tick();
        if (tick + 1 == 1000) {
            first = Take();
        }
    }
    const double seconds = Seconds(start, Now());
    const Sample last = Take();

    std::printf("%ld ticks in %.1f s (%.0f us a tick)\n", ticks, seconds, seconds * 1e6 / ticks);
    Print("after 1,000 ticks:", first);
    Print("at the end:", last);
    std::printf("distinct icons shown: %zu\n", meter.shell().icons.size());

    bool ok = true;
    const auto check = [&](bool held, const char* what) {
        if (!held) {
            std::printf("FAIL: %s\n", what);
            ok = false;
        }
    };
    check(meter.shell().icons.size() <= 7, "at most seven icons");
    check(meter.shell().icons.size() == 7, "every picture came up");
    check(last.gdiObjects == first.gdiObjects, "GDI objects unchanged");
    check(last.userObjects == first.userObjects, "USER objects unchanged");
    check(last.handles == first.handles, "handle count unchanged");
    if (realShell) {
        // Every call hands the icon's bitmaps through GDI objects of our own, made and freed in
        // another order each time: counted, not probed. The desktop's explorer makes and frees
        // an icon, a USER object, at every call, and the USER table is shared: the slot moves,
        // but a leak of ours would push it up.
        check(last.inUse.kernel == first.inUse.kernel && last.inUse.gdi == first.inUse.gdi,
              "no kernel or GDI handle leaked");
        check(last.next.user <= first.next.user + 64, "no USER handle leaked");
    } else {
        check(last.next == first.next, "no kernel, GDI or USER handle leaked");
    }
    // Each client reads on a thread of its own, made at its first tick: no tick makes another.
    check(last.threads == first.threads, "the threads of the first thousand ticks, no more");
    check(last.privateBytes - first.privateBytes <= kMemoryNoiseBytes,
          "private bytes within 64 KiB of the first thousand ticks'");
    std::printf("private bytes grew by %lld B (%lld B a thread)\n",
                last.privateBytes - first.privateBytes, threadCommit);
    std::printf(ok ? "soak passed\n" : "soak FAILED\n");
    if (realShell) {
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
    }
    return ok ? 0 : 1;
}
