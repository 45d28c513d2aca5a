// The CLAP rig: loading, the host table, events, streams, the instance and its process calls.
#include "tools/validate/ClapRig.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "tools/validate/Categories.h"

namespace flanger::tools::claprig {

namespace {

constexpr float kUnwritten = -12345.0f;  // in outputs before a call: still there, no one wrote it

const clap_host_params kHostParams{
    [](const clap_host* host, uint32_t) { ++Host::of(host).rescans; },
    [](const clap_host*, clap_id, uint32_t) {},
    [](const clap_host* host) { ++Host::of(host).flushRequests; },
};
const clap_host_state kHostState{[](const clap_host* host) { ++Host::of(host).dirty; }};
const clap_host_preset_load kHostPresetLoad{
    [](const clap_host* host, uint32_t, const char*, const char*, int32_t, const char*) {
        ++Host::of(host).presetErrors;
    },
    [](const clap_host* host, uint32_t, const char*, const char*) { ++Host::of(host).presetsLoaded; },
};

}  // namespace

// ---- the module

std::string versionText(const clap_version& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

bool factoryComplete(const clap_plugin_factory* factory) {
    return factory != nullptr && factory->getPluginCount != nullptr &&
           factory->getPluginDescriptor != nullptr && factory->createPlugin != nullptr;
}

std::unique_ptr<Module> Module::load(const std::string& path, Findings& findings) {
    std::unique_ptr<Module> made(new Module);
    std::string why;
    CallTrace::note("opening %s, clap_entry.init, get_factory", path.c_str());
    made->loaded = ClapModule::load(path, &why);
    if (!made->loaded) {
        findings.fail("the module does not load: %s", why.c_str());
        return nullptr;
    }
    if (!factoryComplete(made->loaded->pluginFactory())) {
        findings.fail("the plug-in factory is missing or has a null function");
        return nullptr;
    }
    const clap_plugin_factory& factory = made->factory();
    CallTrace::note("factory.get_plugin_count, get_plugin_descriptor(0)");
    const clap_plugin_descriptor* first =
        factory.getPluginCount(&factory) > 0 ? factory.getPluginDescriptor(&factory, 0) : nullptr;
    if (first == nullptr || first->id == nullptr) {
        findings.fail("the factory offers no plug-in with an id");
        return nullptr;
    }
    made->firstId = first->id;
    return made;
}

// ---- the host side

Host::Host(bool bareHost) : bare(bareHost) {
    table.clapVersion = kClapVersion;
    table.hostData = this;
    table.name = "flanger-validate";
    table.vendor = "Brackwater";
    table.url = "";
    table.version = "1";
    table.getExtension = [](const clap_host* host, const char* id) -> const void* {
        if (Host::of(host).bare || id == nullptr) return nullptr;
        if (std::strcmp(id, kExtParams) == 0) return &kHostParams;
        if (std::strcmp(id, kExtState) == 0) return &kHostState;
        if (std::strcmp(id, kExtPresetLoad) == 0 || std::strcmp(id, kExtPresetLoadCompat) == 0)
            return &kHostPresetLoad;
        return nullptr;
    };
    table.requestRestart = [](const clap_host* host) { ++Host::of(host).restarts; };
    table.requestProcess = [](const clap_host* host) { ++Host::of(host).processes; };
    table.requestCallback = [](const clap_host* host) { ++Host::of(host).callbacks; };
}

EventSlot valueEvent(clap_id id, uint32_t time, double value) {
    EventSlot slot{};
    slot.value.header = {sizeof(clap_event_param_value), time, kCoreEventSpace, kEventParamValue, 0};
    slot.value.paramId = id;
    slot.value.noteId = -1;
    slot.value.portIndex = -1;
    slot.value.channel = -1;
    slot.value.key = -1;
    slot.value.value = value;
    return slot;
}

EventList::EventList() : list{this, &EventList::count, &EventList::at} {}

uint32_t CLAP_CALL EventList::count(const clap_input_events* list) {
    return static_cast<uint32_t>(static_cast<const EventList*>(list->ctx)->events.size());
}

const clap_event_header* CLAP_CALL EventList::at(const clap_input_events* list, uint32_t index) {
    const auto* self = static_cast<const EventList*>(list->ctx);
    if (index >= self->events.size() || (self->nullEntries && index % 2 == 1)) return nullptr;
    return &self->events[index].header;
}

EventSink::EventSink() : list{this, &EventSink::push} {}

bool CLAP_CALL EventSink::push(const clap_output_events* list, const clap_event_header* event) {
    auto* self = static_cast<EventSink*>(list->ctx);
    if (event == nullptr || self->refuse) return false;
    ++self->pushed;
    return true;
}

InputStream::InputStream(const std::vector<uint8_t>& source, uint64_t chunkBytes, int64_t failFrom)
    : bytes(source), chunk(chunkBytes), failAt(failFrom), stream{this, &InputStream::read} {}

int64_t CLAP_CALL InputStream::read(const clap_istream* stream, void* buffer, uint64_t size) {
    auto* self = static_cast<InputStream*>(stream->ctx);
    if (self->failAt >= 0 && self->at >= static_cast<uint64_t>(self->failAt)) return -1;
    uint64_t n = std::min<uint64_t>(size, self->bytes.size() - self->at);
    if (self->chunk > 0) n = std::min(n, self->chunk);
    if (self->failAt >= 0) n = std::min(n, static_cast<uint64_t>(self->failAt) - self->at);
    if (n > 0) std::memcpy(buffer, self->bytes.data() + self->at, n);
    self->at += n;
    return static_cast<int64_t>(n);
}

OutputStream::OutputStream(uint64_t chunkBytes, int64_t failFrom, bool stuckStream)
    : chunk(chunkBytes), failAt(failFrom), stuck(stuckStream), stream{this, &OutputStream::write} {}

int64_t CLAP_CALL OutputStream::write(const clap_ostream* stream, const void* buffer, uint64_t size) {
    auto* self = static_cast<OutputStream*>(stream->ctx);
    ++self->calls;
    if (self->stuck) return self->calls <= kStuckBudget ? 0 : -1;
    if (self->failAt >= 0 && self->written.size() >= static_cast<uint64_t>(self->failAt)) return -1;
    uint64_t n = size;
    if (self->chunk > 0) n = std::min(n, self->chunk);
    if (self->failAt >= 0) n = std::min(n, static_cast<uint64_t>(self->failAt) - self->written.size());
    const auto* from = static_cast<const uint8_t*>(buffer);
    self->written.insert(self->written.end(), from, from + n);
    return static_cast<int64_t>(n);
}

// ---- the instance

template <class Table, class Complete>
const Table* Instance::extension(const char* id, Complete complete) {
    CallTrace::note("plugin.get_extension(\"%s\")", id);
    const auto* found = static_cast<const Table*>(table->getExtension(table, id));
    if (found != nullptr && !complete(*found)) {
        incomplete.emplace_back(id);
        return nullptr;
    }
    return found;
}

std::unique_ptr<Instance> Instance::create(Module& module, Findings& findings, bool bareHost) {
    std::unique_ptr<Instance> made(new Instance(bareHost));
    const clap_plugin_factory& factory = module.factory();
    CallTrace::note("factory.create_plugin(\"%s\")", module.pluginId().c_str());
    made->table = factory.createPlugin(&factory, &made->host.table, module.pluginId().c_str());
    if (made->table == nullptr) {
        findings.fail("create_plugin(\"%s\") answered null", module.pluginId().c_str());
        return nullptr;
    }
    CallTrace::note("plugin.init");
    if (!made->table->init(made->table)) {
        findings.fail("plugin.init answered false");
        CallTrace::note("plugin.destroy after a failed init");
        made->table->destroy(made->table);
        made->table = nullptr;
        return nullptr;
    }
    made->params = made->extension<clap_plugin_params>(kExtParams, [](const clap_plugin_params& t) {
        return t.count && t.getInfo && t.getValue && t.valueToText && t.textToValue && t.flush;
    });
    made->state = made->extension<clap_plugin_state>(
        kExtState, [](const clap_plugin_state& t) { return t.save && t.load; });
    made->ports = made->extension<clap_plugin_audio_ports>(
        kExtAudioPorts, [](const clap_plugin_audio_ports& t) { return t.count && t.get; });
    made->latency = made->extension<clap_plugin_latency>(
        kExtLatency, [](const clap_plugin_latency& t) { return t.get != nullptr; });
    made->presetLoad = made->extension<clap_plugin_preset_load>(
        kExtPresetLoad, [](const clap_plugin_preset_load& t) { return t.fromLocation != nullptr; });
    return made;
}

Instance::~Instance() {
    if (table == nullptr) return;
    deactivate();
    CallTrace::note("plugin.destroy");
    table->destroy(table);
}

bool Instance::activate(double rate, uint32_t minFrames, uint32_t maxFrames) {
    deactivate();
    CallTrace::note("plugin.activate(%g Hz, %u to %u frames)", rate, minFrames, maxFrames);
    if (!table->activate(table, rate, minFrames, maxFrames)) return false;
    active = true;
    startProcessing();
    return true;
}

void Instance::deactivate() {
    stopProcessing();
    if (!active) return;
    CallTrace::note("plugin.deactivate");
    table->deactivate(table);
    active = false;
}

void Instance::reset() {
    CallTrace::note("plugin.reset");
    table->reset(table);
}

void Instance::startProcessing() {
    CallTrace::note("plugin.start_processing");
    processing = table->startProcessing(table);
}

void Instance::stopProcessing() {
    if (!processing) return;
    CallTrace::note("plugin.stop_processing");
    table->stopProcessing(table);
    processing = false;
}

std::vector<clap_param_info> Instance::parameters() const {
    std::vector<clap_param_info> infos;
    if (params == nullptr) return infos;
    const uint32_t count = std::min<uint32_t>(params->count(table), 4096);
    for (uint32_t i = 0; i < count; ++i) {
        clap_param_info info{};
        CallTrace::note("params.get_info(%u)", i);
        if (params->getInfo(table, i, &info)) infos.push_back(info);
    }
    return infos;
}

std::optional<double> Instance::value(clap_id id) const {
    double v = 0.0;
    CallTrace::note("params.get_value(%u)", id);
    if (params == nullptr || !params->getValue(table, id, &v)) return std::nullopt;
    return v;
}

std::vector<double> Instance::values(const std::vector<clap_param_info>& infos) const {
    std::vector<double> all;
    for (const auto& info : infos) all.push_back(value(info.id).value_or(std::nan("")));
    return all;
}

void Instance::flush(const EventList& events) {
    if (params == nullptr) return;
    CallTrace::note("params.flush(%zu events)", events.size());
    EventSink sink;
    params->flush(table, events.table(), sink.table());
}

std::optional<std::vector<uint8_t>> Instance::save(uint64_t chunk) const {
    if (state == nullptr) return std::nullopt;
    OutputStream stream(chunk);
    CallTrace::note("state.save(%llu bytes a write)", static_cast<unsigned long long>(chunk));
    if (!state->save(table, stream.table())) return std::nullopt;
    return stream.bytes();
}

bool Instance::load(const std::vector<uint8_t>& bytes, uint64_t chunk, int64_t failAt) const {
    if (state == nullptr) return false;
    InputStream stream(bytes, chunk, failAt);
    CallTrace::note("state.load(%zu bytes, %llu a read)", bytes.size(),
                    static_cast<unsigned long long>(chunk));
    return state->load(table, stream.table());
}

std::optional<std::string> Instance::text(clap_id id, double v, std::string* problem, size_t capacity) const {
    GuardedBlock buffer(capacity, 0x7f);
    CallTrace::note("params.value_to_text(%u, %g, capacity %zu)", id, v, capacity);
    if (!params->valueToText(table, id, v, reinterpret_cast<char*>(buffer.data()),
                             static_cast<uint32_t>(capacity)))
        return std::nullopt;
    const std::string wrong = textProblem(buffer.data(), capacity);
    if (problem != nullptr) *problem = wrong;
    if (!wrong.empty()) return std::string();
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

std::optional<double> Instance::parse(clap_id id, const std::string& text) const {
    GuardedBlock buffer(text.size() + 1);
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    double v = 0.0;
    CallTrace::note("params.text_to_value(%u, \"%.60s\")", id, text.c_str());
    if (!params->textToValue(table, id, reinterpret_cast<const char*>(buffer.data()), &v))
        return std::nullopt;
    return v;
}

bool Instance::loadPreset(uint32_t kind, const char* location, const char* key) const {
    CallTrace::note("preset-load.from_location(%u, %s, %s)", kind, location ? location : "null",
                    key ? key : "null");
    return presetLoad != nullptr && presetLoad->fromLocation(table, kind, location, key);
}

// ---- process calls

Block::Block(uint32_t capacityFrames)
    : inputs(2, static_cast<int32_t>(capacityFrames)), outputs(2, static_cast<int32_t>(capacityFrames)) {}

clap_process_status Block::run(Instance& instance, TestSignal* signal, uint32_t frames, bool inPlace,
                               int64_t frameOffset) {
    frames = std::min<uint32_t>(frames, static_cast<uint32_t>(inputs.capacity()));
    const auto n = static_cast<int32_t>(frames);
    float** in = inputs.pointers(n);
    if (signal != nullptr) signal->fill(in, 2, n);
    float** out = in;
    if (!inPlace) {
        outputs.fill(n, kUnwritten);
        out = outputs.pointers(n);
    }
    const clap_audio_buffer audioIn{in, nullptr, 2, 0, 0};
    clap_audio_buffer audioOut{out, nullptr, 2, 0, 0};
    const clap_process call{steadyTime, frames, transport,      &audioIn,    &audioOut,
                            1,          1,      events.table(), sink.table()};
    CallTrace::note("plugin.process(%u frames%s, %zu events%s)", frames, inPlace ? ", in place" : "",
                    events.size(), transport != nullptr ? ", transport" : "");
    const clap_process_status status = instance.plugin()->process(instance.plugin(), &call);
    steadyTime += frames;
    events.clear();
    lastFrames = frames;
    lastInPlace = inPlace;
    lastScan = SampleScan{};
    lastUnwritten = 0;
    falseConstant = false;
    for (int32_t c = 0; c < 2; ++c) {
        const float* samples = output(c);
        lastScan.add(scanSamples(samples, n, c, frameOffset));
        if (!inPlace) lastUnwritten += std::count(samples, samples + n, kUnwritten);
        // A channel flagged constant must be: hosts skip reading it.
        if ((audioOut.constantMask & (uint64_t{1} << c)) != 0 && n > 0 &&
            std::any_of(samples, samples + n, [&](float s) { return s != samples[0]; }))
            falseConstant = true;
    }
    return status;
}

const float* Block::output(int32_t c) noexcept {
    const auto n = static_cast<int32_t>(lastFrames);
    return lastInPlace ? inputs.channel(c, n) : outputs.channel(c, n);
}

void Block::append(std::vector<float>& out) {
    const float* left = output(0);
    const float* right = output(1);
    for (uint32_t i = 0; i < lastFrames; ++i) {
        out.push_back(left[i]);
        out.push_back(right[i]);
    }
}

std::string callProblem(Block& block, clap_process_status status) {
    char text[200];
    if (!statusKnown(status)) {
        std::snprintf(text, sizeof text, "process answered %d, no status the format has", status);
        return text;
    }
    if (status == kProcessError) return "process answered an error for a usable call";
    if (!block.scan().clean()) return block.scan().describe();
    if (block.unwritten() > 0) {
        std::snprintf(text, sizeof text, "%lld output samples left unwritten",
                      static_cast<long long>(block.unwritten()));
        return text;
    }
    if (block.constantLie()) return "an output channel flagged constant is not";
    return {};
}

std::vector<float> render(Instance& instance, Block& block, const RenderPlan& plan, double rate,
                          Findings& findings, const char* what) {
    std::vector<float> out;
    out.reserve(static_cast<size_t>(plan.frames) * 2);
    TestSignal signal(plan.signal, static_cast<float>(rate), plan.seed);
    bool reported = false;
    for (int64_t done = 0; done < plan.frames;) {
        uint32_t frames = plan.block ? plan.block(done) : 512;
        frames = static_cast<uint32_t>(std::clamp<int64_t>(frames, 1, plan.frames - done));
        if (plan.events) plan.events(done, frames, block.events);
        const clap_process_status status = block.run(instance, signal, frames, plan.inPlace, done);
        if (const std::string problem = callProblem(block, status); !problem.empty() && !reported) {
            findings.fail("%s, call at frame %lld: %s", what, static_cast<long long>(done), problem.c_str());
            reported = true;
        }
        block.append(out);
        done += frames;
    }
    return out;
}

std::vector<float> renderFresh(Module& module, const RenderPlan& plan, Findings& findings, const char* what,
                               const std::function<void(Instance&)>& before) {
    auto instance = Instance::create(module, findings);
    if (!instance) return {};
    if (before) before(*instance);
    if (!instance->activate(kRate, 1, kLargestBlock)) {
        findings.fail("%s: activate at 44.1 kHz was refused", what);
        return {};
    }
    Block block(kLargestBlock);
    return render(*instance, block, plan, kRate, findings, what);
}

long long firstDifferentFrame(const std::vector<float>& a, const std::vector<float>& b) {
    const long long at = firstDifference(a, b);
    return at < 0 ? -1 : at / 2;
}

// ---- parameter values

double randomValue(const clap_param_info& info, std::mt19937& random) {
    double v = std::uniform_real_distribution<double>(info.minValue, info.maxValue)(random);
    if ((info.flags & kParamIsStepped) != 0) v = std::clamp(std::round(v), info.minValue, info.maxValue);
    return v;
}

void randomise(Instance& instance, const std::vector<clap_param_info>& infos, std::mt19937& random) {
    EventList events;
    for (const auto& info : infos) events.value(info.id, 0, randomValue(info, random));
    instance.flush(events);
}

bool sameValue(double a, double b, const clap_param_info& info) {
    return std::fabs(a - b) <= 1e-6 * std::max(1.0, info.maxValue - info.minValue);
}

bool closeTo(double a, double b, const clap_param_info& info) {
    return std::fabs(a - b) <= 0.01 * std::max(1.0, info.maxValue - info.minValue);
}

bool inRange(double v, const clap_param_info& info) {
    return std::isfinite(v) && v >= info.minValue && v <= info.maxValue;
}

// ---- presets

std::string fieldProblem(const char* text, bool required) {
    if (text == nullptr) return required ? "null" : "";
    if (required && *text == 0) return "empty";
    constexpr size_t kLongest = 4096;
    const void* end = std::memchr(text, 0, kLongest);
    if (end == nullptr) return "not terminated within 4096 bytes";
    const auto length = static_cast<size_t>(static_cast<const char*>(end) - text);
    return textProblem(reinterpret_cast<const unsigned char*>(text), length + 1);
}

Discovery discoverPresets(Module& module) {
    Discovery found;
    CallTrace::note("preset discovery: every provider made, initialised and asked for its presets");
    const ClapPresetListing listing = module.module().presets();
    for (const auto& error : listing.errors)
        found.problems.push_back("a provider reported \"" + error + "\"");
    if (!listing.providers.empty() && listing.locations.empty())
        found.problems.push_back("its providers declared no location (not made, or init refused)");
    for (const ClapPreset& preset : listing.presets) {
        if (preset.name.empty()) found.problems.push_back("a preset has no name");
        if (preset.locationKind != kPresetLocationPlugin) continue;  // files are the host's to read
        if (!preset.loadKey)
            found.problems.push_back("preset \"" + preset.name + "\" inside the plug-in has no load key");
        else
            found.keys.push_back(*preset.loadKey);
    }
    return found;
}

void denormalsVisible() {
#if defined(__SSE__)
    _mm_setcsr(_mm_getcsr() & ~0x8040u);
#endif
}

}  // namespace flanger::tools::claprig
