// The validator's own machinery: guarded buffers really fault at their end, the forked child
// turns crashes, hangs and odd exits into reports naming the last call, and texts are judged
// correctly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "tools/validate/Categories.h"
#include "tools/validate/GuardedMemory.h"
#include "tools/validate/Isolation.h"

namespace flanger::tools {
namespace {

uintptr_t pageOf(const void* p) {
    return reinterpret_cast<uintptr_t>(p) % static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
}

TEST(GuardedMemoryTest, EveryBufferEndsAtAGuardPage) {
    for (size_t size : {size_t{1}, size_t{64}, size_t{4095}, size_t{4096}, size_t{10000}}) {
        GuardedBlock block(size, 0x55);
        EXPECT_EQ(pageOf(block.data() + size), 0u) << size;
        EXPECT_EQ(block.data()[size - 1], 0x55);
        EXPECT_TRUE(isGuardAddress(reinterpret_cast<uintptr_t>(block.data() + size)));
        EXPECT_FALSE(isGuardAddress(reinterpret_cast<uintptr_t>(block.data())));
    }
    EXPECT_FALSE(isGuardAddress(8));  // a null-pointer fault is not a guard hit

    GuardedChannels channels(2, 1000);
    for (int32_t frames : {0, 1, 333, 1000}) {
        float** pointers = channels.pointers(frames);
        for (int32_t c = 0; c < 2; ++c) EXPECT_EQ(pageOf(pointers[c] + frames), 0u) << frames;
        EXPECT_EQ(pageOf(pointers + 2), 0u);  // even the pointer array ends at a guard
    }
}

TEST(GuardedMemoryDeathTest, WritingOnePastTheEndFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            GuardedBlock block(100);
            volatile unsigned char* p = block.data();
            p[100] = 1;
        },
        "");
}

TEST(IsolationTest, CollectsFailuresNotesAndTheSummary) {
    const Outcome outcome = runIsolated(
        [](Findings& f) {
            f.fail("first %d", 1);
            f.fail("second");
            f.note("seen");
            f.summary("two checks");
        },
        IsolationOptions{});
    EXPECT_EQ(outcome.status, Outcome::Status::Fail);
    ASSERT_EQ(outcome.failures.size(), 2u);
    EXPECT_EQ(outcome.failures[0], "first 1");
    EXPECT_EQ(outcome.notes, std::vector<std::string>{"seen"});
    EXPECT_EQ(outcome.summary, "two checks");
    EXPECT_EQ(runIsolated([](Findings&) {}, IsolationOptions{}).status, Outcome::Status::Pass);

    // A skip is reported with its reason, unless something failed before it.
    const Outcome skipped = runIsolated([](Findings& f) { f.skip("no editor"); }, IsolationOptions{});
    EXPECT_EQ(skipped.status, Outcome::Status::Skip);
    EXPECT_EQ(skipped.summary, "(no editor)");
    const Outcome failedFirst = runIsolated(
        [](Findings& f) {
            f.fail("cannot start");
            f.skip("no editor");
        },
        IsolationOptions{});
    EXPECT_EQ(failedFirst.status, Outcome::Status::Fail);
}

TEST(IsolationTest, ACrashNamesTheLastCallAndAGuardHit) {
    const Outcome outcome = runIsolated(
        [](Findings&) {
            GuardedBlock block(16);
            CallTrace::note("effGetParamDisplay(%d)", 3);
            volatile unsigned char* p = block.data();
            p[16] = 1;
        },
        IsolationOptions{});
    EXPECT_EQ(outcome.status, Outcome::Status::Crash);
    EXPECT_NE(outcome.summary.find("effGetParamDisplay(3)"), std::string::npos) << outcome.summary;
    EXPECT_NE(outcome.summary.find("guard page"), std::string::npos) << outcome.summary;
}

TEST(IsolationTest, ACrashOnAnotherThreadNamesThatThread) {
    const Outcome outcome = runIsolated(
        [](Findings&) {
            CallTrace::note("processReplacing(512 frames)");
            std::thread writer([] {
                CallTrace::bindThread(2, "writer");
                CallTrace::note("setParameter(1, 0.5)");
                std::raise(SIGSEGV);
            });
            writer.join();
        },
        IsolationOptions{});
    EXPECT_EQ(outcome.status, Outcome::Status::Crash);
    EXPECT_NE(outcome.summary.find("writer: setParameter(1, 0.5)"), std::string::npos) << outcome.summary;
}

