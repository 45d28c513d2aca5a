// Text on Linux: faces resolved through fontconfig, glyphs rendered and cached by FreeType, and
// blended into the surface.
#include "gui/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/SystemText.h"

namespace flanger::gui {
namespace {

struct Glyph {
    int left = 0;  // bitmap offset from the pen
    int top = 0;   // rows above the baseline
    int width = 0;
    int rows = 0;
    int advance = 0;  // whole pixels: hinted advances, no kerning
    std::vector<std::uint8_t> coverage;
};

struct LoadedFace {
    FT_Face face = nullptr;
    bool synthBold = false;
    bool synthItalic = false;
};

// Shared by every canvas of the process. Text is drawn on GUI threads only, but two editors of
// one module may live on different host threads, so the caches are guarded.
class FontCache {
public:
    static FontCache& instance() {
        static FontCache cache;
        return cache;
    }

    std::mutex mutex;

    ResolvedFace resolve(const FontRequest& request) {
        const auto key = std::make_tuple(std::string(request.face), request.weight >= 700, request.italic);
        auto found = resolved.find(key);
        if (found != resolved.end()) return found->second;
        ResolvedFace face = match(request);
        resolved.emplace(key, face);
        return face;
    }

    // The face set to the request's pixel size, or null.
    LoadedFace* load(const FontRequest& request) {
        if (library == nullptr) return nullptr;
        const ResolvedFace where = resolve(request);
        if (where.file.empty()) return nullptr;
        auto& slot = faces[where.file];
        if (slot.face == nullptr && !failed[where.file]) {
            if (FT_New_Face(library, where.file.c_str(), 0, &slot.face) != 0) {
                slot.face = nullptr;
                failed[where.file] = true;
            }
        }
        if (slot.face == nullptr) return nullptr;
        if (FT_Set_Pixel_Sizes(slot.face, 0, static_cast<FT_UInt>(std::max(1, request.pixelSize))) != 0)
            return nullptr;
        current.face = slot.face;
        current.synthBold = request.weight >= 700 && !where.bold;
        current.synthItalic = request.italic && !where.italic;
        return &current;
    }

    const Glyph* glyph(const LoadedFace& loaded, const FontRequest& request, std::uint32_t code) {
        const auto key = std::make_tuple(static_cast<const void*>(loaded.face), request.pixelSize,
                                         loaded.synthBold, loaded.synthItalic, code);
        auto found = glyphs.find(key);
        if (found != glyphs.end()) return &found->second;
        Glyph rendered;
        FT_UInt index = FT_Get_Char_Index(loaded.face, code);
        if (index == 0 && code != ' ') index = FT_Get_Char_Index(loaded.face, '?');
        if (FT_Load_Glyph(loaded.face, index, FT_LOAD_DEFAULT) == 0) {
            FT_GlyphSlot slot = loaded.face->glyph;
            if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                if (loaded.synthItalic) {
                    FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12°
                    FT_Outline_Transform(&slot->outline, &shear);
                }
                if (loaded.synthBold)
                    FT_Outline_Embolden(&slot->outline,
                                        std::max<FT_Pos>(32, loaded.face->size->metrics.y_ppem * 4));
            }
            rendered.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            if (loaded.synthBold)
                rendered.advance += std::max(1, static_cast<int>(loaded.face->size->metrics.y_ppem) / 24);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 &&
                slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                rendered.left = slot->bitmap_left;
                rendered.top = slot->bitmap_top;
                rendered.width = static_cast<int>(slot->bitmap.width);
                rendered.rows = static_cast<int>(slot->bitmap.rows);
                rendered.coverage.resize(static_cast<std::size_t>(rendered.width) * rendered.rows);
                for (int y = 0; y < rendered.rows; ++y) {
                    const unsigned char* src =
                        slot->bitmap.buffer + static_cast<std::ptrdiff_t>(y) * slot->bitmap.pitch;
                    std::copy_n(src, rendered.width,
                                rendered.coverage.data() + static_cast<std::size_t>(y) * rendered.width);
                }
            }
        }
        return &glyphs.emplace(key, std::move(rendered)).first->second;
    }

private:
    FontCache() {
        if (FT_Init_FreeType(&library) != 0) library = nullptr;
    }
    ~FontCache() {
        for (auto& entry : faces) {
            if (entry.second.face != nullptr) FT_Done_Face(entry.second.face);
        }
        if (library != nullptr) FT_Done_FreeType(library);
    }

    // The font-matching library keeps its configuration and caches for the life of the process.
    // Were it unloaded together with this module, a host that loads the module again would
    // leak a second set, and leak checkers could no longer tell whose memory it was: keep it.
    static void keepMatchingLibraryLoaded() {
        static const bool kept = [] {
            Dl_info info{};
            if (dladdr(reinterpret_cast<void*>(&FcInit), &info) == 0 || info.dli_fname == nullptr)
                return false;
            void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            if (handle != nullptr) dlclose(handle);  // the library stays: it is marked never to unload
            return handle != nullptr;
        }();
        (void)kept;
    }

