// The VST3 test host: bundle loading, the host objects and the component's life as hosts drive it.
#include "tools/common/Vst3Host.h"

#if defined(_WIN32)
#include "platform/win32/Win32Library.h"
#else
#include <dlfcn.h>
#include <poll.h>
#endif
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace flanger::tools {

namespace {

using vst3::kResultFalse;
using vst3::kResultOk;
using vst3::tresult;

#if defined(_WIN32)
void* openBinary(const std::string& path, std::string& why) {
    return platform::win32::loadLibrary(path, &why);
}
void* binarySymbol(void* lib, const char* name) {
    return platform::win32::findSymbol(lib, name);
}
void closeBinary(void* lib) {
    platform::win32::freeLibrary(lib);
}
constexpr const char* kEntryName = "InitDll";
constexpr const char* kExitName = "ExitDll";
using EntryProc = bool (*)();
using ExitProc = bool (*)();
constexpr const char* kPlatformType = vst3::kPlatformTypeHWND;
#else
void* openBinary(const std::string& path, std::string& why) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* text = dlerror();
        why = text ? text : "unknown error";
    }
    return lib;
}
void* binarySymbol(void* lib, const char* name) {
    return dlsym(lib, name);
}
void closeBinary(void* lib) {
    dlclose(lib);
}
constexpr const char* kEntryName = "ModuleEntry";
constexpr const char* kExitName = "ModuleExit";
using EntryProc = bool (*)(void*);
using ExitProc = bool (*)();
constexpr const char* kPlatformType = vst3::kPlatformTypeX11EmbedWindowID;
#endif
using FactoryProc = vst3::IPluginFactory* (*)();

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A bounded char field of the interface's structures, which a plug-in may leave unterminated.
std::string field(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

template <class Interface>
Interface* query(vst3::FUnknown* object, const vst3::Uid& iid) {
    if (object == nullptr) return nullptr;
    void* answer = nullptr;
    if (object->queryInterface(iid.bytes, &answer) != kResultOk) return nullptr;
    return static_cast<Interface*>(answer);
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// One code point from UTF-8 at text[at], advancing at; U+FFFD for a malformed sequence.
char32_t nextCodePoint(const std::string& text, size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) return lead;
    int more = 0;
    char32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        more = 1;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3;
        code = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int i = 0; i < more; ++i) {
        if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return 0xFFFD;
        code = (code << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
    }
    const bool overlong =
        (more == 1 && code < 0x80) || (more == 2 && code < 0x800) || (more == 3 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
    return code;
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The buses of one process call: one main bus each way.
struct Buses {
    vst3::AudioBusBuffers input{};
    vst3::AudioBusBuffers output{};
};

}  // namespace

std::string fromUtf16(const vst3::char16* text, size_t capacity) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; i < capacity && text[i] != 0; ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < capacity && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        appendUtf8(out, code);
    }
    return out;
}

void toUtf16(const std::string& text, vst3::char16* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return;
    size_t written = 0;
    for (size_t at = 0; at < text.size();) {
        const char32_t code = nextCodePoint(text, at);
        const size_t units = code >= 0x10000 ? 2 : 1;
        if (written + units + 1 > capacity) break;
        if (units == 2) {
            out[written++] = static_cast<vst3::char16>(0xD800 + ((code - 0x10000) >> 10));
            out[written++] = static_cast<vst3::char16>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out[written++] = static_cast<vst3::char16>(code);
        }
    }
    out[written] = 0;
}

std::string hexUid(const char* bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    // The ID as its four words are written: Windows stores the first word and the halves of the
    // second little-endian (a COM GUID), Linux every byte in the written order.
#if defined(_WIN32)
    constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
#else
    constexpr int kOrder[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#endif
    std::string out;
    for (int i : kOrder) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

// --- MemoryStream

MemoryStream::MemoryStream(std::vector<uint8_t> bytes, int64_t position) : data(std::move(bytes)) {
    at = std::clamp<int64_t>(position, 0, static_cast<int64_t>(data.size()));
}

std::unique_ptr<MemoryStream> MemoryStream::replay() const {
    auto copy = std::make_unique<MemoryStream>(data, at);
    copy->readLimit = readLimit;
    copy->okAtEnd = okAtEnd;
    return copy;
}

std::vector<uint8_t> MemoryStream::bytesFrom(int64_t position) const {
    if (position < 0 || position >= static_cast<int64_t>(data.size())) return {};
    return std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(position), data.end());
}

tresult MemoryStream::queryInterface(const vst3::TUID iid, void** object) {
    return answer(iid, vst3::kBStreamIid, object);
}

tresult MemoryStream::read(void* buffer, int32_t numBytes, int32_t* numBytesRead) {
    ++reads;
    if (numBytesRead != nullptr) *numBytesRead = 0;
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return vst3::kInvalidArgument;
    int64_t count = std::min<int64_t>(numBytes, static_cast<int64_t>(data.size()) - at);
    if (readLimit > 0) count = std::min<int64_t>(count, readLimit);
    if (count > 0) std::memcpy(buffer, data.data() + at, static_cast<size_t>(count));
    at += count;
    if (numBytesRead != nullptr) *numBytesRead = static_cast<int32_t>(count);
    // At the end a read of something answers false, as file streams do, unless told otherwise.
    return count > 0 || numBytes == 0 || okAtEnd ? kResultOk : kResultFalse;
}

tresult MemoryStream::write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) {
    if (numBytesWritten != nullptr) *numBytesWritten = 0;
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return vst3::kInvalidArgument;
    const auto end = static_cast<size_t>(at) + static_cast<size_t>(numBytes);
    if (end > data.size()) data.resize(end);
    if (numBytes > 0) std::memcpy(data.data() + at, buffer, static_cast<size_t>(numBytes));
    at = static_cast<int64_t>(end);
    if (numBytesWritten != nullptr) *numBytesWritten = numBytes;
    return kResultOk;
}

