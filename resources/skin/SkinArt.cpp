// The skin artwork, drawn with Cairo in the palette the editor also draws with: slate panels,
// near-black screens, cyan accents (the accent is the stereo bar's colour), light grey-blue labels.
#include "resources/skin/SkinArt.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace flanger::resources::skin {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};
constexpr Rgb rgb(std::uint32_t c) {
    return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0};
}

using namespace palette;

void setColour(cairo_t* cr, std::uint32_t c, double alpha = 1.0) {
    const Rgb v = rgb(c);
    cairo_set_source_rgba(cr, v.r, v.g, v.b, alpha);
}

// A Cairo surface of the bitmap's size at a scale; pictures come out opaque or colour-keyed. The
// art is drawn in the design's pixels: the surface's device scale puts every stroke, fill and glyph
// at the physical resolution, so whole design pixels stay whole physical pixels at any scale.
class Art {
public:
    Art(int w, int h, int scale) : width(w * scale), height(h * scale) {
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_surface_set_device_scale(surface, scale, scale);
        cr = cairo_create(surface);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        cairo_set_font_options(cr, options);
        cairo_font_options_destroy(options);
    }
    ~Art() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    Art(const Art&) = delete;
    Art& operator=(const Art&) = delete;

    // Opaque: every pixel is taken as painted (callers fill the whole surface first).
    Picture opaque() { return keyed(0, false); }

    // Transparent pixels become the colour key; partly covered ones are blended over `under`, the
    // colour the bitmap will be drawn on, so the keyed draw shows no fringe.
    Picture keyed(std::uint32_t under, bool useKey = true) {
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const Rgb base = rgb(under);
        Picture picture(width, height);
        for (int y = 0; y < height; ++y) {
            const auto* row =
                reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = row[x];
                const double a = ((p >> 24) & 0xFF) / 255.0;
                if (useKey && a < 0.02) {
                    picture.at(x, y) = kColourKey;
                    continue;
                }
                // Premultiplied source over the panel colour.
                const double r = ((p >> 16) & 0xFF) / 255.0 + base.r * (1 - a);
                const double g = ((p >> 8) & 0xFF) / 255.0 + base.g * (1 - a);
                const double b = (p & 0xFF) / 255.0 + base.b * (1 - a);
                auto q = [](double v) {
                    return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
                };
                std::uint32_t c = (q(r) << 16) | (q(g) << 8) | q(b);
                if (useKey && c == kColourKey) c = 0xFEFEFE;  // only untouched pixels may carry the key
                picture.at(x, y) = c;
            }
        }
        return picture;
    }

    int width, height;  // physical pixels
    cairo_surface_t* surface;
    cairo_t* cr;
};

void fillRect(cairo_t* cr, double x, double y, double w, double h, std::uint32_t c, double alpha = 1.0) {
    setColour(cr, c, alpha);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

void roundedPath(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// The scale the art on cr is drawn at (physical pixels per design pixel).
double scaleOf(cairo_t* cr) {
    double x = 1, y = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &x, &y);
    return x;
}

// Paints a picture drawn at cr's own scale at (x, y), in design pixels: its pixels land one to one.
void paintPicture(cairo_t* cr, const Picture& picture, int x, int y, int visibleWidth, int visibleHeight) {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
    const double scale = scaleOf(cr);
    cairo_surface_set_device_scale(image, scale, scale);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int row = 0; row < picture.height; ++row) {
        auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
        for (int col = 0; col < picture.width; ++col) out[col] = picture.at(col, row) | 0xFF000000u;
    }
    cairo_surface_mark_dirty(image);
    cairo_save(cr);
    cairo_rectangle(cr, x, y, visibleWidth, visibleHeight);
    cairo_clip(cr);
    cairo_set_source_surface(cr, image, x, y);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(image);
}

enum class Align { Left, Centre, Right };

// Letter-spaced text on a whole-pixel baseline, so small labels stay crisp.
double textWidth(cairo_t* cr, const std::string& text, double tracking) {
    double width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char glyph[2] = {text[i], 0};
        cairo_text_extents_t extents;
        cairo_text_extents(cr, glyph, &extents);
        width += extents.x_advance + (i + 1 < text.size() ? tracking : 0);
    }
    return width;
}

