// The test host: module loading, the callback and the dispatcher helpers.
#include "tools/common/TestHost.h"

#if defined(_WIN32)
#include "platform/win32/Win32Library.h"
#else
#include <dlfcn.h>
#endif
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>

namespace flanger::tools {

namespace {

// The system's module loader: the dynamic linker, or LoadLibrary through the Win32 backend.
#if defined(_WIN32)
void* openModule(const std::string& path, std::string& why) {
    return platform::win32::loadLibrary(path, &why);
}
void* moduleSymbol(void* lib, const char* name) {
    return platform::win32::findSymbol(lib, name);
}
void closeModule(void* lib) {
    platform::win32::freeLibrary(lib);
}
#else
void* openModule(const std::string& path, std::string& why) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* text = dlerror();
        why = text ? text : "unknown error";
    }
    return lib;
}
void* moduleSymbol(void* lib, const char* name) {
    return dlsym(lib, name);
}
void closeModule(void* lib) {
    dlclose(lib);
}
#endif

// The instance this thread is calling into (entry, dispatcher or process): plug-ins call back
// before their record reaches us (the version query, with a null or not yet known effect), and
// some pass a null effect later too.
thread_local PluginInstance* active = nullptr;

class ActiveInstance {
public:
    explicit ActiveInstance(PluginInstance* instance) noexcept : previous(active) { active = instance; }
    ~ActiveInstance() { active = previous; }
    ActiveInstance(const ActiveInstance&) = delete;
    ActiveInstance& operator=(const ActiveInstance&) = delete;

private:
    PluginInstance* previous;
};

// The time record is filled on the asking thread, so concurrent instances never share one.
thread_local vst::VstTimeInfo timeRecord{};

intptr_t hostCallback(vst::EffectRecord* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) {
    PluginInstance* instance = nullptr;
    if (effect != nullptr && effect->resvd1 != 0) {
        instance = reinterpret_cast<PluginInstance*>(effect->resvd1);
    } else {
        instance = active;
    }
    if (instance == nullptr) {
        // No instance to ask (a stray call with a null effect): answer like any host would.
        return opcode == vst::audioMasterVersion ? 2400 : 0;
    }
    return instance->answer(effect, opcode, index, value, ptr, opt);
}

