#include "protocol/exchange_pacing.h"

#include <algorithm>

namespace b6409 {

void ExchangeWaits::AfterSend() {
    if (pacing_ == Pacing::Fixed) clock_.SleepMs(kWaitAfterSendMs);
}

bool ExchangeWaits::AwaitMore() {
    if (pacing_ == Pacing::Reply) return AwaitReply();
    clock_.SleepMs(kWaitPerEmptyPollMs);
    if (emptyPolls_ >= kEmptyPollAllowance) return false;
    ++emptyPolls_;
    return true;
}

bool ExchangeWaits::AwaitReply() {
    const uint64_t now = clock_.NowMs();
    if (!waitStartMs_) waitStartMs_ = now;
    const uint64_t spent = spentMs_ + (now - *waitStartMs_);
    if (spent >= kReplyAllowanceMs) return false;
    const auto left = static_cast<unsigned>(kReplyAllowanceMs - spent);
    // A link with nothing to wait on is polled at the fixed interval, within the same allowance.
    if (!link_.WaitForReply(left)) clock_.SleepMs(std::min(left, kWaitPerEmptyPollMs));
    return true;
}

void ExchangeWaits::Arrived() {
    if (!waitStartMs_) return;
    spentMs_ += clock_.NowMs() - *waitStartMs_;
    waitStartMs_.reset();
}

}  // namespace b6409
