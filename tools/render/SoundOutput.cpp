// Output formats, dither and the stereo file writer.
#include "tools/render/SoundOutput.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/render/Render.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace flanger::tools {

namespace {

constexpr int kWaveFormatIeeeFloat = 3;
constexpr size_t kWavHeaderBytes = 58;  // RIFF + 18-byte fmt + fact + data headers
constexpr int64_t kWavLargestData = 0xFFFFFFFFLL - static_cast<int64_t>(kWavHeaderBytes);

void putLittle(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

bool holds(int container, int sub) {
    SF_INFO check{};
    check.channels = 2;
    check.samplerate = 44100;
    check.format = container | sub;
    return sf_format_check(&check) != 0;
}

// The larger of peak and every |sample| of both channels; a NaN counts as infinite.
float largestMagnitude(const float* left, const float* right, size_t n, float peak) {
    // Through the bits: without the sign they order as the values do.
    uint32_t peakBits = std::bit_cast<uint32_t>(peak);
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 largest = _mm_setzero_ps();
    __m128 unordered = _mm_setzero_ps();
    for (; i + 4 <= n; i += 4) {
        const __m128 l = _mm_loadu_ps(left + i);
        const __m128 r = _mm_loadu_ps(right + i);
        // A float maximum drops NaNs, so they are looked for beside it.
        unordered = _mm_or_ps(unordered, _mm_cmpunord_ps(l, r));
        largest = _mm_max_ps(largest, _mm_max_ps(_mm_and_ps(l, magnitude), _mm_and_ps(r, magnitude)));
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, largest);
    for (const float lane : lanes) peakBits = std::max(peakBits, std::bit_cast<uint32_t>(lane));
    if (_mm_movemask_ps(unordered) != 0) peakBits = 0x7F800000u;
#endif
    for (; i < n; ++i) {
        peakBits = std::max(peakBits, std::bit_cast<uint32_t>(left[i]) & 0x7FFFFFFFu);
        peakBits = std::max(peakBits, std::bit_cast<uint32_t>(right[i]) & 0x7FFFFFFFu);
    }
    return std::bit_cast<float>(std::min(peakBits, 0x7F800000u));
}

}  // namespace

int containerOf(const std::string& path) {
    const std::string extension = lowerExtension(path);
    if (extension == "wav" || extension == "wave") return SF_FORMAT_WAV;
    if (extension == "flac") return SF_FORMAT_FLAC;
    if (extension == "aif" || extension == "aiff") return SF_FORMAT_AIFF;
    return 0;
}

FormatChoice chooseOutputFormat(int container, int inputFormat, SampleRequest request) {
    FormatChoice choice;
    const bool flac = container == SF_FORMAT_FLAC;
    switch (request) {
        case SampleRequest::Pcm16:
            choice.format = container | SF_FORMAT_PCM_16;
            return choice;
        case SampleRequest::Pcm24:
            choice.format = container | SF_FORMAT_PCM_24;
            return choice;
        case SampleRequest::Pcm32:
        case SampleRequest::Float:
            if (flac) {
                choice.note = std::string("FLAC holds at most 24-bit integers: ") +
                              (request == SampleRequest::Float ? "--float" : "--bits 32") +
                              " needs a .wav or .aiff output";
                return choice;
            }
            choice.format =
                container | (request == SampleRequest::Float ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_32);
            return choice;
        case SampleRequest::FollowInput:
            break;
    }
    const int sub = inputFormat & SF_FORMAT_SUBMASK;
    const bool wide = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE || sub == SF_FORMAT_PCM_32;
    if (flac && wide) {
        choice.format = container | SF_FORMAT_PCM_24;
        choice.note =
            "FLAC holds at most 24-bit integers: writing 24-bit (a .wav output keeps the input's "
            "format)";
        return choice;
    }
    // Other encodings (A-law, ADPCM, lossy codecs) that the container cannot hold become 24-bit.
    choice.format = container | (holds(container, sub) ? sub : SF_FORMAT_PCM_24);
    return choice;
}

bool clipsAtFullScale(int format) {
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub != SF_FORMAT_FLOAT && sub != SF_FORMAT_DOUBLE;
}

int16_t quantise16(float sample, float dither, bool& clipped) noexcept {
    const float scaled = sample * 32768.0f + dither;
    clipped = !(scaled < 32767.5f && scaled >= -32768.5f);
    if (clipped) return scaled > 0.0f ? int16_t{32767} : int16_t{-32768};  // NaN reads as -full scale
    return static_cast<int16_t>(std::lrint(scaled));
}

SoundWriter::SoundWriter(int fd, std::string path, int outputFormat, int rate, int64_t frames,
                         const OutputStage& stage)
    : descriptor(fd),
      name(std::move(path)),
      format(outputFormat),
      sampleRate(rate),
      expectedFrames(std::max<int64_t>(frames, 0)),
      gain(static_cast<float>(std::pow(10.0, stage.gainDb / 20.0))),
      dither(stage.dither),
      ownWav((outputFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && !clipsAtFullScale(outputFormat)) {
    if (stage.gainDb == 0.0) gain = 1.0f;  // exactly: no multiply, the same bits as without --gain
    if (ownWav) {
        const int64_t bytesPerFrame = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE ? 16 : 8;
        if (expectedFrames > kWavLargestData / bytesPerFrame) {
            ::close(descriptor);
            descriptor = -1;
            throw RenderError("cannot write " + name +
                              ": too long for a WAV file (4 GiB); use .flac or .aiff");
        }
        writeWavHeader(expectedFrames);
        return;
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    sound = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    descriptor = -1;  // the library closes it, also when the open fails
    if (sound == nullptr) throw RenderError("cannot write " + name + ": " + sf_strerror(nullptr));
    // Integer formats clip at full scale instead of wrapping.
    sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The library's peak chunk carries the time of writing: without it the same render gives
    // the same bytes, which users and tests compare.
    sf_command(sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

SoundWriter::~SoundWriter() {
    if (sound != nullptr) sf_close(sound);
    if (descriptor >= 0) ::close(descriptor);
}

void SoundWriter::writeBytes(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(descriptor, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw RenderError("cannot write " + name + ": " + std::strerror(n < 0 ? errno : ENOSPC));
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

void SoundWriter::writeWavHeader(int64_t frames) {
    const bool isDouble = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE;
    const uint32_t sampleBytes = isDouble ? 8 : 4;
    const auto dataBytes = static_cast<uint32_t>(frames * 2 * sampleBytes);
    std::array<uint8_t, kWavHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    putLittle(&h[4], static_cast<uint32_t>(kWavHeaderBytes - 8) + dataBytes, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    putLittle(&h[16], 18, 4);
    putLittle(&h[20], kWaveFormatIeeeFloat, 2);
    putLittle(&h[22], 2, 2);
    putLittle(&h[24], static_cast<uint32_t>(sampleRate), 4);
    putLittle(&h[28], static_cast<uint32_t>(sampleRate) * 2 * sampleBytes, 4);
    putLittle(&h[32], 2 * sampleBytes, 2);
    putLittle(&h[34], 8 * sampleBytes, 2);
    putLittle(&h[36], 0, 2);  // cbSize: no extension follows
    std::memcpy(&h[38], "fact", 4);
    putLittle(&h[42], 4, 4);
    putLittle(&h[46], static_cast<uint32_t>(frames), 4);
    std::memcpy(&h[50], "data", 4);
    putLittle(&h[54], dataBytes, 4);
    writeBytes(h.data(), h.size());
}

void SoundWriter::write(float* left, float* right, size_t n) {
    if (gain != 1.0f) {
        for (size_t i = 0; i < n; ++i) {
            left[i] *= gain;
            right[i] *= gain;
        }
    }
    measured.peak = largestMagnitude(left, right, n, measured.peak);

    const int sub = format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_PCM_16) {
        interleavedShorts.resize(2 * n);
        int64_t clipped = 0;
        bool c = false;
        for (size_t i = 0; i < n; ++i) {
            interleavedShorts[2 * i] = quantise16(left[i], dither ? ditherLeft.next() : 0.0f, c);
            clipped += c;
            interleavedShorts[2 * i + 1] = quantise16(right[i], dither ? ditherRight.next() : 0.0f, c);
            clipped += c;
        }
        measured.clipped += clipped;
        if (sf_writef_short(sound, interleavedShorts.data(), static_cast<sf_count_t>(n)) !=
            static_cast<sf_count_t>(n))
            throw RenderError("cannot write " + name + ": " + sf_strerror(sound));
        framesWritten += static_cast<int64_t>(n);
        return;
    }
    if (ownWav && sub == SF_FORMAT_DOUBLE) {
        interleavedDoubles.resize(2 * n);
        for (size_t i = 0; i < n; ++i) {
            interleavedDoubles[2 * i] = left[i];
            interleavedDoubles[2 * i + 1] = right[i];
        }
        if constexpr (std::endian::native == std::endian::big) {
            for (double& d : interleavedDoubles)
                d = std::bit_cast<double>(__builtin_bswap64(std::bit_cast<uint64_t>(d)));
        }
        if (framesWritten + static_cast<int64_t>(n) > kWavLargestData / 16)
            throw RenderError("cannot write " + name + ": too long for a WAV file (4 GiB)");
        writeBytes(interleavedDoubles.data(), interleavedDoubles.size() * sizeof(double));
        framesWritten += static_cast<int64_t>(n);
        return;
    }
    interleaved.resize(2 * n);
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= n; i += 4) {
        const __m128 l = _mm_loadu_ps(left + i);
        const __m128 r = _mm_loadu_ps(right + i);
        _mm_storeu_ps(interleaved.data() + 2 * i, _mm_unpacklo_ps(l, r));
        _mm_storeu_ps(interleaved.data() + 2 * i + 4, _mm_unpackhi_ps(l, r));
    }
#endif
    for (; i < n; ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    if (ownWav) {
        if constexpr (std::endian::native == std::endian::big) {
            for (float& f : interleaved)
                f = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<uint32_t>(f)));
        }
        if (framesWritten + static_cast<int64_t>(n) > kWavLargestData / 8)
            throw RenderError("cannot write " + name + ": too long for a WAV file (4 GiB)");
        writeBytes(interleaved.data(), interleaved.size() * sizeof(float));
        framesWritten += static_cast<int64_t>(n);
        return;
    }
    if (clipsAtFullScale(format)) {
        int64_t clipped = 0;
        for (const float s : interleaved) clipped += !(s >= -1.0f && s <= 1.0f);
        measured.clipped += clipped;
    }
    if (sf_writef_float(sound, interleaved.data(), static_cast<sf_count_t>(n)) != static_cast<sf_count_t>(n))
        throw RenderError("cannot write " + name + ": " + sf_strerror(sound));
    framesWritten += static_cast<int64_t>(n);
}

void SoundWriter::finish() {
    if (!ownWav) {
        SNDFILE* s = sound;
        sound = nullptr;
        if (sf_close(s) != 0) throw RenderError("cannot finish " + name);
        return;
    }
    if (framesWritten != expectedFrames) {
        // Fewer or more frames than announced (a stream of unknown length): fix the sizes.
        if (::lseek(descriptor, 0, SEEK_SET) != 0)
            throw RenderError("cannot finish " + name + ": its header cannot be rewritten (not seekable)");
        writeWavHeader(framesWritten);
    }
    const int fd = descriptor;
    descriptor = -1;
    if (::close(fd) != 0) throw RenderError("cannot write " + name + ": " + std::strerror(errno));
}

}  // namespace flanger::tools