void copyBounded(void* ptr, const char* text, size_t capacity) {
    if (ptr == nullptr || capacity == 0) return;
    auto* out = static_cast<char*>(ptr);
    const size_t n = std::min(std::strlen(text), capacity - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Room for a speaker arrangement record of up to 8 channels (type, count, then the speaker
// entries, which this host leaves zero).
struct ArrangementStorage {
    vst::VstSpeakerArrangement head{};
    char speakers[8 * 112]{};
};

constexpr char kFill = '\x7f';
constexpr size_t kGuardBytes = 512;  // plug-ins that ignore the customary limits land here
constexpr intptr_t kUnsetPin = INTPTR_MIN;

}  // namespace

HostAnswers::HostAnswers() noexcept {
    for (auto& pin : inputPins) pin.store(kUnsetPin, std::memory_order_relaxed);
    for (auto& pin : outputPins) pin.store(kUnsetPin, std::memory_order_relaxed);
}

void HostAnswers::setPinAnswer(bool output, int pin, intptr_t answer) noexcept {
    if (pin < 0 || pin >= kPinCount) return;
    (output ? outputPins : inputPins)[static_cast<size_t>(pin)].store(answer, std::memory_order_relaxed);
}

intptr_t HostAnswers::pinAnswer(bool output, int pin) const noexcept {
    if (pin < 0 || pin >= kPinCount) return defaultPin.load(std::memory_order_relaxed);
    const intptr_t set =
        (output ? outputPins : inputPins)[static_cast<size_t>(pin)].load(std::memory_order_relaxed);
    return set != kUnsetPin ? set : defaultPin.load(std::memory_order_relaxed);
}

PluginInstance::PluginInstance(void* lib, std::string path, const HostOptions& options)
    : library(lib),
      modulePath(std::move(path)),
      rate(options.sampleRate),
      block(options.blockSize),
      versionAnswer(options.hostVersion) {}

std::unique_ptr<PluginInstance> PluginInstance::load(const std::string& path, const HostOptions& options,
                                                     std::string* error) {
    std::string why;
    void* lib = openModule(path, why);
    if (lib == nullptr) {
        if (error) *error = "cannot load " + path + ": " + why;
        return nullptr;
    }
    void* symbol = moduleSymbol(lib, "VSTPluginMain");
    if (symbol == nullptr) symbol = moduleSymbol(lib, "main");
    if (symbol == nullptr) {
        if (error) *error = path + " exports neither VSTPluginMain nor main";
        closeModule(lib);
        return nullptr;
    }
    std::unique_ptr<PluginInstance> instance(new PluginInstance(lib, path, options));
    if (!instance->start(reinterpret_cast<vst::EntryProc>(symbol), error)) return nullptr;
    return instance;
}

std::unique_ptr<PluginInstance> PluginInstance::fromEntry(vst::EntryProc entry, const HostOptions& options,
                                                          std::string* error) {
    if (entry == nullptr) {
        if (error) *error = "no entry function";
        return nullptr;
    }
    std::unique_ptr<PluginInstance> instance(new PluginInstance(nullptr, "(in process)", options));
    if (!instance->start(entry, error)) return nullptr;
    return instance;
}

bool PluginInstance::start(vst::EntryProc entry, std::string* error) {
    vst::EffectRecord* created = nullptr;
    {
        const ActiveInstance guard(this);
        created = entry(&hostCallback);
    }
    if (created == nullptr) {
        if (error) *error = modulePath + ": the entry returned no effect";
        return false;
    }
    if (created->magic != vst::kEffectMagic) {
        if (error) *error = modulePath + ": the entry returned a record without the effect magic";
        return false;
    }
    if (created->dispatcher == nullptr) {
        if (error) *error = modulePath + ": the effect has no dispatcher";
        return false;
    }
    // resvd1 is the host's field: from now on the callback finds us through it.
    created->resvd1 = reinterpret_cast<intptr_t>(this);
    effect = created;
    return true;
}

PluginInstance::~PluginInstance() {
    close();
    if (library != nullptr) closeModule(library);
}

intptr_t PluginInstance::close() {
    if (effect == nullptr) return 0;
    const ActiveInstance guard(this);
    const intptr_t result = effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    effect = nullptr;
    return result;
}

intptr_t PluginInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (effect == nullptr) return 0;
    if (opcode == vst::effClose) return close();
    const ActiveInstance guard(this);
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void PluginInstance::open() {
    dispatch(vst::effOpen);
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, sampleRate());
    dispatch(vst::effSetBlockSize, 0, blockSize());
}

void PluginInstance::startLike(HostStyle style) {
    switch (style) {
        case HostStyle::Plain:
            open();
            resume();
            return;
        case HostStyle::ConfigureFirst:
            dispatch(vst::effIdentify);
            dispatch(vst::effSetBlockSizeAndSampleRate, 0, blockSize(), nullptr, sampleRate());
            dispatch(vst::effSetSampleRate, 0, 0, nullptr, sampleRate());
            dispatch(vst::effSetBlockSize, 0, blockSize());
            dispatch(vst::effOpen);
            resume();
            return;
        case HostStyle::Ardour: {
            dispatch(vst::effOpen);
            dispatch(vst::effGetVstVersion);
            dispatch(vst::effSetSampleRate, 0, 0, nullptr, sampleRate());
            dispatch(vst::effSetBlockSize, 0, blockSize());
            for (int32_t i = 0; i < parameterCount(); ++i) {
                dispatch(vst::effCanBeAutomated, i);
                // Room for the published properties record; this host reads none of it.
                std::array<char, 256> properties{};
                dispatch(vst::effGetParameterProperties, i, 0, properties.data());
            }
            resume();
            for (int32_t p = 0; p < programCount(); ++p) text(vst::effGetProgramNameIndexed, p);
            setProgram(0);
            return;
        }
    }
}

void PluginInstance::setSampleRate(float rateHz) {
    rate.store(rateHz, std::memory_order_relaxed);
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, rateHz);
}