tresult MemoryStream::seek(int64_t pos, int32_t mode, int64_t* result) {
    ++seekCalls;
    int64_t base = 0;
    if (mode == kIBSeekCur) {
        base = at;
    } else if (mode == kIBSeekEnd) {
        base = static_cast<int64_t>(data.size());
    } else if (mode != kIBSeekSet) {
        return vst3::kInvalidArgument;
    }
    const int64_t target = base + pos;
    if (target < 0) return vst3::kInvalidArgument;
    at = std::min<int64_t>(target, static_cast<int64_t>(data.size()));
    if (result != nullptr) *result = at;
    return kResultOk;
}

tresult MemoryStream::tell(int64_t* pos) {
    if (pos == nullptr) return vst3::kInvalidArgument;
    *pos = at;
    return kResultOk;
}

// --- Parameter changes

ParamValueQueue::ParamValueQueue(vst3::ParamID id) : parameter(id) {
    points.reserve(256);
}

void ParamValueQueue::reset(vst3::ParamID id) noexcept {
    parameter = id;
    points.clear();
}

tresult ParamValueQueue::queryInterface(const vst3::TUID iid, void** object) {
    return answer(iid, vst3::kParamValueQueueIid, object);
}

tresult ParamValueQueue::getPoint(int32_t index, int32_t& sampleOffset, vst3::ParamValue& value) {
    if (index < 0 || index >= getPointCount()) return kResultFalse;
    sampleOffset = points[static_cast<size_t>(index)].offset;
    value = points[static_cast<size_t>(index)].value;
    return kResultOk;
}

tresult ParamValueQueue::addPoint(int32_t sampleOffset, vst3::ParamValue value, int32_t& index) {
    auto at = std::lower_bound(points.begin(), points.end(), sampleOffset,
                               [](const Point& p, int32_t offset) { return p.offset < offset; });
    if (at != points.end() && at->offset == sampleOffset) {
        at->value = value;
    } else {
        at = points.insert(at, Point{sampleOffset, value});
    }
    index = static_cast<int32_t>(at - points.begin());
    return kResultOk;
}

ParameterChanges::ParameterChanges() {
    queues.reserve(32);
}

tresult ParameterChanges::queryInterface(const vst3::TUID iid, void** object) {
    return answer(iid, vst3::kParameterChangesIid, object);
}

vst3::IParamValueQueue* ParameterChanges::getParameterData(int32_t index) {
    if (index < 0 || index >= used) return nullptr;
    return queues[static_cast<size_t>(index)].get();
}

vst3::IParamValueQueue* ParameterChanges::addParameterData(const vst3::ParamID& id, int32_t& index) {
    for (int32_t i = 0; i < used; ++i) {
        if (queues[static_cast<size_t>(i)]->getParameterId() == id) {
            index = i;
            return queues[static_cast<size_t>(i)].get();
        }
    }
    if (used == static_cast<int32_t>(queues.size())) {
        queues.push_back(std::make_unique<ParamValueQueue>(id));
    } else {
        queues[static_cast<size_t>(used)]->reset(id);
    }
    index = used++;
    return queues[static_cast<size_t>(index)].get();
}

void ParameterChanges::add(vst3::ParamID id, int32_t offset, double value) {
    int32_t index = 0;
    int32_t pointIndex = 0;
    addParameterData(id, index)->addPoint(offset, value, pointIndex);
}

std::optional<double> ParameterChanges::lastValue(vst3::ParamID id) {
    for (int32_t i = 0; i < used; ++i) {
        ParamValueQueue& queue = *queues[static_cast<size_t>(i)];
        if (queue.getParameterId() != id || queue.getPointCount() == 0) continue;
        int32_t offset = 0;
        double value = 0.0;
        queue.getPoint(queue.getPointCount() - 1, offset, value);
        return value;
    }
    return std::nullopt;
}

// --- Host application and component handler

