// The main window end to end on a generated sample root: home screen, scan, categories, ticks kept
// in step across tree, file list and tiles, recovery, pause, stop, back, and closing while a worker
// runs. Message boxes and the folder picker answer by script.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backup/media.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"
#include "ui/aboutbox.h"
#include "ui/backuplist.h"
#include "ui/categorytree.h"
#include "ui/listviewcheck.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/photoview.h"

using pixhaven::backup::MediaItem;
using pixhaven::test::ReadFile;
using pixhaven::test::SaveScreenshot;
using pixhaven::test::TempDir;
using pixhaven::ui::CListViewCheck1;
using pixhaven::ui::CListViewExBackups;
using pixhaven::ui::CMainDlg;
using pixhaven::ui::CMsgBox;
using pixhaven::ui::CTreeViewEx1;
using pixhaven::ui::DesktopServices;
using pixhaven::ui::UpdateServices;

namespace fs = std::filesystem;

namespace {

constexpr int kScanTimeoutMs = 60000;
constexpr int kUnchecked = 1;
constexpr int kChecked = 2;
const std::string kDevice = "Jonathan's iPhone";
const std::string kLongName = "Jonathan Alexander Wolfgang";
const fs::path kLongNameFolder = "ffffffffffffffffffffffffffffffffffffffff";

// A box the window ran: its text (or the system box's caption and text) and the answer given.
struct ShownBox {
    QString text;
    QString caption;
    bool system = false;
};

// A window over `root` whose boxes and folder picker answer from the script.
struct Flow {
    std::vector<ShownBox> boxes;
    int answer = CMsgBox::kOkResult;
    QString folder;
    std::vector<QString> opened;
    std::function<void(QDialog&)> onBox;
    std::unique_ptr<CMainDlg> window;

    explicit Flow(const fs::path& root) {
        DesktopServices desktop;
        desktop.backupRoot = root;
        desktop.runModal = [this](QDialog& box) { return Answer(box); };
        desktop.chooseFolder = [this](QWidget*, const QString&) { return folder; };
        desktop.openAddress = [this](const QString& target) { opened.push_back(target); };
        desktop.openFolder = desktop.openAddress;
        window = std::make_unique<CMainDlg>(UpdateServices{}, std::move(desktop));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    int Answer(QDialog& box) {
        ShownBox shown;
        if (const auto* message = qobject_cast<CMsgBox*>(&box)) {
            shown.text = message->Text();
        } else if (const auto* system = qobject_cast<QMessageBox*>(&box)) {
            shown = {system->text(), system->windowTitle(), true};
        }
        boxes.push_back(shown);
        if (onBox) {
            onBox(box);
        }
        return answer;
    }

    template <typename T>
    T* Control(int id) const {
        return window->findChild<T*>(QString::number(id));
    }
    QAbstractButton* Button(int id) const { return Control<QAbstractButton>(id); }
    CTreeViewEx1* Tree() const { return Control<CTreeViewEx1>(CMainDlg::kTreeId); }
    CListViewCheck1* FileList() const { return Control<CListViewCheck1>(CMainDlg::kFileListId); }
    CListViewExBackups* Backups() const {
        return Control<CListViewExBackups>(CMainDlg::kBackupListId);
    }
    bool Shown(int id) const {
        const QWidget* control = Control<QWidget>(id);
        return control != nullptr && control->isVisible();
    }
    QString LastText() const { return boxes.empty() ? QString() : boxes.back().text; }

    void SelectRowOf(const std::string& deviceName) {
        CListViewExBackups& list = *Backups();
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
        CListViewExBackups& list = *Backups();
        for (int row = 0; row < list.RowCount(); ++row) {
            if (list.Row(row)->folderName == folderName) {
                list.setCurrentItem(list.topLevelItem(row));
                return;
            }
        }
        QFAIL("no such backup folder");
    }

    void Scan(const std::string& deviceName = kDevice) {
        SelectRowOf(deviceName);
        Button(CMainDlg::kStartScanId)->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->ScanComplete(), kScanTimeoutMs);
    }

