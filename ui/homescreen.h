// The main window's home screen: the backups found under the backup root, the button that scans
// the selected one, and the prompt and hint painted around the list.
#pragma once

#include <QDialog>
#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "backup/discovery.h"
#include "backup/scansession.h"

class QPainter;

namespace pixhaven::ui {

class CImgButton;
class CListViewExBackups;

class HomeScreen final : public QObject {
    Q_OBJECT
public:
    // Runs a box modally and returns its result; the window's, so tests can answer it.
    using ModalRunner = std::function<int(QDialog& box)>;

    // Creates the screen's controls on `window` and lists the backups under `backupRoot` (the
    // user's own backup root when empty).
    HomeScreen(QWidget& window, const std::filesystem::path& backupRoot, ModalRunner runModal);

    // The selected backup, opened for scanning with the window's observer and picture maker.
    // None, once the user has been told why, when nothing is selected or it cannot be read.
    struct Opened {
        std::unique_ptr<backup::ScanSession> session;
        backup::BackupInfo device;
    };
    Opened OpenSelectedBackup(backup::WorkerObserver& observer, backup::PictureFactory& pictures);

    void Show();
    void Hide();
    // The prompt, the frame around the list and, with no backups, the hint below it.
    void Paint(QPainter& painter) const;

signals:
    void startScanClicked();

private:
    // Asks for the password of the encrypted backup in `folder` until it opens it or fails for
    // another reason; none when the user cancels.
    std::optional<backup::ScanSession::Opened> OpenWithPassword(const std::filesystem::path& folder,
                                                                backup::WorkerObserver& observer,
                                                                backup::PictureFactory& pictures);
    void Tell(int icon, const QString& text);

    QWidget& window_;
    ModalRunner runModal_;
    std::filesystem::path backupRoot_;
    // Children of the window, which deletes them.
    CImgButton* startScanButton_ = nullptr;
    CListViewExBackups* backupList_ = nullptr;
};

}  // namespace pixhaven::ui
