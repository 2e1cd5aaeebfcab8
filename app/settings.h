// The persisted settings, kept in the current user's key "Software\Quillmark\Pixhaven": one
// record per process, loaded at start-up with defaults written back on first run.
#pragma once

#include <string>
#include <string_view>

namespace pixhaven::app {

inline constexpr std::u16string_view kSettingsKey = u"Software\\Quillmark\\Pixhaven";
inline constexpr std::u16string_view kDefaultVersion = u"6.0.0";
inline constexpr int kDefaultLanguage = 1;

struct Settings {
    std::u16string version;
    int runAtBoot = 0;
    int noClose = 0;
    int minToTray = 0;
    int noPromptAgain = 0;
    int autoUpdate = 0;
    int appLanguage = 0;
};

// Reads every value from the store; a value that cannot be read gets its default, which is also
// written back. When the key cannot be opened or created nothing is read or written and the
// record stays empty (empty version, every number 0).
Settings LoadSettings();

// The process's record, empty until start-up loads it.
Settings& AppSettings();

}  // namespace pixhaven::app
