#pragma once
// The rounds of the poll timer. Each tick opens a round of reads (ClientReader), and the window
// shows what the clients yield once the round's reads have answered, a second after the tick
// at the latest, or at the next tick when that comes sooner; an answer that comes after its
// round was shown is shown when it comes. While the load or a save is under way (a message box
// of theirs keeps messages coming) ticks and showings wait, and run once it has ended.

#include <windows.h>

#include "options/client_reader.h"

namespace vantorel {

class PollRounds {
  public:
    // A round waits this long at most for its reads before it is shown.
    static constexpr UINT_PTR kWaitTimerId = 2;
    static constexpr UINT kWaitMs = 1000;

    // The window the rounds serve.
    class Owner {
      public:
        // The directory fields as they are now.
        virtual ClientDirectories Fields() const = 0;
        // The poll timer's period.
        virtual UINT Period() const = 0;
        // The one place where readings reach the menu and the tray.
        virtual void ShowReadings(const Readings& readings) = 0;

      protected:
        ~Owner() = default;
    };

    // While one is held, ticks and showings wait; once the last has gone, what waited runs.
    class Hold {
      public:
        explicit Hold(PollRounds& rounds) : rounds_(rounds) { ++rounds_.holds_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();

      private:
        PollRounds& rounds_;
    };

    PollRounds(Owner& owner, const ProgressReader& read,
               ClientReader::StartFunction start = ::CreateThread,
               ClientReader::CancelFunction cancel = ClientReader::CancelThreadIo)
        : owner_(owner), reader_(read, start, cancel) {}

    // Answers and the wait's timer go to this window, which has been made.
    void Attach(HWND window) { window_ = window; }
    // A tick of the poll timer.
    void Tick();
    // The wait's timer and the reads' answers; gives whether the message was one of those.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A round has begun and is not shown yet.
    bool Pending() const { return reader_.Open(); }
    // The window is going: reads still out tell nobody.
    void Stop() {
        reader_.Abandon();
        window_ = nullptr;
        waitTimer_ = tickWaiting_ = showWaiting_ = false;
    }

  private:
    void Show();

    Owner& owner_;
    ClientReader reader_;
    HWND window_ = nullptr;
    int holds_ = 0;
    bool tickWaiting_ = false;
    bool showWaiting_ = false;
    bool waitTimer_ = false;
};

}  // namespace vantorel
