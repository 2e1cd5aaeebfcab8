// Filling in the program's folders at start-up.
#include "app/startup.h"

#include <QString>

#include "makerlibs/qvutility.h"
#include "platform/userdirs.h"

namespace pixhaven::app {

std::filesystem::path WorkingFolder() {
    return platform::TempFolder() / "Quillmark" / "Pixhaven";
}

void FillProgramFolders(ui::ProgramFolders& folders) {
    folders.programFolder = qvGetAppDirW();
    folders.workingFolder = WorkingFolder();
    qvCreateDirTreeW(folders.workingFolder);
}

void WorkOutImageFolder(ui::ProgramFolders& folders) {
    const QString override = qEnvironmentVariable("PIXHAVEN_IMAGE_DIR");
    folders.imageFolder = override.isEmpty() ? platform::ExecutableFile().parent_path() / "image"
                                             : std::filesystem::path(override.toStdU16String());
}

}  // namespace pixhaven::app
