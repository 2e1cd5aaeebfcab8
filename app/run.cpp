// Start-up in the program's order: folders, settings, single instance, image folder, main window.
#include "app/run.h"

#include <QApplication>
#include <utility>

#include "app/settings.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "app/update.h"
#include "ui/mainwindow.h"
#include "ui/programfolders.h"

namespace pixhaven::app {

int Run() {
    ui::ProgramFolders& folders = ui::Folders();
    FillProgramFolders(folders);
    AppSettings() = LoadSettings();

    // Held until Run returns, which is the end of the process for the program itself.
    const SingleInstance instance(InstanceLockFile(kProductId));
    if (instance.AnotherIsRunning()) {
        return 0;
    }
    WorkOutImageFolder(folders);
    QApplication::setWindowIcon(ui::ApplicationIcon());

    ui::DesktopServices desktop;
    desktop.version = QString::fromStdU16String(AppSettings().version);
    ui::CMainDlg window(MakeUpdateServices(folders.programFolder, AppSettings().version),
                        std::move(desktop));
    return window.exec();
}

}  // namespace pixhaven::app
