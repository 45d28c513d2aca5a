// The skin as the flanger editor's code knows it: the ids of its bitmaps and the colours drawn in
// code (the open edit box, the note popup, the dimmed knob), from the one palette the art uses.
#pragma once

#include <cstdint>

#include "gui/Color.h"
#include "gui/editor/BitmapEditor.h"
#include "gui/menu/ChoiceMenu.h"
#include "resources/Palette.h"

namespace flanger::editor {

inline constexpr int kAboutPicture = 1000;
inline constexpr int kFieldBackground = 1002;
inline constexpr int kKnobStrip = 1003;
inline constexpr int kKnobHandle = 1004;
inline constexpr int kSliderHandle = 1005;
inline constexpr int kDisplayBackground = 1006;
inline constexpr int kLevelFieldBackground = 1007;
inline constexpr int kRateFieldBackground = 1008;
inline constexpr int kWidthBarBackground = 1009;
inline constexpr int kLamp = 1010;
// The size of the modulation display's picture, and of the display when the picture is missing.
inline constexpr int kDisplayWidth = 196;
inline constexpr int kDisplayHeight = 74;

// The skin's palette, for what is drawn in code: the open edit box, the note popup, the dimmed knob.
inline constexpr std::uint32_t kSkinScreen = resources::palette::kScreen;
inline constexpr std::uint32_t kSkinScreenEdge = resources::palette::kScreenEdge;
inline constexpr std::uint32_t kSkinPanel = resources::palette::kPanel;
inline constexpr std::uint32_t kSkinAccent = resources::palette::kAccent;
inline constexpr std::uint32_t kSkinAccentDeep = resources::palette::kAccentDeep;
inline constexpr std::uint32_t kSkinDimLabel = resources::palette::kDimLabel;

constexpr gui::Color colourOf(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb), 0};
}

// The note popup as the skin's screens look: dark paper, light text, the accent for the pick.
inline constexpr gui::menu::PopupLook kNotePopupLook{.paper = kSkinScreen,
                                                     .ink = resources::palette::kTitle,
                                                     .greyInk = kSkinDimLabel,
                                                     .highlight = kSkinAccentDeep,
                                                     .highlightInk = 0xFFFFFFu,
                                                     .edge = kSkinScreenEdge,
                                                     .mark = kSkinAccent,
                                                     .fontId = gui::editor::BitmapEditor::kFactoryFontId};

}  // namespace flanger::editor
