// The update check and the start of the maker's updater, with the argument line it expects.
#pragma once

#include <QStringList>
#include <filesystem>
#include <string>
#include <string_view>

#include "ui/mainwindow.h"

namespace pixhaven::app {

// Names the single-instance lock and is handed to the updater.
inline constexpr std::string_view kProductId = "{8D5C2F0A-7B61-4E3C-9A24-61F0B7D3E58C}";
// The updater's second identifier of this product.
inline constexpr std::string_view kProductId2 = "{2E7A94B3-C05D-4F18-8B6E-D39A1C7F2046}";
inline constexpr std::u16string_view kProgramName = u"Pixhaven";

// The maker's update list: a file beside the program, as a file:// address.
std::u16string UpdateListAddress(const std::filesystem::path& programFolder);

// The updater's six arguments: short name, version, display name, dialog class, both identifiers.
QStringList UpdaterArguments(std::u16string_view version);

// The updater program in `programFolder`.
std::filesystem::path UpdaterProgram(const std::filesystem::path& programFolder);

// Starts the updater detached; a missing or failing updater is ignored.
void LaunchUpdater(const std::filesystem::path& programFolder, std::u16string_view version);

// What the main window needs to check for an update and start the updater, for this version and
// program folder. The check runs on its own thread and touches only copies.
ui::UpdateServices MakeUpdateServices(const std::filesystem::path& programFolder,
                                      std::u16string_view version);

}  // namespace pixhaven::app
