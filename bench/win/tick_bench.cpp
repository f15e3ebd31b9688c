// The cost of a whole tick of the meter under Windows (or Wine): the timer message, the poll
// of three 2 KB state files, the menu lines and the shell call (recorded), against the bare
// CreateFile, ReadFile and CloseHandle of the same three files in the same run.
// Usage: tick_bench [ticks]

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "bench/win/meter_rig.h"

namespace {

using namespace vantorel::bench;

// The median over rounds of the mean time per call within a round, in nanoseconds.
template <typename Action>
double MedianNs(int rounds, int perRound, Action action) {
    std::vector<double> means;
    for (int round = 0; round < rounds; ++round) {
        const LARGE_INTEGER start = Now();
        for (int i = 0; i < perRound; ++i) {
            action();
        }
        means.push_back(Seconds(start, Now()) * 1e9 / perRound);
    }
    std::sort(means.begin(), means.end());
    return means[means.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    const int rounds = 10;
    const int perRound = ticks / rounds;

    Clients clients;
    Meter meter(clients);
    static char buffer[64 * 1024];
    const auto raw = [&] {
        for (std::size_t i = 0; i < 3; ++i) {
            const HANDLE file =
                ::CreateFileW(clients.file(i).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD got = 0;
            ::ReadFile(file, buffer, sizeof buffer, &got, nullptr);
            ::CloseHandle(file);
        }
    };
    const auto tick = [&] { meter.Tick(); };

    // Warm both up, then take them in turns so that neither gets the quieter moments.
    MedianNs(1, perRound, raw);
    MedianNs(1, perRound, tick);
    const double rawNs = MedianNs(rounds, perRound, raw);
    const double tickNs = MedianNs(rounds, perRound, tick);
    const double rawAgainNs = MedianNs(rounds, perRound, raw);
    const double baseline = std::min(rawNs, rawAgainNs);

    std::printf("ticks per round %d, rounds %d\n", perRound, rounds);
    std::printf("raw open-read-close x3: %.0f ns\n", baseline);
    std::printf("whole tick:             %.0f ns\n", tickNs);
    std::printf("tick / raw: %.3fx\n", tickNs / baseline);
    std::printf("tip after the run: \"%s\"\n", meter.shell().last.szTip);
    return meter.shell().calls > 0 ? 0 : 1;
}