void text(cairo_t* cr, const std::string& s, double x, double baseline, double size, bool bold,
          std::uint32_t colour, Align align = Align::Left, double tracking = 0, double alpha = 1.0) {
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    // Whole-pixel letter spacing over hinted advances keeps every gap the same. Advances are hinted
    // to physical pixels, so the pen snaps to those; the spacing and the baseline stay whole design
    // pixels, where the 100 % art has them.
    tracking = std::round(tracking);
    const double scale = scaleOf(cr);
    auto snap = [scale](double v) { return std::round(v * scale) / scale; };
    const double width = textWidth(cr, s, tracking);
    double pen = align == Align::Left ? x : align == Align::Centre ? x - width / 2 : x - width;
    pen = snap(pen);
    setColour(cr, colour, alpha);
    for (char c : s) {
        const char glyph[2] = {c, 0};
        cairo_move_to(cr, snap(pen), std::round(baseline));
        cairo_show_text(cr, glyph);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, glyph, &extents);
        pen += extents.x_advance + tracking;
    }
}

void label(cairo_t* cr, const std::string& s, double centreX, double baseline, Align align = Align::Centre) {
    text(cr, s, centreX, baseline, 7.2, true, kLabel, align, 1.0);
}

// A raised panel section: flat face, light top-left edge, dark bottom-right edge.
void section(cairo_t* cr, int x, int y, int w, int h) {
    roundedPath(cr, x + 0.5, y + 0.5, w - 1, h - 1, 3);
    setColour(cr, kPanel);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    cairo_pattern_t* edge = cairo_pattern_create_linear(0, y, 0, y + h);
    const Rgb light = rgb(kPanelLight), dark = rgb(kPanelDark);
    cairo_pattern_add_color_stop_rgb(edge, 0, light.r, light.g, light.b);
    cairo_pattern_add_color_stop_rgb(edge, 0.5, rgb(kPanel).r, rgb(kPanel).g, rgb(kPanel).b);
    cairo_pattern_add_color_stop_rgb(edge, 1, dark.r, dark.g, dark.b);
    cairo_set_source(cr, edge);
    cairo_stroke(cr);
    cairo_pattern_destroy(edge);
}

// A sunken dark box with a one-pixel edge: screens and number fields.
void sunkenBox(cairo_t* cr, int x, int y, int w, int h) {
    fillRect(cr, x, y, w, h, kScreen);
    fillRect(cr, x, y, w, 1, kPanelDark);
    fillRect(cr, x, y, 1, h, kPanelDark);
    fillRect(cr, x, y + h - 1, w, 1, kScreenEdge);
    fillRect(cr, x + w - 1, y, 1, h, kScreenEdge);
}

Picture field(int width, int height, int scale) {
    // The controls show one column less than the bitmap: the box is drawn in the visible part.
    Art art(width, height, scale);
    fillRect(art.cr, 0, 0, width, height, kPanel);
    sunkenBox(art.cr, 0, 0, width - 1, height);
    return art.opaque();
}

// Math angle (degrees, counter-clockwise, 0 = right) of a knob at a normalised value:
// 225° (lower left) at the minimum, clockwise through the top to −45° (lower right).
double knobAngle(double value) {
    return (225.0 - 270.0 * value) * kPi / 180.0;
}

void knobCap(cairo_t* cr, double cx, double cy, double radius) {
    // Soft drop shadow, body with a vertical sheen, bevelled rim.
    cairo_arc(cr, cx, cy + 1.0, radius + 0.8, 0, 2 * kPi);
    setColour(cr, 0x070A0D, 0.55);
    cairo_fill(cr);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, cy - radius, 0, cy + radius);
    cairo_pattern_add_color_stop_rgb(body, 0, 0x5A / 255.0, 0x6B / 255.0, 0x78 / 255.0);
    cairo_pattern_add_color_stop_rgb(body, 1, 0x26 / 255.0, 0x30 / 255.0, 0x39 / 255.0);
    cairo_arc(cr, cx, cy, radius, 0, 2 * kPi);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, cy - radius, 0, cy + radius);
    cairo_pattern_add_color_stop_rgb(face, 0, 0x3A / 255.0, 0x47 / 255.0, 0x52 / 255.0);
    cairo_pattern_add_color_stop_rgb(face, 1, 0x46 / 255.0, 0x55 / 255.0, 0x61 / 255.0);
    cairo_arc(cr, cx, cy, radius - 2.2, 0, 2 * kPi);
    cairo_set_source(cr, face);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    cairo_arc(cr, cx, cy, radius - 0.5, 0, 2 * kPi);
    cairo_set_line_width(cr, 1);
    cairo_pattern_t* rim = cairo_pattern_create_linear(0, cy - radius, 0, cy + radius);
    cairo_pattern_add_color_stop_rgba(rim, 0, 0.62, 0.70, 0.76, 0.9);
    cairo_pattern_add_color_stop_rgba(rim, 0.55, 0.35, 0.41, 0.46, 0.3);
    cairo_pattern_add_color_stop_rgba(rim, 1, 0.05, 0.07, 0.09, 0.6);
    cairo_set_source(cr, rim);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);
}

