// The CLAP test host: module loading, the host table and its extensions, the run loop, event
// lists, streams, preset discovery and the plug-in's life as hosts drive it.
#include "tools/common/ClapHost.h"

#if defined(_WIN32)
#include "platform/win32/Win32Library.h"
#else
#include <dlfcn.h>
#include <poll.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

namespace flanger::tools {

using namespace clap;

namespace {

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
#endif

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A string the plug-in handed over, which may be null.
std::string text(const char* from) {
    return from != nullptr ? std::string(from) : std::string();
}

std::optional<std::string> optionalText(const char* from) {
    if (from == nullptr) return std::nullopt;
    return std::string(from);
}

// A bounded char field the plug-in filled, which it may leave unterminated.
std::string field(const char* from, size_t capacity) {
    return std::string(from, strnlen(from, capacity));
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// What a discovery provider hands the host while it is asked, through the indexer and receiver.
struct PresetCollector {
    ClapPresetListing listing;
    std::vector<ClapPresetLocation> declared;  // by the provider now being asked
    const ClapPresetLocation* current = nullptr;
    bool began = false;  // a preset was begun in this getMetadata call
};

PresetCollector& collectorOf(const clap_preset_discovery_indexer* indexer) {
    return *static_cast<PresetCollector*>(indexer->indexerData);
}

PresetCollector& collectorOf(const clap_preset_discovery_metadata_receiver* receiver) {
    return *static_cast<PresetCollector*>(receiver->receiverData);
}

bool CLAP_CALL declareFiletype(const clap_preset_discovery_indexer* indexer,
                               const clap_preset_discovery_filetype* filetype) {
    if (indexer == nullptr || filetype == nullptr) return false;
    collectorOf(indexer).listing.fileExtensions.push_back(text(filetype->fileExtension));
    return true;
}

bool CLAP_CALL declareLocation(const clap_preset_discovery_indexer* indexer,
                               const clap_preset_discovery_location* location) {
    if (indexer == nullptr || location == nullptr) return false;
    // A file location must name its file or folder; one inside the plug-in names none.
    if (location->kind == kPresetLocationFile && location->location == nullptr) return false;
    ClapPresetLocation kept{text(location->name), location->kind, optionalText(location->location),
                            location->flags};
    collectorOf(indexer).declared.push_back(kept);
    collectorOf(indexer).listing.locations.push_back(std::move(kept));
    return true;
}

bool CLAP_CALL declareSoundpack(const clap_preset_discovery_indexer* indexer,
                                const clap_preset_discovery_soundpack* soundpack) {
    return indexer != nullptr && soundpack != nullptr;
}

const void* CLAP_CALL indexerExtension(const clap_preset_discovery_indexer*, const char*) {
    return nullptr;
}

ClapPreset* lastPreset(const clap_preset_discovery_metadata_receiver* receiver) {
    PresetCollector& collector = collectorOf(receiver);
    if (!collector.began || collector.listing.presets.empty()) return nullptr;
    return &collector.listing.presets.back();
}

void CLAP_CALL receiverError(const clap_preset_discovery_metadata_receiver* receiver, int32_t osError,
                             const char* message) {
    collectorOf(receiver).listing.errors.push_back(text(message) + " (" + std::to_string(osError) + ")");
}

bool CLAP_CALL beginPreset(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                           const char* loadKey) {
    PresetCollector& collector = collectorOf(receiver);
    ClapPreset preset;
    preset.name = text(name);
    preset.loadKey = optionalText(loadKey);
    preset.locationKind = collector.current->kind;
    preset.location = collector.current->location;
    collector.listing.presets.push_back(std::move(preset));
    collector.began = true;
    return true;
}

void CLAP_CALL addPluginId(const clap_preset_discovery_metadata_receiver* receiver,
                           const clap_universal_plugin_id* id) {
    if (ClapPreset* preset = lastPreset(receiver); preset != nullptr && id != nullptr)
        preset->pluginIds.push_back(text(id->abi) + ":" + text(id->id));
}

void CLAP_CALL setSoundpackId(const clap_preset_discovery_metadata_receiver*, const char*) {}

void CLAP_CALL setPresetFlags(const clap_preset_discovery_metadata_receiver* receiver, uint32_t flags) {
    if (ClapPreset* preset = lastPreset(receiver)) preset->flags = flags;
}

void CLAP_CALL addCreator(const clap_preset_discovery_metadata_receiver*, const char*) {}
void CLAP_CALL setDescription(const clap_preset_discovery_metadata_receiver*, const char*) {}
void CLAP_CALL setTimestamps(const clap_preset_discovery_metadata_receiver*, clap_timestamp, clap_timestamp) {
}
void CLAP_CALL addFeature(const clap_preset_discovery_metadata_receiver*, const char*) {}
void CLAP_CALL addExtraInfo(const clap_preset_discovery_metadata_receiver*, const char*, const char*) {}

}  // namespace

// --- Module

bool ClapModule::isClapFile(const std::string& path) {
    return std::filesystem::path(path).extension() == ".clap";
}

std::shared_ptr<ClapModule> ClapModule::load(const std::string& path, std::string* error) {
    std::shared_ptr<ClapModule> module(new ClapModule);
    module->file = path;
    std::string why;
    module->library = openBinary(path, why);
    if (module->library == nullptr) {
        if (error) *error = "cannot load " + path + ": " + why;
        return nullptr;
    }
    // The entry is a table the module exports as data, not a function.
    module->entryTable = static_cast<const clap_plugin_entry*>(binarySymbol(module->library, "clap_entry"));
    if (module->entryTable == nullptr) {
        if (error) *error = path + " lacks clap_entry";
        return nullptr;
    }
    const clap_version v = module->entryTable->clapVersion;
    if (!versionIsCompatible(v)) {
        if (error)
            *error = path + " is of CLAP " + std::to_string(v.major) + "." + std::to_string(v.minor) +
                     ", which this host does not speak";
        return nullptr;
    }
    if (module->entryTable->init == nullptr || !module->entryTable->init(path.c_str())) {
        if (error) *error = path + ": the entry's init answered false";
        return nullptr;
    }
    module->initialised = true;
    if (module->entryTable->getFactory != nullptr) {
        module->plugins =
            static_cast<const clap_plugin_factory*>(module->entryTable->getFactory(kPluginFactoryId));
        module->presetDiscovery = static_cast<const clap_preset_discovery_factory*>(
            module->entryTable->getFactory(kPresetDiscoveryFactoryId));
        if (module->presetDiscovery == nullptr) {
            module->presetDiscovery = static_cast<const clap_preset_discovery_factory*>(
                module->entryTable->getFactory(kPresetDiscoveryFactoryIdCompat));
        }
    }
    if (module->plugins == nullptr) {
        if (error) *error = path + " has no plug-in factory";
        return nullptr;
    }
    return module;
}

ClapModule::~ClapModule() {
    if (initialised && entryTable->deinit != nullptr) entryTable->deinit();
    if (library != nullptr) closeBinary(library);
}

std::vector<ClapDescriptor> ClapModule::descriptors() const {
    std::vector<ClapDescriptor> out;
    if (plugins == nullptr || plugins->getPluginCount == nullptr || plugins->getPluginDescriptor == nullptr)
        return out;
    const uint32_t count = plugins->getPluginCount(plugins);
    for (uint32_t i = 0; i < count; ++i) {
        const clap_plugin_descriptor* d = plugins->getPluginDescriptor(plugins, i);
        if (d == nullptr) continue;
        ClapDescriptor entry{
            text(d->id),         text(d->name),    text(d->vendor),      text(d->url), text(d->manualUrl),
            text(d->supportUrl), text(d->version), text(d->description), {},           d->clapVersion};
        for (const char* const* f = d->features; f != nullptr && *f != nullptr; ++f)
            entry.features.push_back(*f);
        out.push_back(std::move(entry));
    }
    return out;
}

ClapPresetListing ClapModule::presets() const {
    PresetCollector collector;
    const clap_preset_discovery_factory* factory = presetDiscovery;
    if (factory == nullptr || factory->count == nullptr || factory->getDescriptor == nullptr ||
        factory->create == nullptr)
        return collector.listing;
    clap_preset_discovery_indexer indexer{
        kClapVersion,    "flanger-host",   "Brackwater",    "", "1", &collector, declareFiletype,
        declareLocation, declareSoundpack, indexerExtension};
    const clap_preset_discovery_metadata_receiver receiver{
        &collector, receiverError,  beginPreset,   addPluginId, setSoundpackId, setPresetFlags,
        addCreator, setDescription, setTimestamps, addFeature,  addExtraInfo};
    const uint32_t count = factory->count(factory);
    for (uint32_t i = 0; i < count; ++i) {
        const clap_preset_discovery_provider_descriptor* descriptor = factory->getDescriptor(factory, i);
        if (descriptor == nullptr || descriptor->id == nullptr) continue;
        collector.listing.providers.push_back(descriptor->id);
        const clap_preset_discovery_provider* provider = factory->create(factory, &indexer, descriptor->id);
        if (provider == nullptr) continue;
        collector.declared.clear();
        if (provider->init != nullptr && provider->init(provider) && provider->getMetadata != nullptr) {
            // Folders are not crawled here: a location is asked as it was declared.
            for (const ClapPresetLocation& location : collector.declared) {
                collector.current = &location;
                collector.began = false;
                if (!provider->getMetadata(provider, location.kind,
                                           location.location ? location.location->c_str() : nullptr,
                                           &receiver))
                    collector.listing.errors.push_back("getMetadata answered false for " + location.name);
            }
            collector.current = nullptr;
        }
        if (provider->destroy != nullptr) provider->destroy(provider);
    }
    return collector.listing;
}

// --- Events

ClapInputEvents::ClapInputEvents() {
    events.reserve(256);
    list.ctx = this;
    list.size = sizeOf;
    list.get = get;
}

void ClapInputEvents::add(const ClapEvent& event) {
    // After every event at the same time: events at one time keep the order they were added in.
    auto at = std::upper_bound(events.begin(), events.end(), event.header.time,
                               [](uint32_t time, const ClapEvent& e) { return time < e.header.time; });
    events.insert(at, event);
}

void ClapInputEvents::addValue(clap_id id, uint32_t time, double value) {
    ClapEvent event{};
    event.value.header = {sizeof(clap_event_param_value), time, kCoreEventSpace, kEventParamValue, 0};
    event.value.paramId = id;
    event.value.cookie = nullptr;
    event.value.noteId = -1;
    event.value.portIndex = -1;
    event.value.channel = -1;
    event.value.key = -1;
    event.value.value = value;
    add(event);
}

void ClapInputEvents::addGesture(clap_id id, uint32_t time, bool begin) {
    ClapEvent event{};
    event.gesture.header = {sizeof(clap_event_param_gesture), time, kCoreEventSpace,
                            begin ? kEventParamGestureBegin : kEventParamGestureEnd, 0};
    event.gesture.paramId = id;
    add(event);
}

uint32_t ClapInputEvents::sizeOf(const clap_input_events* list) {
    if (list == nullptr) return 0;
    return static_cast<uint32_t>(static_cast<const ClapInputEvents*>(list->ctx)->events.size());
}

const clap_event_header* ClapInputEvents::get(const clap_input_events* list, uint32_t index) {
    if (list == nullptr) return nullptr;
    const auto& events = static_cast<const ClapInputEvents*>(list->ctx)->events;
    return index < events.size() ? &events[index].header : nullptr;
}

ClapOutputEvents::ClapOutputEvents() {
    log.reserve(256);
    list.ctx = this;
    list.tryPush = tryPush;
}

bool ClapOutputEvents::tryPush(const clap_output_events* list, const clap_event_header* event) {
    if (list == nullptr || event == nullptr || event->size < sizeof(clap_event_header)) return false;
    auto& self = *static_cast<ClapOutputEvents*>(list->ctx);
    ++self.pushes;
    if (event->spaceId != kCoreEventSpace) return true;
    ClapEdit edit;
    edit.time = event->time;
    switch (event->type) {
        case kEventParamValue:
            if (event->size < sizeof(clap_event_param_value)) return false;
            edit.kind = ClapEdit::Kind::Value;
            edit.id = reinterpret_cast<const clap_event_param_value*>(event)->paramId;
            edit.value = reinterpret_cast<const clap_event_param_value*>(event)->value;
            break;
        case kEventParamGestureBegin:
        case kEventParamGestureEnd:
            if (event->size < sizeof(clap_event_param_gesture)) return false;
            edit.kind = event->type == kEventParamGestureBegin ? ClapEdit::Kind::Begin : ClapEdit::Kind::End;
            edit.id = reinterpret_cast<const clap_event_param_gesture*>(event)->paramId;
            break;
        default:
            return true;  // taken, not kept
    }
    self.log.push_back(edit);
    return true;
}

// --- Streams

ClapInputStream::ClapInputStream(std::span<const uint8_t> bytes, uint64_t chunkBytes)
    : data(bytes.begin(), bytes.end()), chunk(chunkBytes) {
    stream.ctx = this;
    stream.read = read;
}

int64_t ClapInputStream::read(const clap_istream* stream, void* buffer, uint64_t size) {
    if (stream == nullptr) return -1;
    auto& self = *static_cast<ClapInputStream*>(stream->ctx);
    ++self.calls;
    if (buffer == nullptr && size > 0) return -1;
    uint64_t count = std::min<uint64_t>(size, self.data.size() - self.at);
    if (self.chunk > 0) count = std::min(count, self.chunk);
    if (count > 0) std::memcpy(buffer, self.data.data() + self.at, static_cast<size_t>(count));
    self.at += count;
    return static_cast<int64_t>(count);  // 0 at the end
}

ClapOutputStream::ClapOutputStream(uint64_t chunkBytes) : chunk(chunkBytes) {
    stream.ctx = this;
    stream.write = write;
}

int64_t ClapOutputStream::write(const clap_ostream* stream, const void* buffer, uint64_t size) {
    if (stream == nullptr) return -1;
    auto& self = *static_cast<ClapOutputStream*>(stream->ctx);
    ++self.calls;
    if (buffer == nullptr && size > 0) return -1;
    const uint64_t count = self.chunk > 0 ? std::min(size, self.chunk) : size;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    self.data.insert(self.data.end(), bytes, bytes + count);
    return static_cast<int64_t>(count);
}

// --- Requests

ClapHostRequests::Counts ClapHostRequests::counts() const {
    const std::lock_guard guard(lock);
    return now;
}

std::vector<ClapHostRequests::PresetReport> ClapHostRequests::presetReports() const {
    const std::lock_guard guard(lock);
    return presets;
}

std::vector<std::string> ClapHostRequests::extensionsAsked() const {
    const std::lock_guard guard(lock);
    return asked;
}

void ClapHostRequests::clear() {
    const std::lock_guard guard(lock);
    now = Counts{};
    presets.clear();
    asked.clear();
}

void ClapHostRequests::note(const std::function<void(Counts&)>& change) {
    const std::lock_guard guard(lock);
    change(now);
}

void ClapHostRequests::notePreset(PresetReport report) {
    const std::lock_guard guard(lock);
    presets.push_back(std::move(report));
}

void ClapHostRequests::noteExtension(const char* id) {
    const std::lock_guard guard(lock);
    ++now.extensionQueries;
    const std::string name = text(id);
    if (std::find(asked.begin(), asked.end(), name) == asked.end()) asked.push_back(name);
}

// --- Run loop

bool ClapRunLoop::registerTimer(uint32_t periodMs, clap_id* id) {
    if (id == nullptr) return false;
    // A period of 0 would fire at every pass; a millisecond is the finest a host's loop keeps.
    const auto period = static_cast<int64_t>(std::clamp<uint32_t>(periodMs, 1, 3600 * 1000));
    *id = nextTimerId++;
    timers.push_back({*id, period, nowMs() + period});
    return true;
}

bool ClapRunLoop::unregisterTimer(clap_id id) {
    return std::erase_if(timers, [id](const Timer& t) { return t.id == id; }) > 0;
}

bool ClapRunLoop::registerFd(int fd, uint32_t flags) {
#if defined(_WIN32)
    (void)fd;
    (void)flags;
    return false;
#else
    const bool known = std::any_of(fds.begin(), fds.end(), [fd](const Descriptor& d) { return d.fd == fd; });
    if (fd < 0 || known) return false;
    fds.push_back({fd, flags});
    return true;
#endif
}

bool ClapRunLoop::modifyFd(int fd, uint32_t flags) {
    auto entry = std::find_if(fds.begin(), fds.end(), [fd](const Descriptor& d) { return d.fd == fd; });
    if (entry == fds.end()) return false;
    entry->flags = flags;
    return true;
}

bool ClapRunLoop::unregisterFd(int fd) {
    return std::erase_if(fds, [fd](const Descriptor& d) { return d.fd == fd; }) > 0;
}

int ClapRunLoop::msUntilNextTimer(int capMs) const {
    int64_t wait = std::max(capMs, 0);
    const int64_t now = nowMs();
    for (const Timer& t : timers) wait = std::min(wait, std::max<int64_t>(t.dueMs - now, 0));
    return static_cast<int>(wait);
}

std::vector<int> ClapRunLoop::descriptors() const {
    std::vector<int> out;
    for (const Descriptor& d : fds) out.push_back(d.fd);
    return out;
}

void ClapRunLoop::runOnce(int waitMs) {
    const int wait = msUntilNextTimer(waitMs);
#if defined(_WIN32)
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
#else
    // A copy: the plug-in may register or unregister descriptors from inside its calls.
    const std::vector<Descriptor> watched = fds;
    if (watched.empty()) {
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    } else {
        std::vector<pollfd> polled;
        for (const Descriptor& d : watched) {
            const short events =
                static_cast<short>(((d.flags & kFdRead) ? POLLIN : 0) | ((d.flags & kFdWrite) ? POLLOUT : 0));
            polled.push_back({d.fd, events, 0});
        }
        if (poll(polled.data(), static_cast<nfds_t>(polled.size()), wait) > 0) {
            const auto* handler = target != nullptr ? static_cast<const clap_plugin_posix_fd_support*>(
                                                          target->getExtension(target, kExtPosixFdSupport))
                                                    : nullptr;
            for (size_t i = 0; i < polled.size(); ++i) {
                uint32_t ready = 0;
                if (polled[i].revents & POLLIN) ready |= kFdRead;
                if (polled[i].revents & POLLOUT) ready |= kFdWrite;
                if (polled[i].revents & (POLLERR | POLLHUP | POLLNVAL)) ready |= kFdError;
                if (ready == 0) continue;
                const int fd = polled[i].fd;
                // Unregistered by an earlier call in this pass: no longer the plug-in's to hear of.
                if (std::none_of(fds.begin(), fds.end(), [fd](const Descriptor& d) { return d.fd == fd; }))
                    continue;
                if (handler == nullptr || handler->onFd == nullptr) continue;
                ++fdCalls;
                handler->onFd(target, fd, ready);
            }
        }
    }
#endif
    if (timers.empty()) return;
    const auto* handler =
        target != nullptr
            ? static_cast<const clap_plugin_timer_support*>(target->getExtension(target, kExtTimerSupport))
            : nullptr;
    const int64_t now = nowMs();
    const std::vector<Timer> due = timers;
    for (const Timer& t : due) {
        if (t.dueMs > now) continue;
        auto entry =
            std::find_if(timers.begin(), timers.end(), [&t](const Timer& e) { return e.id == t.id; });
        if (entry == timers.end()) continue;  // unregistered by an earlier call in this pass
        // Fixed rate, without catching up on periods a slow pass missed.
        entry->dueMs = std::max(entry->dueMs + entry->periodMs, now + 1);
        if (handler == nullptr || handler->onTimer == nullptr) continue;
        ++firings;
        handler->onTimer(target, t.id);
    }
}

// --- The host table's extensions

struct ClapHostTables {
    static ClapPlugin* of(const clap_host* host) { return ClapPlugin::from(host); }

