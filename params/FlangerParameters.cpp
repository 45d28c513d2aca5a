// The flanger's twelve entries: names, units, defaults, ranges and steps.
#include "params/FlangerParameters.h"

#include <algorithm>
#include <cmath>

#include "params/NoteTable.h"

namespace flanger::params {

FlangerParameters::FlangerParameters() : ParameterTable(kParameterCount) {
    // Declared in the order the saved programs and the editor were laid out against.
    declareParameter(kMix, 50.0f, 0.0f, 100.0f, 1.0f, "%", "Mix");
    declareParameter(kDelay, 50.0f, 0.001f, 100.0f, 0.001f, "ms", "Delay");
    declareParameter(kDepth, 50.0f, 0.0f, 100.0f, 1.0f, "%", "Depth");
    declareParameter(kFeedback, 50.0f, 0.0f, 100.0f, 1.0f, "%", "Feedback");
    declareParameter(kRate, 1.0f, 0.0f, 5.0f, 0.01f, "Hz", "Rate");
    declareParameter(kStereo, 50.0f, 0.0f, 100.0f, 1.0f, "%", "Stereo");
    declareParameter(kSyncBeat, 0.0f, 0.0f, 17.0f, 1.0f, "beat", "SyncBeat");
    declareParameter(kShapeSync, 0.0f, 0.0f, 16.0f, 1.0f, "", "ShapeSync");
    declareParameter(kTmpSync, 1.0f, 1.0f, 10.0f, 1.0f, "x", "TmpSync");
    // Beats per sweep cycle: from a 1/32 triplet (1/12 beat) to ten dotted whole notes (60).
    declareParameter(kBeatsPerCycle, 1.0f, 1.0f / 12.0f, 60.0f, 0.0f, "", "");
    declareParameter(kSwitch, 0.0f, 0.0f, 1.0f, 1.0f, "", "Switch");
    declareParameter(kOutput, 100.0f, 0.0f, 100.0f, 1.0f, "%", "Output");
}

bool isStepped(int index) noexcept {
    using P = FlangerParameters;
    return index == P::kSwitch || index == P::kSyncBeat || index == P::kTmpSync || index == P::kShapeSync;
}

void storeBeatsPerCycle(ParameterTable& table) noexcept {
    using P = FlangerParameters;
    const int note = noteIndex(table.peekPlain(P::kSyncBeat));
    float factor = table.peekPlain(P::kTmpSync);
    if (!std::isfinite(factor)) factor = table.defaultValue(P::kTmpSync);
    factor = std::clamp(factor, table.minimum(P::kTmpSync), table.maximum(P::kTmpSync));
    table.setPlain(P::kBeatsPerCycle, factor * noteBeats[note]);
}

}  // namespace flanger::params