void scaleDots(cairo_t* cr, double cx, double cy, double radius, int count, double dotRadius,
               std::uint32_t colour) {
    for (int i = 0; i < count; ++i) {
        const double a = knobAngle(static_cast<double>(i) / (count - 1));
        cairo_arc(cr, cx + std::cos(a) * radius, cy - std::sin(a) * radius, dotRadius, 0, 2 * kPi);
        setColour(cr, colour);
        cairo_fill(cr);
    }
}

// Knob centres in window coordinates (pixel corners): the control rectangles' centres.
constexpr int kStripKnobLeft[5] = {13, 63, 113, 163, 225};
constexpr int kStripKnobTop = 154;
constexpr int kRotaryCentreX = 246;
constexpr int kRotaryCentreY[2] = {58, 113};

void sliderTrack(cairo_t* cr, int left) {
    // The handle centre runs from row 48 + 11 (value 1) to 167 + 11 (value 0).
    const double cx = left + 6.0;
    roundedPath(cr, cx - 2, 52, 4, 133, 2);
    setColour(cr, kScreen);
    cairo_fill(cr);
    fillRect(cr, cx + 1, 54, 1, 129, kScreenEdge, 0.6);
}

void sliderScale(cairo_t* cr, int left, int right) {
    // Tick rows at the handle centre of every tenth of the range; longer at 0, 50 and 100 %.
    for (int i = 0; i <= 10; ++i) {
        const int y = 59 + static_cast<int>(std::lround(119.0 * i / 10.0));
        const bool major = i == 0 || i == 5 || i == 10;
        const int length = major ? 4 : 2;
        fillRect(cr, left, y, length, 1, major ? kLabel : kDimLabel);
        fillRect(cr, right - length, y, length, 1, major ? kLabel : kDimLabel);
    }
}

// "−" at the knob's minimum and "+" at its maximum, just outside the ring's ends: whole-pixel
// strokes five pixels long, so they read at this size where dots or glyphs would blur.
void rangeMarks(cairo_t* cr, double cx, double cy) {
    constexpr double kOffset = 15.5;  // from the centre, both ways: clear of the ring's end caps
    const int y = static_cast<int>(std::floor(cy + kOffset));
    const int minusX = static_cast<int>(std::floor(cx - kOffset));
    const int plusX = static_cast<int>(std::floor(cx + kOffset));
    fillRect(cr, minusX - 2, y, 5, 1, kLabel);
    fillRect(cr, plusX - 2, y, 5, 1, kLabel);
    fillRect(cr, plusX, y - 2, 1, 5, kLabel);
}

// An eighth note whose head sits on the baseline at (x, baseline): head, stem, flag.
void noteIcon(cairo_t* cr, double x, double baseline) {
    cairo_save(cr);
    cairo_translate(cr, x - 1.5, baseline - 1.6);
    cairo_rotate(cr, -0.45);
    cairo_scale(cr, 1.0, 0.7);
    cairo_arc(cr, 0, 0, 2.0, 0, 2 * kPi);
    cairo_restore(cr);
    setColour(cr, kLabel);
    cairo_fill(cr);
    fillRect(cr, x, baseline - 9, 1, 7.6, kLabel);
    cairo_move_to(cr, x + 1, baseline - 9);
    cairo_curve_to(cr, x + 2.2, baseline - 7.4, x + 4.2, baseline - 6.8, x + 3.2, baseline - 4.2);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, kLabel);
    cairo_stroke(cr);
}

}  // namespace

Picture drawFieldWide(int scale) {
    return field(48, 12, scale);
}
Picture drawFieldSmall(int scale) {
    return field(28, 13, scale);
}
Picture drawFieldRate(int scale) {
    return field(32, 12, scale);
}