    static void CLAP_CALL rescan(const clap_host* host, uint32_t flags) {
        if (ClapPlugin* self = of(host))
            self->asked.note([flags](auto& c) {
                ++c.rescans;
                c.rescanFlags |= flags;
            });
    }
    static void CLAP_CALL clear(const clap_host* host, clap_id, uint32_t) {
        if (ClapPlugin* self = of(host)) self->asked.note([](auto& c) { ++c.clears; });
    }
    static void CLAP_CALL requestFlush(const clap_host* host) {
        if (ClapPlugin* self = of(host)) {
            self->asked.note([](auto& c) { ++c.flushes; });
            self->flushPending.store(true);
        }
    }
    static void CLAP_CALL markDirty(const clap_host* host) {
        if (ClapPlugin* self = of(host)) self->asked.note([](auto& c) { ++c.dirty; });
    }
    static void CLAP_CALL resizeHintsChanged(const clap_host* host) {
        if (ClapPlugin* self = of(host)) self->asked.note([](auto& c) { ++c.resizeHintChanges; });
    }
    static bool CLAP_CALL requestResize(const clap_host* host, uint32_t width, uint32_t height) {
        ClapPlugin* self = of(host);
        if (self == nullptr) return false;
        self->asked.note([width, height](auto& c) {
            ++c.resizes;
            c.resizeWidth = width;
            c.resizeHeight = height;
        });
        return true;
    }
    static bool CLAP_CALL requestShow(const clap_host* host) {
        ClapPlugin* self = of(host);
        if (self != nullptr) self->asked.note([](auto& c) { ++c.shows; });
        return self != nullptr;
    }
    static bool CLAP_CALL requestHide(const clap_host* host) {
        ClapPlugin* self = of(host);
        if (self != nullptr) self->asked.note([](auto& c) { ++c.hides; });
        return self != nullptr;
    }
    static void CLAP_CALL closed(const clap_host* host, bool wasDestroyed) {
        if (ClapPlugin* self = of(host))
            self->asked.note([wasDestroyed](auto& c) {
                ++c.closes;
                c.closedDestroyed = wasDestroyed;
            });
    }
    static bool CLAP_CALL registerTimer(const clap_host* host, uint32_t periodMs, clap_id* id) {
        ClapPlugin* self = of(host);
        return self != nullptr && self->loop.registerTimer(periodMs, id);
    }
    static bool CLAP_CALL unregisterTimer(const clap_host* host, clap_id id) {
        ClapPlugin* self = of(host);
        return self != nullptr && self->loop.unregisterTimer(id);
    }
    static bool CLAP_CALL registerFd(const clap_host* host, int fd, uint32_t flags) {
        ClapPlugin* self = of(host);
        return self != nullptr && self->loop.registerFd(fd, flags);
    }
    static bool CLAP_CALL modifyFd(const clap_host* host, int fd, uint32_t flags) {
        ClapPlugin* self = of(host);
        return self != nullptr && self->loop.modifyFd(fd, flags);
    }
    static bool CLAP_CALL unregisterFd(const clap_host* host, int fd) {
        ClapPlugin* self = of(host);
        return self != nullptr && self->loop.unregisterFd(fd);
    }
    static void CLAP_CALL presetError(const clap_host* host, uint32_t kind, const char* location,
                                      const char* key, int32_t osError, const char* message) {
        if (ClapPlugin* self = of(host))
            self->asked.notePreset(
                {false, kind, optionalText(location), optionalText(key), osError, text(message)});
    }
    static void CLAP_CALL presetLoaded(const clap_host* host, uint32_t kind, const char* location,
                                       const char* key) {
        if (ClapPlugin* self = of(host))
            self->asked.notePreset({true, kind, optionalText(location), optionalText(key), 0, {}});
    }

