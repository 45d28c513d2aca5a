// flanger-screenshot [--scale PERCENT] OUT.png [ABOUT.png]: writes the editor as it opens, and
// with its about picture open (to ABOUT.png, or OUT-about.png beside OUT.png).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/PixelScale.h"
#include "tools/common/CommandLine.h"
#include "tools/common/PngFile.h"
#include "tools/screenshot/FlangerEditorPicture.h"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: flanger-screenshot [--scale PERCENT] OUT.png [ABOUT.png]\n"
                 "Writes the editor as it opens to OUT.png, and with its about picture open to ABOUT.png\n"
                 "(default: OUT-about.png beside OUT.png); missing folders are made.\n"
                 "  --scale PERCENT   the editor's size: 100, 125, 150, 175 or 200 (default 100)\n"
                 "  -h, --help        this text\n"
                 "examples:\n"
                 "  flanger-screenshot out/demo/editor.png\n"
                 "  flanger-screenshot --scale 200 editor-200.png about-200.png\n");
}

}  // namespace

int main(int argc, char** argv) {
    const flanger::tools::CommandLine commandLine("flanger-screenshot", usage);
    std::vector<std::filesystem::path> paths;
    int scale = 100;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (flanger::tools::isHelpOption(argument)) return commandLine.help();
        if (argument == "--scale") {
            const std::string value = i + 1 < argc ? argv[++i] : "";
            scale = 0;
            for (const int offered : flanger::gui::kOfferedScales)
                if (value == std::to_string(offered)) scale = offered;
            if (scale == 0)
                return commandLine.refuse("--scale takes 100, 125, 150, 175 or 200, not '" + value + "'");
            continue;
        }
        if (flanger::tools::looksLikeOption(argument)) return commandLine.unknownOption(argument);
        paths.emplace_back(argument);
    }
    if (paths.empty()) return commandLine.refuse("say where to write the picture");
    if (paths.size() > 2) return commandLine.refuse("two pictures at most (" + paths[2].string() + ")");
    const std::filesystem::path out = paths[0];
    std::filesystem::path about =
        paths.size() == 2 ? paths[1] : out.parent_path() / (out.stem().string() + "-about.png");
    std::error_code ignored;
    for (const auto& path : {out, about}) {
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    }
    const auto editor = flanger::tools::renderFlangerEditor(false, scale);
    const auto aboutPicture = flanger::tools::renderFlangerEditor(true, scale);
    if (editor.empty() || aboutPicture.empty()) {
        std::fprintf(stderr, "flanger-screenshot: the skin bitmaps are missing from this build\n");
        return 1;
    }
    if (!flanger::tools::writePng(out.string(), editor) ||
        !flanger::tools::writePng(about.string(), aboutPicture)) {
        std::fprintf(stderr, "flanger-screenshot: cannot write %s or %s\n", out.c_str(), about.c_str());
        return 1;
    }
    std::printf("%s\n%s\n", out.c_str(), about.c_str());
    return 0;
}
