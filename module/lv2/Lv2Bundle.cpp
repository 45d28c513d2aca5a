// Writes the LV2 bundle's description (manifest.ttl, flanger.ttl, presets.ttl) at build time
// from the effect itself: port ranges from its parameter table, defaults and presets from its
// factory bank, so nothing is typed twice.
//   flanger-lv2-bundle DIR MAJOR MINOR PATCH
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "module/lv2/Lv2Ports.h"
#include "params/FlangerParameters.h"
#include "params/NoteTable.h"

namespace {

using namespace flanger;
using P = params::FlangerParameters;

intptr_t answerEffect(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Shortest text that reads back as the same float.
std::string number(float value) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool isInteger(int i) {
    return i == P::kSwitch || i == P::kSyncBeat || i == P::kTmpSync || i == P::kShapeSync;
}

std::string unitOf(const std::string& unit) {
    if (unit == "%") return "units:pc";
    if (unit == "ms") return "units:ms";
    if (unit == "Hz") return "units:hz";
    return {};
}

const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

bool write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: flanger-lv2-bundle DIR MAJOR MINOR PATCH\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int major = std::atoi(argv[2]), minor = std::atoi(argv[3]), patch = std::atoi(argv[4]);
    // Hosts hide odd minor or micro versions as development releases: both stay even and rise
    // with the version.
    const int lv2Minor = 2 * (100 * major + minor), lv2Micro = 2 * patch;

    effect::FlangerEffect effect(&answerEffect, nullptr);
    if (!effect.initialise()) return 1;
    vst::EffectRecord* record = effect.effectRecord();
    auto call = [record](int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr) {
        return record->dispatcher(record, opcode, index, value, ptr, 0.0f);
    };
    const params::ParameterTable& table = *effect.parameterTable();
    struct Program {
        std::string name;
        std::vector<float> values;
    };
    std::vector<Program> programs;
    for (int32_t p = 0; p < record->numPrograms; ++p) {
        call(vst::effSetProgram, 0, p);
        char name[vst::kNameLength + 1] = {};
        call(vst::effGetProgramName, 0, 0, name);
        Program program{name, {}};
        for (uint32_t i = 0; i < lv2::kControlCount; ++i)
            program.values.push_back(table.peekPlain(static_cast<int>(i)));
        programs.push_back(program);
    }

    std::ostringstream manifest;
    manifest << kPrefixes;
    manifest << "<" << lv2::kPluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << lv2::kDspBinary
             << "> ;\n    rdfs:seeAlso <flanger.ttl> .\n\n";
    manifest << "<" << lv2::kUiUri << ">\n    a ui:X11UI ;\n    ui:binary <" << lv2::kUiBinary
             << "> ;\n    rdfs:seeAlso <flanger.ttl> .\n";
    for (size_t p = 0; p < programs.size(); ++p)
        manifest << "\n<" << lv2::kPresetUriPrefix << p << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
                 << lv2::kPluginUri << "> ;\n    rdfs:label " << quoted(programs[p].name)
                 << " ;\n    rdfs:seeAlso <presets.ttl> .\n";

    std::ostringstream plugin;
    plugin << kPrefixes;
    plugin << "<" << lv2::kPluginUri << ">\n    a lv2:Plugin, lv2:FlangerPlugin ;\n"
           << "    doap:name \"Brackwater Flanger\" ;\n"
           << "    lv2:minorVersion " << lv2Minor << " ;\n    lv2:microVersion " << lv2Micro << " ;\n"
           << "    lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n"
           << "    ui:ui <" << lv2::kUiUri << "> ;\n    lv2:port";
    const Program& defaults = programs.front();
    for (uint32_t i = 0; i < lv2::kControlCount; ++i) {
        const int e = static_cast<int>(i);
        plugin << (i == 0 ? " [\n" : " , [\n") << "        a lv2:InputPort, lv2:ControlPort ;\n"
               << "        lv2:index " << i << " ;\n        lv2:symbol \"" << lv2::kControlSymbols[i]
               << "\" ;\n"
               << "        lv2:name " << quoted(table.name(e)) << " ;\n"
               << "        lv2:default " << number(defaults.values[i]) << " ;\n"
               << "        lv2:minimum " << number(table.minimum(e)) << " ;\n"
               << "        lv2:maximum " << number(table.maximum(e));
        if (isInteger(e)) plugin << " ;\n        lv2:portProperty lv2:integer";
        if (e == P::kSwitch) plugin << ", lv2:toggled";
        if (e == P::kSyncBeat) {
            plugin << ", lv2:enumeration";
            for (int n = 0; n < params::kNoteCount; ++n)
                plugin << (n == 0 ? " ;\n        lv2:scalePoint " : " ,\n            ") << "[ rdfs:label "
                       << quoted(params::noteNames[n]) << " ; rdf:value " << n << ".0 ]";
        }
        if (const std::string unit = unitOf(table.unit(e)); !unit.empty())
            plugin << " ;\n        units:unit " << unit;
        plugin << "\n    ]";
    }
    const struct {
        uint32_t index;
        const char* symbol;
        const char* name;
        const char* kind;
    } audio[] = {{lv2::kInputLeft, "in_l", "In L", "lv2:InputPort"},
                 {lv2::kInputRight, "in_r", "In R", "lv2:InputPort"},
                 {lv2::kOutputLeft, "out_l", "Out L", "lv2:OutputPort"},
                 {lv2::kOutputRight, "out_r", "Out R", "lv2:OutputPort"}};
    for (const auto& a : audio)
        plugin << " , [\n        a lv2:AudioPort, " << a.kind << " ;\n        lv2:index " << a.index
               << " ;\n        lv2:symbol \"" << a.symbol << "\" ;\n        lv2:name \"" << a.name
               << "\"\n    ]";
    plugin << " , [\n        a lv2:InputPort, atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
           << "        atom:supports time:Position ;\n        lv2:designation lv2:control ;\n"
           << "        lv2:portProperty lv2:connectionOptional ;\n        lv2:index " << lv2::kTimePort
           << " ;\n        lv2:symbol \"time\" ;\n        lv2:name \"Time\"\n    ] .\n\n";
    plugin << "<" << lv2::kUiUri
           << ">\n    a ui:X11UI ;\n    lv2:requiredFeature ui:parent, ui:idleInterface ;\n"
           << "    lv2:optionalFeature ui:resize, ui:touch, ui:noUserResize, opts:options, urid:map ;\n"
           << "    opts:supportedOption ui:scaleFactor ;\n"
           << "    lv2:extensionData ui:idleInterface, opts:interface .\n";

    std::ostringstream presets;
    presets << kPrefixes;
    for (size_t p = 0; p < programs.size(); ++p) {
        presets << "<" << lv2::kPresetUriPrefix << p << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
                << lv2::kPluginUri << "> ;\n    rdfs:label " << quoted(programs[p].name)
                << " ;\n    lv2:port";
        for (uint32_t i = 0; i < lv2::kControlCount; ++i)
            presets << (i == 0 ? " [\n" : " , [\n") << "        lv2:symbol \"" << lv2::kControlSymbols[i]
                    << "\" ;\n        pset:value " << number(programs[p].values[i]) << "\n    ]";
        presets << " .\n\n";
    }

    if (!write(dir + "/manifest.ttl", manifest.str()) || !write(dir + "/flanger.ttl", plugin.str()) ||
        !write(dir + "/presets.ttl", presets.str())) {
        std::fprintf(stderr, "flanger-lv2-bundle: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
