// The note table.
#include "params/NoteTable.h"

namespace flanger::params {

const char* const noteNames[kNoteCount] = {
    "1/1",   "1/2",    "1/4",    "1/8",   "1/16",  "1/32",  "1/1 T", "1/2 T",  "1/4 T",
    "1/8 T", "1/16 T", "1/32 T", "1/1 D", "1/2 D", "1/4 D", "1/8 D", "1/16 D", "1/32 D",
};

const float noteBeats[kNoteCount] = {
    4.0f,        2.0f,        1.0f,         0.5f, 0.25f, 0.125f, 8.0f / 3.0f, 4.0f / 3.0f, 2.0f / 3.0f,
    1.0f / 3.0f, 1.0f / 6.0f, 1.0f / 12.0f, 6.0f, 3.0f,  1.5f,   0.75f,       0.375f,      0.1875f,
};

int noteIndex(float plainValue) {
    if (!(plainValue >= 0.0f)) return 0;  // negative and NaN
    if (plainValue >= static_cast<float>(kNoteCount - 1)) return kNoteCount - 1;
    return static_cast<int>(plainValue);
}

}  // namespace flanger::params
