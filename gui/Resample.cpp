// Area averaging with separable weights: each output column and row lists the source columns
// and rows it covers and by how much.
#include "gui/Resample.h"

#include <algorithm>
#include <vector>

namespace flanger::gui {

namespace {

struct Tap {
    int index;
    double weight;
};

// For each of outCount cells, the source cells [i·ratio, (i + 1)·ratio) covers and their shares.
std::vector<std::vector<Tap>> coverage(int inCount, int outCount) {
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(outCount));
    const double ratio = static_cast<double>(inCount) / outCount;
    for (int i = 0; i < outCount; ++i) {
        const double from = i * ratio, to = (i + 1) * ratio;
        for (int s = static_cast<int>(from); s < inCount && s < to; ++s) {
            const double share = std::min<double>(s + 1, to) - std::max<double>(s, from);
            if (share > 1e-9) taps[static_cast<std::size_t>(i)].push_back({s, share});
        }
    }
    return taps;
}

}  // namespace

platform::Surface averageDown(const platform::Surface& source, int width, int height,
                              std::optional<std::uint32_t> key) noexcept {
    if (width <= 0 || height <= 0 || width > source.width() || height > source.height()) return {};
    try {
        const auto columns = coverage(source.width(), width);
        const auto rows = coverage(source.height(), height);
        platform::Surface out(width, height);
        for (int y = 0; y < height; ++y) {
            std::uint32_t* target = out.row(y);
            for (int x = 0; x < width; ++x) {
                double red = 0, green = 0, blue = 0, kept = 0, keyed = 0;
                for (const Tap& row : rows[static_cast<std::size_t>(y)]) {
                    const std::uint32_t* line = source.row(row.index);
                    for (const Tap& column : columns[static_cast<std::size_t>(x)]) {
                        const double weight = row.weight * column.weight;
                        const std::uint32_t pixel = line[column.index];
                        if (key && pixel == *key) {
                            keyed += weight;
                            continue;
                        }
                        red += weight * platform::redOf(pixel);
                        green += weight * platform::greenOf(pixel);
                        blue += weight * platform::blueOf(pixel);
                        kept += weight;
                    }
                }
                if (key && (keyed >= kept || kept <= 0.0)) {
                    target[x] = *key;
                    continue;
                }
                auto channel = [kept](double sum) {
                    return static_cast<std::uint8_t>(std::clamp(sum / kept + 0.5, 0.0, 255.0));
                };
                std::uint32_t pixel = platform::packRgb(channel(red), channel(green), channel(blue));
                if (key && pixel == *key) pixel ^= 1;  // an average must not read as the key
                target[x] = pixel;
            }
        }
        return out;
    } catch (...) {
        return {};
    }
}

}  // namespace flanger::gui
