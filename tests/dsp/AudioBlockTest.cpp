// The block framework: chunking, frames, ranges and the reserved slots.
#include <gtest/gtest.h>

#include <vector>

#include "dsp/AudioBlock.h"

namespace flanger::dsp {
namespace {

// Records every processChunk call and copies input to output.
class RecordingBlock : public ChunkedAudioBlock {
public:
    RecordingBlock(int inputs, int maxLength, int outputs) : ChunkedAudioBlock(inputs, maxLength, outputs) {}
    void processChunk(float** in, float** out, int n) noexcept override {
        chunks.push_back(n);
        firstInputs.push_back(in[0]);
        for (int c = 0; c < outputCount(); ++c)
            for (int i = 0; i < n; ++i) out[c][i] = in[c < inputCount() ? c : 0][i] * 2.0f;
    }
    std::vector<int> chunks;
    std::vector<float*> firstInputs;
};

// Records the arguments of process().
class ProbeBlock : public AudioBlock {
public:
    ProbeBlock() : AudioBlock(2, 2, 8, 48000.0f) {}
    void process(float** in, float** out, int count) noexcept override {
        lastIn[0] = in[0];
        lastIn[1] = in[1];
        lastOut[0] = out[0];
        lastOut[1] = out[1];
        lastCount = count;
    }
    float* lastIn[2] = {};
    float* lastOut[2] = {};
    int lastCount = -1;
};

class ChunkedAudioBlockTest : public ::testing::Test {
protected:
    std::vector<float> left = std::vector<float>(1000, 1.0f);
    std::vector<float> right = std::vector<float>(1000, 2.0f);
    std::vector<float> outLeft = std::vector<float>(1000, 0.0f);
    std::vector<float> outRight = std::vector<float>(1000, 0.0f);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
};

TEST_F(ChunkedAudioBlockTest, TwoAndAHalfBlocksGiveFullFullHalf) {
    RecordingBlock block(2, 100, 2);
    block.process(in, out, 250);
    EXPECT_EQ(block.chunks, (std::vector<int>{100, 100, 50}));
    EXPECT_EQ(block.firstInputs, (std::vector<float*>{left.data(), left.data() + 100, left.data() + 200}));
    EXPECT_EQ(outLeft[249], 2.0f);
    EXPECT_EQ(outRight[249], 4.0f);
    EXPECT_EQ(outLeft[250], 0.0f);
}

TEST_F(ChunkedAudioBlockTest, ZeroOrNegativeCountProcessesNothing) {
    RecordingBlock block(2, 100, 2);
    block.process(in, out, 0);
    block.process(in, out, -5);
    EXPECT_TRUE(block.chunks.empty());
}

TEST_F(ChunkedAudioBlockTest, NullPointerArraysProcessNothing) {
    RecordingBlock block(2, 100, 2);
    block.process(nullptr, out, 10);
    block.process(in, nullptr, 10);
    EXPECT_TRUE(block.chunks.empty());
}

TEST_F(ChunkedAudioBlockTest, MaximumOfZeroWorksFrameByFrame) {
    RecordingBlock block(2, 0, 2);
    block.process(in, out, 3);
    EXPECT_EQ(block.chunks, (std::vector<int>{1, 1, 1}));
}

TEST_F(ChunkedAudioBlockTest, BlockCallsUseTheMaximumLength) {
    RecordingBlock block(2, 64, 2);
    block.processBlock(in, out);
    block.processBlockInPlace(in);
    EXPECT_EQ(block.chunks, (std::vector<int>{64, 64}));
    EXPECT_EQ(left[0], 2.0f);  // in place: the input was doubled
}

TEST(AudioBlockTest, ProcessRangeOffsetsEveryChannel) {
    ProbeBlock block;
    float a[32] = {}, b[32] = {}, c[32] = {}, d[32] = {};
    float* in[2] = {a, b};
    float* out[2] = {c, d};
    block.processRange(in, 10, out, 0, 5);
    EXPECT_EQ(block.lastIn[0], a + 10);
    EXPECT_EQ(block.lastIn[1], b + 10);
    EXPECT_EQ(block.lastOut[0], c);
    EXPECT_EQ(block.lastOut[1], d);
    EXPECT_EQ(block.lastCount, 5);
}

TEST(AudioBlockTest, ProcessFrameSplitsAnInterleavedFrame) {
    ProbeBlock block;
    float frame[2] = {0.25f, 0.5f};
    float result[2] = {};
    block.processFrame(frame, result);
    EXPECT_EQ(block.lastIn[0], frame);
    EXPECT_EQ(block.lastIn[1], frame + 1);
    EXPECT_EQ(block.lastOut[1], result + 1);
    EXPECT_EQ(block.lastCount, 1);
    block.processFrameInPlace(frame);
    EXPECT_EQ(block.lastOut[0], frame);
}

TEST(AudioBlockTest, BaseProcessAndReservedSlotsDoNothing) {
    AudioBlock block(2, 2, 16, 44100.0f);
    float a[16] = {1.0f};
    float* io[2] = {a, a};
    block.process(io, io, 16);
    block.processInPlace(io, 16);
    block.idle();
    EXPECT_EQ(a[0], 1.0f);
    EXPECT_EQ(block.query(), 0);
    EXPECT_EQ(block.blockSampleRate(), 44100.0f);
}

TEST(AudioBlockTest, ChunkedBlockHasNoSampleRateOfItsOwn) {
    ChunkedAudioBlock block(2, 16, 2);
    EXPECT_EQ(block.blockSampleRate(), -1.0f);
    EXPECT_EQ(block.blockLength(), 16);
}

}  // namespace
}  // namespace flanger::dsp
