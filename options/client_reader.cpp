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
    // Gives the slot back.
    void Free() {
        folder.clear();
        thread = 0;
        cancelled = retired = false;
    }

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

// The threads the pool keeps ready: one for every read out, one per client at the least, less
// those that retired pools still read on.
int ThreadsWanted(int out, int retired) {
    return std::max(out, static_cast<int>(kClientCount)) - retired;
}

// Lets the lock go for a while within a Locked.
class Unlocked {
  public:
    explicit Unlocked(SRWLOCK& lock) : lock_(lock) { ::ReleaseSRWLockExclusive(&lock_); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;
    ~Unlocked() { ::AcquireSRWLockExclusive(&lock_); }

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

    // A read of the client's folder, which is not empty, that is out and still counts.
    bool ReadOut(std::size_t client) const {
        for (const Read& out : reads) {
            if (out.client == client && !out.cancelled && out.folder == clients[client].folder) {
                return true;
            }
        }
        return false;
    }

    // Gives the slot of a read that has ended to the first client whose read waits for one,
    // on the same thread; frees it otherwise.
    bool TakeWaiting(Read& slot) {
        const bool retired = slot.retired;
        slot.Free();
        for (std::size_t i = 0; i < kClientCount && window != nullptr; ++i) {
            if (std::exchange(clients[i].waiting, false)) {
                slot.client = i;
                slot.folder = clients[i].folder;
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
    const Locked locked(shared.lock);
    // The thread reads on while a client waits for a slot: a new read never waits behind a
    // hung one for more than the first thread to come free.
    do {
        Client& client = shared.clients[read.client];
        // A folder typed over before its read began is not read at all.
        if (read.folder == client.folder) {
            read.thread = ::GetCurrentThreadId();
            std::optional<double> value;
            {
                // Only this thread changes a taken slot's folder. Nothing leaves a pool thread:
                // the program is built without exceptions, and an error of the library ends it
                // here as on the window thread.
                const Unlocked unlocked(shared.lock);
                value = shared.read(read.folder);
            }
            // Otherwise the field holds another folder now, and the answer goes.
            if (!read.cancelled && read.folder == client.folder) {
                client.last = value;
                shared.Answered(client);
            }
        }
    } while (shared.TakeWaiting(read));
}

bool ClientReader::Begin(HWND window, const ClientDirectories& directories) {
    directories_ = directories;
    const std::size_t clients = ClientsToRead(directories);
    // The folders after the first empty one are not read: the clients have none.
    for (std::size_t i = clients; i < kClientCount; ++i) {
        directories_[i].clear();
    }
    // All of it under the lock, the reads started too: none can answer before the round is
    // whole, and a read waits on the lock, never the window.
    const Locked locked(shared_->lock);
    Shared& shared = *shared_;
    shared.window = window;
    shared.open = true;
    for (std::size_t i = 0; i < kClientCount; ++i) {
        Client& client = shared.clients[i];
        const PathString& folder = directories_[i];
        if (client.folder != folder) {
            client.folder = folder;
            client.last.reset();
        }
        client.waiting = false;
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
    // A pool busy with the ticks keeps the threads it grew for reads that hung, even once they
    // have returned: it is let go then, and a new one takes over.
    if (pool_ != nullptr && out <= static_cast<int>(kClientCount) &&
        threads_ > ThreadsWanted(out, retired)) {
        for (Read& read : shared.reads) {
            read.retired = !read.folder.empty();
        }
        retired = out;
        DestroyThreadpoolEnvironment(&environment_);
        // It ends once the reads it still runs have returned; nothing here waits for them.
        ::CloseThreadpool(pool_);
        pool_ = nullptr;
        threads_ = 0;
    }
    // Each client reads the folder its field holds now, unless a read of it is still out.
    std::array<Read*, kClientCount> starts{};
    for (std::size_t i = 0; i < clients; ++i) {
        Client& client = shared.clients[i];
        if (!shared.ReadOut(i)) {
            Read* free = nullptr;
            for (Read& read : shared.reads) {
                free = free == nullptr && read.folder.empty() ? &read : free;
            }
            if (free == nullptr) {
                client.waiting = true;
            } else {
                free->client = i;
                free->folder = client.folder;
                starts[i] = free;
                ++out;
            }
        }
        client.awaited = true;
        ++shared.awaited;
    }
    const int wanted = ThreadsWanted(out, retired);
    if (pool_ == nullptr && out > retired) {
        pool_ = ::CreateThreadpool(nullptr);
        if (pool_ != nullptr) {
            ::SetThreadpoolThreadMaximum(pool_, static_cast<DWORD>(kMaxReadsOut));
            InitializeThreadpoolEnvironment(&environment_);
            SetThreadpoolCallbackPool(&environment_, pool_);
        }
    }
    if (pool_ != nullptr && wanted != threads_ &&
        ::SetThreadpoolThreadMinimum(pool_, static_cast<DWORD>(wanted))) {
        threads_ = wanted;
    }
    for (std::size_t i = 0; i < kClientCount; ++i) {
        if (starts[i] == nullptr) {
            continue;
        }
        // The read owns the job and lets it go when it returns.
        const auto job =
            new Job{shared_, static_cast<std::size_t>(starts[i] - shared.reads.data())};
        if (pool_ == nullptr || !submit_(Run, job, &environment_)) {
            delete job;
            // A read that could not start answers at once, with no value.
            starts[i]->Free();
            shared.clients[i].last.reset();
            shared.Answered(shared.clients[i]);
        }
    }
    return shared.awaited == 0;
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
}

}  // namespace vantorel
