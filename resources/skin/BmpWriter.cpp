// BMP writer and median-cut palette for the skin generator.
#include "resources/skin/BmpWriter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace flanger::resources::skin {
namespace {

void put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
void put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}

std::vector<unsigned char> header(const Picture& picture, int bits, std::uint32_t paletteEntries,
                                  std::size_t stride) {
    std::vector<unsigned char> out;
    const std::uint32_t pixelOffset = 14 + 40 + paletteEntries * 4;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(stride * picture.height);
    out.push_back('B');
    out.push_back('M');
    put32(out, pixelOffset + imageSize);
    put32(out, 0);
    put32(out, pixelOffset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(picture.width));
    put32(out, static_cast<std::uint32_t>(picture.height));  // positive: bottom-up rows
    put16(out, 1);
    put16(out, static_cast<unsigned>(bits));
    put32(out, 0);
    put32(out, imageSize);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, paletteEntries);
    put32(out, 0);
    return out;
}

int channel(std::uint32_t c, int which) {
    return static_cast<int>((c >> (16 - 8 * which)) & 0xFF);
}

struct Box {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> colours;  // colour, count
    int range(int& widest) const {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (const auto& [c, n] : colours) {
                lo = std::min(lo, channel(c, ch));
                hi = std::max(hi, channel(c, ch));
            }
            if (hi - lo > best) {
                best = hi - lo;
                widest = ch;
            }
        }
        return best;
    }
    std::uint64_t weight() const {
        std::uint64_t w = 0;
        for (const auto& entry : colours) w += entry.second;
        return w;
    }
};

}  // namespace

std::vector<unsigned char> encodeBmp24(const Picture& picture) {
    const std::size_t stride = ((static_cast<std::size_t>(picture.width) * 3 + 3) / 4) * 4;
    std::vector<unsigned char> out = header(picture, 24, 0, stride);
    for (int y = picture.height - 1; y >= 0; --y) {
        std::size_t written = 0;
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t c = picture.at(x, y);
            out.push_back(static_cast<unsigned char>(c & 0xFF));
            out.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
            out.push_back(static_cast<unsigned char>((c >> 16) & 0xFF));
            written += 3;
        }
        for (; written < stride; ++written) out.push_back(0);
    }
    return out;
}

std::vector<unsigned char> encodeBmp8(const Picture& picture, std::uint32_t keepExact) {
    std::map<std::uint32_t, std::uint32_t> histogram;
    for (std::uint32_t c : picture.pixels) {
        if (c != keepExact) ++histogram[c];
    }
    std::vector<Box> boxes(1);
    for (const auto& entry : histogram) boxes[0].colours.push_back(entry);
    // Split the box with the largest weighted spread until 255 boxes (entry 255 is the key).
    while (boxes.size() < 255) {
        std::size_t pick = boxes.size();
        double bestScore = 0;
        int pickChannel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].colours.size() < 2) continue;
            int ch = 0;
            const int r = boxes[i].range(ch);
            const double score = static_cast<double>(r) * static_cast<double>(boxes[i].weight());
            if (score > bestScore) {
                bestScore = score;
                pick = i;
                pickChannel = ch;
            }
        }
        if (pick == boxes.size()) break;
        auto& colours = boxes[pick].colours;
        std::sort(colours.begin(), colours.end(), [&](const auto& a, const auto& b) {
            return channel(a.first, pickChannel) < channel(b.first, pickChannel);
        });
        const std::uint64_t half = boxes[pick].weight() / 2;
        std::uint64_t running = 0;
        std::size_t cut = 1;
        for (; cut < colours.size(); ++cut) {
            running += colours[cut - 1].second;
            if (running >= half) break;
        }
        cut = std::clamp<std::size_t>(cut, 1, colours.size() - 1);
        Box upper;
        upper.colours.assign(colours.begin() + static_cast<std::ptrdiff_t>(cut), colours.end());
        colours.resize(cut);
        boxes.push_back(std::move(upper));
    }
    std::array<std::uint32_t, 256> palette{};
    palette.fill(0);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        double sum[3] = {0, 0, 0};
        double n = 0;
        for (const auto& [c, count] : boxes[i].colours) {
            for (int ch = 0; ch < 3; ++ch) sum[ch] += channel(c, ch) * static_cast<double>(count);
            n += count;
        }
        std::uint32_t rgb = 0;
        for (int ch = 0; ch < 3; ++ch)
            rgb = (rgb << 8) | static_cast<std::uint32_t>(n > 0 ? sum[ch] / n + 0.5 : 0);
        if (rgb == keepExact) rgb ^= 1;  // a near-key colour must never turn into the key
        palette[i] = rgb;
    }
    palette[255] = keepExact;
    std::map<std::uint32_t, unsigned char> nearest;
    for (const auto& entry : histogram) {
        int best = 0;
        long bestDistance = -1;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            long d = 0;
            for (int ch = 0; ch < 3; ++ch) {
                const long diff = channel(entry.first, ch) - channel(palette[i], ch);
                d += diff * diff;
            }
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = static_cast<int>(i);
            }
        }
        nearest[entry.first] = static_cast<unsigned char>(best);
    }
    nearest[keepExact] = 255;

    const std::size_t stride = ((static_cast<std::size_t>(picture.width) + 3) / 4) * 4;
    std::vector<unsigned char> out = header(picture, 8, 256, stride);
    for (std::uint32_t c : palette) {
        out.push_back(static_cast<unsigned char>(c & 0xFF));
        out.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
        out.push_back(static_cast<unsigned char>((c >> 16) & 0xFF));
        out.push_back(0);
    }
    for (int y = picture.height - 1; y >= 0; --y) {
        std::size_t written = 0;
        for (int x = 0; x < picture.width; ++x, ++written) out.push_back(nearest[picture.at(x, y)]);
        for (; written < stride; ++written) out.push_back(0);
    }
    return out;
}

Picture decodePaletted(const std::vector<unsigned char>& bmp) {
    auto le32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(bmp[at]) | (static_cast<std::uint32_t>(bmp[at + 1]) << 8) |
               (static_cast<std::uint32_t>(bmp[at + 2]) << 16) |
               (static_cast<std::uint32_t>(bmp[at + 3]) << 24);
    };
    const int width = static_cast<int>(le32(18));
    const int height = static_cast<int>(le32(22));
    const std::size_t pixels = le32(10);
    const std::size_t stride = ((static_cast<std::size_t>(width) + 3) / 4) * 4;
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned index = bmp[pixels + stride * static_cast<std::size_t>(height - 1 - y) + x];
            const std::size_t entry = 54 + index * 4;
            picture.at(x, y) = (static_cast<std::uint32_t>(bmp[entry + 2]) << 16) |
                               (static_cast<std::uint32_t>(bmp[entry + 1]) << 8) | bmp[entry];
        }
    }
    return picture;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace flanger::resources::skin
