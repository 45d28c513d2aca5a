// Text through GDI: fonts made with CreateFontIndirectW and cached per request; a line is drawn
// white on black into a 32-bit DIB section and its grey levels blended in the ink over the
// target, as the Linux rasteriser blends FreeType's coverage.
#include "platform/win32/GdiText.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/LiveObjects.h"

namespace flanger::platform::win32 {
namespace {

// The editor asks for a handful of fonts; the bound only stops a caller that sweeps sizes from
// collecting GDI objects without end.
constexpr std::size_t kMaxFonts = 16;

struct FontKey {
    std::string face;
    int pixelSize = 0;
    int weight = 0;
    bool italic = false;
    bool underline = false;
    int pitchAndFamily = 0;

    bool operator==(const FontKey&) const = default;
};

struct CachedFont {
    FontKey key;
    HFONT font = nullptr;
    TEXTMETRICW metrics{};
    std::uint64_t lastUse = 0;
};

// Text is Windows-1252 whatever the system's ANSI code page; the five unassigned bytes show as
// '?', as they do on Linux.
std::wstring utf16(const char* text) {
    std::wstring line;
    if (text == nullptr) return line;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
        const std::uint32_t code = windows1252CodePoint(*c);
        line.push_back(static_cast<wchar_t>(code != 0 ? code : '?'));
    }
    return line;
}

class GdiText final : public SystemText {
public:
    GdiText() = default;
    GdiText(const GdiText&) = delete;
    GdiText& operator=(const GdiText&) = delete;
    ~GdiText() override { clear(); }

    bool measure(const SystemFont& font, const char* text, SystemTextMetrics& out) noexcept override {
        try {
            std::lock_guard<std::mutex> lock(mutex);
            const CachedFont* cached = select(font);
            if (cached == nullptr) return false;
            const std::wstring line = utf16(text);
            SIZE size{};
            if (!line.empty() &&
                !GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size))
                return false;
            out.ascent = cached->metrics.tmAscent;
            out.descent = cached->metrics.tmDescent;
            out.width = size.cx;
            return true;
        } catch (...) {
            return false;
        }
    }

    int draw(Surface& target, const SystemFont& font, const char* text, int x, int baseline,
             std::uint32_t ink, const PixelBox& clip) noexcept override {
        int advance = 0;
        try {
            std::lock_guard<std::mutex> lock(mutex);
            const CachedFont* cached = select(font);
            const std::wstring line = utf16(text);
            if (cached == nullptr || line.empty()) return advance;
            SIZE size{};
            if (!GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size)) return advance;
            advance = static_cast<int>(size.cx);
            // Italics lean past the advance and some glyphs start left of the pen: a margin of a
            // third of the height takes them in.
            const long long pad = cached->metrics.tmOverhang + std::max(1, font.pixelSize) / 3 + 2;
            const long long top = static_cast<long long>(baseline) - cached->metrics.tmAscent - 1;
            const long long bottom = static_cast<long long>(baseline) + cached->metrics.tmDescent + 2;
            const PixelBox lineBox{clampToInt(x - pad), clampToInt(top), clampToInt(x + size.cx + pad),
                                   clampToInt(bottom)};
            const PixelBox box = lineBox.intersect(clip).intersect({0, 0, target.width(), target.height()});
            if (box.empty()) return advance;
            const int width = box.right - box.left, height = box.bottom - box.top;
            if (!ensureBitmap(width, height)) return advance;
            for (int row = 0; row < height; ++row)
                std::fill_n(bits + static_cast<std::size_t>(row) * bitmapWidth, width, 0u);
            if (!TextOutW(dc, x - box.left, baseline - box.top, line.data(), static_cast<int>(line.size())))
                return advance;
            GdiFlush();  // the bits are read directly: GDI may still hold the drawing in its batch

            const int inkRed = redOf(ink), inkGreen = greenOf(ink), inkBlue = blueOf(ink);
            for (int row = 0; row < height; ++row) {
                const std::uint32_t* drawn = bits + static_cast<std::size_t>(row) * bitmapWidth;
                std::uint32_t* out = target.row(box.top + row) + box.left;
                for (int column = 0; column < width; ++column) {
                    const std::uint32_t white = drawn[column];
                    const int coverage = std::max({redOf(white), greenOf(white), blueOf(white)});
                    if (coverage == 0) continue;
                    const std::uint32_t under = out[column];
                    auto mix = [coverage](int from, int to) {
                        return static_cast<std::uint8_t>(from + ((to - from) * coverage + 127) / 255);
                    };
                    out[column] = packRgb(mix(redOf(under), inkRed), mix(greenOf(under), inkGreen),
                                          mix(blueOf(under), inkBlue));
                }
            }
        } catch (...) {
        }
        return advance;
    }

    std::string family(const SystemFont& font) noexcept override {
        try {
            std::lock_guard<std::mutex> lock(mutex);
            if (select(font) == nullptr) return {};
            wchar_t face[LF_FACESIZE] = {};
            const int length = GetTextFaceW(dc, LF_FACESIZE, face);
            if (length <= 0) return {};
            char utf8[LF_FACESIZE * 3] = {};
            const int bytes = WideCharToMultiByte(CP_UTF8, 0, face, -1, utf8, sizeof utf8, nullptr, nullptr);
            return bytes > 0 ? std::string(utf8) : std::string();
        } catch (...) {
            return {};
        }
    }

    void clear() noexcept {
        std::lock_guard<std::mutex> lock(mutex);
        if (dc != nullptr) {
            SelectObject(dc, originalFont);
            SelectObject(dc, originalBitmap);
        }
        selected = nullptr;
        for (CachedFont& cached : fonts) deleteObject(cached.font);
        fonts.clear();
        deleteObject(bitmap);
        bitmap = nullptr;
        bits = nullptr;
        bitmapWidth = bitmapHeight = 0;
        if (dc != nullptr && DeleteDC(dc)) noteGdiObjectDeleted();
        dc = nullptr;
    }