Picture drawWidthBar(int scale) {
    Art art(196, 10, scale);
    fillRect(art.cr, 0, 0, 196, 10, kScreen);
    for (int i = 1; i < 8; ++i) fillRect(art.cr, i * 97 / 4, 7, 1, 2, kScreenGrid);
    fillRect(art.cr, 97, 0, 1, 9, 0x22323D);
    return art.opaque();
}

Picture drawDisplay(int scale) {
    Art art(196, 74, scale);
    cairo_t* cr = art.cr;
    cairo_pattern_t* glass = cairo_pattern_create_linear(0, 0, 0, 74);
    cairo_pattern_add_color_stop_rgb(glass, 0, 0x0C / 255.0, 0x13 / 255.0, 0x18 / 255.0);
    cairo_pattern_add_color_stop_rgb(glass, 1, 0x07 / 255.0, 0x0B / 255.0, 0x0E / 255.0);
    cairo_rectangle(cr, 0, 0, 196, 74);
    cairo_set_source(cr, glass);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);
    for (int i = 1; i < 8; ++i) fillRect(cr, std::round(i * 24.5), 0, 1, 74, kScreenGrid);
    for (int i = 1; i < 4; ++i) fillRect(cr, 0, std::round(i * 18.5), 196, 1, kScreenGrid);
    fillRect(cr, 0, 73, 196, 1, 0x1E2E38);
    return art.opaque();
}

Picture drawKnobStrip(int scale) {
    const int frameSize = kStripFrameSize * scale;
    Picture strip(frameSize, frameSize * kStripFrames);
    const double c = kStripFrameSize / 2.0;
    for (int frame = 0; frame < kStripFrames; ++frame) {
        const double value = frame / static_cast<double>(kStripFrames - 1);
        Art art(kStripFrameSize, kStripFrameSize, scale);
        cairo_t* cr = art.cr;
        const double start = 135.0 * kPi / 180.0;  // screen angle of the minimum (Cairo turns clockwise)
        const double sweep = 270.0 * kPi / 180.0;
        cairo_set_line_width(cr, 3.0);
        cairo_arc(cr, c, c, 17.0, start, start + sweep);
        setColour(cr, kScreen);
        cairo_stroke(cr);
        if (value > 0) {
            cairo_pattern_t* glow = cairo_pattern_create_linear(0, c + 17, 0, c - 17);
            const Rgb deep = rgb(kAccentDeep), bright = rgb(kAccent);
            cairo_pattern_add_color_stop_rgb(glow, 0, deep.r, deep.g, deep.b);
            cairo_pattern_add_color_stop_rgb(glow, 1, bright.r, bright.g, bright.b);
            cairo_arc(cr, c, c, 17.0, start, start + sweep * value);
            cairo_set_source(cr, glow);
            cairo_set_line_width(cr, 2.2);
            cairo_stroke(cr);
            cairo_pattern_destroy(glow);
        }
        knobCap(cr, c, c, 13.5);
        const double a = knobAngle(value);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, 2.2);
        cairo_move_to(cr, c + std::cos(a) * 4.0, c - std::sin(a) * 4.0);
        cairo_line_to(cr, c + std::cos(a) * 11.0, c - std::sin(a) * 11.0);
        setColour(cr, kTitle);
        cairo_stroke(cr);
        const Picture one = art.keyed(kKnobPanel);
        for (int y = 0; y < frameSize; ++y)
            for (int x = 0; x < frameSize; ++x) strip.at(x, frame * frameSize + y) = one.at(x, y);
    }
    return strip;
}

Picture drawKnobHandle(int scale) {
    // A 4 × 4 cyan dot for the small knobs; the corners are keyed, the edges blended against the
    // knob face it sits on.
    Art art(4, 4, scale);
    cairo_arc(art.cr, 2, 2, 1.9, 0, 2 * kPi);
    setColour(art.cr, kAccent);
    cairo_fill(art.cr);
    return art.keyed(0x3F4D59);
}

Picture drawSliderHandle(int scale) {
    Art art(12, 22, scale);
    cairo_t* cr = art.cr;
    roundedPath(cr, 0.5, 0.5, 11, 21, 2);
    cairo_pattern_t* cap = cairo_pattern_create_linear(0, 0, 0, 22);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0xC9 / 255.0, 0xD4 / 255.0, 0xDB / 255.0);
    cairo_pattern_add_color_stop_rgb(cap, 0.48, 0x8E / 255.0, 0x9C / 255.0, 0xA6 / 255.0);
    cairo_pattern_add_color_stop_rgb(cap, 0.52, 0x7A / 255.0, 0x88 / 255.0, 0x93 / 255.0);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0xA6 / 255.0, 0xB2 / 255.0, 0xBA / 255.0);
    cairo_set_source(cr, cap);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(cap);
    setColour(cr, 0x0B1014, 0.9);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    for (int y : {5, 7, 14, 16}) fillRect(cr, 2, y, 8, 1, 0x4A5761, 0.8);
    fillRect(cr, 1, 10, 10, 2, kAccent);
    return art.keyed(kKnobPanel);
}