TEST(IsolationTest, FindingsKeptBeforeACrashAreReportedWithIt) {
    const Outcome outcome = runIsolated(
        [](Findings& f) {
            f.fail("left a window");
            f.note("took 8 s");
            f.checkpoint();
            f.fail("never stored");
            CallTrace::note("effEditOpen(parent 0x0 = null)");
            std::raise(SIGSEGV);
        },
        IsolationOptions{});
    EXPECT_EQ(outcome.status, Outcome::Status::Crash);
    EXPECT_NE(outcome.summary.find("effEditOpen(parent 0x0 = null)"), std::string::npos) << outcome.summary;
    EXPECT_EQ(outcome.failures, std::vector<std::string>{"left a window"});
    EXPECT_EQ(outcome.notes, std::vector<std::string>{"took 8 s"});
}

TEST(IsolationTest, AClearedSlotOfAnEndedThreadIsNotNamed) {
    const Outcome outcome = runIsolated(
        [](Findings&) {
            std::thread audio([] {
                CallTrace::bindThread(1, "audio thread");
                CallTrace::note("processReplacing(256 frames)");
            });
            audio.join();
            CallTrace::clearSlot(1);
            CallTrace::note("effEditOpen(parent 0x0 = null)");
            std::exit(1);  // as a sanitizer ends it: the summary lists every slot's last call
        },
        IsolationOptions{});
    EXPECT_EQ(outcome.status, Outcome::Status::Abnormal);
    EXPECT_NE(outcome.summary.find("effEditOpen(parent 0x0 = null)"), std::string::npos) << outcome.summary;
    EXPECT_EQ(outcome.summary.find("audio thread"), std::string::npos) << outcome.summary;
}

TEST(IsolationTest, HangsAndOddExitsAreReported) {
    IsolationOptions quick;
    quick.timeoutSeconds = 2.0;
    const Outcome hang = runIsolated(
        [](Findings&) {
            CallTrace::note("effSetSampleRate(0)");
            std::this_thread::sleep_for(std::chrono::seconds(30));
        },
        quick);
    EXPECT_EQ(hang.status, Outcome::Status::Timeout);
    EXPECT_NE(hang.summary.find("effSetSampleRate(0)"), std::string::npos) << hang.summary;

    const Outcome exited = runIsolated(
        [](Findings&) {
            CallTrace::note("effOpen");
            std::fprintf(stderr, "the plug-in says goodbye\n");
            std::exit(3);
        },
        IsolationOptions{});
    EXPECT_EQ(exited.status, Outcome::Status::Abnormal);
    EXPECT_NE(exited.summary.find("status 3"), std::string::npos) << exited.summary;
    EXPECT_NE(exited.summary.find("effOpen"), std::string::npos) << exited.summary;
    ASSERT_FALSE(exited.output.empty());
    EXPECT_EQ(exited.output.back(), "the plug-in says goodbye");
}

TEST(TextProblemTest, JudgesTerminationAndPrintability) {
    auto problem = [](const std::string& bytes) {
        return textProblem(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(problem(std::string("50.0\0xx", 7)), "");
    EXPECT_EQ(problem(std::string("\xc2\xb5s\0", 4)), "");  // a micro sign in UTF-8
    EXPECT_EQ(problem(std::string("\0", 1)), "");
    EXPECT_NE(problem("abcd").find("not terminated"), std::string::npos);
    EXPECT_NE(problem(std::string("a\tb\0", 4)).find("control"), std::string::npos);
    EXPECT_NE(problem(std::string("\xff\0", 2)).find("not UTF-8"), std::string::npos);
    EXPECT_NE(problem(std::string("a\xc3\0", 3)).find("truncated"), std::string::npos);
    EXPECT_NE(problem(std::string("\xc3\x28\0", 3)).find("malformed"), std::string::npos);
}

}  // namespace
}  // namespace flanger::tools