    int CountOf(int category) const {
        return static_cast<int>(
            window->Results().groups[static_cast<std::size_t>(category)].size());
    }
    // The first category in [from, to) with results, -1 for none.
    int FirstWithItems(int from, int to) const {
        for (int category = from; category < to; ++category) {
            if (CountOf(category) > 0) {
                return category;
            }
        }
        return -1;
    }
    int State(int category) const {
        return CTreeViewEx1::ItemState(Tree()->CategoryItem(category));
    }
    int RootState() const { return CTreeViewEx1::ItemState(Tree()->RootItem()); }
    void ClickTreeBox(QTreeWidgetItem* item) {
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                          Tree()->CheckBoxRect(item).center());
    }
    void ClickRowBox(int row) {
        QTest::mouseClick(FileList()->viewport(), Qt::LeftButton, {},
                          FileList()->CheckBoxRect(row).center());
    }
    void Show(int category) { Tree()->setCurrentItem(Tree()->CategoryItem(category)); }

    // Scans, ticks the root and starts recovering into `out`; the number of boxes shown before.
    std::size_t StartRecoveringEverything(const TempDir& out) {
        Scan();
        ClickTreeBox(Tree()->RootItem());
        folder = QString::fromStdU16String(out.path().u16string());
        const auto before = boxes.size();
        Button(CMainDlg::kRecoverId)->click();
        return before;
    }
};

// A copy of the backup whose device name is too wide for the tree.
void CopyUnderLongName(const fs::path& folder) {
    const fs::path copy = folder.parent_path() / kLongNameFolder;
    fs::copy(folder, copy, fs::copy_options::recursive);
    std::string plist = ReadFile(copy / "info.plist");
    for (auto at = plist.find("Jonathan"); at != std::string::npos;
         at = plist.find("Jonathan", at + kLongName.size())) {
        plist.replace(at, std::string("Jonathan").size(), kLongName);
    }
    pixhaven::test::WriteFile(copy / "info.plist", plist);
}

bool Has(const std::vector<std::string>& contents, const std::string& bytes) {
    return std::find(contents.begin(), contents.end(), bytes) != contents.end();
}

std::vector<std::string> FilesUnder(const fs::path& folder) {
    std::vector<std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            contents.push_back(ReadFile(entry.path()));
        }
    }
    return contents;
}

// The sample root, with a copy of the first device under a long name and a backup whose manifest
// has gone.
struct SampleRoot {
    TempDir dir;
    pixhaven::samplegen::SampleReport report;
    fs::path root;

    std::string FolderOf(pixhaven::samplegen::InfoPlistForm form) const {
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
        pixhaven::samplegen::SampleOptions options;
        options.out = root;
        options.preset = pixhaven::samplegen::SamplePreset::Small;
        report = pixhaven::samplegen::GenerateSampleRoot(options);
        for (const auto& backup : report.backups) {
            if (backup.infoPlist == pixhaven::samplegen::InfoPlistForm::Corrupt) {
                fs::remove(backup.folder / "Manifest.mbdb");
            }
            if (backup.deviceFacts.size() > 0 && backup.infoPlistFileName == "info.plist" &&
                backup.infoPlist == pixhaven::samplegen::InfoPlistForm::Xml &&
                !fs::exists(root / kLongNameFolder)) {
                CopyUnderLongName(backup.folder);
            }
        }
    }
};

}  // namespace

