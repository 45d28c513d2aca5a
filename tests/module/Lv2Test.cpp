// The LV2 bundle: its plug-in binary driven in-process as a host drives it, and the real LV2
// hosts Debian has (lilv's tools) reading, validating and running it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tools/common/TestHost.h"
#include "tools/render/Render.h"

namespace {

namespace fs = std::filesystem;
using namespace flanger::tools;

constexpr uint32_t kControls = 11, kInL = 11, kInR = 12, kOutL = 13, kOutR = 14, kTime = 15;
const std::string kBundle = FLANGER_LV2_BUNDLE;

class UridMap {
public:
    LV2_URID map(const char* uri) {
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    LV2_URID_Map feature{
        this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); }};

private:
    std::vector<std::string> uris;
};

// The plug-in as a host holds it: ports connected to buffers of its own.
class Lv2Instance {
public:
    Lv2Instance(const LV2_Descriptor* d, LV2_Handle h) : descriptor(d), handle(h) {
        // Program 0's values, as flanger.ttl gives them.
        const float defaults[kControls] = {50, 50, 50, 50, 0, 1, 0, 1, 0, 100, 50};
        std::copy(defaults, defaults + kControls, controls);
        for (uint32_t i = 0; i < kControls; ++i) descriptor->connect_port(handle, i, &controls[i]);
    }
    ~Lv2Instance() {
        descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }
    // Runs the input through in calls of `block` frames; in place when asked.
    std::vector<float> run(const std::vector<float>& left, const std::vector<float>& right, uint32_t block,
                           bool inPlace = false, const LV2_Atom_Sequence* time = nullptr) {
        std::vector<float> out(left.size() * 2);
        std::vector<float> a(block), b(block), c(block), d(block);
        descriptor->connect_port(handle, kInL, a.data());
        descriptor->connect_port(handle, kInR, b.data());
        descriptor->connect_port(handle, kOutL, inPlace ? a.data() : c.data());
        descriptor->connect_port(handle, kOutR, inPlace ? b.data() : d.data());
        descriptor->connect_port(handle, kTime, const_cast<LV2_Atom_Sequence*>(time));
        if (!active) descriptor->activate(handle);
        active = true;
        for (size_t at = 0; at < left.size(); at += block) {
            const size_t n = std::min<size_t>(block, left.size() - at);
            std::copy_n(left.begin() + static_cast<std::ptrdiff_t>(at), n, a.begin());
            std::copy_n(right.begin() + static_cast<std::ptrdiff_t>(at), n, b.begin());
            descriptor->run(handle, static_cast<uint32_t>(n));
            for (size_t i = 0; i < n; ++i) {
                out[2 * (at + i)] = inPlace ? a[i] : c[i];
                out[2 * (at + i) + 1] = inPlace ? b[i] : d[i];
            }
        }
        return out;
    }
    float controls[kControls] = {};

private:
    const LV2_Descriptor* descriptor;
    LV2_Handle handle;
    bool active = false;
};

