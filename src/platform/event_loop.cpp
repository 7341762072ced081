#include "platform/event_loop.h"

#include <algorithm>
#include <limits>

#include "platform/ports.h"

namespace zorvan {

void Timer::setInterval(int ms) {
    interval_ = ms;
    restart();
}

void Timer::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    restart();
}

int Timer::period() const { return std::max(interval_, kFloorMs); }

void Timer::restart() {
    if (armed()) due_ = loop_.now() + period();
}

EventLoop::EventLoop(Platform& platform) : platform_(platform) {}

std::int64_t EventLoop::now() { return platform_.nowMs(); }

Timer& EventLoop::addTimer(std::string name) {
    timers_.push_back(std::unique_ptr<Timer>(
        new Timer(*this, std::move(name), static_cast<std::uint32_t>(timers_.size()))));
    return *timers_.back();
}

bool EventLoop::deliverKeys() {
    bool delivered = false;
    while (auto key = platform_.takeKey()) {
        delivered = true;
        if (keyHandler_) keyHandler_(*key);
    }
    return delivered;
}

bool EventLoop::deliverTimers() {
    const std::int64_t t = now();
    std::vector<Timer*> due;
    for (auto& timer : timers_)
        if (timer->armed() && !timer->inHandler_ && timer->due_ <= t) due.push_back(timer.get());
    if (due.empty()) return false;
    std::stable_sort(due.begin(), due.end(), [](const Timer* a, const Timer* b) {
        return a->due_ != b->due_ ? a->due_ < b->due_ : a->order_ < b->order_;
    });
    for (Timer* timer : due) {
        // An earlier handler may have stopped, re-armed or be running this timer already.
        if (!timer->armed() || timer->inHandler_ || timer->due_ > t) continue;
        // One tick however late: the next one counts from now.
        timer->due_ = now() + timer->period();
        timer->inHandler_ = true;
        struct Reset {
            Timer* timer;
            ~Reset() { timer->inHandler_ = false; }
        } reset{timer};
        if (timer->handler_) timer->handler_();
    }
    return true;
}

// The ticks an idle timer had while the loop slept: each would have done nothing and set the
// next one a period later. The clock moves only while the loop sleeps, and nothing runs then
// that could give the timer work, so it was idle all along. A tick due right now is left to
// the next deliverTimers, after the keys, as if the loop had woken for every tick.
void EventLoop::passIdleTicks() {
    const std::int64_t t = now();
    for (auto& timer : timers_) {
        if (!timer->armed() || timer->inHandler_ || timer->due_ >= t || !timer->idle()) continue;
        const std::int64_t period = timer->period();
        timer->due_ += (t - timer->due_ + period - 1) / period * period;
    }
}

std::int64_t EventLoop::nextDue() const {
    const bool sleepy = platform_.sleepsThroughIdleTimers();
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (auto& timer : timers_)
        if (timer->armed() && !timer->inHandler_ && !(sleepy && timer->idle()))
            next = std::min(next, timer->due_);
    return next;
}

void EventLoop::pump() { pump(std::numeric_limits<std::int64_t>::max()); }

void EventLoop::pumpUntil(std::int64_t deadlineMs) {
    const std::int64_t wakeAt = platform_.sleepsThroughIdleTimers() ? wakeAfter(deadlineMs)
                                                                     : std::numeric_limits<std::int64_t>::max();
    while (now() < deadlineMs) pump(wakeAt);
}

// When a loop woken by every tick would first look at the clock at or after the deadline.
std::int64_t EventLoop::wakeAfter(std::int64_t deadlineMs) const {
    std::int64_t wake = std::numeric_limits<std::int64_t>::max();
    for (auto& timer : timers_) {
        if (!timer->idle_ || !timer->armed()) continue;
        const std::int64_t period = timer->period();
        std::int64_t tick = timer->due_;
        if (tick < deadlineMs) tick += (deadlineMs - tick + period - 1) / period * period;
        wake = std::min(wake, tick);
    }
    return wake == std::numeric_limits<std::int64_t>::max() ? deadlineMs : wake;
}

void EventLoop::pump(std::int64_t wakeAt) {
    if (!closing_ && platform_.closeRequested()) {
        closing_ = true;
        if (closeHandler_) closeHandler_();
        throw ProgramEnd{0, {}};
    }
    bool delivered = deliverKeys();
    delivered = deliverTimers() || delivered;
    if (delivered && afterHandlers_) afterHandlers_();
    if (!delivered) {
        platform_.idleUntil(std::min(nextDue(), wakeAt));
        if (platform_.sleepsThroughIdleTimers()) passIdleTicks();
    }
}

void EventLoop::run() {
    for (;;) pump();
}

}  // namespace zorvan
