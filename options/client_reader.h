#pragma once
// The clients' reads, off the window thread. A client folder on a machine that is switched
// off can hold an open for half a minute, and a window thread waiting on it would answer
// nothing; a slow share answers after seconds, and what it answers is still worth showing.
//
// Each client is one record: the folder its field held at the last tick and the last answer
// for that folder, which is what it shows. A tick reads each folder anew unless a read of it
// is still out, so the folder a field holds now is read at once, however many reads of folders
// it held before still hang; their answers are dropped. A read that hangs holds a thread: the
// reads out are bounded, and past the bound a new read waits for the first thread to come
// free. A read of a folder its field no longer holds has its I/O cancelled, which gives an open
// stuck on a share back at once on Windows.
//
// The window hears WMAPP_CLIENTREAD once the reads a round waits for have answered, and again
// for an answer that comes after its round was shown. A read that never returns holds only
// the state it shares with the reader, so the reader and the window may go first.

#include <windows.h>

#include <memory>

#include "core/poll.h"

namespace vantorel {

// An answer the window may show: lParam says which showing it came after (ClientReader::Heard).
inline constexpr UINT WMAPP_CLIENTREAD = WM_APP + 2;

// What the clients show: the directories of the last tick and each client's value.
struct Readings {
    ClientDirectories directories;
    ClientValues values;
};

class ClientReader {
  public:
    // How a read is handed to the pool: TrySubmitThreadpoolCallback; tests make it fail.
    using SubmitFunction = BOOL(WINAPI*)(PTP_SIMPLE_CALLBACK, void*, PTP_CALLBACK_ENVIRON);

    // How a read that is no longer wanted has its I/O cancelled: CancelThreadIo; gives whether
    // it found I/O to cancel.
    using CancelFunction = bool (*)(DWORD thread);

    // At most this many reads are out at once, each on a thread of its own.
    static constexpr std::size_t kMaxReadsOut = 16;

    explicit ClientReader(const ProgressReader& read,
                          SubmitFunction submit = ::TrySubmitThreadpoolCallback,
                          CancelFunction cancel = CancelThreadIo);
    ClientReader(const ClientReader&) = delete;
    ClientReader& operator=(const ClientReader&) = delete;
    ~ClientReader();

    // Opens a round over the clients a poll reads, each reading the folder its field holds
    // now; answers go to the window. Gives whether the round has all its answers already.
    bool Begin(HWND window, const ClientDirectories& directories);
    // A round is open: begun and not shown yet.
    bool Open() const;
    // A WMAPP_CLIENTREAD came: whether there is something new to show, the open round whole
    // or a late answer.
    bool Heard(LPARAM lParam);
    // What each client shows now; closes the round. Reads still out show the last answer
    // for their folder.
    Readings Take();
    // The window is going: no more messages; reads still out finish on their own.
    void Abandon();

    // Cancels the synchronous I/O the thread has pending (an open or a read that waits on a
    // share); gives whether there was some.
    static bool CancelThreadIo(DWORD thread);

  private:
    struct Shared;
    struct Job;
    static void CALLBACK Run(PTP_CALLBACK_INSTANCE instance, void* context);

    std::shared_ptr<Shared> shared_;
    SubmitFunction submit_;
    CancelFunction cancel_;
    PTP_POOL pool_ = nullptr;
    TP_CALLBACK_ENVIRON environment_{};
    int threads_ = 0;  // the pool's minimum
    ClientDirectories directories_;
};

}  // namespace vantorel