class Lv2Plugin : public ::testing::Test {
protected:
    void SetUp() override {
        library = dlopen((kBundle + "/BrackwaterFlanger_dsp.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_EQ(entry(1), nullptr);
        EXPECT_STREQ(descriptor->URI, "urn:brackwater:flanger");
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        for (int i = 0; i < 44100; ++i) {
            left.push_back(noise(random));
            right.push_back(noise(random));
        }
    }
    void TearDown() override {
        if (library) dlclose(library);
    }
    std::unique_ptr<Lv2Instance> make(double rate = 44100.0, const LV2_Feature* const* features = nullptr) {
        const LV2_Feature* none[] = {nullptr};
        LV2_Handle h = descriptor->instantiate(descriptor, rate, kBundle.c_str(), features ? features : none);
        return h ? std::make_unique<Lv2Instance>(descriptor, h) : nullptr;
    }

    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    std::vector<float> left, right;
};

TEST_F(Lv2Plugin, RefusesWhatTheVstModuleRefusesAndSoundsTheSameInPlace) {
    for (double rate : {0.0, -44100.0, double(NAN), double(INFINITY), 1e9})
        EXPECT_EQ(make(rate), nullptr) << rate;

    auto plain = make();
    ASSERT_NE(plain, nullptr);
    const auto separate = plain->run(left, right, 256);
    auto aliased = make();
    EXPECT_EQ(aliased->run(left, right, 256, true), separate) << "in-place buffers sound as separate ones";

    // Values no host should send: NaN changes nothing, out of range is held to the range.
    auto held = make();
    held->controls[0] = 100.0f;
    const auto full = held->run(left, right, 300);
    auto wild = make();
    wild->controls[0] = 250.0f;
    wild->controls[1] = NAN;
    EXPECT_EQ(wild->run(left, right, 300), full);

    // A run of 0 frames and a missing buffer write nothing and break nothing.
    float in[4] = {1, 1, 1, 1}, out[4] = {7, 7, 7, 7};
    auto* handle = descriptor->instantiate(descriptor, 48000.0, kBundle.c_str(), nullptr);
    ASSERT_NE(handle, nullptr);
    descriptor->connect_port(handle, kInL, in);
    descriptor->connect_port(handle, kInR, in);
    descriptor->connect_port(handle, kOutL, out);
    descriptor->connect_port(handle, kOutR, nullptr);
    descriptor->activate(handle);
    descriptor->run(handle, 4);
    descriptor->connect_port(handle, kOutR, out);
    descriptor->run(handle, 0);
    EXPECT_EQ(out[0], 7.0f);
    descriptor->run(handle, 4);  // no controls connected: the program's values stand
    descriptor->deactivate(handle);
    descriptor->cleanup(handle);
}

TEST_F(Lv2Plugin, TakesTheHostTempoTruncatedFromTimePositionEvents) {
    UridMap urids;
    const LV2_Feature map{LV2_URID__map, &urids.feature};
    const LV2_Feature* features[] = {&map, nullptr};
    auto render = [&](float bpm) {
        alignas(8) uint8_t buffer[256] = {};
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &urids.feature);
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, urids.map(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, urids.map(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, bpm);
        lv2_atom_forge_pop(&forge, &object);
        lv2_atom_forge_pop(&forge, &sequence);
        auto instance = make(44100.0, features);
        instance->controls[4] = 1.0f;  // tempo sync
        return instance->run(left, right, 512, false, reinterpret_cast<const LV2_Atom_Sequence*>(buffer));
    };
    const auto at140 = render(140.0f);
    EXPECT_EQ(render(140.7f), at140);
    EXPECT_NE(render(141.0f), at140);
    // Without the map the port is ignored: the default tempo.
    auto unmapped = make();
    unmapped->controls[4] = 1.0f;
    EXPECT_NE(unmapped->run(left, right, 512), at140);
}

// Real hosts from lilv; each skips when its tool is missing.
std::string capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

class Lv2Hosts : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef FLANGER_SANITIZED
        GTEST_SKIP() << "lilv's tools cannot load a sanitized plug-in";
#endif
        setenv("LV2_PATH", fs::path(kBundle).parent_path().c_str(), 1);
    }
};

