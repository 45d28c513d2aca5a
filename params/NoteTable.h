// The note values of tempo sync: display names and lengths in beats (a beat is a quarter note).
// Straight values first, then triplets (two thirds as long), then dotted (half as long again).
#pragma once

namespace flanger::params {

constexpr int kNoteCount = 18;

extern const char* const noteNames[kNoteCount];  // "1/1" … "1/32", "1/1 T" … "1/32 T", "1/1 D" … "1/32 D"
extern const float noteBeats[kNoteCount];        // 4, 2, 1, … 0.1875

// The note index of a "SyncBeat" value: truncated toward zero and clamped to 0 … 17, so no
// value a table can hold (negative, huge, NaN → 0) indexes outside the note table.
int noteIndex(float plainValue);

}  // namespace flanger::params
