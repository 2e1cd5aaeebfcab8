// The main window end to end on a generated sample root, once it has work to do: recovery into a
// folder, pause, continue and stop, Back, closing while a worker runs, and the menu commands.
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/mainflow.h"
#include "ui/aboutbox.h"

using pixhaven::test::Flow;
using pixhaven::test::kAudioVideo;
using pixhaven::test::kPhotos;
using pixhaven::test::kScanTimeoutMs;
using pixhaven::test::ReadFile;
using pixhaven::test::SaveScreenshot;
using pixhaven::test::TempDir;
using pixhaven::ui::CMainDlg;
using pixhaven::ui::CMsgBox;
using pixhaven::ui::CTreeViewEx1;
using pixhaven::ui::DesktopServices;
using pixhaven::ui::UpdateServices;

namespace fs = std::filesystem;

namespace {

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

}  // namespace

class TestMainFlowWork : public pixhaven::test::MainFlowSuite {
    Q_OBJECT

private slots:
    void recoverIntoAFolder() {
        Flow flow(sample_->root);
        flow.Scan();
        flow.Button(CMainDlg::kRecoverId)->click();
        QCOMPARE(flow.LastText(), QStringLiteral("Please select the file(s) you want to recover."));

        // Tick one photo category and one audio or video category.
        const int photos = flow.FirstWithItems(kPhotos);
        const int media = flow.FirstWithItems(kAudioVideo);
        flow.ClickCategoryBox(photos);
        flow.ClickCategoryBox(media);
        const int ticked = flow.CountOf(photos) + flow.CountOf(media);

        flow.folder.clear();
        const auto before = flow.boxes.size();
        flow.Button(CMainDlg::kRecoverId)->click();
        QCOMPARE(flow.boxes.size(), before);  // a cancelled picker says nothing
        QVERIFY(!flow.window->WorkerRunning());

        TempDir out;
        flow.folder = QString::fromStdU16String(out.path().u16string());
        flow.ScreenshotBoxesAs(QStringLiteral("main-recovery-summary"));
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
            for (const auto& item : flow.Items(category)) {
                if (fs::exists(item->file.path)) {
                    ++present;
                    QVERIFY(Has(copied, ReadFile(item->file.path)));
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
        QVERIFY(reported < flow.CountOfAll());
        QVERIFY(flow.Shown(CMainDlg::kRecoverId) && !flow.Shown(CMainDlg::kContinueId));
        flow.window->Close(0);
    }

    void pauseAndContinue() {
        Flow flow(sample_->root);
        flow.StartScan();
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
        flow.StartScan();
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
        const int category = flow.ScanAndShowFirst(kPhotos);

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
            flow.StartScan();
            flow.window->Close(0);
            QVERIFY(!flow.window->WorkerRunning());
        }
        {
            Flow flow(sample_->root);
            flow.StartScan();
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
            flow.StartScan();
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
};

QTEST_MAIN(TestMainFlowWork)
#include "moc_mainflow.cpp"
#include "tst_mainflow_work.moc"
