// The main window's control and menu ids in one table. Each control carries its id as object name,
// which is how tests find it; the window's screens each create the controls they show.
#pragma once

#include <QWidget>
#include <initializer_list>

namespace pixhaven::ui {

struct MainControls {
    enum Id : int {
        kCloseId = 1000,
        kMinimiseId = 1001,
        kBackupListId = 1002,
        kStartScanId = 1003,
        kTreeId = 1004,
        kFileListId = 1005,
        kBackId = 1006,
        kRecoverId = 1007,
        kProgressId = 1012,
        kBusyTextId = 1018,
        kPauseId = 1019,
        kContinueId = 1020,
        kPercentId = 1021,
        kStopId = 1022,
        kStatusId = 1023,
        kDevicePanelId = 1032,
        kPrevPageId = 1039,
        kNextPageId = 1040,
        kPageLabelId = 1041,
        kGoPageId = 1042,
        kPageEditId = 1043,
        kMenuId = 1046,
    };
    // The commands of the menu button's pop-up menu.
    enum MenuCommand : int {
        kMenuHome = 20000,
        kMenuHelp = 20003,
        kMenuCheckUpdate = 20004,
        kMenuAbout = 20005,
        kMenuExit = 20006,
    };
};

// Shows or hides a group of controls together.
inline void SetShown(std::initializer_list<QWidget*> controls, bool shown) {
    for (QWidget* control : controls) {
        control->setVisible(shown);
    }
}

}  // namespace pixhaven::ui
