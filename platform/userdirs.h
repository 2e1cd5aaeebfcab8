// Where this user's and this program's folders are on the running platform. A folder that cannot
// be worked out (no home folder) is answered with an empty path.
#pragma once

#include <filesystem>

namespace pixhaven::platform {

// Per-user application data: %APPDATA% on Windows, ~/Library/Application Support on macOS,
// $XDG_DATA_HOME or ~/.local/share elsewhere.
std::filesystem::path UserDataFolder();

// Per-user configuration: %APPDATA% on Windows, ~/Library/Preferences on macOS,
// $XDG_CONFIG_HOME or ~/.config elsewhere.
std::filesystem::path UserConfigFolder();

// The user's temporary folder.
std::filesystem::path TempFolder();

// The running executable's own file.
std::filesystem::path ExecutableFile();

}  // namespace pixhaven::platform
