// The output side of a render: which sample format a file gets, and the writer that applies the
// output gain, dithers 16-bit output and counts what clips on the way into the file.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace flanger::tools {

// What the user asked for with --bits or --float; FollowInput keeps the input's sample format
// where the container can hold it.
enum class SampleRequest { FollowInput, Pcm16, Pcm24, Pcm32, Float };

struct FormatChoice {
    int format = 0;    // SF_FORMAT_* major | sub; 0 when refused
    std::string note;  // told to the user on stderr, or the reason for a refusal
};

// SF_FORMAT_WAV, _FLAC or _AIFF from a file name's extension (any case); 0 when unknown.
int containerOf(const std::string& path);

// The container's sample format for this input and request. FLAC holds at most 24-bit integers:
// float and 32-bit input become 24-bit with a note, and asking for float or 32 bits is refused.
FormatChoice chooseOutputFormat(int container, int inputFormat, SampleRequest request);

// True for the integer sample formats, the ones that clip.
bool clipsAtFullScale(int format);

// Triangular-PDF dither for one channel: the sum of two uniform values in [-0.5, 0.5) LSB,
// from a fixed seed so the same render gives the same bytes.
class TpdfDither {
public:
    explicit TpdfDither(uint64_t seed) noexcept : state(seed ? seed : 1) {}
    float next() noexcept { return uniform() + uniform(); }

private:
    float uniform() noexcept {
        // xorshift64*: fast, and white enough that the error's spectrum stays flat.
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const uint64_t r = state * 0x2545F4914F6CDD1DULL;
        return static_cast<float>(r >> 40) * (1.0f / 16777216.0f) - 0.5f;
    }
    uint64_t state;
};

// Full scale is 32768 steps either side, as the library reads 16-bit files: s / 32768.
// Returns the sample; `clipped` tells when it had to be held inside the range.
int16_t quantise16(float sample, float dither, bool& clipped) noexcept;

struct OutputStage {
    double gainDb = 0.0;  // applied after the effect
    bool dither = true;   // TPDF on 16-bit output
};

struct OutputLevels {
    int64_t clipped = 0;  // samples held at full scale in an integer format
    float peak = 0.0f;    // largest magnitude after the gain, 1.0 = full scale
};

// A stereo output file on a descriptor it takes over. Float and double WAV are written here
// with the 18-byte format chunk other programs expect; everything else by the sound library.
class SoundWriter {
public:
    // expectedFrames sizes the WAV header up front, so an output that cannot seek (a pipe)
    // still gets a correct one; a seekable output is patched at the end if the count differs.
    SoundWriter(int descriptor, std::string name, int format, int sampleRate, int64_t expectedFrames,
                const OutputStage& stage);
    ~SoundWriter();
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    // Writes n frames; left and right get the gain applied in place. Throws RenderError.
    void write(float* left, float* right, size_t n);
    // Completes the file (header sizes). Throws RenderError.
    void finish();
    const OutputLevels& levels() const noexcept { return measured; }

private:
    void writeBytes(const void* data, size_t size);
    void writeWavHeader(int64_t frames);

    int descriptor = -1;
    std::string name;
    int format;
    int sampleRate;
    int64_t expectedFrames;
    float gain;
    bool dither;
    bool ownWav;  // float or double WAV written without the library
    int64_t framesWritten = 0;
    SNDFILE* sound = nullptr;
    TpdfDither ditherLeft{0x853C49E6748FEA9BULL};
    TpdfDither ditherRight{0xDA3E39CB94B95BDBULL};
    std::vector<float> interleaved;
    std::vector<double> interleavedDoubles;
    std::vector<short> interleavedShorts;
    OutputLevels measured;
};

}  // namespace flanger::tools
