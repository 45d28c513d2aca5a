// XDND target: the enter/position/status/drop/finished exchange and the selection transfer.
#include "platform/x11/XdndReceiver.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/x11/UriList.h"

namespace flanger::platform {

namespace {

constexpr long kVersion = 5;
// Largest drop payload read from the source, in bytes; more is not a list of file names.
constexpr long kMaxPayload = 1 << 20;

int hexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::vector<std::string> decodeUriList(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.substr(0, 5) != "file:") continue;
        line.remove_prefix(5);
        if (line.substr(0, 2) == "//") {
            line.remove_prefix(2);
            const std::size_t slash = line.find('/');
            if (slash == std::string_view::npos) continue;
            const std::string_view hostName = line.substr(0, slash);
            if (!hostName.empty() && hostName != "localhost") continue;  // another machine's file
            line.remove_prefix(slash);
        }
        if (line.empty() || line.front() != '/') continue;
        std::string name;
        bool usable = true;
        for (std::size_t i = 0; i < line.size() && usable; ++i) {
            if (line[i] != '%') {
                name += line[i];
                continue;
            }
            const int high = i + 2 < line.size() ? hexValue(line[i + 1]) : -1;
            const int low = i + 2 < line.size() ? hexValue(line[i + 2]) : -1;
            if (high < 0 || low < 0) {
                name += '%';  // not an escape: taken as it stands
                continue;
            }
            const char decoded = static_cast<char>(high * 16 + low);
            if (decoded == '\0') usable = false;
            name += decoded;
            i += 2;
        }
        if (usable && name.size() < kMaxDroppedName) names.push_back(std::move(name));
    }
    return names;
}

XdndReceiver::XdndReceiver(Display* connection, ::Window target) noexcept
    : display(connection), window(target) {}

XdndReceiver::~XdndReceiver() = default;

void XdndReceiver::setReceiver(DropEvents* newReceiver) noexcept {
    receiver = newReceiver;
    if (window == 0) return;
    if (receiver != nullptr) {
        const long version = kVersion;
        XChangeProperty(display, window, atom("XdndAware"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&version), 1);
    } else {
        XDeleteProperty(display, window, atom("XdndAware"));
        reset();
    }
    XFlush(display);
}

void XdndReceiver::reset() noexcept {
    source = 0;
    offer = Offer::Nothing;
    offeredType = 0;
    action = 0;
    awaitingData = false;
}

void XdndReceiver::chooseType(const XClientMessageEvent& enter) noexcept {
    std::vector<Atom> types;
    if ((enter.data.l[1] & 1) != 0) {
        // More than three types: the source lists them in a property of its window.
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, source, atom("XdndTypeList"), 0, 256, False, XA_ATOM, &actualType,
                               &format, &count, &remaining, &data) == Success &&
            data != nullptr && format == 32) {
            const auto* list = reinterpret_cast<const Atom*>(data);
            types.assign(list, list + count);
        }
        if (data != nullptr) XFree(data);
    } else {
        for (int i = 2; i <= 4; ++i)
            if (enter.data.l[i] != 0) types.push_back(static_cast<Atom>(enter.data.l[i]));
    }
    const Atom uriList = atom("text/uri-list");
    const Atom plainText = atom("text/plain");
    const Atom utf8Text = atom("text/plain;charset=utf-8");
    // File managers offer names both as a uri-list and as text: take the names as names.
    if (std::find(types.begin(), types.end(), uriList) != types.end()) {
        offer = Offer::Files;
        offeredType = uriList;
    } else if (std::find(types.begin(), types.end(), plainText) != types.end()) {
        offer = Offer::Text;
        offeredType = plainText;
    } else if (std::find(types.begin(), types.end(), utf8Text) != types.end()) {
        offer = Offer::Text;
        offeredType = utf8Text;
    }
}

