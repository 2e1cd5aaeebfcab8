// The message box, the password box and the about box: results of every button, the layout's
// margins and link placement, the link opening its target, the password checked off the
// user-interface thread, and screenshots of several boxes in both palettes.
#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "makerlibs/gildpaint_draw.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "ui/aboutbox.h"
#include "ui/animate.h"
#include "ui/imgbutton.h"
#include "ui/msgbox.h"
#include "ui/passwordbox.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

using namespace pixhaven::ui;
using pixhaven::backup::ManifestProblem;
using pixhaven::backup::ScanSession;
using pixhaven::backup::SecretBytes;

namespace {

constexpr int kBoxWidth = 420;
constexpr int kBoxHeight = 200;

// A skin folder with plain images of the real skin's sizes, so the layout numbers are known.
class TestSkin {
public:
    TestSkin() : saved_(Folders().imageFolder) {
        Folders().imageFolder = dir_.path();
        Add("msgbox.png", kBoxWidth, kBoxHeight);
        Add("aboutbk.png", 490, 370);
        Add("close.png", 90, 28);
        Add("animate.png", 128, 16);
        for (const char* name : {"ok.png", "yes.png", "no.png", "cancel.png"}) {
            Add(name, 270, 30);
        }
    }
    ~TestSkin() { Folders().imageFolder = saved_; }
    TestSkin(const TestSkin&) = delete;
    TestSkin& operator=(const TestSkin&) = delete;

private:
    void Add(const char* name, int width, int height) {
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(Qt::darkCyan);
        image.save(QString::fromStdString((dir_ / name).string()));
    }

    pixhaven::test::TempDir dir_;
    std::filesystem::path saved_;
};

// A message of exactly `lines` lines by the box's count: text width / (box width - 80) + 1.
QString MessageOfLines(int lines) {
    const QFontMetrics metrics(get_font("Arial", 16, 400));
    const int perLine = kBoxWidth - 80;
    QString text = "Recovering finished.";
    while (metrics.horizontalAdvance(text) / perLine + 1 < lines) {
        text += " More words";
    }
    return text;
}

int LineHeight() {
    return QFontMetrics(get_font("Arial", 16, 400)).height();
}

// Clicks the button `id` of whichever box is modal as soon as the event loop runs.
void ClickWhenModal(int id) {
    QTimer::singleShot(0, [id] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        auto* button = modal->findChild<CImgButton*>(QString::number(id));
        QVERIFY(button != nullptr);
        button->click();
    });
}

// A password check the test holds and releases: it records each password and the thread it ran
// on, and opens the backup for `right` only (or fails with `problem` for any password).
class ScriptedCheck {
public:
    CPasswordBox::Opener Opener() {
        return [this](const SecretBytes& password) {
            std::unique_lock lock(mutex_);
            passwords_.emplace_back(reinterpret_cast<const char*>(password.data()),
                                    password.size());
            onUiThread_ = onUiThread_ || std::this_thread::get_id() == uiThread_;
            // A failing test must not leave the box's destructor waiting for ever.
            released_.wait_for(lock, std::chrono::seconds(20), [this] { return !held_; });
            ScanSession::Opened opened;
            opened.problem = passwords_.back() == right ? problem : ManifestProblem::WrongPassword;
            return opened;
        };
    }
    void Hold() {
        const std::lock_guard lock(mutex_);
        held_ = true;
    }
    void Release() {
        {
            const std::lock_guard lock(mutex_);
            held_ = false;
        }
        released_.notify_all();
    }
    std::vector<std::string> Passwords() {
        const std::lock_guard lock(mutex_);
        return passwords_;
    }
    bool RanOnUiThread() {
        const std::lock_guard lock(mutex_);
        return onUiThread_;
    }

    std::string right = "pixhaven";
    ManifestProblem problem = ManifestProblem::None;

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    bool onUiThread_ = false;
    std::vector<std::string> passwords_;
    const std::thread::id uiThread_ = std::this_thread::get_id();
};

void TypePassword(CPasswordBox& box, const QString& text) {
    box.Entry()->insert(text);  // as typed: key clicks cannot carry letters beyond ASCII
    QTest::keyClick(box.Entry(), Qt::Key_Return);
}

}  // namespace

