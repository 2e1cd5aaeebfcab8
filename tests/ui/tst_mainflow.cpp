// The main window end to end on a generated sample root, up to its results: the home screen, the
// scan, each category shown, paging, and ticks kept in step across tree, file list and tiles.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "tests/ui/mainflow.h"
#include "ui/photoview.h"

using pixhaven::backup::MediaItem;
using pixhaven::test::Flow;
using pixhaven::test::kAudioVideo;
using pixhaven::test::kChecked;
using pixhaven::test::kDevice;
using pixhaven::test::kLongName;
using pixhaven::test::kPhotos;
using pixhaven::test::kScanTimeoutMs;
using pixhaven::test::kUnchecked;
using pixhaven::test::SaveScreenshot;
using pixhaven::test::TempDir;
using pixhaven::ui::CListViewCheck1;
using pixhaven::ui::CMainDlg;
using pixhaven::ui::CTreeViewEx1;

class TestMainFlow : public pixhaven::test::MainFlowSuite {
    Q_OBJECT

private slots:
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

        // An encrypted backup asks for its password; cancelling the box goes back home.
        flow.SelectFolder(sample_->EncryptedFolder());
        flow.Button(CMainDlg::kStartScanId)->click();
        QCOMPARE(flow.LastText(), pixhaven::ui::CPasswordBox::kPrompt);
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
        }
        const int found = flow.CountOfAll();
        QVERIFY(found > 0);
        QVERIFY(flow.FirstWithItems(kPhotos) >= 0 && flow.FirstWithItems(kAudioVideo) >= 0);
        SaveScreenshot(*flow.window, QStringLiteral("main-results"));

        // Escape neither closes the window nor drops what the scan found.
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused != nullptr ? focused : flow.window.get(), Qt::Key_Escape);
        QVERIFY(flow.window->isVisible() && flow.window->ScanComplete());
        QCOMPARE(flow.CountOfAll(), found);

        // The picture at the top of the README: a photo category with its thumbnails loaded.
        const int photos = flow.FirstWithItems(kPhotos);
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
        const int photos = flow.FirstWithItems(kPhotos);
        flow.Show(photos);
        QTest::qWait(300);
        SaveScreenshot(*flow.window, QStringLiteral("main-photo-pane"));
        flow.Show(flow.FirstWithItems(kAudioVideo));
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
        const int category = flow.ScanAndShowFirst(kAudioVideo);
        CListViewCheck1& list = *flow.FileList();

        // Ticking every row by hand ticks the category; unticking one unticks it and the root.
        for (int row = 0; row < list.RowCount(); ++row) {
            flow.ClickRowBox(row);
        }
        QVERIFY(flow.AllTicked(category));
        QCOMPARE(flow.State(category), kChecked);
        flow.ClickRowBox(0);
        QCOMPARE(flow.State(category), kUnchecked);
        QCOMPARE(flow.RootState(), kUnchecked);
        QVERIFY(!list.HeaderChecked());

        // The tree's box ticks every item and every row, and the header.
        flow.ClickCategoryBox(category);
        QVERIFY(flow.AllTicked(category));
        for (int row = 0; row < list.RowCount(); ++row) {
            QVERIFY(list.RowChecked(row));
        }
        QVERIFY(list.HeaderChecked());
        flow.ClickCategoryBox(category);
        QVERIFY(flow.NoneTicked(category));
        QVERIFY(!list.RowChecked(0));
        flow.window->Close(0);
    }

    void tileTicksFollowTreeAndBack() {
        Flow flow(sample_->root);
        const int category = flow.ScanAndShowFirst(kPhotos);
        pixhaven::ui::CPhotoViewDlg& pane = *flow.window->Pane(category);

        for (int tile = 0; tile < flow.CountOf(category); ++tile) {
            QVERIFY(pane.Tile(tile) != nullptr);
            pane.Tile(tile)->CheckBox().click();
        }
        QVERIFY(flow.AllTicked(category));
        QCOMPARE(flow.State(category), kChecked);
        pane.Tile(0)->CheckBox().click();
        QCOMPARE(flow.State(category), kUnchecked);
        QCOMPARE(flow.RootState(), kUnchecked);

        flow.ClickCategoryBox(category);
        QVERIFY(pane.Tile(0)->CheckBox().isChecked());
        QVERIFY(flow.Items(category)[0]->checked);
        // The root ticks everything with results.
        flow.ClickRootBox();
        QCOMPARE(flow.RootState(), kChecked);
        QCOMPARE(flow.State(flow.FirstWithItems(kAudioVideo)), kChecked);
        flow.window->Close(0);
    }

    // The root ticked again and again while the worker fills the groups: a group still being
    // filled is never walked by the window, and takes its tick when it is done.
    void rootTickedDuringAScan() {
        Flow flow(sample_->root);
        flow.StartScan();
        int clicks = 0;
        while (!flow.window->ScanComplete()) {
            flow.ClickRootBox();
            ++clicks;
            QTest::qWait(1);
        }
        QVERIFY(clicks > 1);
        if (flow.RootState() != kChecked) {
            flow.ClickRootBox();
        }
        for (int category = 0; category < pixhaven::backup::kGroupCount; ++category) {
            QVERIFY2(flow.AllTicked(category), qPrintable(QString::number(category)));
        }
        flow.window->Close(0);
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
        auto& group = flow.Items(kCategory);
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
};

QTEST_MAIN(TestMainFlow)
#include "moc_mainflow.cpp"
#include "tst_mainflow.moc"
