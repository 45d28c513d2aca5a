// The user's own settings, kept between sessions in a small text file of key=value lines (the
// editor size chosen from its menu). Any instance of the plug-in, in any host, reads and writes it.
#pragma once

#include <string>

namespace flanger::platform {

// Where the file lives: $XDG_CONFIG_HOME/BrackwaterFlanger/settings (~/.config when that is unset,
// empty or relative) or %APPDATA%\BrackwaterFlanger\settings, in UTF-8; empty when neither the
// environment nor the system names a place.
std::string userSettingsPath();

// The editor size the user last chose, in percent; 0 when none was saved, or the file is missing,
// unreadable, not ours, damaged or holds a size outside 100–400.
int savedEditorScale() noexcept;

// Saves percent (100–400) as the chosen editor size, keeping the file's other settings. The file
// is replaced at once by a complete new one, so another instance saving at the same time, or a
// crash, never leaves it half-written; false on any failure, with the old file left as it was.
bool saveEditorScale(int percent) noexcept;

}  // namespace flanger::platform
