// The font pool, the drawing helpers and the skinned buttons, labels and animations: geometry,
// frames by state, and screenshots in a light and a dark desktop palette.
#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "makerlibs/gildpaint_draw.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "ui/animate.h"
#include "ui/fontpool.h"
#include "ui/imgbutton.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

using namespace pixhaven::ui;

namespace {

const QColor kFrameColors[] = {Qt::red,  Qt::green,   Qt::blue, Qt::yellow,
                               Qt::cyan, Qt::magenta, Qt::gray, Qt::darkRed};

// Points the skin folder at a temporary one holding strips whose frames have distinct colours.
class TestSkin {
public:
    TestSkin() : saved_(Folders().imageFolder) { Folders().imageFolder = dir_.path(); }
    ~TestSkin() { Folders().imageFolder = saved_; }
    TestSkin(const TestSkin&) = delete;
    TestSkin& operator=(const TestSkin&) = delete;

    void AddStrip(const QString& name, int width, int height, int frames) {
        QImage strip(width, height, QImage::Format_ARGB32);
        QPainter painter(&strip);
        for (int frame = 0; frame < frames; ++frame) {
            painter.fillRect(frame * width / frames, 0, width / frames, height,
                             kFrameColors[frame % 8]);
        }
        painter.end();
        const auto file = dir_ / name.toStdString();
        QVERIFY(strip.save(QString::fromStdString(file.string())));
    }

private:
    pixhaven::test::TempDir dir_;
    std::filesystem::path saved_;
};

QColor CentreColour(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

pixhaven::backup::BackupInfo SampleDevice() {
    pixhaven::backup::BackupInfo info;
    info.deviceName = u"Robin's phone with a rather long name that will not fit in its box at all";
    info.lastBackupDate = u"2013-05-14 18:02:11";
    info.productVersion = u"6.1.3";
    info.serialNumber = u"F2LK81ABCD12";
    info.productType = u"iPhone5,2";
    info.itunesVersion = u"11.0.2";
    return info;
}

// Every control of this family on one surface, as the main window would hold them.
class ControlsSheet : public QWidget {
public:
    ControlsSheet() {
        setFixedSize(985, 560);
        auto* close = new CImgButton(this, 1000);
        close->SetImage("close.png", -1, 0, 3);
        auto* scan = new CImgButton(this, 1011);
        scan->SetImage("startscan.png", 20, 40, 4);
        auto* disabled = new CImgButton(this, 1012);
        disabled->SetImage("recover.png", 200, 40, 4);
        disabled->setEnabled(false);
        auto* label = new CStaticLabel(this, 1023);
        label->setGeometry(20, 100, 300, 18);
        label->SetText("Recovering: /a/very/long/path/to/a/photo/that/does/not/fit/IMG_0001.JPG");
        auto* page = new CStaticLink(this, 1041);
        page->setGeometry(340, 100, 60, 18);
        page->SetText("3/12");
        auto* busy = new CAnimateImg(this);
        busy->SetImage("animate.png");
        busy->Place(20, 130);
        busy->Tick();
        auto* text = new CAnimateStr(this, 1018);
        text->SetText(
            "Scaning,please wait .    Scaning,please wait . .  Scaning,please wait . . .");
        text->Place(42, 128);
        text->Tick();
        auto* panel = new CStaticLabel1(this, 1032);
        panel->setGeometry(0, 160, 985, 400);
        panel->SetBackupInfo(SampleDevice());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(240, 240, 239));
    }
};

}  // namespace

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void fontPoolCodes();
    void fontPoolCachesEachCode();
    void getFontSubstitutesFaces();
    void gradientRunsFromFirstToSecond();
    void buttonSizesFromStrip_data();
    void buttonSizesFromStrip();
    void buttonNegativePlacement();
    void buttonFrameByState();
    void buttonPaintsChosenFrame();
    void buttonDisabledIgnoresClicksAndCursor();
    void buttonWithoutImageStaysBlank();
    void animateStrFrames();
    void animateTicksWrapAndTimer();
    void animateImgFrameSizeAndPaint();
    void labelEllipsis();
    void screenshotsLightAndDark();
};

void TestControls::fontPoolCodes() {
    const QFont base = TkFontPool::MakeFont(font_code::kBase);
    QCOMPARE(base.pixelSize(), 11);
    QCOMPARE(base.weight(), QFont::Normal);
    const QFont largerBold = TkFontPool::MakeFont(font_code::kLargerBold);
    QCOMPARE(largerBold.pixelSize(), 12);
    QCOMPARE(largerBold.weight(), QFont::Bold);
    QCOMPARE(TkFontPool::MakeFont(font_code::kTwoLarger).pixelSize(), 13);
    QVERIFY(TkFontPool::MakeFont(font_code::kUnderline).underline());
    QVERIFY(TkFontPool::MakeFont(font_code::kItalic).italic());
    QVERIFY(!TkFontPool::MakeFont(font_code::kLarger).italic());
    QCOMPARE(QFontInfo(base).family(), QString("DejaVu Sans"));
}

