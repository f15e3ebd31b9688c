#include "options/client_reader.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vantorel {
namespace {

// Its folder's read and one older: typing never makes more threads than twice the clients.
constexpr std::size_t kReadsPerClient = 2;

// One client, as the reader and its reads see it.
struct Client {
    // What its field held at the last tick it was read; empty when it was not read.
    PathString folder;
    // The last answer for `folder`: what the client shows.
    std::optional<double> last;
    // The folders of its reads out; empty where a slot is free.
    std::array<PathString, kReadsPerClient> out;
    // The open round waits for its read of `folder`.
    bool awaited = false;
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

    const ProgressReader read;
    SRWLOCK lock = SRWLOCK_INIT;
    HWND window = nullptr;  // where answers go; none once the reader has gone
    bool open = false;      // a round is out and not shown yet
    int awaited = 0;        // reads the open round still waits for
    // Showings so far: a message sent before the latest showing brings nothing new.
    LPARAM showings = 0;
    bool told = false;  // a message is on its way since the latest showing
    std::array<Client, kClientCount> clients;
};

struct ClientReader::Job {
    std::shared_ptr<Shared> shared;
    std::size_t client;
    std::size_t slot;
};

ClientReader::ClientReader(const ProgressReader& read, SubmitFunction submit)
    : shared_(std::make_shared<Shared>(read)), submit_(submit) {}

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
    Client& client = shared.clients[job->client];
    // Read without the lock: only this read changes its slot while the slot is taken.
    PathString& folder = client.out[job->slot];
    // Nothing leaves a pool thread: the program is built without exceptions, and an error of
    // the library ends it here as on the window thread.
    const std::optional<double> value = shared.read(folder);
    const Locked locked(shared.lock);
    if (folder == client.folder) {
        client.last = value;
        shared.Answered(client);
    }
    // Otherwise the field holds another folder now, and the answer goes.
    folder.clear();
}

bool ClientReader::Begin(HWND window, const ClientDirectories& directories) {
    directories_ = directories;
    const std::size_t reads = ClientsToRead(directories);
    // The slot of each client's new read; kReadsPerClient for none.
    std::array<std::size_t, kClientCount> starts;
    starts.fill(kReadsPerClient);
    int out = 0;
    {
        const Locked locked(shared_->lock);
        Shared& shared = *shared_;
        shared.window = window;
        shared.open = true;
        for (std::size_t i = 0; i < kClientCount; ++i) {
            Client& client = shared.clients[i];
            const PathString folder = i < reads ? directories[i] : PathString();
            if (client.folder != folder) {
                client.folder = folder;
                client.last.reset();
            }
            // Its read of the folder that is still out, else a free slot.
            std::size_t slot = 0;
            while (slot < kReadsPerClient && client.out[slot] != folder) {
                ++slot;
            }
            if (slot == kReadsPerClient) {
                slot = 0;
                while (slot < kReadsPerClient && !client.out[slot].empty()) {
                    ++slot;
                }
                if (slot < kReadsPerClient && !folder.empty()) {
                    client.out[slot] = folder;
                    starts[i] = slot;
                }
            }
            if (!folder.empty() && slot < kReadsPerClient) {
                client.awaited = true;
                ++shared.awaited;
            }
            for (const PathString& reading : client.out) {
                out += reading.empty() ? 0 : 1;
            }
        }
    }
    KeepThreads(out);
    // Started once the round is whole, so a quick read cannot end it early.
    for (std::size_t i = 0; i < kClientCount; ++i) {
        if (starts[i] < kReadsPerClient && !StartRead(i, starts[i])) {
            // A read that could not start answers at once, with no value.
            const Locked locked(shared_->lock);
            Client& client = shared_->clients[i];
            client.out[starts[i]].clear();
            client.last.reset();
            shared_->Answered(client);
        }
    }
    const Locked locked(shared_->lock);
    return shared_->awaited == 0;
}

void ClientReader::KeepThreads(int reads) {
    // A thread for every read out, so none waits behind a hung one; the threads beyond one per
    // client end when they have been idle a while.
    const int wanted = std::max(reads, static_cast<int>(kClientCount));
    if (pool_ == nullptr && reads > 0) {
        pool_ = ::CreateThreadpool(nullptr);
        if (pool_ == nullptr) {
            return;  // no read starts: each has no value
        }
        ::SetThreadpoolThreadMaximum(pool_, static_cast<DWORD>(kClientCount * kReadsPerClient));
        InitializeThreadpoolEnvironment(&environment_);
        SetThreadpoolCallbackPool(&environment_, pool_);
    }
    if (pool_ != nullptr && wanted != threads_ &&
        ::SetThreadpoolThreadMinimum(pool_, static_cast<DWORD>(wanted))) {
        threads_ = wanted;
    }
}

bool ClientReader::StartRead(std::size_t client, std::size_t slot) {
    if (pool_ == nullptr) {
        return false;
    }
    auto job = std::make_unique<Job>(Job{shared_, client, slot});
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
}

}  // namespace vantorel
