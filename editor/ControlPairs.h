// The flanger editor's knob/field pairs: which parameter each edits, where its controls stand
// and how the field shows its value; one table that building, layout and edits all read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "editor/EditorSkin.h"
#include "editor/FlangerEditor.h"
#include "gui/Geometry.h"
#include "params/FlangerParameters.h"

namespace flanger::editor {

inline constexpr float kRateKnobStep = 0.05f;

enum class KnobKind { Strip, Rotary, Slider };
enum class FieldFormat { Percent, Milliseconds, Hertz, Whole, Times };

// One row per knob/field pair: the parameter it edits, both controls' tags and places, and how
// the field shows its value. Rows are in the order the controls are made, each kind together.
struct PairRow {
    std::int32_t parameter;  // the rate pair: in free mode
    std::int32_t knob;
    std::int32_t field;
    KnobKind kind;
    gui::Rect knobSize;
    gui::Rect fieldSize;
    int fieldBackground;
    FieldFormat format;
    float knobStep = 0.0f;       // 0: the knob keeps its own step (stepped parameters: one step)
    bool followsMode = false;    // edits "SyncBeat" in sync mode, "Rate" in free mode
    bool shapesCurves = true;    // a change recomputes the modulation display's curves
    std::int32_t companion = 0;  // a further control on the same parameter, 0 for none

    constexpr PairRow stepping(float step) const {
        PairRow row = *this;
        row.knobStep = step;
        return row;
    }
    constexpr PairRow followingMode() const {
        PairRow row = *this;
        row.followsMode = true;
        return row;
    }
    constexpr PairRow leavingCurves() const {
        PairRow row = *this;
        row.shapesCurves = false;
        return row;
    }
    constexpr PairRow editedAlsoBy(std::int32_t tag) const {
        PairRow row = *this;
        row.companion = tag;
        return row;
    }
};

constexpr PairRow makePair(std::int32_t parameter, std::int32_t knob, std::int32_t field, KnobKind kind,
                           gui::Rect knobSize, gui::Rect fieldSize, int fieldBackground, FieldFormat format) {
    return {parameter, knob, field, kind, knobSize, fieldSize, fieldBackground, format};
}

inline constexpr PairRow kPairs[] = {
    makePair(params::FlangerParameters::kFeedback, FlangerEditor::kFeedbackKnob,
             FlangerEditor::kFeedbackField, KnobKind::Strip, gui::Rect{13, 154, 55, 196},
             gui::Rect{10, 139, 57, 151}, kFieldBackground, FieldFormat::Percent),
    makePair(params::FlangerParameters::kDelay, FlangerEditor::kDelayKnob, FlangerEditor::kDelayField,
             KnobKind::Strip, gui::Rect{63, 154, 105, 196}, gui::Rect{60, 139, 107, 151}, kFieldBackground,
             FieldFormat::Milliseconds),
    makePair(params::FlangerParameters::kDepth, FlangerEditor::kDepthKnob, FlangerEditor::kDepthField,
             KnobKind::Strip, gui::Rect{113, 154, 155, 196}, gui::Rect{110, 139, 157, 151}, kFieldBackground,
             FieldFormat::Percent),
    makePair(params::FlangerParameters::kStereo, FlangerEditor::kStereoKnob, FlangerEditor::kStereoField,
             KnobKind::Strip, gui::Rect{163, 154, 205, 196}, gui::Rect{160, 139, 207, 151}, kFieldBackground,
             FieldFormat::Percent)
        .leavingCurves()
        .editedAlsoBy(FlangerEditor::kStereoBar),
    makePair(params::FlangerParameters::kRate, FlangerEditor::kRateKnob, FlangerEditor::kRateField,
             KnobKind::Strip, gui::Rect{225, 154, 267, 196}, gui::Rect{222, 139, 253, 151},
             kRateFieldBackground, FieldFormat::Hertz)
        .stepping(kRateKnobStep)
        .followingMode(),
    makePair(params::FlangerParameters::kTmpSync, FlangerEditor::kTempoKnob, FlangerEditor::kTempoField,
             KnobKind::Rotary, gui::Rect{235, 47, 257, 69}, gui::Rect{222, 29, 269, 41}, kFieldBackground,
             FieldFormat::Times),
    makePair(params::FlangerParameters::kShapeSync, FlangerEditor::kShapeKnob, FlangerEditor::kShapeField,
             KnobKind::Rotary, gui::Rect{235, 102, 257, 124}, gui::Rect{222, 85, 269, 97}, kFieldBackground,
             FieldFormat::Whole),
    // The sliders run 141 pixels over the editor picture, not its height.
    makePair(params::FlangerParameters::kMix, FlangerEditor::kMixSlider, FlangerEditor::kMixField,
             KnobKind::Slider, gui::Rect{333, 48, 345, 189}, gui::Rect{325, 30, 352, 43},
             kLevelFieldBackground, FieldFormat::Percent)
        .leavingCurves(),
    makePair(params::FlangerParameters::kOutput, FlangerEditor::kOutputSlider, FlangerEditor::kOutputField,
             KnobKind::Slider, gui::Rect{293, 48, 305, 189}, gui::Rect{285, 30, 312, 43},
             kLevelFieldBackground, FieldFormat::Percent)
        .leavingCurves(),
};

template <typename Match>
const PairRow* findPair(Match&& match) {
    const auto* row = std::find_if(std::begin(kPairs), std::end(kPairs), match);
    return row != std::end(kPairs) ? row : nullptr;
}

// The pair whose knob, field or companion has the tag, or null. A companion of 0 is none: the
// about area's tag 0 edits nothing.
inline const PairRow* pairOfTag(std::int32_t tag) {
    return findPair([tag](const PairRow& row) {
        return row.knob == tag || row.field == tag || (row.companion != 0 && row.companion == tag);
    });
}

}  // namespace flanger::editor