Picture drawLamp(int scale) {
    Art art(11, 22, scale);
    cairo_t* cr = art.cr;
    fillRect(cr, 0, 0, 11, 22, kPanel);
    for (int frame = 0; frame < 2; ++frame) {
        // Row 0 of each frame stays panel: the 12-pixel control shows one row of the next frame.
        const double cx = 5.5, cy = frame * 11 + 6.0;
        cairo_arc(cr, cx, cy, 4.6, 0, 2 * kPi);
        setColour(cr, kPanelDark);
        cairo_fill(cr);
        if (frame == 0) {
            cairo_arc(cr, cx, cy, 3.6, 0, 2 * kPi);
            setColour(cr, 0x1B3440);
            cairo_fill(cr);
            cairo_arc(cr, cx - 1.0, cy - 1.2, 1.2, 0, 2 * kPi);
            setColour(cr, 0x3E5866, 0.8);
            cairo_fill(cr);
        } else {
            cairo_pattern_t* glow = cairo_pattern_create_radial(cx - 0.8, cy - 1.0, 0.3, cx, cy, 3.8);
            cairo_pattern_add_color_stop_rgb(glow, 0, 1, 1, 1);
            cairo_pattern_add_color_stop_rgb(glow, 0.45, rgb(kAccent).r, rgb(kAccent).g, rgb(kAccent).b);
            cairo_pattern_add_color_stop_rgb(glow, 1, rgb(kAccentDeep).r, rgb(kAccentDeep).g,
                                             rgb(kAccentDeep).b);
            cairo_arc(cr, cx, cy, 3.8, 0, 2 * kPi);
            cairo_set_source(cr, glow);
            cairo_fill(cr);
            cairo_pattern_destroy(glow);
        }
    }
    return art.opaque();
}

