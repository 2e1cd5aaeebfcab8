// The main window's end-to-end suites share this: a generated sample root and a window over it
// whose message boxes and folder picker answer by script.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QTest>
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/media.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"
#include "ui/backuplist.h"
#include "ui/categorytree.h"
#include "ui/imgbutton.h"
#include "ui/listviewcheck.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/passwordbox.h"

namespace pixhaven::test {

inline constexpr int kScanTimeoutMs = 60000;
inline constexpr int kUnchecked = 1;
inline constexpr int kChecked = 2;
inline constexpr backup::MediaKind kPhotos = backup::MediaKind::Photo;
inline constexpr backup::MediaKind kAudioVideo = backup::MediaKind::AudioVideo;
inline const std::string kDevice = "Jonathan's iPhone";
inline const std::string kLongName = "Jonathan Alexander Wolfgang";
inline const std::filesystem::path kLongNameFolder = "ffffffffffffffffffffffffffffffffffffffff";

// A box the window ran: its text (the password box's prompt; the system box's caption and text).
struct ShownBox {
    QString text;
    QString caption;
    bool system = false;
};

// A window over `root` whose boxes and folder picker answer from the script.
struct Flow {
    std::vector<ShownBox> boxes;
    int answer = ui::CMsgBox::kOkResult;
    // Typed into password boxes in turn; once they run out, the box is cancelled.
    std::vector<QString> passwords;
    // What a password box said after each password that did not open the backup, or "not asked
    // again" when it did not clear its entry and take the keyboard back for the next one.
    std::vector<QString> notices;
    QString folder;
    std::vector<QString> opened;
    std::function<void(QDialog&)> onBox;
    std::unique_ptr<ui::CMainDlg> window;

    explicit Flow(const std::filesystem::path& root) {
        ui::DesktopServices desktop;
        desktop.backupRoot = root;
        desktop.runModal = [this](QDialog& box) { return Answer(box); };
        desktop.chooseFolder = [this](QWidget*, const QString&) { return folder; };
        desktop.openAddress = [this](const QString& target) { opened.push_back(target); };
        desktop.openFolder = desktop.openAddress;
        window = std::make_unique<ui::CMainDlg>(ui::UpdateServices{}, std::move(desktop));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    int Answer(QDialog& box) {
        ShownBox shown;
        if (const auto* message = qobject_cast<ui::CMsgBox*>(&box)) {
            shown.text = message->Text();
        } else if (const auto* system = qobject_cast<QMessageBox*>(&box)) {
            shown = {system->text(), system->windowTitle(), true};
        }
        if (const auto* password = qobject_cast<ui::CPasswordBox*>(&box)) {
            shown.text = password->Prompt();
        }
        boxes.push_back(shown);
        if (onBox) {
            onBox(box);
        }
        if (auto* password = qobject_cast<ui::CPasswordBox*>(&box)) {
            return AnswerPassword(*password);
        }
        return answer;
    }
    // Types each scripted password and waits for its check, as a person would.
    int AnswerPassword(ui::CPasswordBox& box) {
        box.show();
        for (; !passwords.empty() && box.result() == 0; passwords.erase(passwords.begin())) {
            box.Entry()->setText(passwords.front());
            QTest::keyClick(box.Entry(), Qt::Key_Return);
            if (!QTest::qWaitFor([&box] { return !box.Checking(); }, kScanTimeoutMs)) {
                break;
            }
            if (box.result() == 0) {
                const bool askedAgain = box.isVisible() && box.Entry()->text().isEmpty() &&
                                        box.Entry()->isEnabled() &&
                                        box.focusWidget() == box.Entry();
                notices.push_back(askedAgain ? box.Notice() : QStringLiteral("not asked again"));
            }
        }
        if (box.result() == 0) {
            box.Button(ui::CPasswordBox::kCancelResult)->click();
        }
        box.hide();
        return box.result();
    }
    // Every box from now on is shown and saved as screenshot `name` before it is answered.
    void ScreenshotBoxesAs(const QString& name) {
        onBox = [name](QDialog& box) {
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            SaveScreenshot(box, name);
            box.hide();
        };
    }

    template <typename T>
    T* Control(int id) const {
        return window->findChild<T*>(QString::number(id));
    }
    QAbstractButton* Button(int id) const { return Control<QAbstractButton>(id); }
    ui::CTreeViewEx1* Tree() const { return Control<ui::CTreeViewEx1>(ui::CMainDlg::kTreeId); }
    ui::CListViewCheck1* FileList() const {
        return Control<ui::CListViewCheck1>(ui::CMainDlg::kFileListId);
    }
    ui::CListViewExBackups* Backups() const {
        return Control<ui::CListViewExBackups>(ui::CMainDlg::kBackupListId);
    }
    bool Shown(int id) const {
        const QWidget* control = Control<QWidget>(id);
        return control != nullptr && control->isVisible();
    }
    QString LastText() const { return boxes.empty() ? QString() : boxes.back().text; }

    void SelectRowOf(const std::string& deviceName) {
        ui::CListViewExBackups& list = *Backups();
        for (int row = 0; row < list.RowCount(); ++row) {
            const auto* info = list.RowInfo(row);
            const bool noInfo = deviceName.empty() && info == nullptr;
            if (noInfo || (info != nullptr && QString::fromStdU16String(info->deviceName) ==
                                                  QString::fromStdString(deviceName))) {
                list.setCurrentItem(list.topLevelItem(row));
                return;
            }
        }
        QFAIL("no such backup row");
    }

    void SelectFolder(const std::string& folderName) {
        ui::CListViewExBackups& list = *Backups();
        for (int row = 0; row < list.RowCount(); ++row) {
            if (list.Row(row)->folderName == folderName) {
                list.setCurrentItem(list.topLevelItem(row));
                return;
            }
        }
        QFAIL("no such backup folder");
    }

    // Starts scanning the backup of `deviceName` without waiting for the scan.
    void StartScan(const std::string& deviceName = kDevice) {
        SelectRowOf(deviceName);
        Button(ui::CMainDlg::kStartScanId)->click();
    }
    void Scan(const std::string& deviceName = kDevice) {
        StartScan(deviceName);
        QTRY_VERIFY_WITH_TIMEOUT(window->ScanComplete(), kScanTimeoutMs);
    }

    auto& Items(int category) const {
        return window->Results().groups[static_cast<std::size_t>(category)];
    }
    int CountOf(int category) const { return static_cast<int>(Items(category).size()); }
    int CountOfAll() const {
        int count = 0;
        for (int category = 0; category < backup::kGroupCount; ++category) {
            count += CountOf(category);
        }
        return count;
    }
    // The first category of `kind` with results, -1 for none.
    int FirstWithItems(backup::MediaKind kind) const {
        for (const backup::MediaGroup& group : backup::kMediaGroups) {
            if (group.kind == kind && CountOf(group.index) > 0) {
                return group.index;
            }
        }
        return -1;
    }
    bool AllTicked(int category) const {
        const auto& items = Items(category);
        return std::all_of(items.begin(), items.end(),
                           [](const auto& item) { return item->checked.load() != 0; });
    }
    bool NoneTicked(int category) const {
        const auto& items = Items(category);
        return std::none_of(items.begin(), items.end(),
                            [](const auto& item) { return item->checked.load() != 0; });
    }

    int State(int category) const {
        return ui::CTreeViewEx1::ItemState(Tree()->CategoryItem(category));
    }
    int RootState() const { return ui::CTreeViewEx1::ItemState(Tree()->RootItem()); }
    void ClickTreeBox(QTreeWidgetItem* item) {
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                          Tree()->CheckBoxRect(item).center());
    }
    void ClickCategoryBox(int category) { ClickTreeBox(Tree()->CategoryItem(category)); }
    void ClickRootBox() { ClickTreeBox(Tree()->RootItem()); }
    void ClickRowBox(int row) {
        QTest::mouseClick(FileList()->viewport(), Qt::LeftButton, {},
                          FileList()->CheckBoxRect(row).center());
    }
    void Show(int category) { Tree()->setCurrentItem(Tree()->CategoryItem(category)); }
    // Scans and shows the first category of `kind` with results; that category.
    int ScanAndShowFirst(backup::MediaKind kind) {
        Scan();
        const int category = FirstWithItems(kind);
        Show(category);
        return category;
    }

