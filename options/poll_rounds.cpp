#include "options/poll_rounds.h"

#include <utility>

namespace vantorel {

PollRounds::Hold::~Hold() {
    if (--rounds_.holds_ != 0 || rounds_.window_ == nullptr) {
        return;
    }
    // What came in during the hold goes first, as it would have without the hold.
    if (std::exchange(rounds_.showWaiting_, false)) {
        rounds_.Show();
    }
    if (std::exchange(rounds_.tickWaiting_, false)) {
        rounds_.Tick();
    }
}

void PollRounds::Tick() {
    if (holds_ > 0) {
        tickWaiting_ = true;
        return;
    }
    // The last tick's round goes first, its reads still out as their last answers: a round is
    // shown once at least.
    if (reader_.Open()) {
        Show();
    }
    if (reader_.Begin(window_, owner_.Fields())) {
        Show();
    } else if (owner_.Period() > kWaitMs) {
        // Otherwise the next tick comes first and shows the round.
        waitTimer_ = ::SetTimer(window_, kWaitTimerId, kWaitMs, nullptr) != 0;
    }
}

bool PollRounds::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    bool show = false;
    if (message == WM_TIMER && wParam == kWaitTimerId) {
        show = reader_.Open();
    } else if (message == WMAPP_CLIENTREAD) {
        show = reader_.Heard(lParam);
    } else {
        return false;
    }
    if (show && holds_ > 0) {
        showWaiting_ = true;
    } else if (show) {
        Show();
    }
    return true;
}

void PollRounds::Show() {
    if (std::exchange(waitTimer_, false)) {
        ::KillTimer(window_, kWaitTimerId);
    }
    owner_.ShowReadings(reader_.Take());
}

}  // namespace vantorel
