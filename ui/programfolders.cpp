#include "ui/programfolders.h"

#include "makerlibs/qvutility.h"

namespace pixhaven::ui {
namespace {

ProgramFolders MakeFolders() {
    ProgramFolders folders;
    folders.programFolder = qvGetAppDirW();
    const QString override = qEnvironmentVariable("PIXHAVEN_IMAGE_DIR");
    folders.imageFolder = override.isEmpty() ? folders.programFolder / "image"
                                             : std::filesystem::path(override.toStdU16String());
    return folders;
}

}  // namespace

ProgramFolders& Folders() {
    static ProgramFolders folders = MakeFolders();
    return folders;
}

QImage SkinImage(const QString& fileName) {
    const std::filesystem::path file = Folders().imageFolder / fileName.toStdU16String();
    return QImage(QString::fromStdU16String(file.u16string()));
}

}  // namespace pixhaven::ui
