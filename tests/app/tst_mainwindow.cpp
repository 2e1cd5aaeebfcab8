// The minimal main window: its frame and close button, moving by the top strip, and the update
// check one second after start-up that starts the updater stand-in only when an update exists.
#include <QAbstractButton>
#include <QApplication>
#include <QtTest>
#include <atomic>
#include <latch>
#include <memory>
#include <optional>
#include <utility>

#include "app/update.h"
#include "tests/app/isolated_session.h"
#include "tests/support/screenshot.h"
#include "ui/mainwindow.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

using pixhaven::ui::CMainDlg;
using pixhaven::ui::UpdateServices;

namespace {

// Records the update-check results that reach a window.
class UpdateMessageSpy : public QObject {
public:
    std::optional<quintptr> result;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == pixhaven::ui::WindowMessageEvent::EventType()) {
            const auto* message = static_cast<pixhaven::ui::WindowMessageEvent*>(event);
            if (message->Message() == pixhaven::WM_UPDATE_CHECKED) {
                result = message->WParam();
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// A window with a spy on the update-check results that reach it.
struct SpiedWindow {
    CMainDlg window;
    UpdateMessageSpy spy;

    explicit SpiedWindow(UpdateServices services) : window(std::move(services)) {
        window.installEventFilter(&spy);
    }
    // Shows the window and waits for its update check's result.
    bool ShowUntilChecked() {
        window.show();
        return QTest::qWaitFor([this] { return spy.result.has_value(); });
    }
};

struct CountingServices {
    std::shared_ptr<std::atomic<int>> checks = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<int> launches = std::make_shared<int>(0);

    UpdateServices Make(int result) const {
        return {[checks = checks, result] {
                    ++*checks;
                    return result;
                },
                [launches = launches] { ++*launches; }};
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { session_.emplace(); }
    void cleanup() {
        session_.reset();
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY2(!widget->isVisible(), "a window was left open");
        }
    }

    void frameAndCloseButton() {
        CMainDlg window(UpdateServices{});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(985, 670));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quillmark Pixhaven"));
        // The skin's icon, small for the title bar and big for the task switcher.
        const QList<QSize> iconSizes = window.windowIcon().availableSizes();
        for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(256, 256)}) {
            QVERIFY2(iconSizes.contains(size), qPrintable(QString::number(size.width())));
        }

        auto* close = window.findChild<QAbstractButton*>(QStringLiteral("1000"));
        QVERIFY(close != nullptr);
        QCOMPARE(close->property("controlId").toInt(), 1000);
        // Right edge less one pixel, at the top.
        QCOMPARE(close->geometry().right(), 985 - 1 - 1);
        QCOMPARE(close->y(), 0);
        pixhaven::test::SaveScreenshot(window, QStringLiteral("app_mainwindow"));

        close->click();
        QCOMPARE(window.result(), 1000);
        QVERIFY(!window.isVisible());
    }

