#pragma once
// The reads of a tick, off the window thread. A client folder on a machine that is switched
// off can hold an open for half a minute, and a window thread waiting on it would answer
// nothing. Each client has at most one read out at a time, run by a thread pool of the
// reader's own with one thread per client, so a hung read never waits behind another and the
// threads are as many however long a folder hangs. The last read a round waits for tells the
// window once, with WMAPP_CLIENTREAD, and the round is taken on the window thread. A read that
// never returns holds only the state it shares with the reader, so the reader and the window
// may go first.

#include <windows.h>

#include <array>
#include <memory>
#include <optional>

#include "core/poll.h"

namespace vantorel {

// Every read a round waits for has answered: lParam the round's number.
inline constexpr UINT WMAPP_CLIENTREAD = WM_APP + 2;

class ClientReader {
  public:
    using Values = std::array<std::optional<double>, kClientCount>;

    // What one round gathered: the tick's directories and one value per client read.
    struct Round {
        ClientDirectories directories;
        Values values;
    };

    explicit ClientReader(const ProgressReader& read);
    ClientReader(const ClientReader&) = delete;
    ClientReader& operator=(const ClientReader&) = delete;
    ~ClientReader();

    // Starts a round over the clients a poll reads; answers go to the window. A client whose
    // earlier read of the same directory is still out joins the round with that read; one
    // still reading another directory gives no value this round.
    void Begin(HWND window, const ClientDirectories& directories);
    // Whether an answer is the open round's.
    bool Answer(LPARAM lParam) const;
    // A round has begun and not been taken yet.
    bool Open() const { return open_; }
    bool Answered() const;
    // Closes the round; reads still out count as no value.
    Round Take();
    // Closes the round; the reads still out finish later and tell no window.
    void Abandon();

  private:
    struct Shared;
    struct Job;
    static void CALLBACK Run(PTP_CALLBACK_INSTANCE instance, void* context);

    bool Submit(std::size_t index);

    std::shared_ptr<Shared> shared_;
    PTP_POOL pool_ = nullptr;
    TP_CALLBACK_ENVIRON environment_{};
    Round round_;
    std::array<bool, kClientCount> asked_{};
    bool open_ = false;
    ULONG_PTR serial_ = 0;
};

}  // namespace vantorel