tresult HostApplication::queryInterface(const vst3::TUID iid, void** object) {
    return answer(iid, vst3::kHostApplicationIid, object);
}

tresult HostApplication::getName(vst3::String128 name) {
    if (name == nullptr) return vst3::kInvalidArgument;
    toUtf16("flanger-host", name);
    return kResultOk;
}

tresult HostApplication::createInstance(vst3::TUID, vst3::TUID, void** object) {
    // No messages or attribute lists here: a single-object plug-in needs none.
    if (object != nullptr) *object = nullptr;
    return kResultFalse;
}

std::vector<Vst3Edit> ComponentHandler::edits() const {
    const std::lock_guard guard(lock);
    return log;
}

void ComponentHandler::clear() {
    const std::lock_guard guard(lock);
    log.clear();
    pending.clear();
}

std::vector<std::pair<vst3::ParamID, double>> ComponentHandler::takePending() {
    const std::lock_guard guard(lock);
    std::vector<std::pair<vst3::ParamID, double>> out;
    out.swap(pending);
    return out;
}

tresult ComponentHandler::queryInterface(const vst3::TUID iid, void** object) {
    return answer(iid, vst3::kComponentHandlerIid, object);
}

tresult ComponentHandler::beginEdit(vst3::ParamID id) {
    const std::lock_guard guard(lock);
    log.push_back({Vst3Edit::Kind::Begin, id, 0.0, 0});
    return kResultOk;
}

tresult ComponentHandler::performEdit(vst3::ParamID id, vst3::ParamValue valueNormalized) {
    const std::lock_guard guard(lock);
    log.push_back({Vst3Edit::Kind::Perform, id, valueNormalized, 0});
    if (echo.load()) pending.emplace_back(id, valueNormalized);
    return kResultOk;
}

tresult ComponentHandler::endEdit(vst3::ParamID id) {
    const std::lock_guard guard(lock);
    log.push_back({Vst3Edit::Kind::End, id, 0.0, 0});
    return kResultOk;
}

tresult ComponentHandler::restartComponent(int32_t flags) {
    const std::lock_guard guard(lock);
    log.push_back({Vst3Edit::Kind::Restart, 0, 0.0, flags});
    return kResultOk;
}

// --- Run loop and frame

tresult RunLoop::queryInterface(const vst3::TUID iid, void** object) {
    return answer(iid, vst3::kRunLoopIid, object);
}

tresult RunLoop::registerEventHandler(vst3::IEventHandler* handler, int fd) {
    if (handler == nullptr || fd < 0) return vst3::kInvalidArgument;
    handlers.push_back({handler, fd, nextSerial++});
    return kResultOk;
}

tresult RunLoop::unregisterEventHandler(vst3::IEventHandler* handler) {
    const auto before = handlers.size();
    std::erase_if(handlers, [handler](const Handler& h) { return h.handler == handler; });
    return handlers.size() != before ? kResultOk : kResultFalse;
}

tresult RunLoop::registerTimer(vst3::ITimerHandler* handler, uint64_t milliseconds) {
    if (handler == nullptr) return vst3::kInvalidArgument;
    // A period of 0 would fire at every pass; a millisecond is the finest a host's loop keeps.
    const auto period = static_cast<int64_t>(std::clamp<uint64_t>(milliseconds, 1, 3600 * 1000));
    timers.push_back({handler, period, nowMs() + period, nextSerial++});
    return kResultOk;
}

tresult RunLoop::unregisterTimer(vst3::ITimerHandler* handler) {
    const auto before = timers.size();
    std::erase_if(timers, [handler](const Timer& t) { return t.handler == handler; });
    return timers.size() != before ? kResultOk : kResultFalse;
}

bool RunLoop::stillRegistered(uint64_t serial) const {
    return std::any_of(handlers.begin(), handlers.end(),
                       [serial](const Handler& h) { return h.serial == serial; }) ||
           std::any_of(timers.begin(), timers.end(), [serial](const Timer& t) { return t.serial == serial; });
}

int RunLoop::msUntilNextTimer(int capMs) const {
    int64_t wait = std::max(capMs, 0);
    const int64_t now = nowMs();
    for (const Timer& t : timers) wait = std::min(wait, std::max<int64_t>(t.dueMs - now, 0));
    return static_cast<int>(wait);
}

std::vector<int> RunLoop::descriptors() const {
    std::vector<int> fds;
    for (const Handler& h : handlers) fds.push_back(h.fd);
    return fds;
}

void RunLoop::runOnce(int waitMs) {
    const int wait = msUntilNextTimer(waitMs);
#if defined(_WIN32)
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
#else
    const std::vector<Handler> watched = handlers;
    if (watched.empty()) {
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    } else {
        std::vector<pollfd> fds;
        for (const Handler& h : watched) fds.push_back({h.fd, POLLIN, 0});
        if (poll(fds.data(), static_cast<nfds_t>(fds.size()), wait) > 0) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
                if (!stillRegistered(watched[i].serial)) continue;
                ++fdCalls;
                watched[i].handler->onFDIsSet(watched[i].fd);
            }
        }
    }