class TestMainFlow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { sample_ = std::make_unique<SampleRoot>(); }
    void cleanupTestCase() { sample_.reset(); }
    void cleanup() {
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY2(!widget->isVisible(), "a window was left open");
        }
    }

    void homeWithBackups() {
        Flow flow(sample_->root);
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);
        // The generated backups and the long-named copy.
        QCOMPARE(flow.Backups()->RowCount(), static_cast<int>(sample_->report.backups.size()) + 1);
        QVERIFY(flow.Shown(CMainDlg::kStartScanId));
        for (const int hidden : {CMainDlg::kTreeId, CMainDlg::kFileListId, CMainDlg::kBackId,
                                 CMainDlg::kRecoverId, CMainDlg::kPauseId, CMainDlg::kStopId,
                                 CMainDlg::kProgressId, CMainDlg::kPrevPageId}) {
            QVERIFY2(!flow.Shown(hidden), qPrintable(QString::number(hidden)));
        }
        QVERIFY(!HintPainted(*flow.window));
        SaveScreenshot(*flow.window, QStringLiteral("main-home"));
        flow.window->Close(0);
    }

    void homeWithoutBackups() {
        TempDir empty;
        Flow flow(empty.path());
        QCOMPARE(flow.Backups()->RowCount(), 0);
        QVERIFY(!flow.Shown(CMainDlg::kStartScanId));
        QVERIFY(HintPainted(*flow.window));
        SaveScreenshot(*flow.window, QStringLiteral("main-home-empty"));
        flow.window->Close(0);
    }

    void startScanRefusals() {
        Flow flow(sample_->root);
        flow.Button(CMainDlg::kStartScanId)->click();
        QCOMPARE(flow.LastText(),
                 QStringLiteral("Please select a device in the list above to scan."));

        flow.SelectFolder(sample_->FolderOf(pixhaven::samplegen::InfoPlistForm::Missing));
        flow.Button(CMainDlg::kStartScanId)->click();
        QVERIFY(flow.boxes.back().system);
        QCOMPARE(flow.boxes.back().caption, QStringLiteral("Warnning"));

        flow.SelectFolder(sample_->FolderOf(pixhaven::samplegen::InfoPlistForm::Corrupt));
        flow.Button(CMainDlg::kStartScanId)->click();
        QCOMPARE(flow.LastText(), QStringLiteral("Parse Mainfest.mbdb failed!"));
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);

        // An encrypted backup says so instead of failing silently or showing noise.
        flow.SelectFolder(sample_->EncryptedFolder());
        flow.onBox = [](QDialog& box) {
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            SaveScreenshot(box, QStringLiteral("main-encrypted-backup"));
            box.hide();
        };
        flow.Button(CMainDlg::kStartScanId)->click();
        QVERIFY(flow.LastText().startsWith(QStringLiteral("This backup is encrypted.")));
        QVERIFY(!flow.boxes.back().system);
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);
        QVERIFY(flow.Shown(CMainDlg::kBackupListId));
        QVERIFY(!flow.window->WorkerRunning() && !flow.window->ScanComplete());
        flow.window->Close(0);
    }

    void scanToTheEnd() {
        Flow flow(sample_->root);
        flow.Scan();
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kResultsScreen);
        QVERIFY(flow.Shown(CMainDlg::kDevicePanelId));
        QVERIFY(flow.Shown(CMainDlg::kBackId) && flow.Shown(CMainDlg::kRecoverId));
        for (const int hidden :
             {CMainDlg::kPauseId, CMainDlg::kContinueId, CMainDlg::kStopId, CMainDlg::kProgressId,
              CMainDlg::kPercentId, CMainDlg::kBackupListId, CMainDlg::kStartScanId}) {
            QVERIFY2(!flow.Shown(hidden), qPrintable(QString::number(hidden)));
        }
        QCOMPARE(flow.Tree()->RootItem()->text(0), QString::fromStdString(kDevice));
        QVERIFY(flow.Tree()->RootToolTip().isEmpty());
        int found = 0;
        for (int category = 0; category < pixhaven::backup::kGroupCount; ++category) {
            const auto data = CTreeViewEx1::ItemData(flow.Tree()->CategoryItem(category));
            const int count = flow.CountOf(category);
            QCOMPARE(data.hasResults, count > 0);
            if (count > 0) {
                const QString bare = QString::fromStdU16String(std::u16string(
                    pixhaven::backup::kMediaGroups[static_cast<std::size_t>(category)].label));
                QCOMPARE(flow.Tree()->CategoryItem(category)->text(0),
                         QStringLiteral("%1 (%2)").arg(bare).arg(count));
            }
            found += count;
        }
        QVERIFY(found > 0);
        QVERIFY(flow.FirstWithItems(0, 8) >= 0 && flow.FirstWithItems(8, 13) >= 0);
        SaveScreenshot(*flow.window, QStringLiteral("main-results"));

        // Escape neither closes the window nor drops what the scan found.
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused != nullptr ? focused : flow.window.get(), Qt::Key_Escape);
        QVERIFY(flow.window->isVisible() && flow.window->ScanComplete());
        int kept = 0;
        for (int category = 0; category < pixhaven::backup::kGroupCount; ++category) {
            kept += flow.CountOf(category);
        }
        QCOMPARE(kept, found);

        // The picture at the top of the README: a photo category with its thumbnails loaded.
        const int photos = flow.FirstWithItems(0, 8);
        flow.Show(photos);
        QTRY_VERIFY_WITH_TIMEOUT(flow.window->Pane(photos)->IsPageLoaded(), kScanTimeoutMs);
        SaveScreenshot(*flow.window, QStringLiteral("main-results-category"));
        flow.window->Close(0);
    }

    void wideDeviceNameGetsToolTip() {
        Flow flow(sample_->root);
        const std::string name = kLongName + "'s iPhone";
        flow.Scan(name);
        QCOMPARE(flow.Tree()->RootToolTip(), QString::fromStdString(name));
        flow.window->Close(0);
    }

    void eachCategoryShown() {
        Flow flow(sample_->root);
        flow.Scan();
        for (int category = 0; category < pixhaven::backup::kGroupCount; ++category) {
            if (flow.CountOf(category) == 0) {
                continue;
            }
            flow.Show(category);
            QCOMPARE(flow.window->CurrentView(), category);
            QVERIFY(!flow.Shown(CMainDlg::kDevicePanelId));
            if (category < 8) {
                QVERIFY(flow.window->Pane(category) != nullptr);
                QVERIFY(flow.window->Pane(category)->isVisible());
                QVERIFY(!flow.Shown(CMainDlg::kFileListId));
            } else {
                QVERIFY(flow.Shown(CMainDlg::kFileListId));
                QCOMPARE(flow.FileList()->RowCount(), flow.CountOf(category));
                QCOMPARE(flow.FileList()->columnCount(), 2);
            }
            for (int other = 0; other < 8; ++other) {
                if (other != category && flow.window->Pane(other) != nullptr) {
                    QVERIFY(!flow.window->Pane(other)->isVisible());
                }
            }
        }
        const int photos = flow.FirstWithItems(0, 8);
        flow.Show(photos);
        QTest::qWait(300);
        SaveScreenshot(*flow.window, QStringLiteral("main-photo-pane"));
        flow.Show(flow.FirstWithItems(8, 13));
        SaveScreenshot(*flow.window, QStringLiteral("main-file-list"));
        // The root brings the device panel back and hides every view.
        flow.Tree()->setCurrentItem(flow.Tree()->RootItem());
        QVERIFY(flow.Shown(CMainDlg::kDevicePanelId));
        QVERIFY(!flow.Shown(CMainDlg::kFileListId));
        QVERIFY(!flow.window->Pane(photos)->isVisible());
        flow.window->Close(0);
    }

    void fileListTicksFollowTreeAndBack() {
        Flow flow(sample_->root);
        flow.Scan();
        const int category = flow.FirstWithItems(8, 13);
        flow.Show(category);
        CListViewCheck1& list = *flow.FileList();
        auto& items = flow.window->Results().groups[static_cast<std::size_t>(category)];

        // Ticking every row by hand ticks the category; unticking one unticks it and the root.
        for (int row = 0; row < list.RowCount(); ++row) {
            flow.ClickRowBox(row);
        }
        QVERIFY(std::all_of(items.begin(), items.end(),
                            [](const auto& i) { return i->checked.load() != 0; }));
        QCOMPARE(flow.State(category), kChecked);
        flow.ClickRowBox(0);
        QCOMPARE(flow.State(category), kUnchecked);
        QCOMPARE(flow.RootState(), kUnchecked);
        QVERIFY(!list.HeaderChecked());

        // The tree's box ticks every item and every row, and the header.
        flow.ClickTreeBox(flow.Tree()->CategoryItem(category));
        QVERIFY(std::all_of(items.begin(), items.end(),
                            [](const auto& i) { return i->checked.load() != 0; }));
        for (int row = 0; row < list.RowCount(); ++row) {
            QVERIFY(list.RowChecked(row));
        }
        QVERIFY(list.HeaderChecked());
        flow.ClickTreeBox(flow.Tree()->CategoryItem(category));
        QVERIFY(std::none_of(items.begin(), items.end(),
                             [](const auto& i) { return i->checked.load() != 0; }));
        QVERIFY(!list.RowChecked(0));
        flow.window->Close(0);
    }

    void tileTicksFollowTreeAndBack() {
        Flow flow(sample_->root);
        flow.Scan();
        const int category = flow.FirstWithItems(0, 8);
        flow.Show(category);
        pixhaven::ui::CPhotoViewDlg& pane = *flow.window->Pane(category);
        auto& items = flow.window->Results().groups[static_cast<std::size_t>(category)];

        for (int tile = 0; tile < static_cast<int>(items.size()); ++tile) {
            QVERIFY(pane.Tile(tile) != nullptr);
            pane.Tile(tile)->CheckBox().click();
        }
        QVERIFY(std::all_of(items.begin(), items.end(),
                            [](const auto& i) { return i->checked.load() != 0; }));
        QCOMPARE(flow.State(category), kChecked);
        pane.Tile(0)->CheckBox().click();
        QCOMPARE(flow.State(category), kUnchecked);
        QCOMPARE(flow.RootState(), kUnchecked);

        flow.ClickTreeBox(flow.Tree()->CategoryItem(category));
        QVERIFY(pane.Tile(0)->CheckBox().isChecked());
        QVERIFY(items[0]->checked);
        // The root ticks everything with results.
        flow.ClickTreeBox(flow.Tree()->RootItem());
        QCOMPARE(flow.RootState(), kChecked);
        QCOMPARE(flow.State(flow.FirstWithItems(8, 13)), kChecked);
        flow.window->Close(0);
    }

    void recoverIntoAFolder() {
        Flow flow(sample_->root);
        flow.Scan();
        flow.Button(CMainDlg::kRecoverId)->click();
        QCOMPARE(flow.LastText(), QStringLiteral("Please select the file(s) you want to recover."));

        // Tick one photo category and one audio or video category.
        const int photos = flow.FirstWithItems(0, 8);
        const int media = flow.FirstWithItems(8, 13);
        flow.ClickTreeBox(flow.Tree()->CategoryItem(photos));
        flow.ClickTreeBox(flow.Tree()->CategoryItem(media));
        const int ticked = flow.CountOf(photos) + flow.CountOf(media);

        flow.folder.clear();
        const auto before = flow.boxes.size();
        flow.Button(CMainDlg::kRecoverId)->click();
        QCOMPARE(flow.boxes.size(), before);  // a cancelled picker says nothing
        QVERIFY(!flow.window->WorkerRunning());

        TempDir out;
        flow.folder = QString::fromStdU16String(out.path().u16string());
        flow.onBox = [](QDialog& box) {
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            SaveScreenshot(box, QStringLiteral("main-recovery-summary"));
            box.hide();
        };
        flow.Button(CMainDlg::kRecoverId)->click();
        QTRY_VERIFY_WITH_TIMEOUT(flow.boxes.size() > before, kScanTimeoutMs);
        const fs::path output = flow.window->OutputFolder();
        QCOMPARE(output.parent_path(), out.path());
        QVERIFY(output.filename().string().starts_with("PXHVN"));
        QVERIFY(flow.Shown(CMainDlg::kRecoverId) && flow.Shown(CMainDlg::kBackId));
        QVERIFY(!flow.Shown(CMainDlg::kStopId) && !flow.Shown(CMainDlg::kProgressId));

        // Items whose stored file is missing count as done but leave no file behind.
        const std::vector<std::string> copied = FilesUnder(output);
        int present = 0;
        for (const int category : {photos, media}) {
            for (const auto& item :
                 flow.window->Results().groups[static_cast<std::size_t>(category)]) {
                if (fs::exists(item->file)) {
                    ++present;
                    QVERIFY(Has(copied, ReadFile(item->file)));
                }
            }
        }
        QCOMPARE(static_cast<int>(copied.size()), present);
        QVERIFY(present > 0 && present < ticked);
        // The box counts files written, and says how many could not be copied.
        QCOMPARE(flow.LastText(), QStringLiteral("Recovering finished, %1 files have been "
                                                 "recovered, %2 could not be copied.")
                                      .arg(present)
                                      .arg(ticked - present));
        flow.window->Close(0);
    }

    void stoppedRecoveryReportsWhatWasCopied() {
        Flow flow(sample_->root);
        TempDir out;
        const auto before = flow.StartRecoveringEverything(out);
        // Paused at once, then stopped. The worker may finish a file before the pause reaches
        // it, so the box must account for every file written and show an early end.
        flow.Button(CMainDlg::kPauseId)->click();
        QVERIFY(flow.Shown(CMainDlg::kContinueId));
        flow.Button(CMainDlg::kStopId)->click();
        QTRY_VERIFY_WITH_TIMEOUT(flow.boxes.size() > before, kScanTimeoutMs);
        const QRegularExpression summary(
            QStringLiteral("^Recovering finished, (\\d+) files have been recovered(, \\d+ could "
                           "not be copied)?\\.$"));
        const QRegularExpressionMatch match = summary.match(flow.LastText());
        QVERIFY2(match.hasMatch(), qPrintable(flow.LastText()));
        const int reported = match.captured(1).toInt();
        QCOMPARE(reported, static_cast<int>(FilesUnder(out.path()).size()));
        int everything = 0;
        for (int category = 0; category < 13; ++category) {
            everything += flow.CountOf(category);
        }
        QVERIFY(reported < everything);
        QVERIFY(flow.Shown(CMainDlg::kRecoverId) && !flow.Shown(CMainDlg::kContinueId));
        flow.window->Close(0);
    }

    // The root ticked again and again while the worker fills the groups: a group still being
    // filled is never walked by the window, and takes its tick when it is done.
    void rootTickedDuringAScan() {
        Flow flow(sample_->root);
        flow.SelectRowOf(kDevice);
        flow.Button(CMainDlg::kStartScanId)->click();
        int clicks = 0;
        while (!flow.window->ScanComplete()) {
            flow.ClickTreeBox(flow.Tree()->RootItem());
            ++clicks;
            QTest::qWait(1);
        }
        QVERIFY(clicks > 1);
        if (flow.RootState() != kChecked) {
            flow.ClickTreeBox(flow.Tree()->RootItem());
        }
        for (int category = 0; category < 13; ++category) {
            for (const auto& item :
                 flow.window->Results().groups[static_cast<std::size_t>(category)]) {
                QVERIFY2(item->checked.load() != 0, qPrintable(QString::number(category)));
            }
        }
        flow.window->Close(0);
    }

    void pauseAndContinue() {
        Flow flow(sample_->root);
        flow.SelectRowOf(kDevice);
        flow.Button(CMainDlg::kStartScanId)->click();
        // Paused before the counting ends, so the worker stops at its first file.
        flow.Button(CMainDlg::kPauseId)->click();
        QTRY_VERIFY(flow.Shown(CMainDlg::kContinueId) && flow.Shown(CMainDlg::kStopId));
        QVERIFY(!flow.Shown(CMainDlg::kPauseId));
        QTest::qWait(200);
        QVERIFY(!flow.window->ScanComplete());
        QCOMPARE(flow.window->Results().done.load(), 0);
        QVERIFY(flow.Shown(CMainDlg::kProgressId));
        SaveScreenshot(*flow.window, QStringLiteral("main-scanning"));

        flow.Button(CMainDlg::kContinueId)->click();
        QVERIFY(flow.Shown(CMainDlg::kPauseId) && !flow.Shown(CMainDlg::kContinueId));
        QTRY_VERIFY_WITH_TIMEOUT(flow.window->ScanComplete(), kScanTimeoutMs);
        QVERIFY(flow.window->Results().done.load() > 0);
        flow.window->Close(0);
    }

    void stopWhilePaused() {
        Flow flow(sample_->root);
        flow.SelectRowOf(kDevice);
        flow.Button(CMainDlg::kStartScanId)->click();
        flow.Button(CMainDlg::kPauseId)->click();
        QTRY_VERIFY(flow.Shown(CMainDlg::kStopId));
        flow.Button(CMainDlg::kStopId)->click();
        QTRY_VERIFY_WITH_TIMEOUT(flow.window->ScanComplete(), kScanTimeoutMs);
        QCOMPARE(flow.window->Results().done.load(), 0);
        QVERIFY(!flow.window->WorkerRunning());
        QVERIFY(flow.Shown(CMainDlg::kBackId) && flow.Shown(CMainDlg::kDevicePanelId));
        flow.window->Close(0);
    }

    void backAsksFirst() {
        Flow flow(sample_->root);
        flow.Scan();
        const int category = flow.FirstWithItems(0, 8);
        flow.Show(category);

        flow.answer = CMsgBox::kNoResult;
        flow.Button(CMainDlg::kBackId)->click();
        QCOMPARE(flow.LastText(),
                 QStringLiteral(
                     "Are you sure to go back? If Back, the scanning results will not be saved."));
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kResultsScreen);
        QVERIFY(flow.window->ScanComplete() && flow.CountOf(category) > 0);
        QVERIFY(flow.window->Pane(category) != nullptr);

        flow.answer = CMsgBox::kYesResult;
        flow.Button(CMainDlg::kBackId)->click();
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);
        QVERIFY(!flow.window->ScanComplete());
        QVERIFY(flow.window->Pane(category) == nullptr);
        QCOMPARE(flow.CountOf(category), 0);
        QVERIFY(flow.Shown(CMainDlg::kBackupListId) && flow.Shown(CMainDlg::kStartScanId));
        QVERIFY(!flow.Shown(CMainDlg::kTreeId) && !flow.Shown(CMainDlg::kBackId));
        const auto data = CTreeViewEx1::ItemData(flow.Tree()->CategoryItem(category));
        QVERIFY(!data.hasResults);
        QVERIFY(!flow.Tree()->CategoryItem(category)->text(0).contains('('));

        // A second scan after Back works from a clean slate.
        flow.Scan();
        QVERIFY(flow.CountOf(category) > 0);
        flow.window->Close(0);
    }

    void closeDuringScan() {
        {
            Flow flow(sample_->root);
            flow.SelectRowOf(kDevice);
            flow.Button(CMainDlg::kStartScanId)->click();
            flow.window->Close(0);
            QVERIFY(!flow.window->WorkerRunning());
        }
        {
            Flow flow(sample_->root);
            flow.SelectRowOf(kDevice);
            flow.Button(CMainDlg::kStartScanId)->click();
            flow.Button(CMainDlg::kPauseId)->click();
            QTRY_VERIFY(flow.Shown(CMainDlg::kStopId));
            QTest::keyClick(flow.window.get(), Qt::Key_Escape);
            QVERIFY(flow.window->isVisible() && flow.window->WorkerRunning());
            flow.window->close();  // the window manager's close request
            QVERIFY(!flow.window->WorkerRunning());
            QVERIFY(!flow.window->ScanComplete());
        }
        {
            // Destroyed without being closed at all.
            Flow flow(sample_->root);
            flow.SelectRowOf(kDevice);
            flow.Button(CMainDlg::kStartScanId)->click();
            flow.window.reset();
        }
    }

    void closeDuringRecovery() {
        Flow flow(sample_->root);
        TempDir out;
        const auto before = flow.StartRecoveringEverything(out);
        flow.Button(CMainDlg::kPauseId)->click();
        flow.window->Close(0);
        QVERIFY(!flow.window->WorkerRunning());
        QCOMPARE(flow.boxes.size(), before);  // no summary for a window that is going
    }

    void pagingGroupOnlyOverOneHundred_data() {
        QTest::addColumn<int>("items");
        QTest::addColumn<bool>("paging");
        QTest::newRow("100") << 100 << false;
        QTest::newRow("101") << 101 << true;
    }

    void pagingGroupOnlyOverOneHundred() {
        QFETCH(int, items);
        QFETCH(bool, paging);
        TempDir empty;
        Flow flow(empty.path());
        constexpr int kCategory = pixhaven::backup::kJpg;
        auto& group = flow.window->Results().groups[kCategory];
        for (int index = 0; index < items; ++index) {
            auto item = std::make_unique<MediaItem>();
            item->displayName = u"IMG.jpg";
            item->file = empty.path() / "missing.jpg";
            group.push_back(std::move(item));
        }
        flow.Tree()->SetHasResults(flow.Tree()->CategoryItem(kCategory), true);
        flow.Tree()->show();
        flow.Show(kCategory);
        for (const int id : {CMainDlg::kPrevPageId, CMainDlg::kNextPageId, CMainDlg::kPageLabelId,
                             CMainDlg::kPageEditId, CMainDlg::kGoPageId}) {
            QCOMPARE(flow.Shown(id), paging);
        }
        if (paging) {
            // Paging waits for the page's loading to end.
            QTRY_VERIFY(flow.Control<QPushButton>(CMainDlg::kNextPageId)->isEnabled());
            flow.Control<QPushButton>(CMainDlg::kNextPageId)->click();
            QCOMPARE(flow.window->Pane(kCategory)->CurrentPage(), 2);
            QTRY_VERIFY(flow.Control<QPushButton>(CMainDlg::kGoPageId)->isEnabled());
            flow.Control<QLineEdit>(CMainDlg::kPageEditId)->setText(QStringLiteral("1"));
            flow.Control<QPushButton>(CMainDlg::kGoPageId)->click();
            QCOMPARE(flow.window->Pane(kCategory)->CurrentPage(), 1);
        }
        flow.window->Close(0);
    }

    void menuCommands() {
        int launches = 0;
        TempDir empty;
        Flow flow(empty.path());
        flow.window.reset();
        DesktopServices desktop;
        desktop.backupRoot = empty.path();
        std::vector<QString> opened;
        std::vector<QString> boxes;
        desktop.openAddress = [&](const QString& target) { opened.push_back(target); };
        desktop.version = QStringLiteral("6.2.1");
        QString aboutVersion;
        desktop.runModal = [&](QDialog& box) {
            boxes.push_back(box.metaObject()->className());
            if (const auto* about = qobject_cast<pixhaven::ui::CAboutBox*>(&box)) {
                aboutVersion = about->VersionText();
            }
            return 0;
        };
        CMainDlg window(UpdateServices{{}, [&] { ++launches; }}, desktop);
        window.show();
        window.RunMenuCommand(CMainDlg::kMenuHome);
        window.RunMenuCommand(CMainDlg::kMenuHelp);
        QCOMPARE(opened.size(), 2u);
        window.RunMenuCommand(CMainDlg::kMenuCheckUpdate);
        QCOMPARE(launches, 1);
        window.RunMenuCommand(CMainDlg::kMenuAbout);
        QCOMPARE(boxes, std::vector<QString>{QStringLiteral("pixhaven::ui::CAboutBox")});
        QCOMPARE(aboutVersion, QStringLiteral("Version:6.2.1"));
        window.RunMenuCommand(CMainDlg::kMenuExit);
        QVERIFY(!window.isVisible());
    }

private:
    // Whether the orange hint under the list frame was painted.
    static bool HintPainted(QWidget& window) {
        const QImage image = window.grab(QRect(90, 570, 700, 20)).toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour.red() > 150 && colour.green() < 130 && colour.blue() < 60) {
                    return true;
                }
            }
        }
        return false;
    }

    std::unique_ptr<SampleRoot> sample_;
};

QTEST_MAIN(TestMainFlow)
#include "tst_mainflow.moc"
