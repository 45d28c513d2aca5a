// The cost of an open editor with nothing changing: a module's editor opened into a window of
// ours, idled every 20 ms as the quickest hosts do, with the idling thread's CPU time per second
// of wall time and the pixels the module presented meanwhile (its PutImage and ShmPutImage
// requests, seen through the server's RECORD extension where it has one).
//   flanger_editor_idle MODULE.so [SECONDS]    (needs $DISPLAY; bench/editor_idle.sh starts Xvfb)
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tools/host/TestHost.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPeriodMs = 20;
constexpr int kShmPutImageMinor = 3;  // the MIT-SHM extension's ShmPutImage

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Pixels of the image requests any client sends while recording is on.
struct PresentCounter {
    std::atomic<std::uint64_t> pixels{0};
    std::atomic<std::uint64_t> requests{0};
    int shmMajor = -1;
};

std::uint16_t read16(const unsigned char* at) {
    std::uint16_t value = 0;
    std::memcpy(&value, at, sizeof value);  // the client's byte order is ours: same machine
    return value;
}

void recorded(XPointer closure, XRecordInterceptData* data) {
    auto* counter = reinterpret_cast<PresentCounter*>(closure);
    if (data->category == XRecordFromClient && data->data != nullptr) {
        const unsigned char* request = data->data;
        const std::size_t bytes = static_cast<std::size_t>(data->data_len) * 4;
        std::uint64_t area = 0;
        if (request[0] == X_PutImage && bytes >= 16) {
            area = std::uint64_t{read16(request + 12)} * read16(request + 14);
        } else if (static_cast<int>(request[0]) == counter->shmMajor && request[1] == kShmPutImageMinor && bytes >= 24) {
            area = std::uint64_t{read16(request + 20)} * read16(request + 22);  // source width, height
        }
        if (area > 0) {
            counter->pixels.fetch_add(area, std::memory_order_relaxed);
            counter->requests.fetch_add(1, std::memory_order_relaxed);
        }
    }
    XRecordFreeData(data);
}

// Records image requests on a connection of its own, pumped by a thread of its own, so the
// idling thread's CPU time holds only the editor and the host's loop.
class Recorder {
public:
    bool start(PresentCounter& counter) {
        control = XOpenDisplay(nullptr);
        data = XOpenDisplay(nullptr);
        int major = 0, minor = 0;
        if (control == nullptr || data == nullptr || XRecordQueryVersion(control, &major, &minor) == 0) return false;
        int firstEvent = 0, firstError = 0;
        if (!XQueryExtension(control, "MIT-SHM", &counter.shmMajor, &firstEvent, &firstError)) counter.shmMajor = -1;
        XRecordRange* ranges[2] = {XRecordAllocRange(), XRecordAllocRange()};
        ranges[0]->core_requests.first = ranges[0]->core_requests.last = X_PutImage;
        int rangeCount = 1;
        if (counter.shmMajor > 0) {
            ranges[1]->ext_requests.ext_major.first = ranges[1]->ext_requests.ext_major.last =
                static_cast<unsigned char>(counter.shmMajor);
            ranges[1]->ext_requests.ext_minor.first = ranges[1]->ext_requests.ext_minor.last = kShmPutImageMinor;
            rangeCount = 2;
        }
        XRecordClientSpec clients = XRecordAllClients;
        context = XRecordCreateContext(control, 0, &clients, 1, ranges, rangeCount);
        XFree(ranges[0]);
        XFree(ranges[1]);
        if (context == 0) return false;
        XSync(control, False);
        if (XRecordEnableContextAsync(data, context, &recorded, reinterpret_cast<XPointer>(&counter)) == 0) return false;
        pump = std::thread([this] {
            while (!stopping.load(std::memory_order_relaxed)) {
                XRecordProcessReplies(data);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        return true;
    }
    void stop() {
        if (context != 0) {
            XRecordDisableContext(control, context);
            XSync(control, False);
        }
        stopping = true;
        if (pump.joinable()) pump.join();
        if (context != 0) XRecordFreeContext(control, context);
        if (data != nullptr) XCloseDisplay(data);
        if (control != nullptr) XCloseDisplay(control);
        context = 0;
        data = control = nullptr;
    }
    ~Recorder() { stop(); }

private:
    Display* control = nullptr;
    Display* data = nullptr;
    XRecordContext context = 0;
    std::thread pump;
    std::atomic<bool> stopping{false};
};

void idleFor(flanger::tools::PluginInstance& plugin, Clock::duration length, int& calls) {
    auto next = Clock::now();
    const auto end = next + length;
    while (Clock::now() < end) {
        plugin.dispatch(flanger::vst::effEditIdle);
        ++calls;
        next += std::chrono::milliseconds(kPeriodMs);
        std::this_thread::sleep_until(next);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE.so [SECONDS]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    Display* host = XOpenDisplay(nullptr);
    if (host == nullptr) {
        std::fprintf(stderr, "cannot open the display (is $DISPLAY set?)\n");
        return 1;
    }
    const ::Window parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 400, 300, 0, 0, 0x808080);
    XMapWindow(host, parent);
    XSync(host, False);

    std::string error;
    auto plugin = flanger::tools::PluginInstance::load(argv[1], {}, &error);
    if (!plugin) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    plugin->startLike(flanger::tools::HostStyle::Plain);
    if (plugin->dispatch(flanger::vst::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))) != 1) {
        std::fprintf(stderr, "the editor did not open\n");
        return 1;
    }
    // The first paint and the one-time costs (fonts, shared memory) are not part of idling.
    int warmUpCalls = 0;
    idleFor(*plugin, std::chrono::seconds(1), warmUpCalls);

    PresentCounter counter;
    Recorder recorder;
    const bool recording = recorder.start(counter);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // recording is on before we start

    int calls = 0;
    const double cpuBefore = threadCpuSeconds();
    const auto wallBefore = Clock::now();
    idleFor(*plugin, std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)), calls);
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    const double cpu = threadCpuSeconds() - cpuBefore;
    XSync(host, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the last records arrive
    const std::uint64_t idlePixels = counter.pixels.load(), idleRequests = counter.requests.load();

    // The control: a change of every parameter must show up as presented pixels.
    for (int32_t i = 0; i < plugin->parameterCount(); ++i) plugin->setParameter(i, 1.0f - plugin->parameter(i));
    int changeCalls = 0;
    idleFor(*plugin, std::chrono::milliseconds(300), changeCalls);
    XSync(host, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    recorder.stop();

    std::printf("idle: %d calls every %d ms over %.2f s of wall time\n", calls, kPeriodMs, wall);
    std::printf("cpu: %.2f ms per second of wall time (%.3f %% of one core), %.1f us per idle call\n",
                cpu / wall * 1e3, cpu / wall * 100.0, calls > 0 ? cpu / calls * 1e6 : 0.0);
    if (recording) {
        std::printf("presented: %llu pixels in %llu image requests\n", static_cast<unsigned long long>(idlePixels),
                    static_cast<unsigned long long>(idleRequests));
        std::printf("control, every parameter changed once: %llu pixels in %llu image requests\n",
                    static_cast<unsigned long long>(counter.pixels.load() - idlePixels),
                    static_cast<unsigned long long>(counter.requests.load() - idleRequests));
    } else {
        std::printf("presented: not readable (the server has no RECORD extension)\n");
    }
    plugin->dispatch(flanger::vst::effEditClose);
    plugin.reset();
    XCloseDisplay(host);
    return 0;
}