#endif
    const int64_t now = nowMs();
    const std::vector<Timer> due = timers;
    for (const Timer& t : due) {
        if (t.dueMs > now) continue;
        auto entry =
            std::find_if(timers.begin(), timers.end(), [&t](const Timer& e) { return e.serial == t.serial; });
        if (entry == timers.end()) continue;  // unregistered by an earlier call in this pass
        // Fixed rate, without catching up on periods a slow pass missed.
        entry->dueMs = std::max(entry->dueMs + entry->periodMs, now + 1);
        ++firings;
        t.handler->onTimer();
    }
}

tresult PlugFrame::queryInterface(const vst3::TUID iid, void** object) {
#if !defined(_WIN32)
    // Linux editors find the host's run loop by asking the frame for it.
    if (object != nullptr && vst3::sameUid(iid, vst3::kRunLoopIid)) {
        runLoop.addRef();
        *object = static_cast<vst3::IRunLoop*>(&runLoop);
        return kResultOk;
    }
#endif
    return answer(iid, vst3::kPlugFrameIid, object);
}

tresult PlugFrame::resizeView(vst3::IPlugView* view, vst3::ViewRect* newSize) {
    if (newSize == nullptr) return vst3::kInvalidArgument;
    requested = *newSize;
    ++resizes;
    if (view != nullptr && view->onSize(&requested) != kResultOk) return kResultFalse;
    return kResultOk;
}

// --- Module

std::string Vst3Module::binaryPathOf(const std::string& bundle) {
    namespace fs = std::filesystem;
    fs::path folder(bundle);
    if (!folder.has_filename()) folder = folder.parent_path();  // a trailing separator
    const std::string stem = folder.stem().string();
#if defined(_WIN32)
    return (folder / "Contents" / "x86_64-win" / (stem + ".vst3")).string();
#else
    return (folder / "Contents" / "x86_64-linux" / (stem + ".so")).string();
#endif
}

bool Vst3Module::isBundle(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p(path);
    if (!p.has_filename()) p = p.parent_path();
    return p.extension() == ".vst3";
}

std::shared_ptr<Vst3Module> Vst3Module::load(const std::string& bundle, std::string* error) {
    std::error_code ignored;
    // A folder is a bundle; a file is taken as the binary itself (a bundle's, or a single-file module).
    const bool folder = std::filesystem::is_directory(bundle, ignored);
    std::shared_ptr<Vst3Module> module(new Vst3Module);
    module->bundle = bundle;
    module->binary = folder ? binaryPathOf(bundle) : bundle;
    std::string why;
    module->library = openBinary(module->binary, why);
    if (module->library == nullptr) {
        if (error) *error = "cannot load " + module->binary + ": " + why;
        return nullptr;
    }
    auto entry = reinterpret_cast<EntryProc>(binarySymbol(module->library, kEntryName));
    auto exit = reinterpret_cast<ExitProc>(binarySymbol(module->library, kExitName));
    auto getFactory = reinterpret_cast<FactoryProc>(binarySymbol(module->library, "GetPluginFactory"));
    if (entry == nullptr || exit == nullptr || getFactory == nullptr) {
        if (error)
            *error = module->binary + " lacks " +
                     (entry == nullptr  ? kEntryName
                      : exit == nullptr ? kExitName
                                        : "GetPluginFactory");
        return nullptr;
    }
#if defined(_WIN32)
    const bool entered = entry();
#else
    const bool entered = entry(module->library);
#endif
    if (!entered) {
        if (error) *error = module->binary + ": " + kEntryName + " answered false";
        return nullptr;
    }
    module->entered = true;
    module->pluginFactory = getFactory();
    if (module->pluginFactory == nullptr) {
        if (error) *error = module->binary + ": GetPluginFactory answered null";
        return nullptr;
    }
    module->pluginFactory2 = query<vst3::IPluginFactory2>(module->pluginFactory, vst3::kPluginFactory2Iid);
    module->pluginFactory3 = query<vst3::IPluginFactory3>(module->pluginFactory, vst3::kPluginFactory3Iid);
    return module;
}

Vst3Module::~Vst3Module() {
    if (pluginFactory3 != nullptr) pluginFactory3->release();
    if (pluginFactory2 != nullptr) pluginFactory2->release();
    if (pluginFactory != nullptr) pluginFactory->release();
    if (entered) {
        auto exit = reinterpret_cast<ExitProc>(binarySymbol(library, kExitName));
        if (exit != nullptr) exit();
    }
    if (library != nullptr) closeBinary(library);
}

Vst3FactoryInfo Vst3Module::factoryInfo() const {
    Vst3FactoryInfo out;
    vst3::PFactoryInfo info{};
    if (pluginFactory == nullptr || pluginFactory->getFactoryInfo(&info) != kResultOk) return out;
    out.vendor = field(info.vendor, sizeof info.vendor);
    out.url = field(info.url, sizeof info.url);
    out.email = field(info.email, sizeof info.email);
    out.flags = info.flags;
    return out;
}

