// The cost of one poll over three real 2 KB state files, against the bare open, read and
// close of the same files in the same run. Prints the ratio at the end.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/poll.h"
#include "core/state_file.h"

namespace {

namespace fs = std::filesystem;

class Clients {
  public:
    Clients()
        : root_(fs::temp_directory_path() / ("vantorel-bench-" + std::to_string(::getpid()))) {
        const char* progress[] = {"0.475937", "0.851234", "0.123456"};
        for (std::size_t i = 0; i < vantorel::kClientCount; ++i) {
            const fs::path dir = root_ / ("client" + std::to_string(i + 1));
            fs::create_directories(dir);
            std::string text = "ncfft=118733\ncr=-1.274413e-02\nfl=65536\ncpu=18245.531250\nprog=";
            text += progress[i];
            text += "\npotfreq=29311\noutfilepos=47190\n";
            while (text.size() < 2048) {
                text += "bg_power=1.234567e+00\n";
            }
            text.resize(2047);
            text += '\n';
            std::ofstream(dir / "State.SAH", std::ios::binary) << text;
            dirs_[i] = dir.native();
            files_[i] = vantorel::StateFilePath(dirs_[i]);
        }
    }
    Clients(const Clients&) = delete;
    Clients& operator=(const Clients&) = delete;
    ~Clients() { fs::remove_all(root_); }

    const vantorel::ClientDirectories& dirs() const { return dirs_; }
    const std::array<std::string, vantorel::kClientCount>& files() const { return files_; }

  private:
    fs::path root_;
    vantorel::ClientDirectories dirs_;
    std::array<std::string, vantorel::kClientCount> files_;
};

const Clients& TheClients() {
    static const Clients clients;
    return clients;
}

void BM_PollClients(benchmark::State& state) {
    const Clients& clients = TheClients();
    const vantorel::NumberLocale locale;
    for (auto _ : state) {
        vantorel::PollResult result = vantorel::PollClients(clients.dirs(), locale);
        benchmark::DoNotOptimize(result);
    }
}

void BM_RawOpenReadClose(benchmark::State& state) {
    const Clients& clients = TheClients();
    static std::array<char, vantorel::kStateReadLimit> buffer;
    for (auto _ : state) {
        for (const std::string& file : clients.files()) {
            const int fd = ::open(file.c_str(), O_RDONLY);
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            ::close(fd);
            benchmark::DoNotOptimize(got);
        }
        benchmark::ClobberMemory();
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto poll = times_.find("BM_PollClients");
        const auto raw = times_.find("BM_RawOpenReadClose");
        if (poll != times_.end() && raw != times_.end() && raw->second > 0) {
            std::printf("PollClients / raw open-read-close: %.3fx (%.0f ns / %.0f ns)\n",
                        poll->second / raw->second, poll->second, raw->second);
        }
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

BENCHMARK(BM_RawOpenReadClose)->Repetitions(1);
BENCHMARK(BM_PollClients)->Repetitions(1);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