void PluginInstance::setBlockSize(int32_t frames) {
    block.store(frames, std::memory_order_relaxed);
    dispatch(vst::effSetBlockSize, 0, frames);
}

float PluginInstance::parameter(int32_t index) {
    if (effect == nullptr || effect->getParameter == nullptr) return 0.0f;
    const ActiveInstance guard(this);
    return effect->getParameter(effect, index);
}

void PluginInstance::setParameter(int32_t index, float normalised) {
    if (effect == nullptr || effect->setParameter == nullptr) return;
    const ActiveInstance guard(this);
    effect->setParameter(effect, index, normalised);
}

TextAnswer PluginInstance::text(int32_t opcode, int32_t index, size_t bufferSize, intptr_t value) {
    TextAnswer answerText;
    if (bufferSize == 0) bufferSize = 1;
    std::vector<char> buffer(bufferSize + kGuardBytes, kFill);
    answerText.result = dispatch(opcode, index, value, buffer.data());
    const auto limit = buffer.begin() + static_cast<std::ptrdiff_t>(bufferSize);
    answerText.untouched = std::all_of(buffer.begin(), limit, [](char c) { return c == kFill; });
    answerText.overran = std::any_of(limit, buffer.end(), [](char c) { return c != kFill; });
    const auto end = std::find(buffer.begin(), limit, '\0');
    answerText.terminated = end != limit;
    if (!answerText.untouched) {
        answerText.length = static_cast<size_t>(end - buffer.begin());
        answerText.text.assign(buffer.begin(), end);
    }
    return answerText;
}

bool PluginInstance::setParameterText(int32_t index, const std::string& value) {
    std::vector<char> copy(value.begin(), value.end());
    copy.push_back('\0');
    return dispatch(vst::effString2Parameter, index, 0, copy.data()) != 0;
}

int32_t PluginInstance::findParameter(const std::string& name) {
    const int32_t count = parameterCount();
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
        names.push_back(parameterName(i));
        if (names.back() == name) return i;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (equalIgnoringCase(names[static_cast<size_t>(i)], name)) return i;
    }
    return -1;
}

void PluginInstance::setProgram(int32_t programIndex) {
    dispatch(vst::effBeginSetProgram);
    dispatch(vst::effSetProgram, 0, programIndex);
    dispatch(vst::effEndSetProgram);
}

void PluginInstance::setProgramName(const std::string& name) {
    char buffer[vst::kNameLength + 1] = {};
    std::memcpy(buffer, name.data(), std::min(name.size(), sizeof buffer - 1));
    dispatch(vst::effSetProgramName, 0, 0, buffer);
}

std::string PluginInstance::programNameAt(int32_t programIndex, bool allowSwitching) {
    const TextAnswer indexed = text(vst::effGetProgramNameIndexed, programIndex);
    if (indexed.result != 0 || !allowSwitching) return indexed.text;
    if (programIndex < 0 || programIndex >= programCount()) return {};
    const int32_t current = program();
    dispatch(vst::effSetProgram, 0, programIndex);
    std::string name = programName();
    dispatch(vst::effSetProgram, 0, current);
    return name;
}

int32_t PluginInstance::findProgram(const std::string& name) {
    const int32_t count = programCount();
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
        names.push_back(programNameAt(i));
        if (names.back() == name) return i;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (equalIgnoringCase(names[static_cast<size_t>(i)], name)) return i;
    }
    return -1;
}

