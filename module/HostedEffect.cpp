// The hosted effect and its text model: both made and opened the same way for every wrapper.
#include "module/HostedEffect.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "effect/FlangerEffect.h"

namespace flanger::module {

namespace {

intptr_t answerModel(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// An initialised effect, or null (deleted) when it cannot be made.
effect::FlangerEffect* made(vst::HostCallback answer, host::EditorFactory editor) noexcept {
    auto* effect = new (std::nothrow) effect::FlangerEffect(answer, editor);
    if (effect != nullptr && !effect->initialise()) {
        delete effect;
        return nullptr;
    }
    return effect;
}

}  // namespace

HostedEffect::~HostedEffect() {
    if (soundingRecord != nullptr) dispatch(vst::effClose);  // deletes the effect and its editor
    if (textRecord != nullptr) textRecord->dispatcher(textRecord, vst::effClose, 0, 0, nullptr, 0.0f);
}

bool HostedEffect::open(vst::HostCallback answer, void* user, host::EditorFactory editor, double sampleRate,
                        int32_t maxBlock) noexcept {
    try {
        sounding = made(answer, editor);
        if (sounding == nullptr) return false;
        soundingRecord = sounding->effectRecord();
        soundingRecord->user = user;
        dispatch(vst::effOpen);
        dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
        dispatch(vst::effSetBlockSize, 0, maxBlock);
        selectProgram(0);

        textModel = made(&answerModel, nullptr);
        if (textModel == nullptr) return false;
        textRecord = textModel->effectRecord();
        textRecord->dispatcher(textRecord, vst::effOpen, 0, 0, nullptr, 0.0f);
        return true;
    } catch (...) {
        return false;
    }
}

intptr_t HostedEffect::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                float opt) noexcept {
    return soundingRecord->dispatcher(soundingRecord, opcode, index, value, ptr, opt);
}

int32_t HostedEffect::programCount() const noexcept {
    return std::max(soundingRecord->numPrograms, 1);
}

void HostedEffect::selectProgram(int32_t program) noexcept {
    if (program < 0 || program >= programCount()) return;
    dispatch(vst::effBeginSetProgram);
    dispatch(vst::effSetProgram, 0, program);
    dispatch(vst::effEndSetProgram);
}

bool HostedEffect::displayOf(int32_t index, float normalised, char* text, std::size_t capacity) noexcept {
    if (text == nullptr || capacity == 0) return false;
    try {
        std::lock_guard<std::mutex> hold(textLock);
        char shown[80] = {};
        textRecord->setParameter(textRecord, index, std::clamp(normalised, 0.0f, 1.0f));
        textRecord->dispatcher(textRecord, vst::effGetParamDisplay, index, 0, shown, 0.0f);
        shown[sizeof shown - 1] = 0;
        std::snprintf(text, capacity, "%s", shown);
        return true;
    } catch (...) {
        return false;
    }
}

bool HostedEffect::readText(int32_t index, const char* text, float& normalised) noexcept {
    if (text == nullptr) return false;
    try {
        std::lock_guard<std::mutex> hold(textLock);
        char copy[128];
        std::snprintf(copy, sizeof copy, "%s", text);
        // The model's own value shows what the grammar read.
        if (textRecord->dispatcher(textRecord, vst::effString2Parameter, index, 0, copy, 0.0f) == 0)
            return false;
        normalised = textRecord->getParameter(textRecord, index);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace flanger::module