TEST_F(Lv2Hosts, LilvListsDescribesAndValidatesIt) {
    if (!have("lv2info") || !have("lv2_validate")) GTEST_SKIP() << "lilv-utils or lv2-dev is not installed";
    EXPECT_NE(capture("lv2ls").find("urn:brackwater:flanger"), std::string::npos);
    const std::string info = capture("lv2info urn:brackwater:flanger");
    EXPECT_NE(info.find("Name:              Brackwater Flanger"), std::string::npos) << info;
    EXPECT_NE(info.find("Port 15:"), std::string::npos) << info;
    EXPECT_EQ(info.find("Port 16:"), std::string::npos) << info;
    for (const char* text : {"Grand Prix", "Insect Ears", "Symbol:      syncbeat", "1/32 D", "#toggled",
                             "#enumeration", "Symbol:      time", "#connectionOptional"})
        EXPECT_NE(info.find(text), std::string::npos) << text << "\n" << info;
    const std::string validated = capture("lv2_validate '" + kBundle + "'/*.ttl");
    EXPECT_NE(validated.find("Found 0 errors"), std::string::npos) << validated;

    // The README's install step into a prefix of its own: hosts find it there.
    const fs::path prefix = fs::temp_directory_path() / ("lv2-install-" + std::to_string(getpid()));
    ASSERT_EQ(std::system(("'" CMAKE_COMMAND "' --install '" FLANGER_BUILD_DIR "' --prefix '" +
                           prefix.string() + "' >/dev/null")
                              .c_str()),
              0);
    setenv("LV2_PATH", (prefix / "lib" / "lv2").c_str(), 1);
    EXPECT_NE(capture("lv2ls").find("urn:brackwater:flanger"), std::string::npos);
    EXPECT_TRUE(fs::exists(prefix / "lib" / "vst" / "BrackwaterFlanger.so"));
    fs::remove_all(prefix);
}

std::vector<float> readInterleaved(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(f, samples.data(), info.frames);
    sf_close(f);
    return samples;
}

TEST_F(Lv2Hosts, Lv2applyAtTheDefaultsSoundsAsProgramZeroOfTheVstModule) {
    if (!have("lv2apply")) GTEST_SKIP() << "lilv-utils is not installed";
    const fs::path folder = fs::temp_directory_path() / ("lv2apply-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const int rate = 44100, frames = 3 * rate;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> in(static_cast<size_t>(frames) * 2);
    for (float& s : in) s = noise(random);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open((folder / "in.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, in.data(), frames);
    sf_close(f);

    const std::string apply = "lv2apply -i '" + (folder / "in.wav").string() + "' -o '";
    ASSERT_EQ(std::system((apply + (folder / "defaults.wav").string() + "' urn:brackwater:flanger").c_str()),
              0);
    ASSERT_EQ(std::system((apply + (folder / "synced.wav").string() +
                           "' -c switch 1 -c syncbeat 9 urn:brackwater:flanger")
                              .c_str()),
              0);
    const auto defaults = readInterleaved(folder / "defaults.wav");
    const auto synced = readInterleaved(folder / "synced.wav");

    // The VST module's program 0 over the same input, from its first frame.
    std::string error;
    auto plugin = PluginInstance::load(FLANGER_MODULE_PATH, {}, &error);
    ASSERT_NE(plugin, nullptr) << error;
    prepareForRender(*plugin, static_cast<float>(rate), 512);
    plugin->setProgram(0);
    plugin->resume();
    std::vector<float> l(frames), r(frames), ol(frames), orr(frames);
    for (int i = 0; i < frames; ++i) {
        l[static_cast<size_t>(i)] = in[static_cast<size_t>(2 * i)];
        r[static_cast<size_t>(i)] = in[static_cast<size_t>(2 * i + 1)];
    }
    StereoRenderer(*plugin, 512).process(l.data(), r.data(), ol.data(), orr.data(), frames);

    ASSERT_EQ(defaults.size(), in.size());
    ASSERT_EQ(synced.size(), in.size());
    float largest = 0.0f, differs = 0.0f;
    // The first second's gain ramps depend on the block size (lv2apply runs one frame a call).
    for (int i = rate; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const float vst = c == 0 ? ol[static_cast<size_t>(i)] : orr[static_cast<size_t>(i)];
            largest = std::max(largest, std::fabs(defaults[static_cast<size_t>(2 * i + c)] - vst));
            differs = std::max(differs, std::fabs(synced[static_cast<size_t>(2 * i + c)] - vst));
        }
    }
    EXPECT_LE(largest, 1e-6f);
    EXPECT_GT(differs, 1e-2f);
    fs::remove_all(folder);
}

}  // namespace