std::vector<uint8_t> PluginInstance::chunk(bool presetOnly) {
    void* data = nullptr;
    const intptr_t size = dispatch(vst::effGetChunk, presetOnly ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

intptr_t PluginInstance::setChunk(std::span<const uint8_t> data, bool presetOnly) {
    std::vector<uint8_t> copy(data.begin(), data.end());
    return dispatch(vst::effSetChunk, presetOnly ? 1 : 0, static_cast<intptr_t>(copy.size()),
                    copy.empty() ? nullptr : copy.data());
}

intptr_t PluginInstance::setSpeakerArrangement(int32_t inputChannels, int32_t outputChannels) {
    ArrangementStorage in;
    ArrangementStorage out;
    in.head.numChannels = inputChannels;
    out.head.numChannels = outputChannels;
    return dispatch(vst::effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in.head), &out.head);
}

bool PluginInstance::process(ProcessMode mode, float** inputs, float** outputs, int32_t frames) noexcept {
    if (effect == nullptr) return false;
    vst::ProcessProc entry = mode == ProcessMode::Replacing ? effect->processReplacing : effect->process;
    if (entry == nullptr) return false;
    const ActiveInstance guard(this);
#if defined(__SSE__)
    const unsigned int callerCsr = _mm_getcsr();
    // 0x8000 flush-to-zero, 0x0040 denormals-are-zero.
    if (flushSubnormals.load(std::memory_order_relaxed)) _mm_setcsr(callerCsr | 0x8040u);
    entry(effect, inputs, outputs, frames);
    _mm_setcsr(callerCsr);
#else
    entry(effect, inputs, outputs, frames);
#endif
    if (frames > 0) framesDone.fetch_add(frames, std::memory_order_relaxed);
    return true;
}

intptr_t PluginInstance::answer(vst::EffectRecord* from, int32_t opcode, int32_t index, intptr_t value,
                                void* ptr, float opt) noexcept {
    // Recorded first, so a test sees the request even if answering it goes wrong.
    log.append(HostRequest{opcode, index, value, opt, ptr != nullptr, from == nullptr});
    switch (opcode) {
        case vst::audioMasterVersion:
            return versionAnswer;
        case vst::audioMasterGetTime: {
            if (hostAnswers.answersNullTimeInfo()) return 0;
            vst::VstTimeInfo& info = timeRecord;
            info = vst::VstTimeInfo{};
            info.samplePos = static_cast<double>(processedFrames());
            info.sampleRate = sampleRate();
            info.tempo = hostAnswers.currentTempo();
            info.ppqPos = info.sampleRate > 0.0 ? info.samplePos / info.sampleRate * info.tempo / 60.0 : 0.0;
            info.timeSigNumerator = 4;
            info.timeSigDenominator = 4;
            info.flags = hostAnswers.currentTimeFlags();
            return reinterpret_cast<intptr_t>(&info);
        }
        case vst::audioMasterPinConnected:
            return hostAnswers.pinAnswer(value != 0, index);
        case vst::audioMasterGetSampleRate:
            return static_cast<intptr_t>(sampleRate());
        case vst::audioMasterGetBlockSize:
            return blockSize();
        case vst::audioMasterGetVendorString:
            copyBounded(ptr, "Brackwater Test Host", vst::kVendorTextLength + 1);
            return ptr != nullptr ? 1 : 0;
        case vst::audioMasterGetProductString:
            copyBounded(ptr, "flanger-host", vst::kVendorTextLength + 1);
            return ptr != nullptr ? 1 : 0;
        case vst::audioMasterGetVendorVersion:
            return 1;
        case vst::audioMasterBeginEdit:
        case vst::audioMasterEndEdit:
            return 1;
        case vst::audioMasterIdle:
            if (hostAnswers.editIdleFromIdle() && effect != nullptr && (from == nullptr || from == effect) &&
                !inIdle.exchange(true, std::memory_order_relaxed)) {
                effect->dispatcher(effect, vst::effEditIdle, 0, 0, nullptr, 0.0f);
                inIdle.store(false, std::memory_order_relaxed);
            }
            return 0;
        case vst::audioMasterCanDo:
        default:
            return 0;
    }
}

}  // namespace flanger::tools
