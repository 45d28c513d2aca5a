// Writes the VST3 bundle's Contents/moduleinfo.json at build time: the one class the factory
// offers, with the vendor the effect itself reports, so a host can list it without loading it.
//   flanger-vst3-moduleinfo FILE VERSION
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "module/vst3/Vst3Plugin.h"

namespace {

using namespace flanger;

intptr_t answerEffect(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string effectText(vst::EffectRecord* record, int32_t opcode) {
    char text[128] = {};
    record->dispatcher(record, opcode, 0, 0, text, 0.0f);
    text[sizeof text - 1] = 0;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: flanger-vst3-moduleinfo FILE VERSION\n");
        return 2;
    }
    effect::FlangerEffect effect(&answerEffect, nullptr);
    if (!effect.initialise()) return 1;
    vst::EffectRecord* record = effect.effectRecord();
    record->dispatcher(record, vst::effOpen, 0, 0, nullptr, 0.0f);
    const std::string name = vst3::kClassName;
    const std::string vendor = effectText(record, vst::effGetVendorString);
    if (vendor != vst3::kVendor) {
        std::fprintf(stderr, "flanger-vst3-moduleinfo: the effect's vendor is \"%s\", the factory's \"%s\"\n",
                     vendor.c_str(), vst3::kVendor);
        return 1;
    }
    char cid[33];
    std::snprintf(cid, sizeof cid, "%08X%08X%08X%08X", vst3::kFlangerClassWords[0],
                  vst3::kFlangerClassWords[1], vst3::kFlangerClassWords[2], vst3::kFlangerClassWords[3]);
    std::string subCategories;
    for (const char *from = vst3::kSubCategories, *bar = nullptr; *from != 0; from = *bar ? bar + 1 : bar) {
        bar = std::strchr(from, '|');
        if (bar == nullptr) bar = from + std::strlen(from);
        if (!subCategories.empty()) subCategories += ", ";
        subCategories += quoted(std::string(from, bar));
    }
    const std::string version = argv[2];
    std::string json = "{\n";
    json += "  \"Name\": " + quoted(name) + ",\n";
    json += "  \"Version\": " + quoted(version) + ",\n";
    json += "  \"Factory Info\": {\n";
    json += "    \"Vendor\": " + quoted(vendor) + ",\n";
    json += "    \"URL\": \"\",\n";
    json += "    \"E-Mail\": \"\",\n";
    json += "    \"Flags\": {\n";
    json += "      \"Unicode\": true,\n";
    json += "      \"Classes Discardable\": false,\n";
    json += "      \"Component Non Discardable\": false\n";
    json += "    }\n";
    json += "  },\n";
    json += "  \"Compatibility\": [],\n";
    json += "  \"Classes\": [\n";
    json += "    {\n";
    json += "      \"CID\": " + quoted(cid) + ",\n";
    json += "      \"Category\": " + quoted(vst3::kClassCategory) + ",\n";
    json += "      \"Name\": " + quoted(name) + ",\n";
    json += "      \"Vendor\": " + quoted(vendor) + ",\n";
    json += "      \"Version\": " + quoted(version) + ",\n";
    json += "      \"SDKVersion\": " + quoted(vst3::kInterfaceVersion) + ",\n";
    json += "      \"Sub Categories\": [" + subCategories + "],\n";
    json += "      \"Class Flags\": 0,\n";
    json += "      \"Cardinality\": 2147483647,\n";
    json += "      \"Snapshots\": []\n";
    json += "    }\n";
    json += "  ]\n";
    json += "}\n";
    std::ofstream out(argv[1], std::ios::binary);
    out << json;
    return out ? 0 : 1;
}
