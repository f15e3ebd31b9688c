#include "options/client_reader.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vantorel {
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

// One reading thread, as it and the reader see it under the lock. It lives as long as the
// thread, and keeps what the thread shares with the reader alive.
struct ClientReader::Thread {
    Thread(std::shared_ptr<Shared> owner, std::size_t index)
        : shared(std::move(owner)), client(index) {}

    const std::shared_ptr<Shared> shared;
    const std::size_t client;
    DWORD id = 0;
    CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
    // Its client's folder is to be read anew.
    bool due = true;
    // The folder whose read runs now; empty between reads. Only the thread changes it.
    PathString reading;
    // Its I/O was cancelled: whatever the read gives is no answer.
    bool cancelled = false;
    // It is no longer its client's, or the reader has gone: it ends once it is not reading.
    bool letGo = false;
};

// What the reader and its threads share, all of it under the lock but the reader itself.
struct ClientReader::Shared {
    explicit Shared(ProgressReader reader) : read(std::move(reader)) {}

    // One client: the folder its field held at the last tick and the last answer for it,
    // which is what it shows.
    struct Client {
        PathString folder;  // empty when it is not read
        std::optional<double> last;
        // The open round waits for its read of `folder`.
        bool awaited = false;
        Thread* thread = nullptr;  // its own, once made
    };

    // The window is told once the last read the round waits for has answered, or at once
    // when the round has been shown; one message at a time.
    void Answered(Client& client) {
        const bool wasAwaited = std::exchange(client.awaited, false);
        const bool tell = wasAwaited ? --awaited == 0 : !open;
        if (tell && !told && window != nullptr) {
            // A message that could not be posted is not on its way: the next answer tries.
            told = ::PostMessageW(window, WMAPP_CLIENTREAD, 0, showings) != FALSE;
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
    // The threads let go whose reads have not returned.
    std::array<Thread*, kMaxThreads - kClientCount> letGo{};
};

ClientReader::ClientReader(const ProgressReader& read, StartFunction start, CancelFunction cancel)
    : shared_(std::make_shared<Shared>(read)), start_(start), cancel_(cancel) {}

ClientReader::~ClientReader() {
    Abandon();
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

DWORD WINAPI ClientReader::Run(void* context) {
    auto* const self = static_cast<Thread*>(context);
    {
        Shared& shared = *self->shared;
        Shared::Client& client = shared.clients[self->client];
        const Locked locked(shared.lock);
        for (;;) {
            while (!self->due && !self->letGo) {
                ::SleepConditionVariableSRW(&self->wake, &shared.lock, INFINITE, 0);
            }
            if (self->letGo) {
                break;
            }
            self->due = false;
            self->reading = client.folder;
            std::optional<double> value;
            {
                // Nothing leaves the thread: the program is built without exceptions, and an
                // error of the library ends it here as on the window thread.
                const Unlocked unlocked(shared.lock);
                value = shared.read(self->reading);
            }
            if (!self->cancelled && !self->letGo && self->reading == client.folder) {
                client.last = value;
                shared.Answered(client);
            }
            self->reading.clear();
            self->cancelled = false;
            std::replace(shared.letGo.begin(), shared.letGo.end(), self,
                         static_cast<Thread*>(nullptr));
        }
    }
    // Once the lock is let go: the record may hold the last reference to it.
    delete self;
    return 0;
}

bool ClientReader::Begin(HWND window, const ClientDirectories& directories) {
    directories_ = directories;
    const std::size_t clients = ClientsToRead(directories);
    // The folders after the first empty one are not read: the clients have none.
    for (std::size_t i = clients; i < kClientCount; ++i) {
        directories_[i].clear();
    }
    // All of it under the lock, the threads woken and made too: none can answer before the
    // round is whole, and a thread waits on the lock, never the window.
    const Locked locked(shared_->lock);
    Shared& shared = *shared_;
    shared.window = window;
    shared.open = true;
    // A cancel that found no I/O, the read between two calls, is tried again.
    for (Thread* gone : shared.letGo) {
        if (gone != nullptr && !gone->cancelled) {
            gone->cancelled = cancel_(gone->id);
        }
    }
    for (std::size_t i = 0; i < kClientCount; ++i) {
        Shared::Client& client = shared.clients[i];
        if (client.folder != directories_[i]) {
            client.folder = directories_[i];
            client.last.reset();
        }
        Thread*& thread = client.thread;
        if (thread != nullptr && !thread->reading.empty() && thread->reading != client.folder) {
            if (!thread->cancelled) {
                thread->cancelled = cancel_(thread->id);
            }
            const auto room = std::find(shared.letGo.begin(), shared.letGo.end(), nullptr);
            if (room != shared.letGo.end()) {
                thread->letGo = true;
                *room = std::exchange(thread, nullptr);
            }
        }
        if (i >= clients) {
            continue;
        }
        client.awaited = true;
        ++shared.awaited;
        if (thread == nullptr) {
            // The thread owns its record once it runs.
            thread = new Thread(shared_, i);
            const HANDLE handle = start_(nullptr, 0, Run, thread, 0, &thread->id);
            if (handle != nullptr) {
                ::CloseHandle(handle);
            } else {
                delete std::exchange(thread, nullptr);
                // A read that could not start answers at once, with no value.
                client.last.reset();
                shared.Answered(client);
            }
        } else if (thread->reading != client.folder) {
            thread->due = true;
            ::WakeConditionVariable(&thread->wake);
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
    for (Shared::Client& client : shared_->clients) {
        if (Thread* const thread = std::exchange(client.thread, nullptr)) {
            thread->letGo = true;
            ::WakeConditionVariable(&thread->wake);
        }
    }
}

}  // namespace vantorel