class TestMsgBox : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void everyButtonReturnsItsResult_data();
    void everyButtonReturnsItsResult();
    void escapeCountsAsClose();
    void shortMessageWithoutLink();
    void longMessageWithoutLink();
    void linkMargins_data();
    void linkMargins();
    void linkPlacement();
    void twoButtonsStandApart_data();
    void twoButtonsStandApart();
    void linkClickOpensTarget();
    void linkWithoutTargetOpensNothing();
    void unknownIconAndMissingSkinStillShow();
    void dragMovesTheBox();
    void passwordBoxLayout();
    void passwordCheckedOffTheUiThread();
    void passwordBoxAnswers();
    void aboutBoxResults();
    void aboutBoxLayout();
    void screenshotsLightAndDark();
};

void TestMsgBox::cleanup() {
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
}

void TestMsgBox::everyButtonReturnsItsResult_data() {
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("clicked");
    QTest::newRow("ok") << int(CMsgBox::kOk) << 1026;
    QTest::newRow("yes") << int(CMsgBox::kYes | CMsgBox::kNo) << 1027;
    QTest::newRow("no") << int(CMsgBox::kYes | CMsgBox::kNo) << 1028;
    QTest::newRow("cancel") << int(CMsgBox::kOk | CMsgBox::kCancel) << 1029;
    QTest::newRow("close") << int(CMsgBox::kYes | CMsgBox::kNo) << 1025;
}

void TestMsgBox::everyButtonReturnsItsResult() {
    QFETCH(int, buttons);
    QFETCH(int, clicked);
    TestSkin skin;
    ClickWhenModal(clicked);
    QCOMPARE(CMsgBox::ShowMessage(CMsgBox::kInformation, buttons, "Are you sure?", nullptr),
             clicked);
}

