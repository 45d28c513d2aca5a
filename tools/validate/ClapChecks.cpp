// The validator's categories for a CLAP module that concern the module as a whole: what its
// factory, descriptors and ports promise and how fast a host scans it; the life of its instances;
// and main-thread calls while the audio thread processes. The table of CLAP categories is here.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/validate/Categories.h"
#include "tools/validate/ClapRig.h"

namespace flanger::tools {

namespace {

using namespace claprig;

constexpr double kScanBudgetMs = 100.0;  // hosts scan every module at start-up; more keeps users waiting

// ---- descriptor: what the factory, the descriptors and the ports promise

// The format's main categories: a plug-in names at least one, so hosts can sort it.
constexpr const char* kMainFeatures[] = {"instrument", "audio-effect", "note-effect", "note-detector",
                                         "analyzer"};
// The format's other standard features; anything else is reported, not failed.
constexpr const char* kKnownFeatures =
    " synthesizer sampler drum drum-machine filter phaser equalizer de-esser phase-vocoder granular"
    " frequency-shifter pitch-shifter distortion transient-shaper compressor expander gate limiter flanger"
    " chorus delay reverb tremolo glitch utility pitch-correction restoration multi-effects mixing mastering"
    " mono stereo surround ambisonic ";

bool listed(const char* const* list, size_t size, const std::string& word) {
    return std::any_of(list, list + size, [&](const char* w) { return word == w; });
}

std::vector<std::string> featureList(const clap_plugin_descriptor& d) {
    std::vector<std::string> features;
    for (size_t i = 0; d.features != nullptr && d.features[i] != nullptr && i < 256; ++i)
        features.emplace_back(d.features[i]);
    return features;
}

// Every field and feature; `what` names the descriptor in failures.
void checkDescriptorFields(const clap_plugin_descriptor& d, const std::string& what, Findings& findings) {
    if (!versionIsCompatible(d.clapVersion))
        findings.fail("%s declares format version %s", what.c_str(), versionText(d.clapVersion).c_str());
    const struct {
        const char* name;
        const char* text;
        bool required;
    } fields[] = {{"id", d.id, true},
                  {"name", d.name, true},
                  {"vendor", d.vendor, false},
                  {"url", d.url, false},
                  {"manual_url", d.manualUrl, false},
                  {"support_url", d.supportUrl, false},
                  {"version", d.version, false},
                  {"description", d.description, false}};
    for (const auto& f : fields)
        if (const std::string problem = fieldProblem(f.text, f.required); !problem.empty())
            findings.fail("%s: its %s is %s", what.c_str(), f.name, problem.c_str());
    if (d.features == nullptr) {
        findings.fail("%s: its feature list is null (an empty list is a null pointer inside one)",
                      what.c_str());
        return;
    }
    const std::vector<std::string> features = featureList(d);
    bool main = false;
    for (size_t i = 0; i < features.size(); ++i) {
        const std::string& f = features[i];
        const std::string problem = fieldProblem(d.features[i], true);
        if (!problem.empty() || f.find(' ') != std::string::npos) {
            findings.fail("%s: feature %zu is %s", what.c_str(), i,
                          problem.empty() ? ("\"" + f + "\", with a space").c_str() : problem.c_str());
            continue;
        }
        if (std::count(features.begin(), features.end(), f) > 1 &&
            std::find(features.begin(), features.end(), f) - features.begin() ==
                static_cast<std::ptrdiff_t>(i))
            findings.fail("%s: feature \"%s\" is listed more than once", what.c_str(), f.c_str());
        main = main || listed(kMainFeatures, std::size(kMainFeatures), f);
        if (!listed(kMainFeatures, std::size(kMainFeatures), f) &&
            std::string_view(kKnownFeatures).find(" " + f + " ") == std::string_view::npos)
            findings.note("%s: feature \"%s\" is not one of the format's standard ones", what.c_str(),
                          f.c_str());
    }
    if (!main)
        findings.fail(
            "%s names none of the main categories (instrument, audio-effect, note-effect, "
            "note-detector, analyzer) among its features",
            what.c_str());
}

bool sameText(const char* a, const char* b) {
    return field(a) == field(b) && (a == nullptr) == (b == nullptr);
}

// The instance's own descriptor must be the factory's, field by field.
void checkSameDescriptor(const clap_plugin_descriptor& factory, const clap_plugin_descriptor* own,
                         const std::string& what, Findings& findings) {
    if (own == nullptr) {
        findings.fail("%s: the instance's descriptor is null", what.c_str());
        return;
    }
    const struct {
        const char* name;
        const char* a;
        const char* b;
    } fields[] = {{"id", factory.id, own->id},
                  {"name", factory.name, own->name},
                  {"vendor", factory.vendor, own->vendor},
                  {"url", factory.url, own->url},
                  {"manual_url", factory.manualUrl, own->manualUrl},
                  {"support_url", factory.supportUrl, own->supportUrl},
                  {"version", factory.version, own->version},
                  {"description", factory.description, own->description}};
    for (const auto& f : fields)
        if (!sameText(f.a, f.b))
            findings.fail("%s: the instance's %s \"%s\" is not the factory's \"%s\"", what.c_str(), f.name,
                          field(f.b).c_str(), field(f.a).c_str());
    if (featureList(factory) != featureList(*own))
        findings.fail("%s: the instance's features are not the factory's", what.c_str());
}

struct Ports {
    std::vector<clap_audio_port_info> in, out;
};

// Every port the plug-in declares, each checked on its own and against the others.
Ports checkPorts(Instance& instance, Findings& findings) {
    Ports ports;
    if (instance.ports == nullptr) return ports;
    const clap_plugin* plugin = instance.plugin();
    for (bool input : {true, false}) {
        const char* side = input ? "input" : "output";
        CallTrace::note("audio-ports.count(%s)", side);
        const uint32_t count = instance.ports->count(plugin, input);
        if (count > 64) {
            findings.fail("%u audio %s ports declared", count, side);
            continue;
        }
        auto& list = input ? ports.in : ports.out;
        for (uint32_t i = 0; i < count; ++i) {
            clap_audio_port_info info{};
            info.inPlacePair = kInvalidId;
            CallTrace::note("audio-ports.get(%u, %s)", i, side);
            if (!instance.ports->get(plugin, i, input, &info)) {
                findings.fail("audio %s port %u of %u: get answered false", side, i, count);
                continue;
            }
            if (const std::string p =
                    textProblem(reinterpret_cast<const unsigned char*>(info.name), kNameSize);
                !p.empty())
                findings.fail("audio %s port %u: its name is %s", side, i, p.c_str());
            if (info.channelCount == 0 || info.channelCount > 64)
                findings.fail("audio %s port %u has %u channels", side, i, info.channelCount);
            const std::string type = field(info.portType);
            if ((type == kPortStereo && info.channelCount != 2) ||
                (type == kPortMono && info.channelCount != 1))
                findings.fail("audio %s port %u is of type \"%s\" with %u channels", side, i, type.c_str(),
                              info.channelCount);
            if ((info.flags & kAudioPortIsMain) != 0 && i != 0)
                findings.fail("audio %s port %u is flagged main; only port 0 may be", side, i);
            for (const auto& other : list)
                if (other.id == info.id) findings.fail("two audio %s ports have the id %u", side, info.id);
            list.push_back(info);
        }
        clap_audio_port_info spare{};
        CallTrace::note("audio-ports.get(%u, %s): one past the last", count, side);
        if (instance.ports->get(plugin, count, input, &spare))
            findings.fail("audio-ports.get answered true for %s port %u of %u", side, count, count);
        CallTrace::note("audio-ports.get(0, %s, null info)", side);
        if (count > 0 && instance.ports->get(plugin, 0, input, nullptr))
            findings.fail("audio-ports.get answered true into a null info");
    }
    // An in-place pair names a port of the other direction with as many channels.
    for (bool input : {true, false}) {
        const auto& mine = input ? ports.in : ports.out;
        const auto& theirs = input ? ports.out : ports.in;
        for (const auto& p : mine) {
            if (p.inPlacePair == kInvalidId) continue;
            const auto pair = std::find_if(theirs.begin(), theirs.end(), [&](const clap_audio_port_info& o) {
                return o.id == p.inPlacePair;
            });
            if (pair == theirs.end() || pair->channelCount != p.channelCount)
                findings.fail(
                    "audio %s port %u pairs in place with port id %u, which is no %u-channel port of "
                    "the other direction",
                    input ? "input" : "output", p.id, p.inPlacePair, p.channelCount);
        }
    }
    return ports;
}

// One host scan at start-up, timed: open, entry init, factory, every descriptor, and for each
// plug-in create (with a scanner's bare host), init and destroy; then deinit and close. Its
// milliseconds, or a negative number with a failure.
double timedScan(const std::string& path, Findings& findings) {
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    CallTrace::note("scan: opening %s, clap_entry.init, get_factory", path.c_str());
    std::shared_ptr<ClapModule> module = ClapModule::load(path, &why);
    if (!module) {
        findings.fail("the module does not load: %s", why.c_str());
        return -1.0;
    }
    bool made = true;
    if (const clap_plugin_factory* factory = module->pluginFactory(); factoryComplete(factory)) {
        const uint32_t count = std::min<uint32_t>(factory->getPluginCount(factory), 256);
        for (uint32_t i = 0; i < count; ++i) {
            CallTrace::note("scan: factory.get_plugin_descriptor(%u)", i);
            const clap_plugin_descriptor* d = factory->getPluginDescriptor(factory, i);
            if (d == nullptr || d->id == nullptr) continue;
            Host scanner(true);
            CallTrace::note("scan: factory.create_plugin(\"%s\")", d->id);
            const clap_plugin* plugin = factory->createPlugin(factory, &scanner.table, d->id);
            if (plugin == nullptr) {
                made = false;
                continue;
            }
            CallTrace::note("scan: plugin.init, plugin.destroy");
            made = plugin->init(plugin) && made;
            plugin->destroy(plugin);
        }
    }
    CallTrace::note("scan: clap_entry.deinit, closing");
    module.reset();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!made) findings.fail("a plug-in of the factory could not be made and initialised in a scan");
    return ms;
}

// ---- lifecycle: entries, instances and activations repeated, hostile rates, instances apart

// A few blocks of noise, every call's answer and output checked.
void checkRuns(Instance& instance, double rate, uint32_t frames, int calls, const char* what,
               Findings& findings) {
    Block block(frames);
    TestSignal signal(SignalKind::Noise, static_cast<float>(rate));
    for (int i = 0; i < calls; ++i) {
        const clap_process_status status = block.run(instance, signal, frames);
        if (const std::string problem = callProblem(block, status); !problem.empty()) {
            findings.fail("%s: %s", what, problem.c_str());
            return;
        }
    }
}

}  // namespace

