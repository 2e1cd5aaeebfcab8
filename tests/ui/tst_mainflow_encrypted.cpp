// The main window end to end on the sample root's encrypted backups: the password box, a wrong
// password asked for again, cancelling, and the right one, after which the scan, the thumbnails
// and a recovery give exactly what the backup's plain twin gives; a backup no password opens, and
// keys that cannot be used, are refused with their reason.
#include <QTest>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "backup/backupmanifest.h"
#include "tests/ui/mainflow.h"
#include "ui/photoview.h"
#include "ui/picture.h"

using pixhaven::backup::ManifestProblem;
using pixhaven::samplegen::ManifestKind;
using pixhaven::ui::CMainDlg;
using pixhaven::ui::CPasswordBox;
using pixhaven::ui::PictureOf;
using namespace pixhaven::test;  // the end-to-end flow and its file helpers

namespace fs = std::filesystem;

namespace {

constexpr int kCameraRoll = 0;
const QString kPassword = QStringLiteral("pixhaven");

// What one backup gives in the window: per-category counts, Camera Roll's first page of
// thumbnails, and a recovery of everything (its summary and each file by its path in the output).
struct Outcome {
    std::vector<int> counts;
    std::vector<std::pair<std::u16string, QImage>> thumbnails;
    QString summary;
    std::map<fs::path, std::string> recovered;
};

void CollectThumbnails(Flow& flow, Outcome& outcome) {
    flow.Show(kCameraRoll);
    QVERIFY(flow.window->Pane(kCameraRoll) != nullptr);
    const auto& items = flow.Items(kCameraRoll);
    const std::size_t page = std::min<std::size_t>(items.size(), 100);
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(page),
                    [](const auto& item) { return PictureOf(*item)->HasThumbnail(); }),
        kScanTimeoutMs);
    for (std::size_t i = 0; i < page; ++i) {
        outcome.thumbnails.emplace_back(items[i]->displayName, PictureOf(*items[i])->Thumbnail());
    }
}

void CollectRecovery(Flow& flow, const TempDir& out, Outcome& outcome) {
    flow.ClickRootBox();
    flow.folder = QString::fromStdU16String(out.path().u16string());
    const auto before = flow.boxes.size();
    flow.Button(CMainDlg::kRecoverId)->click();
    QTRY_VERIFY_WITH_TIMEOUT(flow.boxes.size() > before, kScanTimeoutMs);
    outcome.summary = flow.LastText();
    const fs::path output = flow.window->OutputFolder();
    for (const auto& entry : fs::recursive_directory_iterator(output)) {
        if (entry.is_regular_file()) {
            outcome.recovered.emplace(entry.path().lexically_relative(output),
                                      ReadFile(entry.path()));
        }
    }
}

// Scans `device` (answering a password box from the flow's script), shows Camera Roll and
// recovers everything into `out`.
void ScanShowAndRecover(Flow& flow, const std::string& device, const TempDir& out,
                        Outcome& outcome) {
    flow.Scan(device);
    if (QTest::currentTestFailed()) {
        return;
    }
    for (int category = 0; category < pixhaven::backup::kGroupCount; ++category) {
        outcome.counts.push_back(flow.CountOf(category));
    }
    CollectThumbnails(flow, outcome);
    if (!QTest::currentTestFailed()) {
        CollectRecovery(flow, out, outcome);
    }
}

// Saves each password box the window shows as `name` before it is answered.
void ScreenshotPasswordBoxesAs(Flow& flow, const QString& name) {
    flow.onBox = [name](QDialog& box) {
        if (qobject_cast<CPasswordBox*>(&box) != nullptr) {
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            SaveScreenshot(box, name);
            box.hide();
        }
    };
}

QString MessageOf(ManifestProblem problem) {
    const std::string_view message = pixhaven::backup::ManifestProblemMessage(problem);
    return QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
}

// The sample backups' Manifest.plist edited in place: a key bag that does not parse, or none.
void EditKeybag(const fs::path& folder, bool remove) {
    std::string plist = ReadFile(folder / "Manifest.plist");
    const auto key = plist.find("<key>BackupKeyBag</key>");
    const auto data = plist.find("<data>", key);
    const auto end = plist.find("</data>", data);
    QVERIFY(key != std::string::npos && end != std::string::npos);
    if (remove) {
        plist.erase(key, end + 7 - key);
    } else {
        plist.replace(data + 6, end - data - 6, "AAAA");
    }
    WriteFile(folder / "Manifest.plist", plist);
}

}  // namespace

class TestMainFlowEncrypted : public pixhaven::test::MainFlowSuite {
    Q_OBJECT

private:
    fs::path EncryptedCopy(ManifestKind kind) const {
        for (const auto& backup : sample_->report.backups) {
            if (backup.encryption && backup.manifest == kind) {
                return backup.folder;
            }
        }
        return {};
    }

private slots:
    void encryptedBackupsOpenWithTheirPassword_data() {
        QTest::addColumn<QString>("encrypted");
        QTest::addColumn<QString>("twin");
        QTest::newRow("old-layout") << "Jonathan's encrypted iPhone"
                                    << "Jonathan's iPhone";
        QTest::newRow("modern-layout") << "Jonathan's encrypted iPhone 11"
                                       << "Jonathan's iPhone 11";
    }