void TestMsgBox::escapeCountsAsClose() {
    TestSkin skin;
    QTimer::singleShot(0,
                       [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(CMsgBox::ShowMessage(CMsgBox::kWarning, CMsgBox::kOk, "Escape", nullptr), 1025);
}

void TestMsgBox::shortMessageWithoutLink() {
    TestSkin skin;
    CMsgBox box(nullptr);
    box.Prepare(CMsgBox::kWarning, CMsgBox::kOk,
                "Please select a device in the list above to scan.");
    QCOMPARE(box.size(), QSize(kBoxWidth, kBoxHeight));
    QCOMPARE(box.LineCount(), 0);
    QCOMPARE(box.IconBox(), QRect(20, 80, 40, 40));
    CImgButton* ok = box.Button(1026);
    QCOMPARE(ok->geometry(), QRect((kBoxWidth - 90) / 2, kBoxHeight - 30 - 15, 90, 30));
    QVERIFY(!box.Button(1027)->isVisibleTo(&box));
    QVERIFY(!box.Link()->isVisibleTo(&box));
    QCOMPARE(box.Button(1025)->geometry(), QRect(kBoxWidth - 30 - 5, 5, 30, 28));
}

void TestMsgBox::longMessageWithoutLink() {
    TestSkin skin;
    CMsgBox box(nullptr);
    box.Prepare(CMsgBox::kError, CMsgBox::kOk, MessageOfLines(5));
    QCOMPARE(box.LineCount(), 0);
    QCOMPARE(box.BottomMargin(), 15);
    QCOMPARE(box.Button(1026)->y(), kBoxHeight - 30 - 15);
}

void TestMsgBox::linkMargins_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("margin");
    QTest::newRow("one line") << 1 << 15;
    QTest::newRow("two lines") << 2 << 15;
    QTest::newRow("three lines") << 3 << 10;
    QTest::newRow("four lines") << 4 << 10;
}

void TestMsgBox::linkMargins() {
    QFETCH(int, lines);
    QFETCH(int, margin);
    TestSkin skin;
    CMsgBox box(nullptr);
    box.Prepare(CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink, MessageOfLines(lines),
                "SaveFile:/tmp/out", "/tmp/out");
    QCOMPARE(box.LineCount(), lines);
    QCOMPARE(box.Button(1026)->y(), kBoxHeight - 30 - margin);
}

void TestMsgBox::linkPlacement() {
    TestSkin skin;
    for (const int lines : {1, 2, 3}) {
        CMsgBox box(nullptr);
        box.Prepare(CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink, MessageOfLines(lines),
                    "SaveFile:/tmp/out", "/tmp/out");
        const int block = lines * LineHeight();
        const QRect link = box.Link()->geometry();
        QCOMPARE(link.topLeft(), QPoint(70, (kBoxHeight - block) / 2 + block + 2));
        QCOMPARE(link.height(), 15);
        QCOMPARE(link.width(), box.Link()->IdealSize().width());
        QCOMPARE(box.Link()->Label(), QString("Open the folder"));
        QVERIFY(box.Link()->isVisibleTo(&box));
    }
}

void TestMsgBox::twoButtonsStandApart_data() {
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("ok cancel") << int(CMsgBox::kOk | CMsgBox::kCancel) << 1026 << 1029;
    QTest::newRow("yes no") << int(CMsgBox::kYes | CMsgBox::kNo) << 1027 << 1028;
}

void TestMsgBox::twoButtonsStandApart() {
    QFETCH(int, buttons);
    QFETCH(int, first);
    QFETCH(int, second);
    TestSkin skin;
    CMsgBox box(nullptr);
    box.Prepare(CMsgBox::kInformation, buttons, "Are you sure to go back?");
    QCOMPARE(box.Button(first)->pos(), QPoint(kBoxWidth / 2 - 90 - 20, kBoxHeight - 30 - 15));
    QCOMPARE(box.Button(second)->pos(), QPoint(kBoxWidth / 2 + 20, kBoxHeight - 30 - 15));
}

void TestMsgBox::linkClickOpensTarget() {
    TestSkin skin;
    CMsgBox box(nullptr);
    QStringList opened;
    box.SetLinkOpener([&opened](const QString& target) { opened << target; });
    box.Prepare(CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink, "Recovering finished.",
                "SaveFile:/tmp/PXHVN20130514", "/tmp/PXHVN20130514");
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Link(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened, QStringList{"/tmp/PXHVN20130514"});
    QVERIFY(box.isVisible());  // the link does not end the box
}

void TestMsgBox::linkWithoutTargetOpensNothing() {
    TestSkin skin;
    CMsgBox box(nullptr);
    int opened = 0;
    box.SetLinkOpener([&opened](const QString&) { ++opened; });
    box.Prepare(CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink, "Done.");
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Link(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened, 0);
}

void TestMsgBox::unknownIconAndMissingSkinStillShow() {
    const auto saved = Folders().imageFolder;
    pixhaven::test::TempDir empty;
    Folders().imageFolder = empty.path();
    {
        CMsgBox box(nullptr);
        box.Prepare(9, CMsgBox::kOk | CMsgBox::kFolderLink, "No skin at all", {}, "/tmp");
        // A modal box that cannot be seen could never be answered.
        QVERIFY(box.width() > 100 && box.height() > 50);
        box.grab();
        CAboutBox about("6.0.0", nullptr);
        QVERIFY(about.width() > 100 && about.height() > 50);
        about.grab();
    }
    Folders().imageFolder = saved;
}

void TestMsgBox::dragMovesTheBox() {
    TestSkin skin;
    CMsgBox box(nullptr);
    box.Prepare(CMsgBox::kWarning, CMsgBox::kOk, "Drag me");
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QPoint start = box.pos();
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(200, 60));
    QMouseEvent move(QEvent::MouseMove, QPointF(240, 90), box.mapToGlobal(QPointF(240, 90)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&box, &move);
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(240, 90));
    QCOMPARE(box.pos(), start + QPoint(40, 30));
}

