#include "options/client_reader.h"

#include <utility>

namespace vantorel {

// What the reader and its reads share. A read still out when the reader goes keeps it alive.
struct ClientReader::Shared {
    explicit Shared(ProgressReader reader) : read(std::move(reader)) {}

    const ProgressReader read;
    // Each written by the window thread only while its client has no read out.
    ClientDirectories directories;

    SRWLOCK lock = SRWLOCK_INIT;
    // Under the lock:
    HWND window = nullptr;  // where the round's answer goes; none once the round is closed
    LPARAM round = 0;
    int awaited = 0;                                // reads the round still waits for
    std::array<bool, kClientCount> busy{};          // a read is out
    std::array<bool, kClientCount> counted{};       // ... and the round waits for it
    std::array<std::optional<double>, kClientCount> values;
};

namespace {

class Locked {
  public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    ~Locked() { ::ReleaseSRWLockExclusive(&lock_); }

  private:
    SRWLOCK& lock_;
};

}  // namespace

struct ClientReader::Job {
    std::shared_ptr<Shared> shared;
    std::size_t index;
};

ClientReader::ClientReader(const ProgressReader& read) : shared_(std::make_shared<Shared>(read)) {}

ClientReader::~ClientReader() {
    Abandon();
    if (pool_ != nullptr) {
        // The pool goes once its reads have returned; nothing here waits for them.
        DestroyThreadpoolEnvironment(&environment_);
        ::CloseThreadpool(pool_);
    }
}

void CALLBACK ClientReader::Run(PTP_CALLBACK_INSTANCE, void* context) {
    const std::unique_ptr<Job> job(static_cast<Job*>(context));
    Shared& shared = *job->shared;
    const std::size_t i = job->index;
    // Nothing leaves a pool thread: the program is built without exceptions, and an error of
    // the library ends it here as on the window thread.
    const std::optional<double> value = shared.read(shared.directories[i]);
    const Locked locked(shared.lock);
    shared.values[i] = value;
    shared.busy[i] = false;
    // One message a round, from its last read: each message wakes the window thread.
    if (std::exchange(shared.counted[i], false) && --shared.awaited == 0 &&
        shared.window != nullptr) {
        ::PostMessageW(shared.window, WMAPP_CLIENTREAD, 0, shared.round);
    }
}

void ClientReader::Begin(HWND window, const ClientDirectories& directories) {
    round_ = Round{directories, {}};
    asked_ = {};
    open_ = true;
    const std::size_t reads = ClientsToRead(directories);
    std::array<bool, kClientCount> submit{};
    {
        const Locked locked(shared_->lock);
        shared_->window = window;
        shared_->round = static_cast<LPARAM>(++serial_);
        for (std::size_t i = 0; i < reads; ++i) {
            if (shared_->busy[i] && shared_->directories[i] != directories[i]) {
                continue;  // still reading another folder: no value this round
            }
            if (!shared_->busy[i]) {
                shared_->directories[i] = directories[i];
                shared_->busy[i] = submit[i] = true;
            }
            shared_->counted[i] = asked_[i] = true;
            ++shared_->awaited;
        }
    }
    // Submitted once the round is whole, so a quick read cannot end it early.
    for (std::size_t i = 0; i < reads; ++i) {
        if (submit[i] && !Submit(i)) {
            const Locked locked(shared_->lock);
            shared_->busy[i] = false;
            if (std::exchange(shared_->counted[i], false)) {
                --shared_->awaited;
            }
        }
    }
}

bool ClientReader::Submit(std::size_t index) {
    if (pool_ == nullptr) {
        pool_ = ::CreateThreadpool(nullptr);
        if (pool_ == nullptr) {
            return false;
        }
        // Threads that stay: a busy meter neither makes nor ends one per read.
        ::SetThreadpoolThreadMaximum(pool_, kClientCount);
        ::SetThreadpoolThreadMinimum(pool_, kClientCount);
        InitializeThreadpoolEnvironment(&environment_);
        SetThreadpoolCallbackPool(&environment_, pool_);
    }
    auto job = std::make_unique<Job>(Job{shared_, index});
    if (!::TrySubmitThreadpoolCallback(Run, job.get(), &environment_)) {
        return false;
    }
    // The read owns it now and lets it go when it returns.
    static_cast<void>(job.release());
    return true;
}

bool ClientReader::Answer(LPARAM lParam) const {
    return open_ && lParam == static_cast<LPARAM>(serial_);
}

bool ClientReader::Answered() const {
    const Locked locked(shared_->lock);
    return shared_->awaited == 0;
}

ClientReader::Round ClientReader::Take() {
    {
        const Locked locked(shared_->lock);
        for (std::size_t i = 0; i < kClientCount; ++i) {
            // A read still out counts as no value.
            if (asked_[i] && !shared_->counted[i]) {
                round_.values[i] = shared_->values[i];
            }
        }
    }
    Abandon();
    return std::exchange(round_, Round{});
}

void ClientReader::Abandon() {
    open_ = false;
    asked_ = {};
    const Locked locked(shared_->lock);
    shared_->window = nullptr;
    shared_->counted = {};
    shared_->awaited = 0;
}

}  // namespace vantorel
