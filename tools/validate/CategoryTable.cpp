// Every category, on Linux: the fork, the guard pages and X11 the editor checks need are here.
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
            {"threads", checkThreads, nullptr, nullptr},
            {"editor", checkEditor, nullptr, "rect cycles parents threads"},
        },
        {},
        "PLUGIN.so",
        "  flanger-validate build/BrackwaterFlanger.so\n"
        "  flanger-validate --quick --xvfb --category editor --part threads build/BrackwaterFlanger.so\n",
    };
    return build;
}

}  // namespace flanger::tools