    // Escape is no way out; the window's close request is, with result 0.
    void escapeStaysCloseRequestEndsWithZero() {
        CMainDlg window(UpdateServices{});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setResult(-1);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QCOMPARE(window.result(), -1);
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), 0);
    }

    void dragMovesWindowOnlyFromTopStrip_data() {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<bool>("moves");
        QTest::newRow("in the strip") << QPoint(300, 10) << true;
        QTest::newRow("last row of the strip") << QPoint(300, 27) << true;
        QTest::newRow("below the strip") << QPoint(300, 28) << false;
        QTest::newRow("middle of the window") << QPoint(300, 300) << false;
    }

    void dragMovesWindowOnlyFromTopStrip() {
        QFETCH(QPoint, press);
        QFETCH(bool, moves);
        CMainDlg window(UpdateServices{});
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint before = window.pos();

        QTest::mousePress(&window, Qt::LeftButton, {}, press);
        QTest::mouseMove(&window, press + QPoint(40, 25));
        QTest::mouseRelease(&window, Qt::LeftButton, {}, press + QPoint(40, 25));
        QCOMPARE(window.pos(), moves ? before + QPoint(40, 25) : before);
        window.reject();
    }

    void updateTimerFiresOnceAfterStart() {
        const CountingServices counting;
        SpiedWindow spied(counting.Make(0));
        QVERIFY(spied.window.UpdateTimerId() != 0);
        QVERIFY(spied.ShowUntilChecked());
        QCOMPARE(*spied.spy.result, quintptr{0});
        QCOMPARE(spied.window.UpdateTimerId(), 0);
        QCOMPARE(counting.checks->load(), 1);
        QCOMPARE(*counting.launches, 0);
        spied.window.reject();
    }

    void nonZeroResultLaunchesUpdater() {
        const CountingServices counting;
        SpiedWindow spied(counting.Make(1));
        QVERIFY(spied.ShowUntilChecked());
        QCOMPARE(*counting.launches, 1);
        spied.window.reject();
    }

    void windowGoneBeforeResultGetsNothing() {
        auto checkStarted = std::make_shared<std::latch>(1);
        auto mayAnswer = std::make_shared<std::latch>(1);
        auto launches = std::make_shared<int>(0);
        auto window = std::make_unique<CMainDlg>(UpdateServices{[checkStarted, mayAnswer] {
                                                                    checkStarted->count_down();
                                                                    mayAnswer->wait();
                                                                    return 1;
                                                                },
                                                                [launches] { ++*launches; }});
        window->show();
        QTRY_VERIFY(window->UpdateTimerId() == 0);
        checkStarted->wait();
        mayAnswer->count_down();
        window.reset();  // waits for the check, whose answer is then still queued
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(*launches, 0);
    }

    void updateListStartsUpdaterWithSixArguments() {
        const std::filesystem::path program = PrepareProgramFolder("Pixhaven=6.0.1\n");
        const std::filesystem::path log = *session_ / "freshpatch.log";
        session_->Override("PIXHAVEN_FRESHPATCH_LOG", log);

        CMainDlg window(pixhaven::app::MakeUpdateServices(program, u"6.0.0"));
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(
            std::filesystem::exists(log) && pixhaven::test::ReadFile(log).ends_with("\n"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(pixhaven::test::ReadFile(log)),
                                  QStringLiteral("freshpatch 6\n"
                                                 "Pixhaven\n"
                                                 "6.0.0\n"
                                                 "Quillmark Pixhaven\n"
                                                 "#32770\n"
                                                 "{8D5C2F0A-7B61-4E3C-9A24-61F0B7D3E58C}\n"
                                                 "{2E7A94B3-C05D-4F18-8B6E-D39A1C7F2046}\n"),
                                  5000);
        window.reject();
    }

    void noUpdateNeverStartsUpdater_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::newRow("same version") << QByteArray("Pixhaven=6.0.0\n");
        QTest::newRow("older version") << QByteArray("# maker's list\nPixhaven=5.9\n");
        QTest::newRow("other program") << QByteArray("Otherprog=9.0\n");
        QTest::newRow("malformed") << QByteArray("Pixhaven=6.x\n");
    }

    void noUpdateNeverStartsUpdater() {
        QFETCH(QByteArray, list);
        const std::filesystem::path program = PrepareProgramFolder(list.toStdString());
        const std::filesystem::path log = *session_ / "freshpatch.log";
        session_->Override("PIXHAVEN_FRESHPATCH_LOG", log);

        SpiedWindow spied(pixhaven::app::MakeUpdateServices(program, u"6.0.0"));
        QVERIFY(spied.ShowUntilChecked());
        QCOMPARE(*spied.spy.result, quintptr{0});
        // A started updater would have logged by now; give it the time it needs to show.
        QTest::qWait(500);
        QVERIFY(!std::filesystem::exists(log));
        spied.window.reject();
    }

    void missingUpdaterIsSilent() {
        const std::filesystem::path program = *session_ / "program";
        pixhaven::test::WriteFile(program / "update.lst", "Pixhaven=7.0\n");
        pixhaven::app::LaunchUpdater(program, u"6.0.0");  // nothing to start; must just return
        QVERIFY(!std::filesystem::exists(pixhaven::app::UpdaterProgram(program)));
    }

    void updateListAddressIsFileAddressBesideProgram() {
        const std::u16string address = pixhaven::app::UpdateListAddress("/opt/quill mark/pixhaven");
        QCOMPARE(QString::fromStdU16String(address),
                 QStringLiteral("file:///opt/quill%20mark/pixhaven/update.lst"));
    }

private:
    // A program folder holding the built updater and an update list.
    std::filesystem::path PrepareProgramFolder(const std::string& list) {
        const std::filesystem::path program = *session_ / "program";
        pixhaven::test::WriteFile(program / "update.lst", list);
        std::filesystem::create_symlink(pixhaven::app::UpdaterProgram(PIXHAVEN_BUILD_BIN_DIR),
                                        pixhaven::app::UpdaterProgram(program));
        return program;
    }

    std::optional<pixhaven::test::IsolatedSession> session_;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