    static constexpr clap_host_params kParams{rescan, clear, requestFlush};
    static constexpr clap_host_state kState{markDirty};
    static constexpr clap_host_gui kGui{resizeHintsChanged, requestResize, requestShow, requestHide, closed};
    static constexpr clap_host_timer_support kTimers{registerTimer, unregisterTimer};
    static constexpr clap_host_posix_fd_support kFds{registerFd, modifyFd, unregisterFd};
    static constexpr clap_host_preset_load kPresetLoad{presetError, presetLoaded};
};

// --- Plug-in

ClapPlugin::ClapPlugin(std::shared_ptr<ClapModule> module, const ClapHostOffers& offers)
    : owner(std::move(module)), offered(offers) {
#if defined(_WIN32)
    offered.fds = false;
#endif
    host.clapVersion = kClapVersion;
    host.hostData = this;
    host.name = "flanger-host";
    host.vendor = "Brackwater";
    host.url = "";
    host.version = "1";
    host.getExtension = hostExtension;
    host.requestRestart = requestRestart;
    host.requestProcess = requestProcess;
    host.requestCallback = requestCallback;
}

ClapPlugin* ClapPlugin::from(const clap_host* host) {
    return host != nullptr ? static_cast<ClapPlugin*>(host->hostData) : nullptr;
}

const void* ClapPlugin::hostExtension(const clap_host* host, const char* id) {
    ClapPlugin* self = from(host);
    if (self == nullptr || id == nullptr) return nullptr;
    self->asked.noteExtension(id);
    const ClapHostOffers& o = self->offered;
    const std::string_view name(id);
    if (o.params && name == kExtParams) return &ClapHostTables::kParams;
    if (o.state && name == kExtState) return &ClapHostTables::kState;
    if (o.gui && name == kExtGui) return &ClapHostTables::kGui;
    if (o.timers && name == kExtTimerSupport) return &ClapHostTables::kTimers;
    if (o.fds && name == kExtPosixFdSupport) return &ClapHostTables::kFds;
    if (o.presetLoad && (name == kExtPresetLoad || name == kExtPresetLoadCompat))
        return &ClapHostTables::kPresetLoad;
    return nullptr;
}

void ClapPlugin::requestRestart(const clap_host* host) {
    if (ClapPlugin* self = from(host)) self->asked.note([](auto& c) { ++c.restarts; });
}

void ClapPlugin::requestProcess(const clap_host* host) {
    if (ClapPlugin* self = from(host)) self->asked.note([](auto& c) { ++c.processes; });
}

void ClapPlugin::requestCallback(const clap_host* host) {
    if (ClapPlugin* self = from(host)) {
        self->asked.note([](auto& c) { ++c.callbacks; });
        self->callbackPending.store(true);
    }
}

std::unique_ptr<ClapPlugin> ClapPlugin::load(const std::string& path, const ClapHostOffers& offers,
                                             std::string* error) {
    auto module = ClapModule::load(path, error);
    if (!module) return nullptr;
    const auto descriptors = module->descriptors();
    if (descriptors.empty()) {
        if (error) *error = path + " lists no plug-in";
        return nullptr;
    }
    return create(module, descriptors.front().id, offers, error);
}

std::unique_ptr<ClapPlugin> ClapPlugin::create(std::shared_ptr<ClapModule> module, const std::string& id,
                                               const ClapHostOffers& offers, std::string* error) {
    if (!module || module->pluginFactory() == nullptr || module->pluginFactory()->createPlugin == nullptr) {
        if (error) *error = "no plug-in factory";
        return nullptr;
    }
    const clap_plugin_factory* factory = module->pluginFactory();
    std::unique_ptr<ClapPlugin> plugin(new ClapPlugin(module, offers));
    plugin->table = factory->createPlugin(factory, &plugin->host, id.c_str());
    if (plugin->table == nullptr) {
        if (error) *error = module->path() + ": the factory made no plug-in " + id;
        return nullptr;
    }
    plugin->pluginName = id;
    if (plugin->table->desc != nullptr && plugin->table->desc->name != nullptr)
        plugin->pluginName = plugin->table->desc->name;
    if (plugin->table->init == nullptr || !plugin->table->init(plugin->table)) {
        if (error) *error = module->path() + ": the plug-in's init answered false";
        return nullptr;  // destroyed, as the format asks of a host after a failed init
    }
    plugin->initialised = true;
    plugin->loop.attach(plugin->table);
    return plugin;
}

ClapPlugin::~ClapPlugin() {
    if (table == nullptr) return;
    if (initialised) {
        closeEditor();
        stop();
    }
    loop.attach(nullptr);
    if (table->destroy != nullptr) table->destroy(table);
}

const void* ClapPlugin::extension(const char* id) const {
    if (table == nullptr || table->getExtension == nullptr || id == nullptr) return nullptr;
    return table->getExtension(table, id);
}

bool ClapPlugin::activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
    if (active) return false;
    active = table->activate(table, sampleRate, minFrames, maxFrames);
    if (active) rate = sampleRate;
    return active;
}

void ClapPlugin::deactivate() {
    if (!active) return;
    if (processing) stopProcessing();
    table->deactivate(table);
    active = false;
}

bool ClapPlugin::startProcessing() {
    if (!active || processing) return false;
    processing = table->startProcessing(table);
    return processing;
}

void ClapPlugin::stopProcessing() {
    if (!processing) return;
    table->stopProcessing(table);
    processing = false;
}

bool ClapPlugin::start(double sampleRate, uint32_t maxFrames) {
    return activate(sampleRate, 1, maxFrames) && startProcessing();
}

void ClapPlugin::stop() {
    stopProcessing();
    deactivate();
}

void ClapPlugin::fillTransport() {
    transport = clap_event_transport{};
    transport.header = {sizeof(clap_event_transport), 0, kCoreEventSpace, kEventTransport, 0};
    transport.flags = kTransportHasTempo | kTransportHasBeatsTimeline | kTransportHasSecondsTimeline |
                      kTransportHasTimeSignature | (playing ? kTransportIsPlaying : 0u);
    const double seconds = rate > 0.0 ? static_cast<double>(framesDone) / rate : 0.0;
    const double beats = seconds * tempo / 60.0;
    transport.songPosBeats = static_cast<clap_beattime>(std::llround(beats * kBeatTimeFactor));
    transport.songPosSeconds = static_cast<clap_sectime>(std::llround(seconds * kSecTimeFactor));
    transport.tempo = tempo;
    const double bar = std::floor(beats / 4.0);  // 4/4
    transport.barStart = static_cast<clap_beattime>(std::llround(bar * 4.0 * kBeatTimeFactor));
    transport.barNumber = static_cast<int32_t>(bar);
    transport.tsigNum = 4;
    transport.tsigDenom = 4;
}

clap_process_status ClapPlugin::process(float** inputs, float** outputs, uint32_t frames) {
    ClapProcessCall call;
    call.inputs = inputs;
    call.outputs = outputs;
    call.frames = frames;
    return process(call);
}

clap_process_status ClapPlugin::process(const ClapProcessCall& call) {
    clap_audio_buffer input{call.inputs, nullptr, call.inputChannels, 0, 0};
    clap_audio_buffer output{call.outputs, nullptr, call.outputChannels, 0, 0};
    fillTransport();
    clap_process block{};
    block.steadyTime = framesDone;
    block.framesCount = call.frames;
    block.transport = withTransport ? &transport : nullptr;
    block.audioInputs = call.ports ? &input : nullptr;
    block.audioOutputs = call.ports ? &output : nullptr;
    block.audioInputsCount = call.ports ? 1 : 0;
    block.audioOutputsCount = call.ports ? 1 : 0;
    block.inEvents = inEvents.table();
    block.outEvents = outEvents.table();
    const clap_process_status status = table->process(table, &block);
    inEvents.clear();
    framesDone += call.frames;
    return status;
}

bool ClapPlugin::flush() {
    const auto* params = extension<clap_plugin_params>(kExtParams);
    if (params == nullptr || params->flush == nullptr) return false;
    params->flush(table, inEvents.table(), outEvents.table());
    inEvents.clear();
    return true;
}

std::vector<ClapPortInfo> ClapPlugin::audioPorts(bool input) const {
    std::vector<ClapPortInfo> out;
    const auto* ports = extension<clap_plugin_audio_ports>(kExtAudioPorts);
    if (ports == nullptr || ports->count == nullptr || ports->get == nullptr) return out;
    const uint32_t count = ports->count(table, input);
    for (uint32_t i = 0; i < count; ++i) {
        clap_audio_port_info info{};
        if (!ports->get(table, i, input, &info)) continue;
        out.push_back({info.id, field(info.name, sizeof info.name), info.flags, info.channelCount,
                       text(info.portType), info.inPlacePair});
    }
    return out;
}

std::vector<ClapParamInfo> ClapPlugin::parameters() const {
    std::vector<ClapParamInfo> out;
    const auto* params = extension<clap_plugin_params>(kExtParams);
    if (params == nullptr || params->count == nullptr || params->getInfo == nullptr) return out;
    const uint32_t count = params->count(table);
    for (uint32_t i = 0; i < count; ++i) {
        clap_param_info info{};
        if (!params->getInfo(table, i, &info)) continue;
        out.push_back({info.id, info.flags, field(info.name, sizeof info.name),
                       field(info.module, sizeof info.module), info.minValue, info.maxValue,
                       info.defaultValue});
    }
    return out;
}

std::optional<clap_id> ClapPlugin::findParameter(const std::string& name) const {
    const auto all = parameters();
    for (const auto& p : all)
        if (p.name == name) return p.id;
    for (const auto& p : all)
        if (equalIgnoringCase(p.name, name)) return p.id;
    return std::nullopt;
}

std::optional<double> ClapPlugin::value(clap_id id) const {
    const auto* params = extension<clap_plugin_params>(kExtParams);
    double answer = 0.0;
    if (params == nullptr || params->getValue == nullptr || !params->getValue(table, id, &answer))
        return std::nullopt;
    return answer;
}

std::optional<std::string> ClapPlugin::valueToText(clap_id id, double value) const {
    const auto* params = extension<clap_plugin_params>(kExtParams);
    // Pre-filled and one longer than offered: a plug-in that ignores the capacity is caught.
    char shown[kNameSize + 1];
    std::memset(shown, 'x', sizeof shown);
    if (params == nullptr || params->valueToText == nullptr ||
        !params->valueToText(table, id, value, shown, kNameSize))
        return std::nullopt;
    return field(shown, kNameSize);
}

std::optional<double> ClapPlugin::textToValue(clap_id id, const std::string& typed) const {
    const auto* params = extension<clap_plugin_params>(kExtParams);
    double answer = 0.0;
    if (params == nullptr || params->textToValue == nullptr ||
        !params->textToValue(table, id, typed.c_str(), &answer))
        return std::nullopt;
    return answer;
}

std::optional<uint32_t> ClapPlugin::latency() const {
    const auto* latency = extension<clap_plugin_latency>(kExtLatency);
    if (latency == nullptr || latency->get == nullptr) return std::nullopt;
    return latency->get(table);
}

std::optional<std::vector<uint8_t>> ClapPlugin::saveState(uint64_t chunkBytes) const {
    const auto* state = extension<clap_plugin_state>(kExtState);
    if (state == nullptr || state->save == nullptr) return std::nullopt;
    ClapOutputStream stream(chunkBytes);
    if (!state->save(table, stream.table())) return std::nullopt;
    return stream.bytes();
}

bool ClapPlugin::loadState(std::span<const uint8_t> bytes, uint64_t chunkBytes) const {
    const auto* state = extension<clap_plugin_state>(kExtState);
    if (state == nullptr || state->load == nullptr) return false;
    ClapInputStream stream(bytes, chunkBytes);
    return state->load(table, stream.table());
}

bool ClapPlugin::loadPreset(uint32_t kind, const char* location, const char* loadKey) const {
    auto* load = extension<clap_plugin_preset_load>(kExtPresetLoad);
    if (load == nullptr) load = extension<clap_plugin_preset_load>(kExtPresetLoadCompat);
    return load != nullptr && load->fromLocation != nullptr &&
           load->fromLocation(table, kind, location, loadKey);
}

const char* ClapPlugin::windowApi() noexcept {
#if defined(_WIN32)
    return kWindowApiWin32;
#else
    return kWindowApiX11;
#endif
}

bool ClapPlugin::hasEditor() const {
    const auto* gui = extension<clap_plugin_gui>(kExtGui);
    return gui != nullptr && gui->isApiSupported != nullptr && gui->isApiSupported(table, windowApi(), false);
}

bool ClapPlugin::openEditor(void* parent, std::string* error) {
    if (guiShown) return true;
    const auto* gui = extension<clap_plugin_gui>(kExtGui);
    if (gui == nullptr) {
        if (error) *error = "the plug-in has no " + std::string(kExtGui);
        return false;
    }
    if (!hasEditor()) {
        if (error) *error = std::string("the plug-in's editor does not take ") + windowApi();
        return false;
    }
    if (!guiCreated && !gui->create(table, windowApi(), false)) {
        if (error) *error = "gui.create answered false";
        return false;
    }
    guiCreated = true;
    clap_window window{};
    window.api = windowApi();
#if defined(_WIN32)
    window.win32 = parent;
#else
    window.x11 = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent));