private:
    static int clampToInt(long long value) noexcept {
        return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    }

    static void deleteObject(HGDIOBJ object) noexcept {
        if (object != nullptr && DeleteObject(object)) noteGdiObjectDeleted();
    }

    bool ensureDc() noexcept {
        if (dc != nullptr) return true;
        dc = CreateCompatibleDC(nullptr);
        if (dc == nullptr) return false;
        noteGdiObjectCreated();
        originalFont = GetCurrentObject(dc, OBJ_FONT);
        originalBitmap = GetCurrentObject(dc, OBJ_BITMAP);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
        return true;
    }

    // The font made for the request, selected into the DC; null when GDI cannot make it.
    const CachedFont* select(const SystemFont& font) {
        if (!ensureDc()) return nullptr;
        FontKey key{font.face != nullptr ? font.face : "",
                    std::max(1, font.pixelSize),
                    font.weight,
                    font.italic,
                    font.underline,
                    font.pitchAndFamily};
        auto found =
            std::find_if(fonts.begin(), fonts.end(), [&](const CachedFont& f) { return f.key == key; });
        if (found == fonts.end()) {
            if (fonts.size() >= kMaxFonts) evictLeastRecentlyUsed();
            LOGFONTW description{};
            description.lfHeight = -key.pixelSize;  // negative: the character (em) height, not the cell's
            description.lfWeight = key.weight;
            description.lfItalic = key.italic ? TRUE : FALSE;
            description.lfUnderline = key.underline ? TRUE : FALSE;
            description.lfCharSet = DEFAULT_CHARSET;
            description.lfOutPrecision = OUT_DEFAULT_PRECIS;
            description.lfClipPrecision = CLIP_DEFAULT_PRECIS;
            description.lfQuality = ANTIALIASED_QUALITY;  // grey levels: the target is no LCD's pixel order
            description.lfPitchAndFamily = static_cast<BYTE>(key.pitchAndFamily);
            const std::wstring face = utf16(key.face.c_str()).substr(0, LF_FACESIZE - 1);
            std::copy(face.begin(), face.end(), description.lfFaceName);
            CachedFont made;
            made.key = std::move(key);
            made.font = CreateFontIndirectW(&description);
            if (made.font == nullptr) return nullptr;
            noteGdiObjectCreated();
            SelectObject(dc, made.font);
            selected = made.font;
            if (!GetTextMetricsW(dc, &made.metrics)) {
                SelectObject(dc, originalFont);
                selected = nullptr;
                deleteObject(made.font);
                return nullptr;
            }
            fonts.push_back(std::move(made));
            found = fonts.end() - 1;
        }
        found->lastUse = ++uses;
        if (selected != found->font) {
            SelectObject(dc, found->font);
            selected = found->font;
        }
        return &*found;
    }

    void evictLeastRecentlyUsed() noexcept {
        auto oldest =
            std::min_element(fonts.begin(), fonts.end(),
                             [](const CachedFont& a, const CachedFont& b) { return a.lastUse < b.lastUse; });
        if (oldest == fonts.end()) return;
        if (selected == oldest->font) {
            SelectObject(dc, originalFont);  // a font still selected cannot be deleted
            selected = nullptr;
        }
        deleteObject(oldest->font);
        fonts.erase(oldest);
    }

    // A top-down 32-bit DIB of at least width × height selected into the DC, kept for the next
    // line: it grows to the largest line drawn, which the clip keeps within the target surface.
    bool ensureBitmap(int width, int height) noexcept {
        if (bitmap != nullptr && width <= bitmapWidth && height <= bitmapHeight) return true;
        const int newWidth = std::max(width, bitmapWidth), newHeight = std::max(height, bitmapHeight);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = newWidth;
        info.bmiHeader.biHeight = -newHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* newBits = nullptr;
        HBITMAP made = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &newBits, nullptr, 0);
        if (made == nullptr || newBits == nullptr) {
            if (made != nullptr) DeleteObject(made);
            return false;
        }
        noteGdiObjectCreated();
        SelectObject(dc, made);
        deleteObject(bitmap);
        bitmap = made;
        bits = static_cast<std::uint32_t*>(newBits);
        bitmapWidth = newWidth;
        bitmapHeight = newHeight;
        return true;
    }

    // Two editors of one module may draw on different host threads; GDI objects are shared by
    // the process, so one lock around the DC, the fonts and the bitmap does.
    std::mutex mutex;
    HDC dc = nullptr;
    HGDIOBJ originalFont = nullptr;
    HGDIOBJ originalBitmap = nullptr;
    HFONT selected = nullptr;
    std::vector<CachedFont> fonts;
    std::uint64_t uses = 0;
    HBITMAP bitmap = nullptr;
    std::uint32_t* bits = nullptr;
    int bitmapWidth = 0;
    int bitmapHeight = 0;
};

GdiText& instance() noexcept {
    static GdiText text;  // its fonts are deleted at process end if nobody cleared them before
    return text;
}

}  // namespace

SystemText& gdiText() noexcept {
    return instance();
}

void clearGdiText() noexcept {
    instance().clear();
}

}  // namespace flanger::platform::win32
