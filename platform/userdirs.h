// Where this user's and this program's folders are on the running platform. A folder that cannot
// be worked out (no home folder) is answered with an empty path.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

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

// The file name of the program called `name`: with ".exe" on Windows, `name` itself elsewhere.
std::filesystem::path ProgramFileName(std::string_view name);

// The folders in which the device maker's desktop software keeps its per-user data, most usual
// first: "Apple Computer" below the application-data folder `appData` (`appData` itself on
// macOS), and on Windows also "Apple" below the user's profile, where newer desktop software
// keeps it. An empty `appData` and folders that cannot be worked out are left out.
std::vector<std::filesystem::path> DeviceSoftwareFolders(const std::filesystem::path& appData);

}  // namespace pixhaven::platform