    void encryptedBackupsOpenWithTheirPassword() {
        QFETCH(QString, encrypted);
        QFETCH(QString, twin);
        Outcome expected;
        {
            Flow plain(sample_->root);
            const TempDir out;
            ScanShowAndRecover(plain, twin.toStdString(), out, expected);
            plain.window->Close(0);
        }
        QVERIFY(!QTest::currentTestFailed());

        Flow flow(sample_->root);
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        ScreenshotPasswordBoxesAs(flow, "main-password-" + row);
        // A wrong password is said to be wrong and asked for again; Cancel goes back home.
        flow.passwords = {QStringLiteral("not the password")};
        flow.StartScan(encrypted.toStdString());
        QCOMPARE(flow.LastText(), CPasswordBox::kPrompt);
        QCOMPARE(flow.notices, std::vector<QString>{CPasswordBox::kWrongPassword});
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);
        QVERIFY(flow.Shown(CMainDlg::kBackupListId) && flow.Shown(CMainDlg::kStartScanId));
        QVERIFY(!flow.window->WorkerRunning());

        // The right one: the same groups, thumbnails and recovered files as the plain twin.
        flow.passwords = {kPassword};
        const TempDir out;
        Outcome outcome;
        ScanShowAndRecover(flow, encrypted.toStdString(), out, outcome);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(outcome.counts == expected.counts);
        const pixhaven::ui::DecodedPicture& first = *PictureOf(*flow.Items(kCameraRoll)[0]);
        QVERIFY(first.Content().encrypted);
        QVERIFY(
            pixhaven::ui::RenderThumbnailOf(first.Content(), first.Preview(), {100, 100}).origin !=
            pixhaven::ui::ThumbnailOrigin::None);
        QVERIFY(!outcome.thumbnails.empty());
        QVERIFY(outcome.thumbnails == expected.thumbnails);
        QCOMPARE(outcome.summary, expected.summary);
        QVERIFY(!outcome.recovered.empty());
        QVERIFY(outcome.recovered == expected.recovered);
        flow.Show(kCameraRoll);
        SaveScreenshot(*flow.window, "main-encrypted-results-" + row);
        flow.window->Close(0);
    }

    void lockedBackupRefusesEveryPassword() {
        Flow flow(sample_->root);
        flow.passwords = {kPassword, QStringLiteral("1234")};
        flow.StartScan("Locked iPhone");
        QCOMPARE(flow.boxes.size(), std::size_t{1});
        QCOMPARE(flow.notices, (std::vector<QString>{CPasswordBox::kWrongPassword,
                                                     CPasswordBox::kWrongPassword}));
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);
        QVERIFY(!flow.window->WorkerRunning());
        flow.window->Close(0);
    }

    void unusableKeysAreReported_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("problem");
        QTest::addColumn<bool>("asksPassword");
        QTest::newRow("damaged key bag")
            << int(ManifestKind::Mbdb) << int(ManifestProblem::DamagedKeybag) << true;
        QTest::newRow("no key bag")
            << int(ManifestKind::Mbdb) << int(ManifestProblem::NoKeys) << false;
        QTest::newRow("Manifest.db that does not decrypt")
            << int(ManifestKind::Db) << int(ManifestProblem::MissingManifestKey) << true;
    }

    void unusableKeysAreReported() {
        QFETCH(int, kind);
        QFETCH(int, problem);
        QFETCH(bool, asksPassword);
        const TempDir root;
        const fs::path source = EncryptedCopy(static_cast<ManifestKind>(kind));
        const fs::path copy = root / source.filename();
        fs::copy(source, copy, fs::copy_options::recursive);
        switch (static_cast<ManifestProblem>(problem)) {
            case ManifestProblem::DamagedKeybag:
                EditKeybag(copy, false);
                break;
            case ManifestProblem::NoKeys:
                EditKeybag(copy, true);
                break;
            default:  // cut short, Manifest.db is no longer whole cipher blocks
                fs::resize_file(copy / "Manifest.db", fs::file_size(copy / "Manifest.db") - 1);
                break;
        }
        Flow flow(root.path());
        flow.passwords = {kPassword};
        flow.SelectFolder(source.filename().string());
        flow.Button(CMainDlg::kStartScanId)->click();
        QCOMPARE(flow.boxes.size(), std::size_t{asksPassword ? 2u : 1u});
        QCOMPARE(flow.boxes.front().text, asksPassword
                                              ? CPasswordBox::kPrompt
                                              : MessageOf(static_cast<ManifestProblem>(problem)));
        QCOMPARE(flow.LastText(), MessageOf(static_cast<ManifestProblem>(problem)));
        QVERIFY(flow.notices.empty());
        QCOMPARE(flow.window->CurrentScreen(), CMainDlg::kHomeScreen);
        QVERIFY(flow.Shown(CMainDlg::kBackupListId));
        flow.window->Close(0);
    }
};

QTEST_MAIN(TestMainFlowEncrypted)
#include "moc_mainflow.cpp"
#include "tst_mainflow_encrypted.moc"
