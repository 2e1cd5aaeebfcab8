#include "ui/programfolders.h"

#include <QPixmap>
#include <array>

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

QIcon ApplicationIcon() {
    constexpr std::array kSizes = {"appicon16.png", "appicon32.png", "appicon48.png", "appicon.png",
                                   "appicon256.png"};
    QIcon icon;
    for (const char* name : kSizes) {
        const QImage image = SkinImage(QString::fromLatin1(name));
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

}  // namespace pixhaven::ui