void TestMsgBox::passwordBoxLayout() {
    TestSkin skin;
    ScriptedCheck check;
    CPasswordBox box(nullptr, check.Opener());
    // The message box's frame: its size, close button and pair of answer buttons.
    QCOMPARE(box.size(), QSize(kBoxWidth, kBoxHeight));
    QCOMPARE(box.Button(1025)->geometry(), QRect(kBoxWidth - 30 - 5, 5, 30, 28));
    QCOMPARE(box.Button(1026)->pos(), QPoint(kBoxWidth / 2 - 90 - 20, kBoxHeight - 30 - 15));
    QCOMPARE(box.Button(1029)->pos(), QPoint(kBoxWidth / 2 + 20, kBoxHeight - 30 - 15));
    QCOMPARE(box.Entry()->echoMode(), QLineEdit::Password);
    QCOMPARE(box.Entry()->x(), 70);
    QVERIFY(box.Entry()->geometry().bottom() < box.BusyPicture()->y());
    QVERIFY(box.BusyPicture()->geometry().bottom() < kBoxHeight - 30 - 15);
    QCOMPARE(box.focusWidget(), box.Entry());
    QVERIFY(!box.BusyPicture()->isVisibleTo(&box));
}

void TestMsgBox::passwordCheckedOffTheUiThread() {
    TestSkin skin;
    ScriptedCheck check;
    CPasswordBox box(nullptr, check.Opener());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    check.Hold();
    TypePassword(box, QStringLiteral("p\u00e4sswort"));
    QVERIFY(box.Checking());
    QVERIFY(box.Entry()->text().isEmpty());  // read once, then dropped
    QVERIFY(!box.Entry()->isEnabled() && !box.Button(1026)->isEnabled() &&
            !box.Button(1029)->isEnabled() && !box.Button(1025)->isEnabled());
    QVERIFY(box.BusyPicture()->isVisible() && box.BusyPicture()->IsRunning());
    // The window keeps serving events while the key is derived: the busy picture moves on.
    const int frame = box.BusyPicture()->Frame();
    QTRY_VERIFY(box.BusyPicture()->Frame() != frame);
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(box.isVisible() && box.Checking());  // a running check cannot be abandoned

    check.Release();
    QTRY_VERIFY(!box.Checking());
    QCOMPARE(box.Notice(), CPasswordBox::kWrongPassword);
    QVERIFY(box.isVisible() && box.result() == 0);
    QVERIFY(box.Entry()->isEnabled() && box.Entry()->text().isEmpty());
    QCOMPARE(box.focusWidget(), box.Entry());
    QVERIFY(!box.BusyPicture()->isVisible());

    box.Entry()->setText("pixhaven");
    box.Button(1026)->click();
    QTRY_COMPARE(box.result(), int(CPasswordBox::kOkResult));
    QCOMPARE(check.Passwords(), (std::vector<std::string>{"p\xc3\xa4sswort", "pixhaven"}));
    QVERIFY(!check.RanOnUiThread());
    QCOMPARE(box.TakeOpened().problem, ManifestProblem::None);
}

void TestMsgBox::passwordBoxAnswers() {
    TestSkin skin;
    ScriptedCheck check;
    const auto answer = [&check](const std::function<void(CPasswordBox&)>& act) {
        CPasswordBox box(nullptr, check.Opener());
        box.show();
        act(box);
        return QTest::qWaitFor([&box] { return box.result() != 0; }, 5000) ? box.result() : 0;
    };
    QCOMPARE(answer([](CPasswordBox& box) { box.Button(1029)->click(); }), 1029);
    QCOMPARE(answer([](CPasswordBox& box) { box.Button(1025)->click(); }), 1025);
    QCOMPARE(answer([](CPasswordBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }), 1025);
    // Enter on an empty entry checks nothing.
    QCOMPARE(answer([](CPasswordBox& box) {
                 QTest::keyClick(box.Entry(), Qt::Key_Return);
                 QVERIFY(!box.Checking());
                 box.reject();
             }),
             1025);
    QVERIFY(check.Passwords().empty());

    // A backup that fails for another reason than the password ends the box with that reason.
    check.problem = ManifestProblem::DamagedKeybag;
    CPasswordBox box(nullptr, check.Opener());
    TypePassword(box, "pixhaven");
    QTRY_COMPARE(box.result(), int(CPasswordBox::kOkResult));
    QCOMPARE(box.TakeOpened().problem, ManifestProblem::DamagedKeybag);
}