    static ResolvedFace match(const FontRequest& request) {
        ResolvedFace result;
        keepMatchingLibraryLoaded();
        if (FcInit() == FcFalse) return result;
        FcPattern* pattern = FcPatternCreate();
        if (pattern == nullptr) return result;
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.face));
        FcPatternAddInteger(pattern, FC_WEIGHT, request.weight >= 700 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult outcome = FcResultNoMatch;
        FcPattern* best = FcFontMatch(nullptr, pattern, &outcome);
        if (best != nullptr) {
            FcChar8* file = nullptr;
            FcChar8* family = nullptr;
            int weight = FC_WEIGHT_REGULAR;
            int slant = FC_SLANT_ROMAN;
            if (FcPatternGetString(best, FC_FILE, 0, &file) == FcResultMatch)
                result.file = reinterpret_cast<const char*>(file);
            if (FcPatternGetString(best, FC_FAMILY, 0, &family) == FcResultMatch)
                result.family = reinterpret_cast<const char*>(family);
            FcPatternGetInteger(best, FC_WEIGHT, 0, &weight);
            FcPatternGetInteger(best, FC_SLANT, 0, &slant);
            result.bold = weight >= FC_WEIGHT_BOLD;
            result.italic = slant != FC_SLANT_ROMAN;
            FcPatternDestroy(best);
        }
        FcPatternDestroy(pattern);
        return result;
    }

    FT_Library library = nullptr;
    std::map<std::tuple<std::string, bool, bool>, ResolvedFace> resolved;
    std::map<std::string, LoadedFace> faces;
    std::map<std::string, bool> failed;
    std::map<std::tuple<const void*, int, bool, bool, std::uint32_t>, Glyph> glyphs;
    LoadedFace current;
};

int ceilPixels(FT_Pos value) {
    return static_cast<int>((value + 63) >> 6);
}

}  // namespace

ResolvedFace resolveFace(const FontRequest& request) noexcept {
    try {
        FontCache& cache = FontCache::instance();
        std::lock_guard<std::mutex> lock(cache.mutex);
        return cache.resolve(request);
    } catch (...) {
        return {};
    }
}

TextMetrics measureText(const FontRequest& request, const char* text) noexcept {
    TextMetrics metrics;
    try {
        FontCache& cache = FontCache::instance();
        std::lock_guard<std::mutex> lock(cache.mutex);
        LoadedFace* loaded = cache.load(request);
        if (loaded == nullptr) return metrics;
        metrics.ascent = ceilPixels(loaded->face->size->metrics.ascender);
        metrics.descent = ceilPixels(-loaded->face->size->metrics.descender);
        if (text == nullptr) return metrics;
        for (const char* c = text; *c != 0; ++c) {
            metrics.width +=
                cache.glyph(*loaded, request, platform::windows1252CodePoint(static_cast<unsigned char>(*c)))
                    ->advance;
        }
    } catch (...) {
        return {};
    }
    return metrics;
}

void drawText(platform::Surface& target, const FontRequest& request, const char* text, int x, int baseline,
              std::uint32_t ink, const platform::PixelBox& clip) noexcept {
    if (text == nullptr) return;
    const platform::PixelBox box = clip.intersect({0, 0, target.width(), target.height()});
    if (box.empty()) return;
    try {
        FontCache& cache = FontCache::instance();
        std::lock_guard<std::mutex> lock(cache.mutex);
        LoadedFace* loaded = cache.load(request);
        if (loaded == nullptr) return;
        const int inkRed = platform::redOf(ink), inkGreen = platform::greenOf(ink),
                  inkBlue = platform::blueOf(ink);
        auto blend = [&](int px, int py, int coverage) {
            if (coverage <= 0 || px < box.left || px >= box.right || py < box.top || py >= box.bottom) return;
            const std::uint32_t under = target.pixel(px, py);
            auto mix = [&](int from, int to) {
                return static_cast<std::uint8_t>(from + ((to - from) * coverage + 127) / 255);
            };
            target.setPixel(px, py,
                            platform::packRgb(mix(platform::redOf(under), inkRed),
                                              mix(platform::greenOf(under), inkGreen),
                                              mix(platform::blueOf(under), inkBlue)));
        };
        int pen = x;
        for (const char* c = text; *c != 0; ++c) {
            const Glyph* glyph =
                cache.glyph(*loaded, request, platform::windows1252CodePoint(static_cast<unsigned char>(*c)));
            for (int gy = 0; gy < glyph->rows; ++gy) {
                for (int gx = 0; gx < glyph->width; ++gx) {
                    blend(pen + glyph->left + gx, baseline - glyph->top + gy,
                          glyph->coverage[static_cast<std::size_t>(gy) * glyph->width + gx]);
                }
            }
            pen += glyph->advance;
        }
        if (request.underline) {
            const FT_Face face = loaded->face;
            const double scale =
                static_cast<double>(face->size->metrics.y_ppem) / std::max<int>(1, face->units_per_EM);
            const int thickness = std::max(1, static_cast<int>(face->underline_thickness * scale + 0.5));
            const int position =
                baseline + std::max(1, static_cast<int>(-face->underline_position * scale + 0.5));
            for (int row = 0; row < thickness; ++row)
                for (int px = x; px < pen; ++px) blend(px, position + row, 255);
        }
        target.addDamage({x - 2, baseline - request.pixelSize * 2, pen + 2, baseline + request.pixelSize});
    } catch (...) {
    }
}

}  // namespace flanger::gui
