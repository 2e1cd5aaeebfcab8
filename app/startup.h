// The program's folders as start-up fills them in: where it runs from, its working folder in the
// user's temporary folder, and the folder its skin images come from.
#pragma once

#include <filesystem>

#include "ui/programfolders.h"

namespace pixhaven::app {

// The user's temporary folder + "Quillmark/Pixhaven".
std::filesystem::path WorkingFolder();

// Fills the program and working folders and creates the working folder; a folder that cannot be
// created is ignored, as nothing is kept there.
void FillProgramFolders(ui::ProgramFolders& folders);

// The running executable's folder + "image"; PIXHAVEN_IMAGE_DIR, when set, names another folder.
void WorkOutImageFolder(ui::ProgramFolders& folders);

}  // namespace pixhaven::app