#endif
    if (!gui->setParent(table, &window)) {
        if (error) *error = "gui.set_parent answered false";
        closeEditor();
        return false;
    }
    // Qtractor's order after set_parent; the answers only shape the host's window.
    gui->canResize(table);
    clap_gui_resize_hints hints{};
    gui->getResizeHints(table, &hints);
    uint32_t width = 0, height = 0;
    gui->getSize(table, &width, &height);
    if (!gui->show(table)) {
        if (error) *error = "gui.show answered false";
        closeEditor();
        return false;
    }
    guiShown = true;
    return true;
}

bool ClapPlugin::editorSize(int& width, int& height) {
    const auto* gui = extension<clap_plugin_gui>(kExtGui);
    if (gui == nullptr || !hasEditor()) return false;
    // The format answers a size only for a created editor: one is made for the question.
    const bool made = !guiCreated;
    if (made && !gui->create(table, windowApi(), false)) return false;
    uint32_t w = 0, h = 0;
    const bool known = gui->getSize(table, &w, &h);
    if (made) gui->destroy(table);
    if (!known || w == 0 || h == 0) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

void ClapPlugin::closeEditor() {
    if (!guiCreated) return;
    const auto* gui = extension<clap_plugin_gui>(kExtGui);
    if (gui != nullptr) {
        if (guiShown) gui->hide(table);
        gui->destroy(table);
    }
    guiShown = false;
    guiCreated = false;
}

void ClapPlugin::runLoopOnce(int waitMs) {
    loop.runOnce(waitMs);
    if (callbackPending.exchange(false) && table->onMainThread != nullptr) table->onMainThread(table);
    // While processing, the next process call takes the plug-in's queued values instead.
    if (flushPending.exchange(false) && !processing) flush();
}

// --- Rendering

bool renderStereo(ClapPlugin& plugin, const float* inLeft, const float* inRight, float* outLeft,
                  float* outRight, int64_t frames, uint32_t hostBlock, const ClapBlockEvents& events) {
    hostBlock = std::max<uint32_t>(hostBlock, 1);
    // Copies: the caller's output may be its input, and plug-ins may scribble on their inputs.
    std::vector<float> left(hostBlock), right(hostBlock);
    bool allOk = true;
    for (int64_t done = 0; done < frames;) {
        const auto n = static_cast<uint32_t>(std::min<int64_t>(hostBlock, frames - done));
        std::copy(inLeft + done, inLeft + done + n, left.begin());
        std::copy(inRight + done, inRight + done + n, right.begin());
        float* ins[2] = {left.data(), right.data()};
        float* outs[2] = {outLeft + done, outRight + done};
        if (events) events(done, n, plugin.nextEvents());
        allOk = plugin.process(ins, outs, n) != kProcessError && allOk;
        done += n;
    }
    return allOk;
}

}  // namespace flanger::tools
