#include "options/client_reader.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vantorel {
namespace {

// One client, as the reader and its reads see it.
struct Client {
    // What its field held at the last tick it was read; empty when it was not read.
    PathString folder;
    // The last answer for `folder`: what the client shows.
    std::optional<double> last;
    // The open round waits for its read of `folder`.
    bool awaited = false;
    // Its read of `folder` waits for a thread: every read slot is taken.
    bool waiting = false;
};

// A read out: taken while `folder` is not empty.
struct Read {
    std::size_t client = 0;
    PathString folder;
    // The thread whose I/O it is while it reads; 0 before and after.
    DWORD thread = 0;
    // Its I/O was cancelled: whatever it answers is no answer.
    bool cancelled = false;
    // It runs on a pool that has been let go, which ends once its last read returns.
    bool retired = false;
};

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

// What the reader and its reads share, all of it under the lock but the reader itself. A read
// still out when the reader goes keeps it alive.
struct ClientReader::Shared {
    explicit Shared(ProgressReader reader) : read(std::move(reader)) {}

    // The window is told once the last read the round waits for has answered, or at once
    // when the round has been shown; one message at a time.
    void Answered(Client& client) {
        const bool wasAwaited = std::exchange(client.awaited, false);
        const bool tell = wasAwaited ? --awaited == 0 : !open;
        if (tell && !told && window != nullptr) {
            told = true;
            ::PostMessageW(window, WMAPP_CLIENTREAD, 0, showings);
        }
    }

    // The round waits for nothing more: its reads still out answer as late ones.
    void CloseRound() {
        open = false;
        awaited = 0;
        for (Client& client : clients) {
            client.awaited = false;
        }
    }

    // A read of the client's folder that is out and still counts.
    bool ReadOut(std::size_t client) const {
        return std::any_of(reads.begin(), reads.end(), [&](const Read& out) {
            return out.client == client && !out.cancelled && !out.folder.empty() &&
                   out.folder == clients[client].folder;
        });
    }

    // Gives the slot of a read that has ended to the first client whose read waits for one,
    // on the same thread; frees it otherwise.
    bool TakeWaiting(Read& slot) {
        const bool retired = slot.retired;
        slot = Read{};
        for (std::size_t i = 0; i < kClientCount && window != nullptr; ++i) {
            if (std::exchange(clients[i].waiting, false)) {
                slot = Read{i, clients[i].folder};
                slot.retired = retired;
                return true;
            }
        }
        return false;
    }

