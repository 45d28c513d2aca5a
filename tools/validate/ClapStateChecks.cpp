// CLAP states and presets: round trips byte for byte through short reads and writes and into
// fresh instances, hostile streams refused with nothing changed, failing writes never reported as
// saved, and the presets the discovery factory lists loaded by their keys.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tools/validate/Categories.h"
#include "tools/validate/ClapRig.h"

namespace flanger::tools {

namespace {

using namespace claprig;

// What a host can see of an instance's state: its saved bytes and its values.
struct Snapshot {
    std::optional<std::vector<uint8_t>> bytes;
    std::vector<double> values;
    // Bit for bit, so that a value read as NaN on both sides still counts as unchanged.
    bool operator==(const Snapshot& other) const {
        return bytes == other.bytes && values.size() == other.values.size() &&
               std::memcmp(values.data(), other.values.data(), values.size() * sizeof(double)) == 0;
    }
};

Snapshot snapshot(Instance& instance, const std::vector<clap_param_info>& infos) {
    return {instance.save(), instance.values(infos)};
}

// How often the plug-in has told the host its values changed by themselves: a rescan at once, or
// a request for the main-thread callback in which it can rescan.
long toldToReread(Instance& instance) {
    return instance.host.rescans.load() + instance.host.callbacks.load();
}

void roundTrips(Module& module, Instance& instance, const std::vector<clap_param_info>& infos,
                const CheckContext& context, Findings& findings, std::vector<uint8_t>& saved) {
    std::mt19937 random(context.seed);
    randomise(instance, infos, random);
    const Snapshot before = snapshot(instance, infos);
    if (!before.bytes || before.bytes->empty()) {
        findings.fail("state.save answered false or wrote nothing");
        return;
    }
    saved = *before.bytes;
    // Streams that take a byte or seven a call get the same bytes.
    for (uint64_t chunk : {uint64_t{1}, uint64_t{7}})
        if (instance.save(chunk) != saved)
            findings.fail("a save through writes of %llu bytes differs from one written at once",
                          static_cast<unsigned long long>(chunk));
    // Saved, loaded, saved: the same bytes and values, however the stream hands them over.
    for (uint64_t chunk : {uint64_t{0}, uint64_t{1}, uint64_t{7}}) {
        const long told = toldToReread(instance);
        if (!instance.load(saved, chunk)) {
            findings.fail("the plug-in's own state was refused (reads of %llu bytes)",
                          static_cast<unsigned long long>(chunk));
            continue;
        }
        if (toldToReread(instance) == told)
            findings.fail("a state was loaded without the host being told to read the values again");
        if (!(snapshot(instance, infos) == before))
            findings.fail(
                "a state saved, loaded (reads of %llu bytes) and saved again is not the same bytes and "
                "values",
                static_cast<unsigned long long>(chunk));
    }
    // Into a fresh instance, set otherwise through process events: the same bytes and values.
    auto other = Instance::create(module, findings);
    if (!other || !other->activate(kRate, 1, 512)) return;
    Block block(512);
    for (const auto& info : infos) block.events.value(info.id, 0, randomValue(info, random));
    TestSignal signal(SignalKind::Noise, static_cast<float>(kRate));
    block.run(*other, signal, 512);
    if (!other->load(saved))
        findings.fail("a fresh, active instance refused the state");
    else if (!(snapshot(*other, infos) == before))
        findings.fail(
            "a fresh instance that loaded the state does not save the same bytes or read the same values");
    // The state decides the sound: an instance given other values before loading it sounds as one
    // that loaded it at its defaults.
    RenderPlan plan;
    plan.frames = 8192;
    const std::vector<float> plain =
        renderFresh(module, plan, findings, "after loading a state", [&](Instance& i) { i.load(saved); });
    const std::vector<float> changed =
        renderFresh(module, plan, findings, "after loading a state", [&](Instance& i) {
            randomise(i, infos, random);
            i.load(saved);
        });
    if (const long long at = firstDifferentFrame(plain, changed); at >= 0)
        findings.fail("the same state sounds different from frame %lld on after other values were set first",
                      at);
}

// Streams no state of the plug-in's can be in: each refused, and nothing changed. The instance
// holds other values than the streams are made from, so a load taken in part shows.
void hostileStates(Instance& instance, const std::vector<clap_param_info>& infos,
                   const std::vector<uint8_t>& saved, const CheckContext& context, Findings& findings,
                   size_t& tried) {
    std::mt19937 random(context.seed + 1);
    randomise(instance, infos, random);
    const Snapshot before = snapshot(instance, infos);
    struct Hostile {
        std::vector<uint8_t> bytes;
        int64_t failAt = -1;
        std::string what;
    };
    std::vector<Hostile> hostile;
    hostile.push_back({{}, -1, "an empty stream"});
    for (size_t cut : {size_t{1}, size_t{4}, size_t{11}, size_t{12}, saved.size() / 2, saved.size() - 1})
        if (cut < saved.size())
            hostile.push_back({{saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(cut)},
                               -1,
                               "the state cut to " + std::to_string(cut) + " bytes"});
    for (int64_t at : {int64_t{0}, int64_t{6}, int64_t{12}, static_cast<int64_t>(saved.size()) - 1})
        hostile.push_back({saved, at, "a stream failing at byte " + std::to_string(at)});
    auto variant = [&](size_t at, uint8_t value, const char* what) {
        if (at >= saved.size()) return;
        std::vector<uint8_t> v = saved;
        v[at] = value;
        hostile.push_back({v, -1, what});
    };
    variant(0, 'X', "a foreign magic");
    variant(4, 2, "a newer version");
    variant(8, 0xFF, "a size that does not match");
    variant(saved.size() - 4, 0x7F, "a program that does not exist");
    const int randoms = context.quick ? 50 : 400;
    for (int r = 0; r < randoms; ++r) {
        std::vector<uint8_t> junk(std::uniform_int_distribution<size_t>(0, 1200)(random));
        for (auto& b : junk) b = static_cast<uint8_t>(random());
        if (r % 2 == 0 && junk.size() >= 12) std::memcpy(junk.data(), saved.data(), 12);  // a valid header
        hostile.push_back({std::move(junk), -1, "random bytes"});
    }
    // The first of each kind of fault is told in full, the rest counted.
    int taken = 0, changed = 0;
    for (const auto& h : hostile) {
        if (instance.load(h.bytes, 0, h.failAt) && ++taken == 1)
            findings.fail("%s (%zu bytes) was taken as a state", h.what.c_str(), h.bytes.size());
        if (!(snapshot(instance, infos) == before)) {
            if (++changed == 1)
                findings.fail("%s (%zu bytes) changed the state", h.what.c_str(), h.bytes.size());
            if (before.bytes) instance.load(*before.bytes);
        }
    }
    if (taken > 1) findings.fail("%d hostile streams in all were taken as states", taken);
    if (changed > 1) findings.fail("%d hostile streams in all changed the state", changed);
    // Null streams, and a stream whose read is null.
    CallTrace::note("state.load(null)");
    if (instance.state->load(instance.plugin(), nullptr))
        findings.fail("state.load answered true for a null stream");
    CallTrace::note("state.save(null)");
    if (instance.state->save(instance.plugin(), nullptr))
        findings.fail("state.save answered true for a null stream");
    const clap_istream noRead{nullptr, nullptr};
    CallTrace::note("state.load(a stream with a null read)");
    if (instance.state->load(instance.plugin(), &noRead))
        findings.fail("state.load answered true for a stream without read");
    if (!(snapshot(instance, infos) == before)) findings.fail("null streams changed the state");
    tried = hostile.size();
}

// Saves into streams that fail: never reported as success, and never a hang on a stream that
// takes nothing.
void failingWrites(Instance& instance, const std::vector<uint8_t>& saved, Findings& findings) {
    for (int64_t at : {int64_t{0}, int64_t{1}, int64_t{12}, static_cast<int64_t>(saved.size()) - 1}) {
        OutputStream stream(0, at);
        CallTrace::note("state.save(a stream failing at byte %lld)", static_cast<long long>(at));
        if (instance.state->save(instance.plugin(), stream.table()))
            findings.fail("state.save answered true though the stream failed at byte %lld",
                          static_cast<long long>(at));
    }
    OutputStream stuck(0, -1, true);
    CallTrace::note("state.save(a stream that takes 0 bytes a call)");
    if (instance.state->save(instance.plugin(), stuck.table()))
        findings.fail("state.save answered true though the stream took nothing");
    if (stuck.calls > OutputStream::kStuckBudget)
        findings.fail("state.save kept writing to a stream that took nothing (%ld calls)", stuck.calls);
}

// Every listed key loads (and tells the host); keys no preset has are refused with nothing
// changed (and the host told why).
void presets(Module& module, Instance& instance, const std::vector<clap_param_info>& infos,
             Findings& findings, std::string& said) {
    const Discovery discovery = discoverPresets(module);
    for (const auto& problem : discovery.problems) findings.fail("preset discovery: %s", problem.c_str());
    if (instance.presetLoad == nullptr) {
        if (!discovery.keys.empty())
            findings.fail("presets are listed, but the plug-in has no preset-load extension");
        said = "no preset-load";
        return;
    }
    std::vector<std::vector<uint8_t>> states;
    for (const auto& key : discovery.keys) {
        const long loaded = instance.host.presetsLoaded.load();
        const long told = toldToReread(instance);
        if (!instance.loadPreset(kPresetLocationPlugin, nullptr, key.c_str())) {
            findings.fail("the listed preset \"%s\" does not load", key.c_str());
            continue;
        }
        if (instance.host.presetsLoaded.load() != loaded + 1)
            findings.fail("preset \"%s\" loaded without telling the host", key.c_str());
        if (toldToReread(instance) == told)
            findings.fail("preset \"%s\" loaded without the host being told to read the values again",
                          key.c_str());
        if (auto bytes = instance.save()) states.push_back(*bytes);
    }
    if (states.size() > 1 &&
        std::all_of(states.begin(), states.end(), [&](const auto& bytes) { return bytes == states[0]; }))
        findings.fail("all %zu presets leave the same state", states.size());
    const Snapshot before = snapshot(instance, infos);
    const char* unknown[] = {"-1", "99999999999", "abc", "", "0x1", " 1"};
    int refused = 0;
    for (const char* key : unknown) {
        if (std::find(discovery.keys.begin(), discovery.keys.end(), key) != discovery.keys.end()) continue;
        const long errors = instance.host.presetErrors.load();
        if (instance.loadPreset(kPresetLocationPlugin, nullptr, key)) {
            findings.fail("the unlisted preset key \"%s\" was taken", key);
            continue;
        }
        ++refused;
        if (instance.host.presetErrors.load() == errors)
            findings.note("the refusal of preset key \"%s\" was not reported to the host", key);
    }
    if (instance.loadPreset(kPresetLocationPlugin, nullptr, nullptr))
        findings.fail("a null preset key was taken");
    if (instance.loadPreset(kPresetLocationFile, "/nonexistent/preset", "0"))
        findings.fail("a missing preset file was taken");
    if (!(snapshot(instance, infos) == before)) findings.fail("refused preset keys changed the state");
    said = std::to_string(discovery.keys.size()) + " listed presets loaded, " + std::to_string(refused + 2) +
           " unknown ones refused";
}

}  // namespace

void checkClapState(const CheckContext& context, Findings& findings) {
    auto module = Module::load(context.modulePath, findings);
    if (!module) return;
    auto instance = Instance::create(*module, findings);
    if (!instance) return;
    if (instance->state == nullptr) {
        findings.skip("no state extension: nothing to check");
        return;
    }
    const std::vector<clap_param_info> infos = instance->parameters();
    std::vector<uint8_t> saved;
    roundTrips(*module, *instance, infos, context, findings, saved);
    if (saved.empty()) return;
    size_t tried = 0;
    hostileStates(*instance, infos, saved, context, findings, tried);
    failingWrites(*instance, saved, findings);
    // While active, between calls, a state load leaves clean sound.
    instance->activate(kRate, 1, 512);
    Block block(512);
    TestSignal signal(SignalKind::Hot, static_cast<float>(kRate), context.seed);
    for (int i = 0; i < 40; ++i) {
        if (i % 8 == 0 && !instance->load(saved)) findings.fail("the state was refused while active");
        if (const std::string problem = callProblem(block, block.run(*instance, signal, 512));
            !problem.empty()) {
            findings.fail("after a state load while active: %s", problem.c_str());
            break;
        }
    }
    instance->deactivate();
    std::string presetText;
    presets(*module, *instance, infos, findings, presetText);
    findings.summary(
        "%zu bytes round trip byte-exact through reads and writes of 1, 7 and all bytes, and into a "
        "fresh instance; %zu hostile streams refused; failing writes; %s",
        saved.size(), tried, presetText.c_str());
}

}  // namespace flanger::tools