void checkClapDescriptor(const CheckContext& context, Findings& findings) {
    // The scans first, while the file is not open yet, as at a host's start-up.
    const int scans = context.quick ? 3 : 5;
    double fastest = std::numeric_limits<double>::infinity(), slowest = 0.0;
    for (int i = 0; i < scans; ++i) {
        const double ms = timedScan(context.modulePath, findings);
        if (ms < 0.0) return;
        fastest = std::min(fastest, ms);
        slowest = std::max(slowest, ms);
    }
    // The fastest scan: a loaded machine slows some, but not every one.
    if (fastest > kScanBudgetMs)
        findings.fail(
            "a scan (open, init, factory, create, init, destroy, deinit, close) takes %.1f ms at "
            "best, over the %g ms hosts allow",
            fastest, kScanBudgetMs);

    auto module = Module::load(context.modulePath, findings);
    if (!module) return;
    const clap_plugin_entry& entry = module->entry();
    if (entry.deinit == nullptr || entry.getFactory == nullptr) {
        findings.fail("the entry has a null function");
        return;
    }
    CallTrace::note("clap_entry.get_factory(unknown id)");
    if (entry.getFactory("org.example.no-such-factory") != nullptr)
        findings.fail("get_factory answered a factory for an id it cannot know");
    CallTrace::note("clap_entry.get_factory(null)");
    if (entry.getFactory(nullptr) != nullptr) findings.fail("get_factory answered a factory for a null id");

    const clap_plugin_factory& factory = module->factory();
    const uint32_t count = factory.getPluginCount(&factory);
    if (count > 256) {
        findings.fail("the factory counts %u plug-ins", count);
        return;
    }
    std::vector<std::string> ids;
    int features = 0;
    for (uint32_t i = 0; i < count; ++i) {
        CallTrace::note("factory.get_plugin_descriptor(%u)", i);
        const clap_plugin_descriptor* d = factory.getPluginDescriptor(&factory, i);
        const std::string what = "descriptor " + std::to_string(i);
        if (d == nullptr) {
            findings.fail("%s is null", what.c_str());
            continue;
        }
        checkDescriptorFields(*d, what, findings);
        if (d->id == nullptr) continue;
        if (std::find(ids.begin(), ids.end(), d->id) != ids.end())
            findings.fail("two descriptors have the id \"%s\"", d->id);
        ids.emplace_back(d->id);
        features += static_cast<int>(featureList(*d).size());

        // The instance, with and without the host's extensions, says the same of itself.
        for (bool bare : {true, false}) {
            Host host(bare);
            CallTrace::note("factory.create_plugin(\"%s\")", d->id);
            const clap_plugin* plugin = factory.createPlugin(&factory, &host.table, d->id);
            if (plugin == nullptr) {
                findings.fail("create_plugin(\"%s\") answered null%s", d->id, bare ? " for a bare host" : "");
                continue;
            }
            if (!plugin->init || !plugin->destroy || !plugin->activate || !plugin->deactivate ||
                !plugin->startProcessing || !plugin->stopProcessing || !plugin->reset || !plugin->process ||
                !plugin->getExtension || !plugin->onMainThread) {
                findings.fail("the plug-in table of \"%s\" has a null function", d->id);
                return;  // nothing safe to call, not even destroy
            }
            const std::string made = what + (bare ? ", made for a bare host," : "");
            checkSameDescriptor(*d, plugin->desc, made + " before init", findings);
            CallTrace::note("plugin.init");
            if (!plugin->init(plugin)) findings.fail("init of \"%s\" answered false", d->id);
            checkSameDescriptor(*d, plugin->desc, made + " after init", findings);
            CallTrace::note("plugin.destroy");
            plugin->destroy(plugin);
        }
    }
    CallTrace::note("factory.get_plugin_descriptor(%u): one past the last", count);
    if (factory.getPluginDescriptor(&factory, count) != nullptr)
        findings.fail("get_plugin_descriptor answered a descriptor for index %u of %u", count, count);
    Host stranger(false);
    CallTrace::note("factory.create_plugin(unknown id)");
    if (const clap_plugin* p =
            factory.createPlugin(&factory, &stranger.table, "org.example.no-such-plugin")) {
        findings.fail("create_plugin made a plug-in for an id the factory does not have");
        p->destroy(p);
    }
    CallTrace::note("factory.create_plugin(null id)");
    if (const clap_plugin* p = factory.createPlugin(&factory, &stranger.table, nullptr)) {
        findings.fail("create_plugin made a plug-in for a null id");
        p->destroy(p);
    }

    // The first plug-in's extensions: complete tables, ports as declared, features that match them.
    auto instance = Instance::create(*module, findings);
    if (!instance) return;
    for (const auto& id : instance->incomplete)
        findings.fail("the %s extension has a null function", id.c_str());
    CallTrace::note("plugin.get_extension(unknown id)");
    if (instance->plugin()->getExtension(instance->plugin(), "org.example.no-such-extension") != nullptr)
        findings.fail("get_extension answered an extension for an id it cannot know");
    CallTrace::note("plugin.get_extension(null)");
    if (instance->plugin()->getExtension(instance->plugin(), nullptr) != nullptr)
        findings.fail("get_extension answered an extension for a null id");
    const Ports ports = checkPorts(*instance, findings);
    const clap_plugin_descriptor& d = *factory.getPluginDescriptor(&factory, 0);
    const std::vector<std::string> list = featureList(d);
    auto has = [&](const char* f) { return std::find(list.begin(), list.end(), f) != list.end(); };
    if (has("audio-effect") && (ports.in.empty() || ports.out.empty()))
        findings.fail("an audio effect without an audio input and an audio output port");
    for (const auto& [feature, channels] : {std::pair{"stereo", 2u}, std::pair{"mono", 1u}}) {
        if (!has(feature)) continue;
        const bool matches = (!ports.in.empty() && ports.in[0].channelCount == channels) ||
                             (!ports.out.empty() && ports.out[0].channelCount == channels);
        if (!matches) findings.fail("feature \"%s\", but no main port of %u channels", feature, channels);
    }
    std::string latencyText = "no latency extension";
    if (instance->latency != nullptr) {
        CallTrace::note("latency.get");
        const uint32_t before = instance->latency->get(instance->plugin());
        instance->activate(kRate, 1, 512);
        CallTrace::note("latency.get while active");
        const uint32_t now = instance->latency->get(instance->plugin());
        if (now > 10 * static_cast<uint32_t>(kRate)) findings.fail("a latency of %u frames at 44.1 kHz", now);
        latencyText = "latency " + std::to_string(now) + " frames" +
                      (before != now ? " (" + std::to_string(before) + " before activation)" : "");
    }
    findings.summary(
        "%d scans of %.1f to %.1f ms; %u plug-in(s) and %d features consistent; %zu in and %zu "
        "out ports; %s",
        scans, fastest, slowest, count, features, ports.in.size(), ports.out.size(), latencyText.c_str());
}

