// A periodic callback on the thread that starts it, from that thread's message loop: a thread
// timer (no window), for an editor that the host idles through its window's thread only.
#pragma once

namespace flanger::platform::win32 {

class IdleTimer {
public:
    using Callback = void (*)(void* context) noexcept;

    IdleTimer() = default;
    IdleTimer(const IdleTimer&) = delete;
    IdleTimer& operator=(const IdleTimer&) = delete;
    ~IdleTimer();

    // Calls callback(context) about every periodMs (the system holds it to at least 10 ms) while
    // the starting thread pumps its messages. A running timer is stopped first. False, with
    // nothing running, for a period below 1 ms, a null callback, or no system timer to be had.
    bool start(int periodMs, Callback callback, void* context) noexcept;
    // No callback comes after it returns; any number of calls, running or not. Call it from the
    // thread that started the timer: only that thread can end a thread timer.
    void stop() noexcept;

private:
    int slot = -1;  // this timer's entry in the table the timer procedure looks ids up in
};

}  // namespace flanger::platform::win32