void TestControls::fontPoolCachesEachCode() {
    TkFontPool pool;
    QCOMPARE(pool.CachedCount(), std::size_t{1});
    const QFont* first = &pool.Font(0x100);
    pool.Font(0x104);
    pool.Font(0x200);
    QCOMPARE(&pool.Font(0x100), first);
    QCOMPARE(pool.CachedCount(), std::size_t{4});
    QCOMPARE(&FontPool(), &FontPool());
}

void TestControls::getFontSubstitutesFaces() {
    const QFont arial = get_font("Arial", 16, 400);
    QCOMPARE(arial.pixelSize(), 16);
    QCOMPARE(QFontInfo(arial).family(), QString("Liberation Sans"));
    QCOMPARE(get_font("Arial", 15, 700).weight(), QFont::Bold);
    QVERIFY(get_font("Arial", 0, 0).pixelSize() >= 1);
}

void TestControls::gradientRunsFromFirstToSecond() {
    QImage image(100, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    gradient_fillrect(painter, QRect(0, 0, 100, 10), QColor(168, 229, 246), QColor(241, 247, 249));
    gradient_fillrect(painter, QRect(0, 10, 100, 10), Qt::black, Qt::white, 1);
    gradient_fillrect(painter, QRect(), Qt::red, Qt::red);
    painter.end();
    QVERIFY(qAbs(image.pixelColor(0, 5).red() - 168) <= 2);
    QVERIFY(qAbs(image.pixelColor(99, 5).red() - 241) <= 2);
    QVERIFY(image.pixelColor(50, 10).red() < image.pixelColor(50, 19).red());
    QCOMPARE(image.pixelColor(0, 10), image.pixelColor(99, 10));
}

void TestControls::buttonSizesFromStrip_data() {
    QTest::addColumn<int>("stripWidth");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("buttonWidth");
    QTest::newRow("four frames") << 400 << 4 << 100;
    QTest::newRow("three frames") << 90 << 3 << 30;
}

void TestControls::buttonSizesFromStrip() {
    QFETCH(int, stripWidth);
    QFETCH(int, frames);
    QFETCH(int, buttonWidth);
    TestSkin skin;
    skin.AddStrip("strip.png", stripWidth, 28, frames);
    QWidget parent;
    parent.resize(985, 670);
    CImgButton button(&parent, 1011);
    button.SetImage("strip.png", 10, 20, frames);
    QCOMPARE(button.geometry(), QRect(10, 20, buttonWidth, 28));
    QVERIFY(button.isVisibleTo(&parent));
    QCOMPARE(button.property("controlId").toInt(), 1011);
}

void TestControls::buttonNegativePlacement() {
    TestSkin skin;
    skin.AddStrip("close.png", 90, 28, 3);
    QWidget parent;
    parent.resize(985, 670);
    CImgButton button(&parent);
    button.SetImage("close.png", -34, -25, 3);
    QCOMPARE(button.pos(), QPoint(921, 670 - 28 - 25));
    QCOMPARE(PlaceFromEdges(QSize(985, 670), QSize(30, 28), 5, 0), QPoint(5, 0));
}

void TestControls::buttonFrameByState() {
    TestSkin skin;
    skin.AddStrip("four.png", 400, 20, 4);
    skin.AddStrip("three.png", 90, 20, 3);
    QWidget parent;
    CImgButton four(&parent);
    four.SetImage("four.png", 0, 0, 4);
    QCOMPARE(four.CurrentFrame(), 0);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&four, &enter);
    QCOMPARE(four.CurrentFrame(), 1);
    four.setDown(true);
    QCOMPARE(four.CurrentFrame(), 2);
    four.setEnabled(false);
    QCOMPARE(four.CurrentFrame(), 3);
    four.setEnabled(true);
    QCOMPARE(four.CurrentFrame(), 0);  // disabling dropped the hover and the press
    QApplication::sendEvent(&four, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&four, &leave);
    QCOMPARE(four.CurrentFrame(), 0);

    CImgButton three(&parent);
    three.SetImage("three.png", 0, 0, 3);
    three.setEnabled(false);
    QCOMPARE(three.CurrentFrame(), 0);  // no disabled frame in a three-frame strip
}

