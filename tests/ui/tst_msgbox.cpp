// The message box and the about box: results of every button, the layout's margins and link
// placement, the link opening its target, and screenshots of several boxes in both palettes.
#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include "makerlibs/gildpaint_draw.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "ui/aboutbox.h"
#include "ui/imgbutton.h"
#include "ui/msgbox.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

using namespace pixhaven::ui;

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
}

QTEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
