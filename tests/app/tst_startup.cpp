// Start-up: the settings record and its defaults, the working folder, the single-instance lock and
// a whole run of the program's entry with its main window.
#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <cstdint>
#include <optional>

#include "app/run.h"
#include "app/settings.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "app/update.h"
#include "makerlibs/qvutility.h"
#include "platform/files.h"
#include "tests/app/isolated_session.h"
#include "ui/aboutbox.h"
#include "ui/mainwindow.h"
#include "ui/programfolders.h"

using pixhaven::app::kSettingsKey;
using pixhaven::app::LoadSettings;
using pixhaven::app::Settings;

namespace {

QvRegKey SettingsKey() {
    QvRegKey key;
    qvCreateRegKeyW(QvRootKey::CurrentUser, kSettingsKey, key);
    return key;
}

std::optional<std::uint32_t> StoredDword(const char16_t* name) {
    QvRegKey key;
    std::uint32_t value = 0;
    if (!qvOpenRegKeyW(QvRootKey::CurrentUser, kSettingsKey, QvAccess::Read, key) ||
        !qvGetRegKeyDwordW(key, name, value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::u16string> StoredString(const char16_t* name) {
    QvRegKey key;
    std::u16string value;
    if (!qvOpenRegKeyW(QvRootKey::CurrentUser, kSettingsKey, QvAccess::Read, key) ||
        !qvGetRegKeyStrW(key, name, value)) {
        return std::nullopt;
    }
    return value;
}

bool AnyWindowVisible() {
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            return true;
        }
    }
    return false;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { session_.emplace(); }
    void cleanup() {
        session_.reset();
        QVERIFY(!AnyWindowVisible());
    }

    void firstRunWritesDefaults() {
        const Settings settings = LoadSettings();
        QCOMPARE(settings.version, std::u16string(u"6.0.0"));
        QCOMPARE(settings.runAtBoot, 0);
        QCOMPARE(settings.noClose, 0);
        QCOMPARE(settings.minToTray, 0);
        QCOMPARE(settings.noPromptAgain, 0);
        QCOMPARE(settings.autoUpdate, 0);
        QCOMPARE(settings.appLanguage, 1);

        QCOMPARE(StoredString(u"Version"), std::optional<std::u16string>(u"6.0.0"));
        for (const char16_t* flag :
             {u"RunAtBoot", u"NoClose", u"MinToTyay", u"NoPromptAgain", u"AutoUpdate"}) {
            QCOMPARE(StoredDword(flag), std::optional<std::uint32_t>(0));
        }
        QCOMPARE(StoredDword(u"AppLanguage"), std::optional<std::uint32_t>(1));
    }

    void storedNumbers_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("stored");
        QTest::addColumn<int>("loaded");
        QTest::newRow("RunAtBoot 2 is off") << "RunAtBoot" << 2u << 0;
        QTest::newRow("RunAtBoot 1 is on") << "RunAtBoot" << 1u << 1;
        QTest::newRow("NoClose all bits is off") << "NoClose" << 0xFFFFFFFFu << 0;
        QTest::newRow("MinToTyay 1 is on") << "MinToTyay" << 1u << 1;
        QTest::newRow("NoPromptAgain 1 is on") << "NoPromptAgain" << 1u << 1;
        QTest::newRow("AutoUpdate 1 is on") << "AutoUpdate" << 1u << 1;
        QTest::newRow("AppLanguage 7 stays") << "AppLanguage" << 7u << 7;
        QTest::newRow("AppLanguage 0 stays") << "AppLanguage" << 0u << 0;
    }

    void storedNumbers() {
        QFETCH(QString, name);
        QFETCH(uint, stored);
        QFETCH(int, loaded);
        QVERIFY(qvSetRegKeyDwordW(SettingsKey(), name.toStdU16String(), stored));

        const Settings settings = LoadSettings();
        const std::u16string key = name.toStdU16String();
        const int actual = key == u"RunAtBoot"       ? settings.runAtBoot
                           : key == u"NoClose"       ? settings.noClose
                           : key == u"MinToTyay"     ? settings.minToTray
                           : key == u"NoPromptAgain" ? settings.noPromptAgain
                           : key == u"AutoUpdate"    ? settings.autoUpdate
                                                     : settings.appLanguage;
        QCOMPARE(actual, loaded);
        // A value that could be read is never rewritten.
        QCOMPARE(StoredDword(key.c_str()), std::optional<std::uint32_t>(stored));
    }

    void storedVersionIsKept() {
        QVERIFY(qvSetRegKeyStrW(SettingsKey(), u"Version", u"6.2.1"));
        QCOMPARE(LoadSettings().version, std::u16string(u"6.2.1"));
    }

    void valueOfWrongTypeIsReplacedByDefault() {
        QVERIFY(qvSetRegKeyDwordW(SettingsKey(), u"Version", 6));
        QVERIFY(qvSetRegKeyStrW(SettingsKey(), u"AppLanguage", u"7"));
        const Settings settings = LoadSettings();
        QCOMPARE(settings.version, std::u16string(u"6.0.0"));
        QCOMPARE(settings.appLanguage, 1);
        QCOMPARE(StoredString(u"Version"), std::optional<std::u16string>(u"6.0.0"));
        QCOMPARE(StoredDword(u"AppLanguage"), std::optional<std::uint32_t>(1));
    }

    void failedKeyLeavesEmptyRecord() {
        // A configuration "folder" that is a file: the key can be neither opened nor created.
        const std::filesystem::path blocked = *session_ / "blocked";
        pixhaven::test::WriteFile(blocked, "not a folder");
        session_->Override("XDG_CONFIG_HOME", blocked);

        const Settings settings = LoadSettings();
        QVERIFY(settings.version.empty());
        QCOMPARE(settings.runAtBoot, 0);
        QCOMPARE(settings.noPromptAgain, 0);
        QCOMPARE(settings.appLanguage, 0);
        QCOMPARE(pixhaven::test::ReadFile(blocked), std::string("not a folder"));
    }

    void workingFolderIsCreatedUnderTemp() {
        pixhaven::ui::ProgramFolders folders;
        pixhaven::app::FillProgramFolders(folders);
        QCOMPARE(folders.workingFolder, *session_ / "tmp" / "Quillmark" / "Pixhaven");
        QVERIFY(std::filesystem::is_directory(folders.workingFolder));
        QVERIFY(folders.programFolder.is_absolute());
    }

    void workingFolderFailureIsIgnored() {
        pixhaven::test::WriteFile(*session_ / "tmp" / "Quillmark", "a file in the way");
        pixhaven::ui::ProgramFolders folders;
        pixhaven::app::FillProgramFolders(folders);
        QVERIFY(!std::filesystem::exists(folders.workingFolder));
    }

    void lockHeldElsewhereMeansAnotherInstance() {
        const auto lockFile = pixhaven::app::InstanceLockFile(pixhaven::app::kProductId);
        QCOMPARE(lockFile.parent_path(), *session_ / "runtime");
        {
            const pixhaven::app::SingleInstance first(lockFile);
            QVERIFY(!first.AnotherIsRunning());
            const pixhaven::app::SingleInstance second(lockFile);
            QVERIFY(second.AnotherIsRunning());
        }
        // Once the first copy has gone, the next start is the only one again.
        const pixhaven::app::SingleInstance again(lockFile);
        QVERIFY(!again.AnotherIsRunning());
    }

    void lockThatCannotBeMadeDoesNotStopStartup() {
        const pixhaven::app::SingleInstance instance(*session_ / "missing" / "x.lock");
        QVERIFY(!instance.AnotherIsRunning());
    }

    void runtimeFolderFallsBackToTemp() {
        session_->Override("XDG_RUNTIME_DIR", "relative/runtime");
        QCOMPARE(pixhaven::app::InstanceLockFile("id").parent_path(), *session_ / "tmp");
    }

    void secondRunReturnsZeroWithoutWindow() {
        const pixhaven::platform::ExclusiveFileLock running(
            pixhaven::app::InstanceLockFile(pixhaven::app::kProductId));
        QVERIFY(running.IsLocked());
        bool sawWindow = false;
        QTimer::singleShot(0, [&] { sawWindow = AnyWindowVisible(); });
        QCOMPARE(pixhaven::app::Run(), 0);
        QCoreApplication::processEvents();
        QVERIFY(!sawWindow);
        QVERIFY(!AnyWindowVisible());
    }

    // A whole run: the program's icon is set, the window shows, its About box carries the stored
    // version, and the close button's result comes back.
    void runShowsMainWindowAndReturnsItsResult() {
        QVERIFY(qvSetRegKeyStrW(SettingsKey(), u"Version", u"6.2.1"));
        QPointer<pixhaven::ui::CMainDlg> shown;
        QString aboutVersion;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<pixhaven::ui::CMainDlg*>(widget)) {
                    shown = window;
                }
            }
            if (!shown) {
                return;
            }
            // Runs inside the About box's own loop; whatever box is up is closed again.
            QTimer::singleShot(0, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                if (const auto* about = qobject_cast<pixhaven::ui::CAboutBox*>(modal)) {
                    aboutVersion = about->VersionText();
                }
                if (auto* dialog = qobject_cast<QDialog*>(modal);
                    dialog != nullptr && dialog != shown) {
                    dialog->done(0);
                }
            });
            shown->RunMenuCommand(pixhaven::ui::CMainDlg::kMenuAbout);
            auto* close = shown->findChild<QAbstractButton*>(QStringLiteral("1000"));
            close ? close->click() : shown->done(-1);
        });
        QCOMPARE(pixhaven::app::Run(), pixhaven::ui::CMainDlg::kCloseId);
        QVERIFY(shown.isNull());  // destroyed when Run returned
        QCOMPARE(aboutVersion, QStringLiteral("Version:6.2.1"));
        QVERIFY(!QApplication::windowIcon().isNull());
        QCOMPARE(pixhaven::app::AppSettings().version, std::u16string(u"6.2.1"));
        QVERIFY(std::filesystem::is_directory(*session_ / "tmp" / "Quillmark" / "Pixhaven"));
    }

private:
    std::optional<pixhaven::test::IsolatedSession> session_;
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
