// A host callback for unit tests: records every request and answers from settable values.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "host/VstInterface.h"

namespace flanger::testing {

struct HostRequest {
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
};

class RecordingHost {
public:
    RecordingHost() { current() = this; }
    ~RecordingHost() { current() = nullptr; }

    static intptr_t callback(vst::EffectRecord*, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                             float opt) {
        RecordingHost* host = current();
        if (host == nullptr) return 0;
        host->requests.push_back({opcode, index, value, ptr, opt});
        if (opcode == vst::audioMasterGetTime) return host->timeAnswer;
        if (opcode == vst::audioMasterPinConnected) {
            auto& answers = value == 0 ? host->inputPinAnswers : host->outputPinAnswers;
            auto found = answers.find(index);
            return found == answers.end() ? 0 : found->second;
        }
        auto found = host->answers.find(opcode);
        return found == host->answers.end() ? 0 : found->second;
    }

    int count(int32_t opcode) const {
        int n = 0;
        for (const auto& r : requests) n += r.opcode == opcode ? 1 : 0;
        return n;
    }

    std::vector<HostRequest> requests;
    std::map<int32_t, intptr_t> answers{{vst::audioMasterVersion, 2400}};
    std::map<int32_t, intptr_t> inputPinAnswers;
    std::map<int32_t, intptr_t> outputPinAnswers;
    intptr_t timeAnswer = 0;

private:
    static RecordingHost*& current() {
        static RecordingHost* instance = nullptr;
        return instance;
    }
};

}  // namespace flanger::testing
