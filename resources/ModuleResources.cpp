// Resource lookup over the embedded tables.
#include "resources/ModuleResources.h"

#include "resources/SkinBitmaps.h"

namespace flanger::resources {

ResourceBytes findResource(ResourceKind kind, int id) noexcept {
    switch (kind) {
        case ResourceKind::Version:
            return versionBlock();
        case ResourceKind::Bitmap:
            return skinBitmap(id);
    }
    return {};
}

}  // namespace flanger::resources
