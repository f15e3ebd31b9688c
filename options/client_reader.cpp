#include "options/client_reader.h"

#include <utility>

namespace vantorel {

struct ClientReader::Slot {
    Slot(ProgressReader reader, WPARAM slotIndex) : read(std::move(reader)), index(slotIndex) {}

    const ProgressReader read;
    const WPARAM index;
    // Written by the window thread only while no read is out.
    PathString directory;

    SRWLOCK lock = SRWLOCK_INIT;
    // Under the lock:
    HWND window = nullptr;  // where the answer goes; none once the reader has let go
    bool busy = false;
    LPARAM serial = 0;
    std::optional<double> value;
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

ClientReader::ClientReader(const ProgressReader& read) {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        slots_[i] = std::make_shared<Slot>(read, i);
    }
}

ClientReader::~ClientReader() {
    Abandon();
    if (pool_ != nullptr) {
        // The pool goes once its reads have returned; nothing here waits for them.
        DestroyThreadpoolEnvironment(&environment_);
        ::CloseThreadpool(pool_);
    }
}

void CALLBACK ClientReader::Run(PTP_CALLBACK_INSTANCE, void* context) {
    const std::unique_ptr<std::shared_ptr<Slot>> owner(
        static_cast<std::shared_ptr<Slot>*>(context));
    Slot& slot = **owner;
    // Nothing leaves a pool thread: the program is built without exceptions, and an error of
    // the library ends it here as on the window thread.
    const std::optional<double> value = slot.read(slot.directory);
    const Locked locked(slot.lock);
    slot.value = value;
    slot.busy = false;
    if (slot.window != nullptr) {
        ::PostMessageW(slot.window, WMAPP_CLIENTREAD, slot.index, slot.serial);
    }
}

void ClientReader::Begin(HWND window, const ClientDirectories& directories) {
    round_ = Round{directories, {}};
    awaited_ = {};
    open_ = true;
    const std::size_t reads = ClientsToRead(directories);
    for (std::size_t i = 0; i < reads; ++i) {
        Slot& slot = *slots_[i];
        {
            const Locked locked(slot.lock);
            if (slot.busy) {
                if (slot.directory == directories[i]) {
                    slot.window = window;
                    awaited_[i] = slot.serial;
                }
                continue;
            }
            slot.directory = directories[i];
            slot.busy = true;
            slot.serial = static_cast<LPARAM>(++serial_);
            slot.window = window;
            awaited_[i] = slot.serial;
        }
        if (!Submit(slots_[i])) {
            const Locked locked(slot.lock);
            slot.busy = false;
            awaited_[i].reset();
        }
    }
}

bool ClientReader::Submit(const std::shared_ptr<Slot>& slot) {
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
    auto context = std::make_unique<std::shared_ptr<Slot>>(slot);
    if (!::TrySubmitThreadpoolCallback(Run, context.get(), &environment_)) {
        return false;
    }
    // The read owns it now and lets it go when it returns.
    static_cast<void>(context.release());
    return true;
}

bool ClientReader::Answer(WPARAM wParam, LPARAM lParam) {
    if (!open_ || wParam >= kClientCount || awaited_[wParam] != lParam) {
        return false;
    }
    Slot& slot = *slots_[wParam];
    {
        const Locked locked(slot.lock);
        if (slot.busy || slot.serial != lParam) {
            return false;
        }
        round_.values[wParam] = slot.value;
    }
    awaited_[wParam].reset();
    return Answered();
}

bool ClientReader::Answered() const {
    for (const std::optional<LPARAM>& serial : awaited_) {
        if (serial) {
            return false;
        }
    }
    return true;
}

ClientReader::Round ClientReader::Take() {
    open_ = false;
    awaited_ = {};
    return std::exchange(round_, Round{});
}

void ClientReader::Abandon() {
    open_ = false;
    awaited_ = {};
    for (const std::shared_ptr<Slot>& slot : slots_) {
        const Locked locked(slot->lock);
        slot->window = nullptr;
    }
}

}  // namespace vantorel
