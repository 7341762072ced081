#pragma once
// The game's one-threaded message loop: key presses to the key handler, then the ticks of
// the timers that fell due. Every wait in the game is `while (condition) loop.pump();`, so
// handlers run nested inside waits.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorvan {

class Platform;
class EventLoop;

// A message timer: ticks every interval while enabled and the interval is above 0.
class Timer {
public:
    static constexpr int kFloorMs = 10;  // no timer ticks faster than this

    const std::string& name() const { return name_; }
    int interval() const { return interval_; }
    bool enabled() const { return enabled_; }
    // Any change of interval, and enabling a disabled timer, restarts the countdown.
    void setInterval(int ms);
    void setEnabled(bool on);
    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }
    // For a timer whose handler does nothing while `idle` says so: the loop does not wake up
    // for its ticks then, yet the timer keeps its pace, so its first tick with work to do falls
    // exactly when it would have had the loop woken for every tick.
    void setIdleWhen(std::function<bool()> idle) { idle_ = std::move(idle); }

private:
    friend class EventLoop;
    Timer(EventLoop& loop, std::string name, std::uint32_t order)
        : loop_(loop), name_(std::move(name)), order_(order) {}
    void restart();
    bool armed() const { return enabled_ && interval_ > 0; }
    bool idle() const { return idle_ && idle_(); }
    int period() const;

    EventLoop& loop_;
    std::string name_;
    std::uint32_t order_;
    int interval_ = 0;  // ms
    bool enabled_ = false;
    bool inHandler_ = false;
    std::int64_t due_ = 0;  // platform ms of the next tick
    std::function<void()> handler_;
    std::function<bool()> idle_;
};

class EventLoop {
public:
    explicit EventLoop(Platform& platform);
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    Timer& addTimer(std::string name);
    void setKeyHandler(std::function<void(int vk)> handler) { keyHandler_ = std::move(handler); }
    // Runs when the window is closed or the process is asked to end.
    void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // Runs after every round of pump() that delivered a key or a tick: the game's state only
    // changes in handlers, so what shows it (the window's race status) follows from here.
    void setAfterHandlers(std::function<void()> handler) { afterHandlers_ = std::move(handler); }

    // Delivers the pending keys, then the due timer ticks in the order they fell due. When
    // there was nothing to deliver, idles until the next thing can happen.
    void pump();
    // Pumps until the clock reaches deadlineMs. Returns when a loop woken by every timer tick
    // would have seen the deadline pass: at the first tick from then on of a timer that may
    // idle (Timer::setIdleWhen), else at the first thing that happens from then on.
    void pumpUntil(std::int64_t deadlineMs);
    // Pumps until the program ends (ProgramEnd).
    [[noreturn]] void run();

    Platform& platform() { return platform_; }
    std::int64_t now();

private:
    friend class Timer;
    void pump(std::int64_t wakeAt);
    std::int64_t wakeAfter(std::int64_t deadlineMs) const;
    bool deliverKeys();
    bool deliverTimers();
    void passIdleTicks();
    std::int64_t nextDue() const;

    Platform& platform_;
    std::vector<std::unique_ptr<Timer>> timers_;
    std::function<void(int)> keyHandler_;
    std::function<void()> closeHandler_;
    std::function<void()> afterHandlers_;
    bool closing_ = false;
};

}  // namespace zorvan