void checkClapLifecycle(const CheckContext& context, Findings& findings) {
    auto module = Module::load(context.modulePath, findings);
    if (!module) return;
    // Hosts initialise the entry again (a second scanner, a plug-in inserted twice): each init has
    // its deinit, and the module lives until the last one.
    const clap_plugin_entry& entry = module->entry();
    for (int i = 0; i < 3; ++i) {
        CallTrace::note("clap_entry.init again (%d)", i + 2);
        if (!entry.init(context.modulePath.c_str()))
            findings.fail("a repeated clap_entry.init answered false");
    }
    for (int i = 0; i < 3; ++i) {
        CallTrace::note("clap_entry.deinit of a repeated init");
        entry.deinit();
    }

    const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 192000.0, 8000.0};
    const uint32_t blocks[] = {512, 64, 4096, 1, 1024, 333};
    const int rounds = context.quick ? 6 : 24;
    for (int round = 0; round < rounds; ++round) {
        // Every other instance gets a scanner's bare host: no extension may be taken for granted.
        auto instance = Instance::create(*module, findings, round % 2 == 1);
        if (!instance) return;
        for (int cycle = 0; cycle < 3; ++cycle) {
            const double rate = rates[static_cast<size_t>(round + cycle) % std::size(rates)];
            const uint32_t most = blocks[static_cast<size_t>(round + cycle) % std::size(blocks)];
            if (!instance->activate(rate, 1, most)) {
                findings.fail("activate at %g Hz for up to %u frames was refused", rate, most);
                continue;
            }
            checkRuns(*instance, rate, most, 3, "after an activation", findings);
            instance->reset();
            checkRuns(*instance, rate, most, 2, "after a reset", findings);
            instance->stopProcessing();
            instance->startProcessing();
            checkRuns(*instance, rate, most, 2, "after processing stopped and started again", findings);
            instance->deactivate();
        }
        CallTrace::note("plugin.reset and plugin.on_main_thread while inactive");
        instance->reset();
        instance->plugin()->onMainThread(instance->plugin());
        if (findings.failureCount() > 0) return;
    }

    // Made and destroyed without init, as when a host's init of it fails.
    Host host(false);
    CallTrace::note("factory.create_plugin, then destroy without init");
    if (const clap_plugin* p =
            module->factory().createPlugin(&module->factory(), &host.table, module->pluginId().c_str()))
        p->destroy(p);

    // Rates no host should ask for: refused, or taken and handled.
    auto instance = Instance::create(*module, findings);
    if (!instance) return;
    const double hostile[] = {0.0,  -44100.0, std::nan(""), std::numeric_limits<double>::infinity(),
                              1e-3, 1e12};
    int refused = 0;
    for (double rate : hostile) {
        if (!instance->activate(rate, 1, 512)) {
            ++refused;
            continue;
        }
        checkRuns(*instance, rate, 512, 4, ("taken at " + std::to_string(rate) + " Hz").c_str(), findings);
        instance->deactivate();
    }
    CallTrace::note("plugin.activate(44.1 kHz, 0 to 0 frames)");
    if (instance->activate(kRate, 0, 0)) {
        Block block(16);
        TestSignal signal(SignalKind::Noise, 44100.0f);
        if (!statusKnown(block.run(*instance, signal, 0)))
            findings.fail("after an activation for 0 frames, a call of 0 frames was answered with no status");
        instance->deactivate();
    }

    // Two instances processed in turn hear nothing of each other: the second, left at its
    // defaults, sounds as one that ran alone, while the first is automated all the while.
    RenderPlan plan;
    plan.frames = 86 * 512;
    const std::vector<float> alone = renderFresh(*module, plan, findings, "an instance alone");
    auto busy = Instance::create(*module, findings);
    auto quiet = Instance::create(*module, findings);
    if (!busy || !quiet || !busy->activate(kRate, 1, kLargestBlock) ||
        !quiet->activate(kRate, 1, kLargestBlock)) {
        findings.fail("two instances do not activate side by side");
        return;
    }
    const std::vector<clap_param_info> infos = busy->parameters();
    Block busyBlock(512), quietBlock(512);
    TestSignal busySignal(SignalKind::Sine, static_cast<float>(kRate)),
        quietSignal(SignalKind::Noise, static_cast<float>(kRate), plan.seed);
    std::mt19937 random(context.seed);
    std::vector<float> beside;
    for (int64_t done = 0; done < plan.frames; done += 512) {
        for (const auto& info : infos) busyBlock.events.value(info.id, 0, randomValue(info, random));
        busyBlock.run(*busy, busySignal, 512);
        quietBlock.run(*quiet, quietSignal, 512);
        quietBlock.append(beside);
    }
    if (const long long at = firstDifferentFrame(alone, beside); at >= 0)
        findings.fail(
            "an instance processed beside an automated one sounds different from one alone from "
            "frame %lld on: instances share state",
            at);
    findings.summary(
        "entry initialised 4 times; %d instances through 3 activations each, with resets and "
        "restarts; %d of %zu hostile rates refused, the rest handled; two instances apart",
        rounds, refused, std::size(hostile));
}