void TestMsgBox::aboutBoxResults() {
    TestSkin skin;
    for (const int id : {CAboutBox::kCloseId, CAboutBox::kOkId}) {
        CAboutBox box("6.0.0", nullptr);
        ClickWhenModal(id);
        QCOMPARE(box.exec(), id);
    }
    CAboutBox box("6.0.0", nullptr);
    QTimer::singleShot(0,
                       [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(box.exec(), CAboutBox::kCloseId);
}

void TestMsgBox::aboutBoxLayout() {
    TestSkin skin;
    CAboutBox box("6.0.0", nullptr);
    QCOMPARE(box.size(), QSize(490, 370));
    QCOMPARE(box.Button(1023)->geometry(), QRect(490 - 30 - 2, 0, 30, 28));
    QCOMPARE(box.Button(1024)->geometry(), QRect(490 - 90 - 20, 370 - 30 - 15, 90, 30));
    QCOMPARE(box.Link()->pos(), QPoint(40, 270));
    QCOMPARE(box.Link()->size(), box.Link()->IdealSize());
    QCOMPARE(box.Link()->Label(), "Homepage:" + CAboutBox::HomePage());
    QStringList opened;
    box.SetLinkOpener([&opened](const QString& target) { opened << target; });
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Link(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened, QStringList{CAboutBox::HomePage()});
}

void TestMsgBox::screenshotsLightAndDark() {
    struct Variant {
        const char* name;
        int icon;
        int buttons;
        QString text;
    };
    const Variant variants[] = {
        {"warning-ok", CMsgBox::kWarning, CMsgBox::kOk,
         "Please select a device in the list above to scan."},
        {"error-ok", CMsgBox::kError, CMsgBox::kOk, "Parse Mainfest.mbdb failed!"},
        {"info-yes-no", CMsgBox::kInformation, CMsgBox::kYes | CMsgBox::kNo,
         "Are you sure to go back? If Back, the scanning results will not be saved."},
        {"success-link", CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink,
         "Recovering finished, 1234 files have been recovered."},
        {"success-link-3-lines", CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink,
         MessageOfLines(3)},
    };
    const QPalette original = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? pixhaven::test::DarkPalette() : original);
        const QString suffix = dark ? "-dark" : "-light";
        for (const Variant& variant : variants) {
            CMsgBox box(nullptr);
            box.Prepare(variant.icon, variant.buttons, variant.text, "SaveFile:/tmp/out",
                        "/tmp/out");
            const QString name = QString("msgbox-") + variant.name + suffix;
            pixhaven::test::SaveScreenshot(box, name);
        }
        CAboutBox about("6.0.0", nullptr);
        pixhaven::test::SaveScreenshot(about, "aboutbox" + suffix);
        ScriptedCheck check;
        CPasswordBox password(nullptr, check.Opener());
        password.Entry()->setText("secret");
        pixhaven::test::SaveScreenshot(password, "passwordbox" + suffix);
        TypePassword(password, "wrong");
        QTRY_VERIFY(!password.Checking());
        pixhaven::test::SaveScreenshot(password, "passwordbox-wrong" + suffix);
        check.Hold();
        TypePassword(password, "pixhaven");
        pixhaven::test::SaveScreenshot(password, "passwordbox-checking" + suffix);
        check.Release();
        QTRY_COMPARE(password.result(), int(CPasswordBox::kOkResult));
    }
    QApplication::setPalette(original);
    // The skin paints every pixel itself: both palettes give the same box.
    CMsgBox light(nullptr);
    light.Prepare(CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink, "Same", {}, "/tmp");
    const QImage lightImage = light.grab().toImage();
    QApplication::setPalette(pixhaven::test::DarkPalette());
    CMsgBox dark(nullptr);
    dark.Prepare(CMsgBox::kSuccess, CMsgBox::kOk | CMsgBox::kFolderLink, "Same", {}, "/tmp");
    const QImage darkImage = dark.grab().toImage();
    QApplication::setPalette(original);
    QCOMPARE(darkImage, lightImage);
    const auto passwordBoxImage = [] {
        ScriptedCheck check;
        CPasswordBox box(nullptr, check.Opener());
        box.Entry()->setText("secret");
        return box.grab().toImage();
    };
    const QImage lightPassword = passwordBoxImage();
    QApplication::setPalette(pixhaven::test::DarkPalette());
    const QImage darkPassword = passwordBoxImage();
    QApplication::setPalette(original);
    QCOMPARE(darkPassword, lightPassword);
}

QTEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
