// The flanger's parameter table: the eleven host parameters and the internal beats-per-cycle
// entry that tempo sync reads.
#pragma once

#include "params/ParameterTable.h"

namespace flanger::params {

class FlangerParameters : public ParameterTable {
public:
    enum ParameterIndex {
        kFeedback = 0,   // "Feedback" %, 0 … 100
        kDelay,          // "Delay" ms, 0.001 … 100: the sweep span
        kDepth,          // "Depth" %, 0 … 100
        kStereo,         // "Stereo" %, 0 … 100: stereo width
        kSwitch,         // "Switch", 0 free / 1 tempo sync
        kRate,           // "Rate" Hz, 0 … 5, free mode only
        kSyncBeat,       // "SyncBeat", note index 0 … 17 (params/NoteTable.h)
        kTmpSync,        // "TmpSync" x, 1 … 10: multiple of the note value
        kShapeSync,      // "ShapeSync", 0 … 16: turning point of the sweep in sixteenths
        kOutput,         // "Output" %, 0 … 100
        kMix,            // "Mix" %, 0 … 100
        kBeatsPerCycle,  // internal, no name: TmpSync × note beats, kept by the effect; always plain
        kParameterCount = 12
    };
    // The host sees entries 0 … 10 only.
    static constexpr int kHostParameterCount = 11;

    // Declares all twelve entries at their defaults; every entry starts flagged (changedCount 12).
    FlangerParameters();
};

// Whether an entry moves in whole steps only ("Switch", "SyncBeat", "TmpSync", "ShapeSync"):
// typed values round to a step, and a knob on it moves one step at a time.
bool isStepped(int index) noexcept;

// The one rule for the tempo-sync period: "TmpSync" × the length in beats of the "SyncBeat" note
// (as noteIndex reads it), stored plain into kBeatsPerCycle of a table holding the flanger's
// entries. A factor outside its range is held to it, one that is no number reads as its default.
void storeBeatsPerCycle(ParameterTable& table) noexcept;

}  // namespace flanger::params