#if !defined(_WIN32)
// Main-thread calls while the audio thread processes, as the format allows: texts, values, infos,
// state saves and loads, presets.
void checkClapThreads(const CheckContext& context, Findings& findings) {
    auto module = Module::load(context.modulePath, findings);
    if (!module) return;
    auto instance = Instance::create(*module, findings);
    if (!instance || instance->params == nullptr || instance->state == nullptr) {
        if (instance) findings.skip("no params or state extension: nothing to call from the main thread");
        return;
    }
    const std::vector<clap_param_info> infos = instance->parameters();
    const std::optional<std::vector<uint8_t>> saved = instance->save();
    const Discovery discovery = discoverPresets(*module);
    if (!saved || infos.empty() || !instance->activate(kRate, 1, 256)) {
        findings.fail("no state, no parameters or no activation to run the threads with");
        return;
    }
    // The host's audio thread takes processing over from here.
    instance->stopProcessing();
    std::atomic<bool> done{false};  // writer: the audio thread; reader: the main thread
    SampleScan total;               // the audio thread's, read after join
    std::string audioProblem;       // the same
    int processed = 0;
    std::thread audio([&] {
        CallTrace::bindThread(1, "audio thread");
        instance->startProcessing();
        Block block(256);
        TestSignal signal(SignalKind::Noise, static_cast<float>(kRate), context.seed);
        std::mt19937 random(context.seed + 1);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(context.quick ? 1000 : 2000);
        for (; processed < (context.quick ? 600 : 2000) || std::chrono::steady_clock::now() < until;
             ++processed) {
            if (processed % 4 == 0) {
                const clap_param_info& info = infos[random() % infos.size()];
                block.events.value(info.id, static_cast<uint32_t>(random() % 256), randomValue(info, random));
            }
            const clap_process_status status = block.run(*instance, signal, 256);
            total.add(block.scan());
            if (const std::string problem = callProblem(block, status);
                !problem.empty() && audioProblem.empty())
                audioProblem = problem;
        }
        instance->stopProcessing();
        CallTrace::clearSlot(1);
        done.store(true);
    });
    CallTrace::bindThread(0, "main thread");
    std::mt19937 random(context.seed + 2);
    long calls = 0, badTexts = 0, badValues = 0, refusedStates = 0;
    std::string firstBadValue;
    auto badValue = [&](const clap_param_info& each, std::optional<double> v, const char* how) {
        if (badValues++ > 0) return;
        char text[160];
        std::snprintf(text, sizeof text, " (first: parameter %u %s %.17g, range %.17g to %.17g)", each.id,
                      how, v.value_or(std::nan("")), each.minValue, each.maxValue);
        firstBadValue = text;
    };
    while (!done.load()) {
        const clap_param_info& info = infos[random() % infos.size()];
        std::string problem;
        const double v = randomValue(info, random);
        if (const std::optional<std::string> text = instance->text(info.id, v, &problem)) {
            if (!problem.empty())
                ++badTexts;
            else if (const std::optional<double> back = instance->parse(info.id, *text);
                     back && !inRange(*back, info))
                badValue(info, back, "read its text as");
        }
        for (const auto& each : infos)
            if (const std::optional<double> now = instance->value(each.id); !now || !inRange(*now, each))
                badValue(each, now, "read");
        clap_param_info again{};
        CallTrace::note("params.get_info(0)");
        instance->params->getInfo(instance->plugin(), 0, &again);
        if (calls % 8 == 0 && !instance->save()) ++refusedStates;
        if (calls % 16 == 1 && !instance->load(*saved)) ++refusedStates;
        if (calls % 16 == 9 && !discovery.keys.empty() && instance->presetLoad != nullptr)
            instance->loadPreset(kPresetLocationPlugin, nullptr,
                                 discovery.keys[random() % discovery.keys.size()].c_str());
        // The main thread's own work: the plug-in's requested callbacks.
        if (instance->host.callbacks.exchange(0) > 0) instance->plugin()->onMainThread(instance->plugin());
        ++calls;
    }
    audio.join();
    if (!audioProblem.empty()) findings.fail("while the main thread called: %s", audioProblem.c_str());
    if (!total.clean()) findings.fail("while the main thread called: %s", total.describe().c_str());
    if (badTexts > 0) findings.fail("%ld texts unterminated or unprintable while processing", badTexts);
    if (badValues > 0)
        findings.fail("%ld values unreadable or out of range while processing%s", badValues,
                      firstBadValue.c_str());
    if (refusedStates > 0) findings.fail("%ld state saves or loads refused while processing", refusedStates);
    findings.summary(
        "%d blocks against %ld rounds of texts, values, infos, state saves and loads and presets from "
        "the main thread",
        processed, calls);
}
#endif

const ValidatorBuild& clapValidatorBuild() {
    static const ValidatorBuild build = {
        {
            {"descriptor", checkClapDescriptor, nullptr, nullptr},
            {"lifecycle", checkClapLifecycle, nullptr, nullptr},
            {"audio", checkClapAudio, nullptr, nullptr},
            {"params", checkClapParams, nullptr, nullptr},
            {"state", checkClapState, nullptr, nullptr},
#if !defined(_WIN32)
            {"threads", checkClapThreads, nullptr, nullptr},
#endif
        },
#if defined(_WIN32)
        {"threads"},
#else
        {},
#endif
        "PLUGIN.clap",
        "  flanger-validate build/clap/BrackwaterFlanger.clap\n",
    };
    return build;
}

}  // namespace flanger::tools