void XdndReceiver::sendStatus(::Window to, bool accept, Atom chosen) noexcept {
    XEvent reply{};
    reply.xclient.type = ClientMessage;
    reply.xclient.display = display;
    reply.xclient.window = to;
    reply.xclient.message_type = atom("XdndStatus");
    reply.xclient.format = 32;
    reply.xclient.data.l[0] = static_cast<long>(window);
    reply.xclient.data.l[1] = accept ? 1 : 0;  // no position updates needed beyond the usual
    reply.xclient.data.l[4] = accept ? static_cast<long>(chosen) : 0;
    XSendEvent(display, to, False, NoEventMask, &reply);
    XFlush(display);
}

void XdndReceiver::sendFinished(::Window to, bool accepted, Atom performed) noexcept {
    XEvent reply{};
    reply.xclient.type = ClientMessage;
    reply.xclient.display = display;
    reply.xclient.window = to;
    reply.xclient.message_type = atom("XdndFinished");
    reply.xclient.format = 32;
    reply.xclient.data.l[0] = static_cast<long>(window);
    reply.xclient.data.l[1] = accepted ? 1 : 0;
    reply.xclient.data.l[2] = accepted ? static_cast<long>(performed) : 0;
    XSendEvent(display, to, False, NoEventMask, &reply);
    XFlush(display);
}

bool XdndReceiver::handle(const XEvent& event) noexcept {
    if (event.type == SelectionNotify) {
        if (!awaitingData || event.xselection.requestor != window) return false;
        deliver(event.xselection);
        return true;
    }
    if (event.type != ClientMessage || event.xclient.format != 32) return false;
    const XClientMessageEvent& message = event.xclient;
    const Atom type = message.message_type;
    if (type == atom("XdndEnter")) {
        reset();
        if (receiver == nullptr) return true;
        source = static_cast<::Window>(message.data.l[0]);
        chooseType(message);
        return true;
    }
    if (type == atom("XdndPosition")) {
        const auto from = static_cast<::Window>(message.data.l[0]);
        if (from != source) return true;
        lastPosition = {static_cast<int>((message.data.l[2] >> 16) & 0xFFFF),
                        static_cast<int>(message.data.l[2] & 0xFFFF)};
        // The protocol carries no modifiers: read Control from the live pointer state.
        ::Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask);
        action = (mask & ControlMask) != 0 ? atom("XdndActionCopy") : atom("XdndActionMove");
        sendStatus(source, offer != Offer::Nothing && receiver != nullptr, action);
        return true;
    }
    if (type == atom("XdndLeave")) {
        reset();
        return true;
    }
    if (type == atom("XdndDrop")) {
        const auto from = static_cast<::Window>(message.data.l[0]);
        if (from != source || source == 0) return true;
        if (offer == Offer::Nothing || receiver == nullptr) {
            sendFinished(source, false, 0);
            reset();
            return true;
        }
        awaitingData = true;
        XConvertSelection(display, atom("XdndSelection"), offeredType, atom("FLANGER_DROP"), window,
                          static_cast<Time>(message.data.l[2]));
        XFlush(display);
        return true;
    }
    return false;
}

void XdndReceiver::deliver(const XSelectionEvent& selection) noexcept {
    const ::Window from = source;
    const Offer kind = offer;
    // The drop only reads a name or a text: a finished move would tell the source (a file manager,
    // a text editor) it may delete its original.
    const Atom performed = atom("XdndActionCopy");
    bool taken = false;
    if (selection.property != None) {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, selection.property, 0, kMaxPayload / 4, True, AnyPropertyType,
                               &actualType, &format, &count, &remaining, &data) == Success &&
            data != nullptr && format == 8 && remaining == 0) {
            try {
                const std::string payload(reinterpret_cast<const char*>(data), count);
                if (kind == Offer::Files) {
                    const std::vector<std::string> names = decodeUriList(payload);
                    std::vector<const char*> items;
                    for (const std::string& name : names) items.push_back(name.c_str());
                    if (!items.empty())
                        taken =
                            receiver->onDrop(items.data(), static_cast<int>(items.size()), 0, lastPosition);
                } else {
                    const char* item = payload.c_str();
                    taken = receiver->onDrop(&item, static_cast<int>(payload.size()), 1, lastPosition);
                }
            } catch (...) {
                taken = false;
            }
        }
        if (data != nullptr) XFree(data);
    }
    sendFinished(from, taken, performed);
    reset();
}

}  // namespace flanger::platform
