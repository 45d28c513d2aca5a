// The skin table of a module built without its editor (the Windows build for now, where the
// Cairo program that draws the skin does not run): every bitmap id is absent.
#include "resources/SkinBitmaps.h"

namespace flanger::resources {

ResourceBytes skinBitmap(int /*id*/) noexcept {
    return {};
}

}  // namespace flanger::resources