Picture drawBackground(int scale) {
    Art art(370, 216, scale);
    cairo_t* cr = art.cr;
    cairo_pattern_t* chassis = cairo_pattern_create_linear(0, 0, 0, 216);
    const Rgb top = rgb(kChassisTop), bottom = rgb(kChassisBottom);
    cairo_pattern_add_color_stop_rgb(chassis, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(chassis, 1, bottom.r, bottom.g, bottom.b);
    cairo_rectangle(cr, 0, 0, 370, 216);
    cairo_set_source(cr, chassis);
    cairo_fill(cr);
    cairo_pattern_destroy(chassis);

    // Title lettering, filling the about area's click rectangle (10, 6)–(78, 23).
    text(cr, "BRACKWATER", 10, 11, 6.4, true, kAccent, Align::Left, 1.55);
    text(cr, "FLANGER", 9, 23, 13.5, true, kTitle, Align::Left, 0.9);
    text(cr, "STEREO FLANGER", 210, 21, 7, true, kDimLabel, Align::Right, 1.2);

    section(cr, 6, 26, 206, 94);   // modulation display and stereo width
    section(cr, 6, 122, 206, 88);  // the four main knobs
    section(cr, 216, 8, 58, 202);  // sync multiple, shape, rate
    section(cr, 278, 8, 86, 202);  // output and mix

    // Screen bezel holding the width bar and the display as one instrument.
    sunkenBox(cr, 10, 29, 198, 88);
    paintPicture(cr, drawWidthBar(scale), 12, 31, 194, 9);
    paintPicture(cr, drawDisplay(scale), 11, 41, 196, 74);

    // Main knob row: labels, number fields, knobs on their scale.
    const char* names[4] = {"FEEDBACK", "DELAY", "DEPTH", "STEREO"};
    const Picture wide = drawFieldWide(scale);
    for (int i = 0; i < 4; ++i) {
        const int fieldLeft = 10 + 50 * i;
        label(cr, names[i], fieldLeft + 23.5, 134);
        paintPicture(cr, wide, fieldLeft, 139, 47, 12);
    }
    for (int left : kStripKnobLeft) rangeMarks(cr, left + 21.0, kStripKnobTop + 21.0);

    // Rate section: sync multiple and shape (small knobs), rate field or note menu and sync lamp.
    label(cr, "MULT", 245.5, 25);
    paintPicture(cr, wide, 222, 29, 47, 12);
    label(cr, "SHAPE", 245.5, 81);
    paintPicture(cr, wide, 222, 85, 47, 12);
    for (int cy : kRotaryCentreY) {
        scaleDots(cr, kRotaryCentreX, cy, 13.6, 7, 0.7, kDimLabel);
        knobCap(cr, kRotaryCentreX, cy, 9.2);
    }
    label(cr, "RATE", 222, 134, Align::Left);
    noteIcon(cr, 262, 134);  // the sync lamp's label: a note, there is no room for a word
    paintPicture(cr, drawFieldRate(scale), 222, 139, 31, 12);
    paintPicture(cr, drawLamp(scale), 256, 140, 11, 11);

    // Output and mix faders with a shared scale between them.
    label(cr, "OUTPUT", 298.5, 25);
    label(cr, "MIX", 338.5, 25);
    const Picture small = drawFieldSmall(scale);
    paintPicture(cr, small, 285, 30, 27, 13);
    paintPicture(cr, small, 325, 30, 27, 13);
    sliderTrack(cr, 293);
    sliderTrack(cr, 333);
    sliderScale(cr, 284, 292 + 0);
    sliderScale(cr, 308, 330);
    sliderScale(cr, 346, 354);
    text(cr, "100", 319, 62, 6.5, true, kDimLabel, Align::Centre);
    text(cr, "50", 319, 121, 6.5, true, kDimLabel, Align::Centre);
    text(cr, "0", 319, 181, 6.5, true, kDimLabel, Align::Centre);
    text(cr, "GAIN", 298.5, 202, 6.5, true, kDimLabel, Align::Centre, 1);
    text(cr, "WET", 338.5, 202, 6.5, true, kDimLabel, Align::Centre, 1);
    return art.opaque();
}

Picture drawAbout(int scale) {
    Art art(370, 216, scale);
    cairo_t* cr = art.cr;
    cairo_pattern_t* deep = cairo_pattern_create_radial(185, 70, 10, 185, 110, 260);
    cairo_pattern_add_color_stop_rgb(deep, 0, 0x1E / 255.0, 0x2E / 255.0, 0x3A / 255.0);
    cairo_pattern_add_color_stop_rgb(deep, 1, 0x07 / 255.0, 0x0C / 255.0, 0x10 / 255.0);
    cairo_rectangle(cr, 0, 0, 370, 216);
    cairo_set_source(cr, deep);
    cairo_fill(cr);
    cairo_pattern_destroy(deep);

    // Swept combs: a few sine sweeps in the accent colours, like the display's curves.
    for (int k = 0; k < 7; ++k) {
        const double phase = k * 0.55;
        const double amplitude = 10 + 3 * k;
        cairo_move_to(cr, 0, 130);
        for (int x = 0; x <= 370; x += 2) {
            const double t = x / 370.0;
            const double y = 128 + amplitude * std::sin(2 * kPi * (1.6 * t + phase)) * std::sin(kPi * t) +
                             4 * std::sin(2 * kPi * (7 * t + phase * 2));
            cairo_line_to(cr, x, y);
        }
        setColour(cr, k % 2 == 0 ? kAccent : kAccentDeep, 0.10 + 0.05 * (6 - k) / 6.0);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
    }

    text(cr, "BRACKWATER", 185, 52, 11, true, kAccent, Align::Centre, 5.2);
    text(cr, "FLANGER", 185, 98, 42, true, kTitle, Align::Centre, 2.0);
    fillRect(cr, 112, 108, 146, 1, kAccentDeep, 0.9);
    text(cr, "STEREO FLANGER WITH TEMPO SYNC", 185, 121, 7, true, kLabel, Align::Centre, 1.1);

    text(cr, "Designed and built by Brackwater Audio", 185, 166, 9, false, kLabel, Align::Centre, 0.2);
    // (144, 174)–(215, 194) stays clear: the editor writes the version there in white.
    text(cr, "Copyright (C) 2026 Brackwater Audio. All rights reserved.", 185, 209, 7, false, kDimLabel,
         Align::Centre, 0.1);
    return art.opaque();
}

}  // namespace flanger::resources::skin
