// The editor's idle timer as the VST3 view uses it: calls back on the thread that started it from
// that thread's message loop, several at once, each to its own context, and never after stop.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/win32/Win32IdleTimer.h"

namespace flanger::platform::win32 {
namespace {

struct Calls {
    int count = 0;
    DWORD thread = 0;
    bool otherThread = false;
    IdleTimer* stopOnFirst = nullptr;  // a view closing from its own idle stops its timer there
};

void noteCall(void* context) noexcept {
    auto* calls = static_cast<Calls*>(context);
    ++calls->count;
    if (calls->thread != 0 && calls->thread != GetCurrentThreadId()) calls->otherThread = true;
    calls->thread = GetCurrentThreadId();
    if (calls->stopOnFirst != nullptr) calls->stopOnFirst->stop();
}

// The host's message loop, for a while, or until done says it is enough.
template <typename Done>
void pumpUntil(DWORD ms, Done done) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

void pumpFor(DWORD ms) {
    pumpUntil(ms, [] { return false; });
}

TEST(IdleTimer, SeveralRunAtOnceEachToItsOwnContextOnTheStartingThread) {
    Calls fast, slow;
    IdleTimer fastTimer, slowTimer;
    ASSERT_TRUE(fastTimer.start(10, &noteCall, &fast));
    ASSERT_TRUE(slowTimer.start(40, &noteCall, &slow));
    pumpUntil(3000, [&] { return fast.count >= 6 && slow.count >= 2; });
    EXPECT_GE(fast.count, 6);
    EXPECT_GE(slow.count, 2);
    EXPECT_GT(fast.count, slow.count);
    EXPECT_EQ(fast.thread, GetCurrentThreadId());
    EXPECT_EQ(slow.thread, GetCurrentThreadId());
}

TEST(IdleTimer, NoCallAfterStopOrDestructionAndStopMayComeAgain) {
    Calls stopped, destroyed, neverStarted;
    IdleTimer timer;
    timer.stop();  // before any start
    ASSERT_TRUE(timer.start(10, &noteCall, &stopped));
    {
        IdleTimer leaving;
        ASSERT_TRUE(leaving.start(10, &noteCall, &destroyed));
        pumpUntil(2000, [&] { return stopped.count >= 2 && destroyed.count >= 1; });
    }
    ASSERT_GE(stopped.count, 2);
    // Ticks already queued when the timers end must not reach them either.
    Sleep(50);
    timer.stop();
    timer.stop();
    const int stoppedCalls = stopped.count, destroyedCalls = destroyed.count;
    pumpFor(150);
    EXPECT_EQ(stopped.count, stoppedCalls);
    EXPECT_EQ(destroyed.count, destroyedCalls);

    // Bad arguments start nothing, and leave a timer that was running stopped.
    ASSERT_TRUE(timer.start(10, &noteCall, &stopped));
    EXPECT_FALSE(timer.start(0, &noteCall, &neverStarted));
    EXPECT_FALSE(timer.start(10, nullptr, &neverStarted));
    const int beforeRefusal = stopped.count;
    pumpFor(100);
    EXPECT_EQ(stopped.count, beforeRefusal);
    EXPECT_EQ(neverStarted.count, 0);
    timer.stop();
}

TEST(IdleTimer, StartsAgainAfterStopAndMayStopItselfFromItsCallback) {
    Calls again, once;
    IdleTimer timer, selfStopping;
    ASSERT_TRUE(timer.start(10, &noteCall, &again));
    pumpUntil(2000, [&] { return again.count >= 1; });
    timer.stop();
    const int first = again.count;
    ASSERT_TRUE(timer.start(10, &noteCall, &again));
    once.stopOnFirst = &selfStopping;
    ASSERT_TRUE(selfStopping.start(10, &noteCall, &once));
    pumpUntil(2000, [&] { return again.count >= first + 3; });
    EXPECT_GE(again.count, first + 3);
    EXPECT_EQ(once.count, 1);
}

// Hosts may open editors on more than one thread: each timer ticks on its own thread only.
TEST(IdleTimer, TimersOfTwoThreadsStayOnTheirOwnThreads) {
    Calls mine, theirs;
    std::atomic<bool> theirsStarted{false}, finish{false};
    std::thread other([&] {
        IdleTimer timer;
        theirsStarted = timer.start(10, &noteCall, &theirs);
        const ULONGLONG deadline = GetTickCount64() + 3000;
        while (!finish && GetTickCount64() < deadline) pumpFor(20);
    });
    IdleTimer timer;
    ASSERT_TRUE(timer.start(10, &noteCall, &mine));
    pumpUntil(3000, [&] { return mine.count >= 5; });
    timer.stop();
    finish = true;
    other.join();
    ASSERT_TRUE(theirsStarted);
    EXPECT_GE(mine.count, 5);
    EXPECT_GE(theirs.count, 5);
    EXPECT_EQ(mine.thread, GetCurrentThreadId());
    EXPECT_NE(theirs.thread, GetCurrentThreadId());
    EXPECT_FALSE(mine.otherThread);
    EXPECT_FALSE(theirs.otherThread);
}

}  // namespace
}  // namespace flanger::platform::win32
