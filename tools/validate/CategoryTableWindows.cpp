// The categories that need neither a child process, guard pages nor X11, for the Windows build;
// the checks are the same source as on Linux.
#include "tools/validate/Categories.h"

namespace flanger::tools {

const ValidatorBuild& validatorBuild() {
    static const ValidatorBuild build = {
        {
            {"lifecycle", checkLifecycle, nullptr, nullptr},
            {"opcodes", checkOpcodes, nullptr, nullptr},
            {"configuration", checkConfiguration, nullptr, nullptr},
            {"parameters", checkParameters, nullptr, nullptr},
            {"audio", checkAudio, nullptr, nullptr},
            {"state", checkState, nullptr, nullptr},
        },
        {"threads", "editor"},
        "PLUGIN.dll",
        "  flanger-validate --no-fork BrackwaterFlanger.dll\n"
        "  flanger-validate --no-fork --category audio --category state BrackwaterFlanger.dll\n",
    };
    return build;
}

}  // namespace flanger::tools