    const ProgressReader read;
    SRWLOCK lock = SRWLOCK_INIT;
    HWND window = nullptr;  // where answers go; none once the reader has gone
    bool open = false;      // a round is out and not shown yet
    int awaited = 0;        // reads the open round still waits for
    // Showings so far: a message sent before the latest showing brings nothing new.
    LPARAM showings = 0;
    bool told = false;  // a message is on its way since the latest showing
    std::array<Client, kClientCount> clients;
    std::array<Read, kMaxReadsOut> reads;
};

struct ClientReader::Job {
    std::shared_ptr<Shared> shared;
    std::size_t slot;
};

ClientReader::ClientReader(const ProgressReader& read, SubmitFunction submit, CancelFunction cancel)
    : shared_(std::make_shared<Shared>(read)), submit_(submit), cancel_(cancel) {}

ClientReader::~ClientReader() {
    Abandon();
    if (pool_ != nullptr) {
        // The pool goes once its reads have returned; nothing here waits for them.
        DestroyThreadpoolEnvironment(&environment_);
        ::CloseThreadpool(pool_);
    }
}

bool ClientReader::CancelThreadIo(DWORD thread) {
    const HANDLE handle = ::OpenThread(THREAD_TERMINATE, FALSE, thread);
    if (handle == nullptr) {
        return false;
    }
    const bool cancelled = ::CancelSynchronousIo(handle) != 0;
    ::CloseHandle(handle);
    return cancelled;
}

void CALLBACK ClientReader::Run(PTP_CALLBACK_INSTANCE, void* context) {
    const std::unique_ptr<Job> job(static_cast<Job*>(context));
    Shared& shared = *job->shared;
    Read& read = shared.reads[job->slot];
    // The thread reads on while a client waits for a slot: a new read never waits behind a
    // hung one for more than the first thread to come free.
    for (;;) {
        {
            const Locked locked(shared.lock);
            if (read.folder == shared.clients[read.client].folder) {
                read.thread = ::GetCurrentThreadId();
            } else {
                // Typed over before it began: it is not read at all.
                if (!shared.TakeWaiting(read)) {
                    return;
                }
                continue;
            }
        }
        // Read without the lock: only this thread changes a taken slot's folder. Nothing
        // leaves a pool thread: the program is built without exceptions, and an error of the
        // library ends it here as on the window thread.
        const std::optional<double> value = shared.read(read.folder);
        const Locked locked(shared.lock);
        Client& client = shared.clients[read.client];
        // Otherwise the field holds another folder now, and the answer goes.
        if (!read.cancelled && read.folder == client.folder) {
            client.last = value;
            shared.Answered(client);
        }
        if (!shared.TakeWaiting(read)) {
            return;
        }
    }
}

bool ClientReader::Begin(HWND window, const ClientDirectories& directories) {
    directories_ = directories;
    const std::size_t clients = ClientsToRead(directories);
    // The slot of each client's new read; kMaxReadsOut for none.
    std::array<std::size_t, kClientCount> starts;
    starts.fill(kMaxReadsOut);
    bool retire = false;
    int wanted = 0;
    {
        const Locked locked(shared_->lock);
        Shared& shared = *shared_;
        shared.window = window;
        shared.open = true;
        for (std::size_t i = 0; i < kClientCount; ++i) {
            Client& client = shared.clients[i];
            const PathString folder = i < clients ? directories[i] : PathString();
            if (client.folder != folder) {
                client.folder = folder;
                client.last.reset();
            }
            client.waiting = false;
            if (folder.empty()) {
                continue;
            }
            if (!shared.ReadOut(i)) {
                const auto free =
                    std::find_if(shared.reads.begin(), shared.reads.end(),
                                 [](const Read& read) { return read.folder.empty(); });
                if (free == shared.reads.end()) {
                    client.waiting = true;
                } else {
                    *free = Read{i, folder};
                    starts[i] = static_cast<std::size_t>(free - shared.reads.begin());
                }
            }
            client.awaited = true;
            ++shared.awaited;
        }
        int out = 0;
        int retired = 0;
        for (Read& read : shared.reads) {
            if (read.folder.empty()) {
                continue;
            }
            ++out;
            retired += read.retired ? 1 : 0;
            // Given back once: a read whose I/O was between two calls is tried at the next tick.
            if (read.thread != 0 && !read.cancelled &&
                read.folder != shared.clients[read.client].folder) {
                read.cancelled = cancel_(read.thread);
            }
        }
        // A thread for every read out and one per client at the least, counting the threads
        // that retired pools still run reads on. Under load a pool keeps the threads it grew
        // for reads that hung, even once they have returned: it is let go then, and a new one
        // takes over.
        const auto threads = [&] {
            return std::max(out - retired, static_cast<int>(kClientCount) - retired);
        };
        retire = pool_ != nullptr && threads_ > threads() && out <= static_cast<int>(kClientCount);
        if (retire) {
            for (std::size_t slot = 0; slot < kMaxReadsOut; ++slot) {
                Read& read = shared.reads[slot];
                if (!read.folder.empty() && !read.retired &&
                    std::find(starts.begin(), starts.end(), slot) == starts.end()) {
                    read.retired = true;
                    ++retired;
                }
            }
        }
        // No pool is made before there is something for it to read.
        wanted = (pool_ != nullptr && !retire) || out > retired ? threads() : 0;
    }
    KeepThreads(retire, wanted);
    // Started once the round is whole, so a quick read cannot end it early.
    for (std::size_t i = 0; i < kClientCount; ++i) {
        if (starts[i] < kMaxReadsOut && !StartRead(starts[i])) {
            // A read that could not start answers at once, with no value.
            const Locked locked(shared_->lock);
            shared_->reads[starts[i]] = Read{};
            Client& client = shared_->clients[i];
            client.last.reset();
            shared_->Answered(client);
        }
    }
    const Locked locked(shared_->lock);
    return shared_->awaited == 0;
}

void ClientReader::KeepThreads(bool retire, int wanted) {
    if (retire) {
        // It ends once the reads it still runs have returned; nothing here waits for them.
        DestroyThreadpoolEnvironment(&environment_);
        ::CloseThreadpool(pool_);
        pool_ = nullptr;
        threads_ = 0;
    }
    if (pool_ == nullptr && wanted > 0) {
        pool_ = ::CreateThreadpool(nullptr);
        if (pool_ == nullptr) {
            return;  // no read starts: each has no value
        }
        ::SetThreadpoolThreadMaximum(pool_, static_cast<DWORD>(kMaxReadsOut));
        InitializeThreadpoolEnvironment(&environment_);
        SetThreadpoolCallbackPool(&environment_, pool_);
    }
    if (pool_ != nullptr && wanted != threads_ &&
        ::SetThreadpoolThreadMinimum(pool_, static_cast<DWORD>(wanted))) {
        threads_ = wanted;
    }
}

bool ClientReader::StartRead(std::size_t slot) {
    if (pool_ == nullptr) {
        return false;
    }
    auto job = std::make_unique<Job>(Job{shared_, slot});
    if (!submit_(Run, job.get(), &environment_)) {
        return false;
    }
    // The read owns it now and lets it go when it returns.
    static_cast<void>(job.release());
    return true;
}

bool ClientReader::Open() const {
    // Only this thread changes it.
    return shared_->open;
}

bool ClientReader::Heard(LPARAM lParam) {
    const Locked locked(shared_->lock);
    if (lParam != shared_->showings) {
        return false;  // a showing since has it
    }
    shared_->told = false;
    return !shared_->open || shared_->awaited == 0;
}

Readings ClientReader::Take() {
    Readings readings{directories_, {}};
    const Locked locked(shared_->lock);
    Shared& shared = *shared_;
    for (std::size_t i = 0; i < kClientCount; ++i) {
        readings.values[i] = shared.clients[i].last;
    }
    shared.CloseRound();
    ++shared.showings;
    shared.told = false;
    return readings;
}

void ClientReader::Abandon() {
    const Locked locked(shared_->lock);
    shared_->window = nullptr;
    shared_->CloseRound();
    for (Client& client : shared_->clients) {
        client.waiting = false;
    }
}

}  // namespace vantorel
