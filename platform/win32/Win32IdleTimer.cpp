// Thread timers with a TIMERPROC: the system hands the procedure only the timer's id, so each
// running timer has an entry in a fixed table, looked up by id and thread without allocating.
#include "platform/win32/Win32IdleTimer.h"

#include <windows.h>

#include <atomic>

namespace flanger::platform::win32 {

namespace {

// Enough for every editor a host could open at once; a timer beyond it fails to start.
constexpr int kSlots = 64;

// A slot is written by its owner on the starting thread. Every thread's timer procedure scans
// all slots, so the id and thread it compares are atomic; the callback and context are read only
// from a slot of the reader's own thread.
struct Slot {
    std::atomic<IdleTimer*> owner{nullptr};  // writers: start and stop; readers: threads claiming slots
    std::atomic<UINT_PTR> id{0};             // writer: the owner; readers: every timer procedure
    std::atomic<DWORD> thread{0};            // likewise; ids of thread timers repeat across threads
    IdleTimer::Callback callback = nullptr;
    void* context = nullptr;
};

Slot slots[kSlots];

void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const DWORD thread = GetCurrentThreadId();
    for (Slot& entry : slots) {
        // Only this thread's own entries can match, and this thread is the one that writes them.
        if (entry.thread.load(std::memory_order_relaxed) == thread &&
            entry.id.load(std::memory_order_relaxed) == id) {
            entry.callback(entry.context);
            return;
        }
    }
    // A WM_TIMER already queued when its timer stopped finds no entry and does nothing.
}

}  // namespace

IdleTimer::~IdleTimer() {
    stop();
}

bool IdleTimer::start(int periodMs, Callback callback, void* context) noexcept {
    stop();
    if (periodMs < 1 || callback == nullptr) return false;
    for (int index = 0; index < kSlots; ++index) {
        IdleTimer* expected = nullptr;
        if (!slots[index].owner.compare_exchange_strong(expected, this, std::memory_order_acq_rel)) continue;
        Slot& entry = slots[index];
        entry.callback = callback;
        entry.context = context;
        // The procedure runs only from this thread's message loop, after this returns, so the
        // entry is complete before it can be looked up.
        const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(periodMs), &onTimer);
        if (id == 0) {
            entry.callback = nullptr;
            entry.context = nullptr;
            entry.owner.store(nullptr, std::memory_order_release);
            return false;
        }
        entry.id.store(id, std::memory_order_relaxed);
        entry.thread.store(GetCurrentThreadId(), std::memory_order_relaxed);
        slot = index;
        return true;
    }
    return false;
}

void IdleTimer::stop() noexcept {
    if (slot < 0) return;
    Slot& entry = slots[slot];
    KillTimer(nullptr, entry.id.load(std::memory_order_relaxed));
    entry.thread.store(0, std::memory_order_relaxed);
    entry.id.store(0, std::memory_order_relaxed);
    entry.callback = nullptr;
    entry.context = nullptr;
    entry.owner.store(nullptr, std::memory_order_release);
    slot = -1;
}

}  // namespace flanger::platform::win32
