// The pixels every client presents on the display for a while: their PutImage and ShmPutImage
// requests, seen through the server's RECORD extension. bench/editor-idle.sh runs it beside an
// idling editor (nothing should be presented while nothing changes).
//   flanger_present_count SECONDS    (needs $DISPLAY)
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "tools/common/CommandLine.h"

namespace {

constexpr int kShmPutImageMinor = 3;  // the MIT-SHM extension's ShmPutImage

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
        } else if (static_cast<int>(request[0]) == counter->shmMajor && request[1] == kShmPutImageMinor &&
                   bytes >= 24) {
            area = std::uint64_t{read16(request + 20)} * read16(request + 22);  // source width, height
        }
        if (area > 0) {
            counter->pixels.fetch_add(area, std::memory_order_relaxed);
            counter->requests.fetch_add(1, std::memory_order_relaxed);
        }
    }
    XRecordFreeData(data);
}

// Records image requests on a connection of its own, pumped by a thread of its own.
class Recorder {
public:
    bool start(PresentCounter& counter) {
        control = XOpenDisplay(nullptr);
        data = XOpenDisplay(nullptr);
        int major = 0, minor = 0;
        if (control == nullptr || data == nullptr || XRecordQueryVersion(control, &major, &minor) == 0)
            return false;
        int firstEvent = 0, firstError = 0;
        if (!XQueryExtension(control, "MIT-SHM", &counter.shmMajor, &firstEvent, &firstError))
            counter.shmMajor = -1;
        XRecordRange* ranges[2] = {XRecordAllocRange(), XRecordAllocRange()};
        ranges[0]->core_requests.first = ranges[0]->core_requests.last = X_PutImage;
        int rangeCount = 1;
        if (counter.shmMajor > 0) {
            ranges[1]->ext_requests.ext_major.first = ranges[1]->ext_requests.ext_major.last =
                static_cast<unsigned char>(counter.shmMajor);
            ranges[1]->ext_requests.ext_minor.first = ranges[1]->ext_requests.ext_minor.last =
                kShmPutImageMinor;
            rangeCount = 2;
        }
        XRecordClientSpec clients = XRecordAllClients;
        context = XRecordCreateContext(control, 0, &clients, 1, ranges, rangeCount);
        XFree(ranges[0]);
        XFree(ranges[1]);
        if (context == 0) return false;
        XSync(control, False);
        if (XRecordEnableContextAsync(data, context, &recorded, reinterpret_cast<XPointer>(&counter)) == 0)
            return false;
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

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: flanger_present_count SECONDS\n"
                 "Counts the pixels every client of $DISPLAY presents over SECONDS (above 0; no default)\n"
                 "through the server's RECORD extension.\n"
                 "  -h, --help   this text\n"
                 "examples:\n"
                 "  flanger_present_count 10\n"
                 "  DISPLAY=:1 flanger_present_count 0.5\n");
}

}  // namespace

int main(int argc, char** argv) {
    const flanger::tools::CommandLine commandLine("flanger_present_count", usage);
    std::optional<double> seconds;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (flanger::tools::isHelpOption(argument)) return commandLine.help();
        if (flanger::tools::looksLikeOption(argument)) return commandLine.unknownOption(argument);
        if (seconds) return commandLine.refuse("one duration at a time (" + argument + ")");
        seconds = flanger::tools::readReal(argv[i]);
        if (!seconds || *seconds <= 0.0) return commandLine.badValue("SECONDS", argv[i], "seconds above 0");
    }
    if (!seconds) return commandLine.refuse("say for how many seconds");
    PresentCounter counter;
    Recorder recorder;
    if (!recorder.start(counter)) {
        std::printf("presented: not readable (no display, or the server has no RECORD extension)\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(*seconds));
    recorder.stop();
    std::printf("presented: %llu pixels in %llu image requests over %.1f s\n",
                static_cast<unsigned long long>(counter.pixels.load()),
                static_cast<unsigned long long>(counter.requests.load()), *seconds);
    return 0;
}