std::vector<Vst3ClassInfo> Vst3Module::classes() const {
    std::vector<Vst3ClassInfo> out;
    if (pluginFactory == nullptr) return out;
    const int32_t count = pluginFactory->countClasses();
    for (int32_t i = 0; i < count; ++i) {
        Vst3ClassInfo entry;
        vst3::PClassInfo info{};
        if (pluginFactory->getClassInfo(i, &info) != kResultOk) continue;
        std::memcpy(entry.cid.data(), info.cid, 16);
        entry.cardinality = info.cardinality;
        entry.category = field(info.category, sizeof info.category);
        entry.name = field(info.name, sizeof info.name);
        vst3::PClassInfoW wide{};
        vst3::PClassInfo2 narrow{};
        if (pluginFactory3 != nullptr && pluginFactory3->getClassInfoUnicode(i, &wide) == kResultOk) {
            entry.extended = true;
            entry.classFlags = wide.classFlags;
            entry.subCategories = field(wide.subCategories, sizeof wide.subCategories);
            entry.vendor = fromUtf16(wide.vendor, 64);
            entry.version = fromUtf16(wide.version, 64);
            entry.sdkVersion = fromUtf16(wide.sdkVersion, 64);
        } else if (pluginFactory2 != nullptr && pluginFactory2->getClassInfo2(i, &narrow) == kResultOk) {
            entry.extended = true;
            entry.classFlags = narrow.classFlags;
            entry.subCategories = field(narrow.subCategories, sizeof narrow.subCategories);
            entry.vendor = field(narrow.vendor, sizeof narrow.vendor);
            entry.version = field(narrow.version, sizeof narrow.version);
            entry.sdkVersion = field(narrow.sdkVersion, sizeof narrow.sdkVersion);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

// --- Plug-in

Vst3Plugin::Vst3Plugin(std::shared_ptr<Vst3Module> module, vst3::IComponent* component, std::string name)
    : owner(std::move(module)), className(std::move(name)), componentObject(component) {}

std::unique_ptr<Vst3Plugin> Vst3Plugin::load(const std::string& bundle, std::string* error) {
    auto module = Vst3Module::load(bundle, error);
    if (!module) return nullptr;
    for (const Vst3ClassInfo& info : module->classes()) {
        if (info.category == "Audio Module Class") return create(module, info.cid.data(), error);
    }
    if (error) *error = bundle + " has no class of category \"Audio Module Class\"";
    return nullptr;
}

std::unique_ptr<Vst3Plugin> Vst3Plugin::create(std::shared_ptr<Vst3Module> module, const char* cid,
                                               std::string* error) {
    if (!module || module->factory() == nullptr || cid == nullptr) {
        if (error) *error = "no factory";
        return nullptr;
    }
    std::string name;
    for (const Vst3ClassInfo& info : module->classes())
        if (std::memcmp(info.cid.data(), cid, 16) == 0) name = info.name;
    void* object = nullptr;
    const tresult made = module->factory()->createInstance(cid, vst3::kComponentIid.bytes, &object);
    if (made != kResultOk || object == nullptr) {
        if (error) *error = module->bundlePath() + ": the factory made no component of class " + hexUid(cid);
        return nullptr;
    }
    std::unique_ptr<Vst3Plugin> plugin(
        new Vst3Plugin(module, static_cast<vst3::IComponent*>(object), name.empty() ? hexUid(cid) : name));
    if (!plugin->connect(error)) return nullptr;
    return plugin;
}

bool Vst3Plugin::connect(std::string* error) {
    const std::string& path = owner->bundlePath();
    if (componentObject->initialize(&hostApplication) != kResultOk) {
        if (error) *error = path + ": the component's initialize failed";
        return false;
    }
    componentInitialised = true;
    processorObject = query<vst3::IAudioProcessor>(componentObject, vst3::kAudioProcessorIid);
    if (processorObject == nullptr) {
        if (error) *error = path + ": the component is no IAudioProcessor";
        return false;
    }
    // The component itself first, as Ardour asks; else the class it names.
    controllerObject = query<vst3::IEditController>(componentObject, vst3::kEditControllerIid);
    singleObject = controllerObject != nullptr;
    if (controllerObject == nullptr) {
        vst3::TUID cid{};
        void* object = nullptr;
        if (componentObject->getControllerClassId(cid) == kResultOk &&
            owner->factory()->createInstance(cid, vst3::kEditControllerIid.bytes, &object) == kResultOk &&
            object != nullptr) {
            controllerObject = static_cast<vst3::IEditController*>(object);
            if (controllerObject->initialize(&hostApplication) != kResultOk) {
                if (error) *error = path + ": the controller's initialize failed";
                return false;
            }
            controllerInitialised = true;
        }
    }
    if (controllerObject != nullptr) {
        controllerObject->setComponentHandler(&componentHandler);
        unitInfoObject = query<vst3::IUnitInfo>(controllerObject, vst3::kUnitInfoIid);
        if (!singleObject) {
            MemoryStream stream;
            if (componentObject->getState(&stream) == kResultOk) {
                stream.seek(0, vst3::IBStream::kIBSeekSet, nullptr);
                controllerObject->setComponentState(&stream);
            }
        }
    }
    return true;
}

Vst3Plugin::~Vst3Plugin() {
    closeEditor();
    stop();
    if (controllerObject != nullptr) controllerObject->setComponentHandler(nullptr);
    if (unitInfoObject != nullptr) unitInfoObject->release();
    if (controllerObject != nullptr) {
        if (controllerInitialised) controllerObject->terminate();
        controllerObject->release();
    }
    if (processorObject != nullptr) processorObject->release();
    if (componentInitialised) componentObject->terminate();
    componentObject->release();
}

tresult Vst3Plugin::setupProcessing(double sampleRate, int32_t maxBlock, int32_t mode, int32_t sampleSize) {
    vst3::ProcessSetup setup{mode, sampleSize, maxBlock, sampleRate};
    const tresult result = processorObject->setupProcessing(setup);
    if (result == kResultOk) {
        rate = sampleRate;
        processMode = mode;
    }
    return result;
}

tresult Vst3Plugin::setBusArrangements(vst3::SpeakerArrangement input, vst3::SpeakerArrangement output) {
    return processorObject->setBusArrangements(&input, 1, &output, 1);
}

tresult Vst3Plugin::setActive(bool on) {
    const tresult result = componentObject->setActive(on ? 1 : 0);
    if (result == kResultOk) active = on;
    return result;
}

tresult Vst3Plugin::setProcessing(bool on) {
    const tresult result = processorObject->setProcessing(on ? 1 : 0);
    // Plug-ins may answer not-implemented here and still process; a host goes on either way.
    processing = on;
    return result;
}

tresult Vst3Plugin::start(double sampleRate, int32_t maxBlock) {
    tresult result = setupProcessing(sampleRate, maxBlock);
    tresult next = setBusArrangements(vst3::kArrangementStereo, vst3::kArrangementStereo);
    if (result == kResultOk) result = next;
    for (int32_t direction : {vst3::kInput, vst3::kOutput}) {
        if (componentObject->getBusCount(vst3::kAudio, direction) > 0) {
            next = componentObject->activateBus(vst3::kAudio, direction, 0, 1);
            if (result == kResultOk) result = next;
        }
    }
    next = setActive(true);
    if (result == kResultOk) result = next;
    next = setProcessing(true);
    if (result == kResultOk && next != vst3::kNotImplemented) result = next;
    return result;
}

void Vst3Plugin::stop() {
    if (processing) setProcessing(false);
    if (active) setActive(false);
}

void Vst3Plugin::fillContext() {
    context = vst3::ProcessContext{};
    context.state = (playing ? vst3::ProcessContext::kPlaying : 0u) |
                    (tempoValid ? vst3::ProcessContext::kTempoValid : 0u);
    context.sampleRate = rate;
    context.projectTimeSamples = framesDone;
    context.continousTimeSamples = framesDone;
    context.projectTimeMusic = rate > 0.0 ? static_cast<double>(framesDone) / rate * tempo / 60.0 : 0.0;
    context.tempo = tempo;
    context.timeSigNumerator = 4;
    context.timeSigDenominator = 4;
}

tresult Vst3Plugin::process(float** inputs, float** outputs, int32_t frames) {
    Vst3ProcessCall call;
    call.inputs = inputs;
    call.outputs = outputs;
    call.frames = frames;
    return process(call);
}

tresult Vst3Plugin::process(const Vst3ProcessCall& call) {
    // Edits the editor performed reach the processor in the next call, as hosts pass them on.
    for (const auto& [id, value] : componentHandler.takePending()) inChanges.add(id, 0, value);
    Buses buses;
    buses.input.numChannels = call.inputChannels;
    buses.input.channelBuffers32 = call.inputs;
    buses.output.numChannels = call.outputChannels;
    buses.output.channelBuffers32 = call.outputs;
    fillContext();
    outChanges.clear();
    vst3::ProcessData data{};
    data.processMode = processMode;
    data.symbolicSampleSize = vst3::kSample32;
    data.numSamples = call.frames;
    data.numInputs = call.buses ? 1 : 0;
    data.numOutputs = call.buses ? 1 : 0;
    data.inputs = call.buses ? &buses.input : nullptr;
    data.outputs = call.buses ? &buses.output : nullptr;
    data.inputParameterChanges = &inChanges;
    data.outputParameterChanges = &outChanges;
    data.processContext = withContext ? &context : nullptr;
#if defined(__SSE__)
    const unsigned int callerCsr = _mm_getcsr();
    // 0x8000 flush-to-zero, 0x0040 denormals-are-zero.
    if (flushSubnormals) _mm_setcsr(callerCsr | 0x8040u);
    const tresult result = processorObject->process(data);
    _mm_setcsr(callerCsr);
#else
    const tresult result = processorObject->process(data);
#endif
    inChanges.clear();
    if (call.frames > 0) framesDone += call.frames;
    return result;
}

int32_t Vst3Plugin::parameterCount() {
    return controllerObject != nullptr ? controllerObject->getParameterCount() : 0;
}

std::optional<Vst3ParameterInfo> Vst3Plugin::parameterInfo(int32_t index) {
    if (controllerObject == nullptr) return std::nullopt;
    vst3::ParameterInfo info{};
    if (controllerObject->getParameterInfo(index, info) != kResultOk) return std::nullopt;
    Vst3ParameterInfo out;
    out.id = info.id;
    out.title = fromUtf16(info.title);
    out.shortTitle = fromUtf16(info.shortTitle);
    out.units = fromUtf16(info.units);
    out.stepCount = info.stepCount;
    out.defaultValue = info.defaultNormalizedValue;
    out.unitId = info.unitId;
    out.flags = info.flags;
    return out;
}

std::vector<Vst3ParameterInfo> Vst3Plugin::parameters() {
    std::vector<Vst3ParameterInfo> out;
    const int32_t count = parameterCount();
    for (int32_t i = 0; i < count; ++i)
        if (auto info = parameterInfo(i)) out.push_back(std::move(*info));
    return out;
}

std::optional<vst3::ParamID> Vst3Plugin::findParameter(const std::string& title) {
    const auto all = parameters();
    for (const auto& p : all)
        if (p.title == title) return p.id;
    for (const auto& p : all)
        if (equalIgnoringCase(p.title, title)) return p.id;
    return std::nullopt;
}

double Vst3Plugin::parameter(vst3::ParamID id) {
    return controllerObject != nullptr ? controllerObject->getParamNormalized(id) : 0.0;
}

tresult Vst3Plugin::setParameter(vst3::ParamID id, double normalised) {
    return controllerObject != nullptr ? controllerObject->setParamNormalized(id, normalised) : kResultFalse;
}

std::optional<std::string> Vst3Plugin::display(vst3::ParamID id, double normalised) {
    if (controllerObject == nullptr) return std::nullopt;
    vst3::String128 text{};
    if (controllerObject->getParamStringByValue(id, normalised, text) != kResultOk) return std::nullopt;
    return fromUtf16(text);
}

std::optional<double> Vst3Plugin::valueFromText(vst3::ParamID id, const std::string& text) {
    if (controllerObject == nullptr) return std::nullopt;
    vst3::String128 wide{};
    toUtf16(text, wide);
    double value = 0.0;
    if (controllerObject->getParamValueByString(id, wide, value) != kResultOk) return std::nullopt;
    return value;
}

std::vector<std::string> Vst3Plugin::programNames() {
    std::vector<std::string> names;
    if (unitInfoObject == nullptr || unitInfoObject->getProgramListCount() < 1) return names;
    vst3::ProgramListInfo list{};
    if (unitInfoObject->getProgramListInfo(0, list) != kResultOk) return names;
    for (int32_t i = 0; i < list.programCount; ++i) {
        vst3::String128 name{};
        names.push_back(unitInfoObject->getProgramName(list.id, i, name) == kResultOk ? fromUtf16(name) : "");
    }
    return names;
}

std::vector<uint8_t> Vst3Plugin::state(tresult* result, int64_t startPosition) {
    MemoryStream stream(std::vector<uint8_t>(static_cast<size_t>(std::max<int64_t>(startPosition, 0))),
                        startPosition);
    const tresult answer = componentObject->getState(&stream);
    if (result != nullptr) *result = answer;
    return stream.bytesFrom(startPosition);
}

tresult Vst3Plugin::setState(std::span<const uint8_t> bytes, int64_t startPosition, int32_t readLimit) {
    const auto filler = static_cast<size_t>(std::max<int64_t>(startPosition, 0));
    std::vector<uint8_t> contents(filler, 0xA5);
    contents.insert(contents.end(), bytes.begin(), bytes.end());
    MemoryStream stream(std::move(contents), startPosition);
    stream.setReadLimit(readLimit);
    return setState(stream);
}

tresult Vst3Plugin::setState(MemoryStream& stream) {
    const std::unique_ptr<MemoryStream> again = stream.replay();
    const tresult result = componentObject->setState(&stream);
    if (result == kResultOk && controllerObject != nullptr) {
        // Hosts hand the controller the same state, so what it shows follows what was loaded.
        controllerObject->setComponentState(again.get());
    }
    return result;
}

bool Vst3Plugin::openEditor(void* parent, std::string* error) {
    if (plugView != nullptr) return true;
    if (controllerObject == nullptr) {
        if (error) *error = "no controller";
        return false;
    }
    plugView = controllerObject->createView("editor");
    if (plugView == nullptr) {
        if (error) *error = "createView(\"editor\") answered null";
        return false;
    }
    // Ardour's order: the type asked, the frame set, then attached, then the size read.
    if (plugView->isPlatformTypeSupported(kPlatformType) != kResultOk) {
        if (error) *error = std::string("the view does not take ") + kPlatformType;
        closeEditor();
        return false;
    }
    plugView->setFrame(&plugFrame);
    if (plugView->attached(parent, kPlatformType) != kResultOk) {
        if (error) *error = "attached() failed";
        closeEditor();
        return false;
    }
    editorAttached = true;
    return true;
}

bool Vst3Plugin::editorSize(int& width, int& height) {
    vst3::IPlugView* sized = plugView;
    vst3::IPlugView* made = nullptr;
    if (sized == nullptr && controllerObject != nullptr)
        sized = made = controllerObject->createView("editor");
    vst3::ViewRect rect{};
    const bool known = sized != nullptr && sized->getSize(&rect) == kResultOk;
    if (made != nullptr) made->release();
    if (!known) return false;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
    return width > 0 && height > 0;
}

tresult Vst3Plugin::setEditorScale(float factor) {
    if (plugView == nullptr) return kResultFalse;
    void* found = nullptr;
    if (plugView->queryInterface(vst3::kContentScaleIid.bytes, &found) != kResultOk || found == nullptr)
        return vst3::kNoInterface;
    auto* scaling = static_cast<vst3::IPlugViewContentScaleSupport*>(found);
    const tresult result = scaling->setContentScaleFactor(factor);
    scaling->release();
    return result;
}

void Vst3Plugin::closeEditor() {
    if (plugView == nullptr) return;
    if (editorAttached) plugView->removed();
    editorAttached = false;
    plugView->setFrame(nullptr);
    plugView->release();
    plugView = nullptr;
}

// --- Rendering and automation

bool renderStereo(Vst3Plugin& plugin, const float* inLeft, const float* inRight, float* outLeft,
                  float* outRight, int64_t frames, int32_t hostBlock, const BlockChanges& changes) {
    hostBlock = std::max<int32_t>(hostBlock, 1);
    // Copies: the caller's output may be its input, and plug-ins may scribble on their inputs.
    std::vector<float> left(static_cast<size_t>(hostBlock)), right(static_cast<size_t>(hostBlock));
    bool allOk = true;
    for (int64_t done = 0; done < frames;) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(hostBlock, frames - done));
        std::copy(inLeft + done, inLeft + done + n, left.begin());
        std::copy(inRight + done, inRight + done + n, right.begin());
        float* ins[2] = {left.data(), right.data()};
        float* outs[2] = {outLeft + done, outRight + done};
        if (changes) changes(done, n, plugin.nextChanges());
        allOk = plugin.process(ins, outs, n) == kResultOk && allOk;
        done += n;
    }
    return allOk;
}

void Vst3Automation::add(vst3::ParamID id, int64_t frame, double value) {
    auto lane = std::find_if(lanes.begin(), lanes.end(), [id](const Lane& l) { return l.id == id; });
    if (lane == lanes.end()) {
        lanes.push_back(Lane{id, {}});
        lane = lanes.end() - 1;
    }
    lane->points.push_back(Point{frame, value});
}

double Vst3Automation::Lane::valueAt(int64_t frame) const {
    // The last point at or before frame: of two points at one frame the later holds from there on.
    auto after = std::upper_bound(points.begin(), points.end(), frame,
                                  [](int64_t f, const Point& p) { return f < p.frame; });
    if (after == points.begin()) return points.front().value;
    const Point& from = *(after - 1);
    if (after == points.end()) return from.value;
    const double t = static_cast<double>(frame - from.frame) / static_cast<double>(after->frame - from.frame);
    return from.value + (after->value - from.value) * t;
}

void Vst3Automation::pointsFor(int64_t start, int32_t frames, ParameterChanges& changes) const {
    const int64_t end = start + frames - 1;
    for (const Lane& lane : lanes) {
        // Plug-ins ramp from the value they have at a call's start to its first point, so every
        // call up to the last point gets one at its start: a lane holds its first value until its
        // first point, as a host's curve does.
        if (lane.points.empty() || start > lane.points.back().frame) continue;
        const int64_t last = lane.points.back().frame;
        std::vector<int64_t> at{start};
        for (const Point& p : lane.points) {
            if (p.frame < start || p.frame > end) continue;
            if (p.frame - 1 >= start) at.push_back(p.frame - 1);
            at.push_back(p.frame);
        }
        at.push_back(std::min(end, last));
        std::sort(at.begin(), at.end());
        for (int64_t f : at) changes.add(lane.id, static_cast<int32_t>(f - start), lane.valueAt(f));
    }
}

}  // namespace flanger::tools
