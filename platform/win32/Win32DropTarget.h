// Drops onto a window through OLE: a drop target registered on the window that hands dropped file
// names (shortcuts resolved to their targets) and text to a DropEvents receiver, in UTF-8.
#pragma once

#include <memory>

#include "platform/Platform.h"

struct IDropTarget;

namespace flanger::platform::win32 {

class DropTarget;

// Holds OLE for the calling thread and the window's drop target while it lives; the window's
// own thread must create and destroy it, and destroy it before the window (RevokeDragDrop needs
// the window, else OLE keeps the target alive).
class DropRegistration {
public:
    // Null when drops cannot be had: no window or receiver, or a thread the host made
    // multithreaded (OLE refuses it; the window then simply takes no drops).
    static std::unique_ptr<DropRegistration> attach(void* window, DropEvents* receiver) noexcept;
    ~DropRegistration();
    DropRegistration(const DropRegistration&) = delete;
    DropRegistration& operator=(const DropRegistration&) = delete;

    // The object registered with OLE, as OLE calls it (tests drive it directly).
    IDropTarget* target() const noexcept;

private:
    DropRegistration(void* window, DropTarget* target) noexcept;

    void* window;
    DropTarget* registered;
};

// Drop targets made and not yet released (OLE may hold one a while after its registration).
int liveDropTargets() noexcept;

}  // namespace flanger::platform::win32
