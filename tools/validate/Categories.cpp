// Finding categories in this build's table, and the small helpers the categories share.
#include "tools/validate/Categories.h"

#include <algorithm>
#include <cstring>

namespace flanger::tools {

namespace {
ModuleFormat format = ModuleFormat::Vst2;  // set once, before any category runs
}

void validateFormat(ModuleFormat chosen) {
    format = chosen;
}

const ValidatorBuild& activeBuild() {
    switch (format) {
        case ModuleFormat::Vst3:
            return vst3ValidatorBuild();
        case ModuleFormat::Clap:
            return clapValidatorBuild();
        case ModuleFormat::Vst2:
            break;
    }
    return validatorBuild();
}

const std::vector<Category>& categories() {
    return activeBuild().categories;
}

const Category* findCategory(const std::string& name) {
    for (const auto& c : categories()) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

bool isLinuxOnly(const std::string& name) {
    const auto& left = activeBuild().linuxOnly;
    return std::any_of(left.begin(), left.end(), [&](const char* c) { return name == c; });
}

bool hasPart(const Category& category, const std::string& part) {
    if (category.parts == nullptr || part.empty()) return false;
    const std::string list = std::string(" ") + category.parts + " ";
    return list.find(" " + part + " ") != std::string::npos;
}

std::string textProblem(const unsigned char* data, size_t size) {
    const void* end = std::memchr(data, 0, size);
    if (end == nullptr) return "not terminated within " + std::to_string(size) + " bytes";
    const size_t length = static_cast<size_t>(static_cast<const unsigned char*>(end) - data);
    for (size_t i = 0; i < length;) {
        const unsigned char c = data[i];
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7f)
                return "control character " + std::to_string(c) + " at " + std::to_string(i);
            ++i;
            continue;
        }
        // Well-formed UTF-8 is printable text too (units such as a degree sign).
        size_t extra = 0;
        if ((c & 0xe0) == 0xc0 && c >= 0xc2)
            extra = 1;
        else if ((c & 0xf0) == 0xe0)
            extra = 2;
        else if ((c & 0xf8) == 0xf0 && c <= 0xf4)
            extra = 3;
        else
            return "byte " + std::to_string(c) + " at " + std::to_string(i) + " is not UTF-8";
        if (i + extra >= length) return "truncated UTF-8 sequence at " + std::to_string(i);
        for (size_t k = 1; k <= extra; ++k) {
            if ((data[i + k] & 0xc0) != 0x80) return "malformed UTF-8 at " + std::to_string(i);
        }
        i += extra + 1;
    }
    return {};
}

long long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long long>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<long long>(n);
}

}  // namespace flanger::tools
