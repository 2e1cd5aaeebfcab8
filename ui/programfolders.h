// The program's folders, one record per process: where it runs from, its working folder, the
// backup root and the folder its skin images are loaded from.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <filesystem>

namespace pixhaven::ui {

struct ProgramFolders {
    std::filesystem::path programFolder;  // the executable's folder
    std::filesystem::path workingFolder;  // temp folder / "Quillmark" / "Pixhaven"
    std::filesystem::path backupRoot;     // filled when the main window initialises
    std::filesystem::path imageFolder;    // program folder / "image"
};

// The process's record, made on first use with the program and image folders filled in. The
// environment variable PIXHAVEN_IMAGE_DIR, when set, names another image folder (tests use it).
ProgramFolders& Folders();

// A skin image by plain file name from the image folder; a null image when it is missing (the
// element it belongs to then stays blank).
QImage SkinImage(const QString& fileName);

// The program's icon from the skin, at every size rendered (16 to 256 pixels); sizes whose image
// is missing are left out.
QIcon ApplicationIcon();

}  // namespace pixhaven::ui
