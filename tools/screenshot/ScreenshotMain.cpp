// flanger-screenshot OUT.png [ABOUT.png]: writes the editor as it opens, and with its about
// picture open (to ABOUT.png, or OUT-about.png beside OUT.png).
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/common/PngFile.h"
#include "tools/screenshot/FlangerEditorPicture.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT.png [ABOUT.png]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::path about =
        argc == 3 ? std::filesystem::path(argv[2]) : out.parent_path() / (out.stem().string() + "-about.png");
    std::error_code ignored;
    for (const auto& path : {out, about}) {
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    }
    const auto editor = flanger::tools::renderFlangerEditor(false);
    const auto aboutPicture = flanger::tools::renderFlangerEditor(true);
    if (editor.empty() || aboutPicture.empty()) {
        std::fprintf(stderr, "the skin bitmaps are missing from this build\n");
        return 1;
    }
    if (!flanger::tools::writePng(out.string(), editor) ||
        !flanger::tools::writePng(about.string(), aboutPicture)) {
        std::fprintf(stderr, "cannot write %s or %s\n", out.c_str(), about.c_str());
        return 1;
    }
    std::printf("%s\n%s\n", out.c_str(), about.c_str());
    return 0;
}