void TestControls::buttonPaintsChosenFrame() {
    TestSkin skin;
    skin.AddStrip("four.png", 400, 20, 4);
    QWidget parent;
    CImgButton button(&parent);
    button.SetImage("four.png", 0, 0, 4);
    QCOMPARE(CentreColour(button), kFrameColors[0]);
    button.setDown(true);
    QCOMPARE(CentreColour(button), kFrameColors[2]);
    button.setEnabled(false);
    QCOMPARE(CentreColour(button), kFrameColors[3]);
}

void TestControls::buttonDisabledIgnoresClicksAndCursor() {
    TestSkin skin;
    skin.AddStrip("ok.png", 270, 30, 3);
    QWidget parent;
    parent.resize(300, 100);
    CImgButton button(&parent, 1026);
    button.SetImage("ok.png", 0, 0, 3);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    QCOMPARE(button.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(button.cursor().shape() != Qt::PointingHandCursor);
}

void TestControls::buttonWithoutImageStaysBlank() {
    TestSkin skin;
    QWidget parent;
    parent.resize(100, 100);
    CImgButton button(&parent);
    button.SetImage("missing.png", -5, 5, 0);
    QCOMPARE(button.size(), QSize(0, 0));
    QCOMPARE(button.FrameCount(), 1);
    button.grab();  // painting a button without an image must not fail
}

void TestControls::animateStrFrames() {
    const QString text =
        "Scaning,please wait .    Scaning,please wait . .  Scaning,please wait . . .";
    QCOMPARE(text.size(), 75);
    CAnimateStr animation(nullptr, 1018);
    animation.SetText(text);
    QCOMPARE(animation.FrameCount(), 3);
    QCOMPARE(animation.FrameLength(), 25);
    QCOMPARE(animation.FrameText(0), QString("Scaning,please wait .    "));
    QCOMPARE(animation.FrameText(2), QString("Scaning,please wait . . ."));
    animation.Place(42, 591);
    QCOMPARE(animation.pos(), QPoint(42, 591));
    const QFontMetrics metrics(FontPool().Font(font_code::kLarger));
    QCOMPARE(animation.width(), metrics.horizontalAdvance(animation.FrameText(2)));

    animation.SetText("abc", 0);  // a frame count of zero must not divide by zero
    QCOMPARE(animation.FrameLength(), 3);
}

void TestControls::animateTicksWrapAndTimer() {
    CAnimateStr animation(nullptr);
    animation.SetText("aaabbbccc", 3);
    animation.Tick();
    animation.Tick();
    QCOMPARE(animation.Frame(), 2);
    animation.Tick();
    QCOMPARE(animation.Frame(), 0);

    animation.SetPeriod(5);
    animation.Start();
    animation.Start();
    QVERIFY(animation.IsRunning());
    QTRY_VERIFY(animation.Frame() != 0);
    animation.Stop();
    QVERIFY(!animation.IsRunning());
    const int stoppedAt = animation.Frame();
    QTest::qWait(30);
    QCOMPARE(animation.Frame(), stoppedAt);
}

void TestControls::animateImgFrameSizeAndPaint() {
    TestSkin skin;
    skin.AddStrip("animate.png", 128, 16, 8);
    CAnimateImg animation(nullptr);
    animation.SetImage("animate.png");
    QCOMPARE(animation.FrameCount(), 8);
    animation.Place(20, 611);
    QCOMPARE(animation.geometry(), QRect(20, 611, 16, 16));
    for (int i = 0; i < 5; ++i) {
        animation.Tick();
    }
    QCOMPARE(CentreColour(animation), kFrameColors[5]);
}

void TestControls::labelEllipsis() {
    CStaticLabel label(nullptr, 1021);
    label.resize(80, 16);
    label.SetText("0%");
    QCOMPARE(label.ShownText(), QString("0%"));
    label.SetText("Recovering: /a/long/folder/with/a/file/name.jpg");
    QVERIFY(label.ShownText().endsWith(QChar(0x2026)));
    QVERIFY(label.ShownText().size() < label.Text().size());
    QCOMPARE(label.objectName(), QString("1021"));
}

void TestControls::screenshotsLightAndDark() {
    const QPalette original = QApplication::palette();
    QImage light;
    {
        ControlsSheet sheet;
        light = sheet.grab().toImage();
        pixhaven::test::SaveScreenshot(sheet, "controls-light");
    }
    QApplication::setPalette(pixhaven::test::DarkPalette());
    {
        ControlsSheet sheet;
        pixhaven::test::SaveScreenshot(sheet, "controls-dark");
        QCOMPARE(sheet.grab().toImage(), light);
    }
    QApplication::setPalette(original);
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
