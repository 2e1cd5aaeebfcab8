// The home screen: the backup list and start-scan button, opening the selected backup, and the
// texts painted around the list.
#include "ui/homescreen.h"

#include <QMessageBox>
#include <QPainter>

#include "makerlibs/gildpaint_draw.h"
#include "ui/backuplist.h"
#include "ui/imgbutton.h"
#include "ui/maincontrols.h"
#include "ui/msgbox.h"
#include "ui/passwordbox.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

namespace pixhaven::ui {
namespace {

const QRect kPromptBox(87, 170, 610, 20);
const QRect kListFrame(86, 207, 805, 353);
const QRect kHintBox(90, 570, 700, 20);
const QString kPrompt =
    QStringLiteral("Select one iTunes backup file of your iOS device below and click StartScan.");
const QString kEmptyHint = QStringLiteral(
    "If your iOS device is not listed here,it's probably because your iOS device has not been "
    "synchronized with iTunes.");
const QString kSelectDevice = QStringLiteral("Please select a device in the list above to scan.");
const QString kManifestFailed = QStringLiteral("Parse Mainfest.mbdb failed!");

// Points at 96 dots per inch, as pixel heights.
constexpr int kPromptPixels = 16;  // 12 points
constexpr int kHintPixels = 13;    // 10 points

}  // namespace

HomeScreen::HomeScreen(QWidget& window, const std::filesystem::path& backupRoot,
                       ModalRunner runModal)
    : window_(window),
      runModal_(std::move(runModal)),
      backupRoot_(backupRoot.empty() ? backup::FindBackupRoot() : backupRoot) {
    startScanButton_ = new CImgButton(&window, MainControls::kStartScanId);
    startScanButton_->SetImage(QStringLiteral("startscan.png"), 420, -25, 4);
    connect(startScanButton_, &QAbstractButton::clicked, this, &HomeScreen::startScanClicked);

    backupList_ = new CListViewExBackups(&window);
    SetControlId(*backupList_, MainControls::kBackupListId);
    backupList_->setGeometry(QRect(QPoint(87, 208), QPoint(891 - 1, 560 - 1)));
    backupList_->AddColumn(QStringLiteral("DeviceName"), 250);
    backupList_->AddColumn(QStringLiteral("Last Backup Date"), 250);
    backupList_->AddColumn(QStringLiteral("Serial Number"), 290);

    Folders().backupRoot = backupRoot_;
    backupList_->SetBackupRows(backup::ListBackups(backupRoot_));
    startScanButton_->setVisible(backupList_->RowCount() > 0);
}

HomeScreen::Opened HomeScreen::OpenSelectedBackup(backup::WorkerObserver& observer,
                                                  backup::PictureFactory& pictures) {
    const int row = backupList_->SelectedRow();
    if (row < 0) {
        Tell(CMsgBox::kWarning, kSelectDevice);
        return {};
    }
    if (backupList_->RowInfo(row) == nullptr) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warnning"), kSelectDevice,
                        QMessageBox::Ok, &window_);
        runModal_(box);
        return {};
    }
    // Manifest.mbdb when the backup has one, else the modern Manifest.db.
    const std::filesystem::path folder = backupRoot_ / backupList_->Row(row)->folderName;
    backup::ScanSession::Opened opened = backup::ScanSession::Open(folder, observer, pictures);
    if (opened.problem == backup::ManifestProblem::PasswordNeeded) {
        std::optional<backup::ScanSession::Opened> unlocked =
            OpenWithPassword(folder, observer, pictures);
        if (!unlocked) {
            return {};  // the user cancelled
        }
        opened = std::move(*unlocked);
    }
    if (opened.problem != backup::ManifestProblem::None &&
        opened.problem != backup::ManifestProblem::Unreadable) {
        const std::string_view message = backup::ManifestProblemMessage(opened.problem);
        Tell(CMsgBox::kError,
             QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())));
        return {};
    }
    if (!opened.session || opened.session->GetManifest().empty()) {
        Tell(CMsgBox::kError, kManifestFailed);
        return {};
    }
    return {std::move(opened.session), *backupList_->RowInfo(row)};
}

std::optional<backup::ScanSession::Opened> HomeScreen::OpenWithPassword(
    const std::filesystem::path& folder, backup::WorkerObserver& observer,
    backup::PictureFactory& pictures) {
    // Runs on the box's checking thread. The session it makes only stores the observer and the
    // picture maker: nothing calls them before its scan starts on the window's thread.
    CPasswordBox box(&window_, [folder, &observer, &pictures](const backup::SecretBytes& password) {
        const std::string_view text(reinterpret_cast<const char*>(password.data()),
                                    password.size());
        return backup::ScanSession::Open(folder, observer, pictures, text);
    });
    if (runModal_(box) != CPasswordBox::kOkResult) {
        return std::nullopt;
    }
    return box.TakeOpened();
}

void HomeScreen::Tell(int icon, const QString& text) {
    CMsgBox box(&window_);
    box.Prepare(icon, CMsgBox::kOk, text, {}, {});
    runModal_(box);
}

void HomeScreen::Show() {
    startScanButton_->setVisible(backupList_->RowCount() > 0);
    backupList_->show();
}

void HomeScreen::Hide() {
    backupList_->hide();
    startScanButton_->hide();
}

void HomeScreen::Paint(QPainter& painter) const {
    constexpr int kFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter.setFont(get_font(QStringLiteral("Arial"), kPromptPixels, 700));
    painter.setPen(QColor(0x66, 0x66, 0x66));
    painter.drawText(kPromptBox, kFlags, kPrompt);
    painter.setPen(QColor(0xCB, 0xCB, 0xCB));
    painter.drawRect(kListFrame.adjusted(0, 0, -1, -1));
    if (backupList_->RowCount() == 0) {
        painter.setFont(get_font(QStringLiteral("Arial"), kHintPixels, 400));
        painter.setPen(QColor(0xC0, 0x6B, 0x07));
        painter.drawText(kHintBox, kFlags, kEmptyHint);
    }
}

}  // namespace pixhaven::ui
