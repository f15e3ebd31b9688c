#pragma once
// The clients' reads, off the window thread. A client folder on a machine that is switched
// off can hold an open for half a minute, and a window thread waiting on it would answer
// nothing; a slow share answers after seconds, and what it answers is still worth showing.
//
// - Each client has a thread of its own, made when it first has a folder to read. A tick wakes
//   it to read the folder its field holds now, unless it is still reading that folder: no
//   client's reads hold back another's.
// - A thread still reading a folder its field no longer holds has its I/O cancelled and is let
//   go: it ends once its read returns, and its answer is dropped. A new thread reads the folder
//   the field holds now.
// - At most kMaxThreads threads read, the clients' own and those let go. While the let-go ones
//   fill their share, a thread that should go stays, and only its client waits: it reads the
//   new folder once its read returns, or is let go at a tick once any let-go read has returned.
// - A cancel is made under the lock, and only while the read is recorded as running: the thread
//   needs the lock to leave its read, so the cancel reaches that read's I/O and nothing else.
// - No lock is held across a read: the window thread takes the lock, and never waits on a read.
// - At exit nothing waits: idle threads end, and the end of the process cancels what the others
//   still wait on.
//
// The window hears WMAPP_CLIENTREAD once the reads a round waits for have answered, and again
// for an answer that comes after its round was shown. A thread holds only the state it shares
// with the reader, so the reader and the window may go first.

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
    // How a reading thread is made: CreateThread; tests make it fail.
    using StartFunction = decltype(&::CreateThread);

    // How a read that is no longer wanted has its I/O cancelled: CancelThreadIo; gives whether
    // it found I/O to cancel.
    using CancelFunction = bool (*)(DWORD thread);

    // Reading threads at most, the clients' own and those let go.
    static constexpr std::size_t kMaxThreads = 16;

    explicit ClientReader(const ProgressReader& read, StartFunction start = ::CreateThread,
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
    // The window is going: no more messages, and the threads end, those still reading once
    // their reads return.
    void Abandon();

    // Cancels the synchronous I/O the thread has pending (an open or a read that waits on a
    // share); gives whether there was some.
    static bool CancelThreadIo(DWORD thread);

  private:
    struct Shared;
    struct Thread;
    static DWORD WINAPI Run(void* context);

    std::shared_ptr<Shared> shared_;
    StartFunction start_;
    CancelFunction cancel_;
    ClientDirectories directories_;
};

}  // namespace vantorel
