// The flanger as an LV2 plug-in: a thin host around the same effect the VST module exports.
// Control ports are written through the effect's own set-parameter entry (normalised, held to
// range, stepped, as a VST host's write), audio runs through its overwriting process entry, and
// the host tempo from a time:Position event is answered to its time request.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <new>

#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "module/lv2/Lv2Ports.h"

namespace {

using namespace flanger;

struct Uris {
    LV2_URID object = 0, blank = 0, position = 0, beatsPerMinute = 0;
    LV2_URID atomFloat = 0, atomDouble = 0, atomInt = 0, atomLong = 0;
};

struct Instance {
    effect::FlangerEffect* effect = nullptr;  // owned through its record: effClose deletes it
    vst::EffectRecord* record = nullptr;
    const float* controls[lv2::kControlCount] = {};
    float written[lv2::kControlCount] = {};
    bool anyWritten[lv2::kControlCount] = {};
    const float* inputs[2] = {};
    float* outputs[2] = {};
    const LV2_Atom_Sequence* time = nullptr;
    bool mapped = false;
    Uris uris;
    bool tempoKnown = false;
    vst::VstTimeInfo timeInfo{};
};

// The effect asks its host for the version while it is made, and for the time while it runs;
// nothing else it asks needs an answer here.
intptr_t answerEffect(vst::EffectRecord* record, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterGetTime && record != nullptr) {
        auto* self = static_cast<Instance*>(record->user);
        if (self != nullptr && self->tempoKnown) return reinterpret_cast<intptr_t>(&self->timeInfo);
    }
    return 0;
}

intptr_t dispatch(Instance& self, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                  float opt = 0.0f) {
    return self.record->dispatcher(self.record, opcode, index, value, ptr, opt);
}

const LV2_Feature* findFeature(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features) {
        if (std::strcmp((*features)->URI, uri) == 0) return *features;
    }
    return nullptr;
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    // The rates the effect refuses from a VST host are refused here too, by not starting.
    if (!(rate >= lv2::kLowestRate && rate <= lv2::kHighestRate)) return nullptr;
    try {
        auto* self = new (std::nothrow) Instance;
        if (self == nullptr) return nullptr;
        self->effect = new (std::nothrow) effect::FlangerEffect(&answerEffect, nullptr);
        if (self->effect == nullptr || !self->effect->initialise()) {
            delete self->effect;
            delete self;
            return nullptr;
        }
        self->record = self->effect->effectRecord();
        self->record->user = self;
        if (const LV2_Feature* f = findFeature(features, LV2_URID__map); f != nullptr && f->data != nullptr) {
            auto* map = static_cast<LV2_URID_Map*>(f->data);
            Uris& u = self->uris;
            u.object = map->map(map->handle, LV2_ATOM__Object);
            u.blank = map->map(map->handle, LV2_ATOM__Blank);
            u.position = map->map(map->handle, LV2_TIME__Position);
            u.beatsPerMinute = map->map(map->handle, LV2_TIME__beatsPerMinute);
            u.atomFloat = map->map(map->handle, LV2_ATOM__Float);
            u.atomDouble = map->map(map->handle, LV2_ATOM__Double);
            u.atomInt = map->map(map->handle, LV2_ATOM__Int);
            u.atomLong = map->map(map->handle, LV2_ATOM__Long);
            self->mapped = true;
        }
        dispatch(*self, vst::effOpen);
        dispatch(*self, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        dispatch(*self, vst::effSetBlockSize, 0, lv2::kAnnouncedBlock);
        // The host's defaults are program 0's values; the ports write them again on the first run.
        dispatch(*self, vst::effSetProgram, 0, 0);
        return self;
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto& self = *static_cast<Instance*>(handle);
    if (port < lv2::kControlCount)
        self.controls[port] = static_cast<const float*>(data);
    else if (port == lv2::kInputLeft || port == lv2::kInputRight)
        self.inputs[port - lv2::kInputLeft] = static_cast<const float*>(data);
    else if (port == lv2::kOutputLeft || port == lv2::kOutputRight)
        self.outputs[port - lv2::kOutputLeft] = static_cast<float*>(data);
    else if (port == lv2::kTimePort)
        self.time = static_cast<const LV2_Atom_Sequence*>(data);
}

void activate(LV2_Handle handle) {
    dispatch(*static_cast<Instance*>(handle), vst::effMainsChanged, 0, 1);
}

void deactivate(LV2_Handle handle) {
    dispatch(*static_cast<Instance*>(handle), vst::effMainsChanged, 0, 0);
}

bool readNumber(const Uris& u, const LV2_Atom* atom, double& value) {
    if (atom == nullptr) return false;
    if (atom->type == u.atomFloat)
        value = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == u.atomDouble)
        value = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else if (atom->type == u.atomInt)
        value = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == u.atomLong)
        value = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else
        return false;
    return std::isfinite(value);
}

// The last tempo the host announced in this run's time events.
void takeTempo(Instance& self) {
    if (self.time == nullptr || !self.mapped) return;
    const Uris& u = self.uris;
    LV2_ATOM_SEQUENCE_FOREACH(self.time, event) {
        if (event->body.type != u.object && event->body.type != u.blank) continue;
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        if (object->body.otype != u.position) continue;
        const LV2_Atom* bpm = nullptr;
        lv2_atom_object_get(object, u.beatsPerMinute, &bpm, 0);
        double tempo = 0.0;
        if (readNumber(u, bpm, tempo) && tempo >= 0.0) {
            self.timeInfo.tempo = tempo;
            self.timeInfo.flags = vst::kVstTempoValid;
            self.tempoKnown = true;
        }
    }
}

void run(LV2_Handle handle, uint32_t frames) {
    auto& self = *static_cast<Instance*>(handle);
    if (frames == 0 || frames > static_cast<uint32_t>(INT32_MAX)) return;
    if (self.inputs[0] == nullptr || self.inputs[1] == nullptr || self.outputs[0] == nullptr ||
        self.outputs[1] == nullptr)
        return;
    const params::ParameterTable* table = self.effect->parameterTable();
    for (uint32_t i = 0; i < lv2::kControlCount; ++i) {
        if (self.controls[i] == nullptr) continue;
        const float value = *self.controls[i];
        // Hosts do not always clamp; a value that is no number changes nothing.
        if (!std::isfinite(value) || (self.anyWritten[i] && value == self.written[i])) continue;
        self.written[i] = value;
        self.anyWritten[i] = true;
        const float normalised = table->normalize(static_cast<int>(i), value);
        self.record->setParameter(self.record, static_cast<int32_t>(i),
                                  normalised < 0.0f   ? 0.0f
                                  : normalised > 1.0f ? 1.0f
                                                      : normalised);
    }
    takeTempo(self);
    // The effect takes its inputs in before it writes: outputs may be the inputs' buffers.
    float* in[2] = {const_cast<float*>(self.inputs[0]), const_cast<float*>(self.inputs[1])};
    self.record->processReplacing(self.record, in, self.outputs, static_cast<int32_t>(frames));
}

void cleanup(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    dispatch(*self, vst::effClose);  // deletes the effect
    delete self;
}

const void* extensionData(const char*) {
    return nullptr;
}

const LV2_Descriptor kDescriptor = {lv2::kPluginUri, instantiate, connectPort,  activate, run,
                                    deactivate,      cleanup,     extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