    // Scans, ticks the root and starts recovering into `out`; the number of boxes shown before.
    std::size_t StartRecoveringEverything(const TempDir& out) {
        Scan();
        ClickRootBox();
        folder = QString::fromStdU16String(out.path().u16string());
        const auto before = boxes.size();
        Button(ui::CMainDlg::kRecoverId)->click();
        return before;
    }
};

// A copy of the backup whose device name is too wide for the tree.
inline void CopyUnderLongName(const std::filesystem::path& folder) {
    const std::filesystem::path copy = folder.parent_path() / kLongNameFolder;
    std::filesystem::copy(folder, copy, std::filesystem::copy_options::recursive);
    std::string plist = ReadFile(copy / "info.plist");
    for (auto at = plist.find("Jonathan"); at != std::string::npos;
         at = plist.find("Jonathan", at + kLongName.size())) {
        plist.replace(at, std::string("Jonathan").size(), kLongName);
    }
    WriteFile(copy / "info.plist", plist);
}

// The sample root, with a copy of the first device under a long name and a backup whose manifest
// has gone.
struct SampleRoot {
    TempDir dir;
    samplegen::SampleReport report;
    std::filesystem::path root;

    std::string FolderOf(samplegen::InfoPlistForm form) const {
        for (const auto& backup : report.backups) {
            if (backup.infoPlist == form) {
                return backup.folderName;
            }
        }
        return {};
    }
    std::string EncryptedFolder() const {
        for (const auto& backup : report.backups) {
            if (backup.encrypted) {
                return backup.folderName;
            }
        }
        return {};
    }

    SampleRoot() : root(dir / "Backup") {
        samplegen::SampleOptions options;
        options.out = root;
        options.preset = samplegen::SamplePreset::Small;
        report = samplegen::GenerateSampleRoot(options);
        for (const auto& backup : report.backups) {
            if (backup.infoPlist == samplegen::InfoPlistForm::Corrupt) {
                std::filesystem::remove(backup.folder / "Manifest.mbdb");
            }
            if (backup.deviceFacts.size() > 0 && backup.infoPlistFileName == "info.plist" &&
                backup.infoPlist == samplegen::InfoPlistForm::Xml &&
                !std::filesystem::exists(root / kLongNameFolder)) {
                CopyUnderLongName(backup.folder);
            }
        }
    }
};

// The suites' frame: one sample root for all their tests, and no window left open by any. The
// test files include its moc output.
class MainFlowSuite : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { sample_ = std::make_unique<SampleRoot>(); }
    void cleanupTestCase() { sample_.reset(); }
    void cleanup() {
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY2(!widget->isVisible(), "a window was left open");
        }
    }

protected:
    std::unique_ptr<SampleRoot> sample_;
};

}  // namespace pixhaven::test
