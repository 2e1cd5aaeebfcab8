// Checks the rendered skin against its table: every image the program loads exists at the size
// the window layout was drawn for, and every strip splits into frames a user can tell apart.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRect>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct Row {
    QString name;
    int width = 0;
    int height = 0;
    int frames = 1;
};

QList<Row> ReadTable() {
    QList<Row> rows;
    QFile file(QFINDTESTDATA("../../image/skin.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = text.split(QRegularExpression(QStringLiteral("\\s+")));
        if (f.size() == 5)
            rows.append({f[0], f[2].toInt(), f[3].toInt(), f[4].toInt()});
    }
    return rows;
}

QImage Rendered(const QString& name) {
    return QImage(QDir(qEnvironmentVariable("PIXHAVEN_IMAGE_DIR")).filePath(name));
}

QImage Frame(const QImage& strip, int frames, int index) {
    const int width = strip.width() / frames;
    return strip.copy(index * width, 0, width, strip.height())
        .convertToFormat(QImage::Format_ARGB32);
}

// Where an image button lands in its parent: a negative offset counts from the far edge.
int Place(int offset, int size, int parentSize) {
    return offset < 0 ? parentSize - size + offset : offset;
}

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT

private:
    QList<Row> rows_;

    Row Find(const QString& name) const {
        for (const Row& row : rows_)
            if (row.name == name)
                return row;
        return {};
    }
    QSize FrameSize(const QString& name) const {
        const Row row = Find(name);
        return row.frames > 0 ? QSize(row.width / row.frames, row.height) : QSize();
    }

private slots:
    void initTestCase() {
        rows_ = ReadTable();
        QVERIFY2(!rows_.isEmpty(), "the skin table could not be read");
        QVERIFY2(!qEnvironmentVariableIsEmpty("PIXHAVEN_IMAGE_DIR"), "no image folder given");
    }

    void tableNamesEveryImageTheProgramLoads_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("frames");
        const QList<QPair<const char*, int>> loaded = {
            {"mainbg.png", 1},      {"close.png", 3},       {"min.png", 3},
            {"menu.png", 3},        {"startscan.png", 4},   {"home.png", 4},
            {"recover.png", 4},     {"pause.png", 4},       {"continue.png", 4},
            {"stop.png", 4},        {"animate.png", 8},     {"iInfo.png", 1},
            {"cameraroll.png", 1},  {"photostream.png", 1}, {"msgattach.png", 1},
            {"jpeg.png", 1},        {"png.png", 1},         {"bmp.png", 1},
            {"gif.png", 1},         {"tiff.png", 1},        {"mov.png", 1},
            {"mp3.png", 1},         {"mp4.png", 1},         {"videos.png", 1},
            {"3gp.png", 1},         {"checkbox.png", 4},    {"checkboxes.png", 5},
            {"inc.png", 1},         {"dec.png", 1},         {"tree_opened.bmp", 1},
            {"tree_closed.bmp", 1}, {"treeroot.png", 1},    {"headerbg.png", 1},
            {"nopreview.png", 1},   {"msgbox.png", 1},      {"warn.png", 1},
            {"error.png", 1},       {"info.png", 1},        {"right.png", 1},
            {"ok.png", 3},          {"yes.png", 3},         {"no.png", 3},
            {"cancel.png", 3},      {"aboutbk.png", 1},     {"appicon.png", 1},
            {"appicon16.png", 1},   {"appicon32.png", 1},   {"appicon48.png", 1},
            {"appicon256.png", 1}};
        for (const auto& [name, frames] : loaded)
            QTest::newRow(name) << QString::fromLatin1(name) << frames;
    }
    void tableNamesEveryImageTheProgramLoads() {
        QFETCH(QString, name);
        QFETCH(int, frames);
        const Row row = Find(name);
        QCOMPARE(row.name, name);
        QCOMPARE(row.frames, frames);
    }

    void renderedImagesMatchTheTable() {
        for (const Row& row : rows_) {
            const QImage image = Rendered(row.name);
            QVERIFY2(!image.isNull(), qPrintable(row.name + " is missing"));
            QCOMPARE(image.size(), QSize(row.width, row.height));
            QVERIFY2(row.frames > 0 && row.width % row.frames == 0, qPrintable(row.name));
            if (row.name.endsWith(QStringLiteral(".bmp")))
                QVERIFY2(!image.hasAlphaChannel(), qPrintable(row.name));
        }
    }

    void everyPngHasADoubleDensityTwin() {
        for (const Row& row : rows_) {
            if (!row.name.endsWith(QStringLiteral(".png")))
                continue;
            const QImage doubled = Rendered(row.name.chopped(4) + QStringLiteral("@2x.png"));
            QCOMPARE(doubled.size(), QSize(row.width * 2, row.height * 2));
        }
    }

    void framesOfAStripDifferFromEachOther() {
        for (const Row& row : rows_) {
            const QImage strip = Rendered(row.name);
            for (int a = 0; a < row.frames; ++a)
                for (int b = a + 1; b < row.frames; ++b)
                    QVERIFY2(Frame(strip, row.frames, a) != Frame(strip, row.frames, b),
                             qPrintable(QStringLiteral("%1: frames %2 and %3 are the same")
                                            .arg(row.name)
                                            .arg(a)
                                            .arg(b)));
        }
    }

    void noImageIsBlank() {
        for (const Row& row : rows_) {
            const QImage image = Rendered(row.name).convertToFormat(QImage::Format_ARGB32);
            const QRgb first = image.pixel(0, 0);
            bool varies = false;
            for (int y = 0; y < image.height() && !varies; ++y)
                for (int x = 0; x < image.width() && !varies; ++x)
                    varies = image.pixel(x, y) != first;
            QVERIFY2(varies, qPrintable(row.name + " is one flat colour"));
        }
    }

    void mainWindowButtonsFitTheirBands() {
        constexpr int kWidth = 985;
        constexpr int kHeight = 670;
        QCOMPARE(FrameSize(QStringLiteral("mainbg.png")), QSize(kWidth, kHeight));
        // Title bar: menu, minimise, close left to right, inside the 28-pixel drag band.
        const int closeX = Place(-1, FrameSize(QStringLiteral("close.png")).width(), kWidth);
        const int minX = Place(-34, FrameSize(QStringLiteral("min.png")).width(), kWidth);
        const int menuX = Place(-65, FrameSize(QStringLiteral("menu.png")).width(), kWidth);
        QCOMPARE(minX, 921);
        QVERIFY(menuX + FrameSize(QStringLiteral("menu.png")).width() <= minX);
        QVERIFY(minX + FrameSize(QStringLiteral("min.png")).width() <= closeX);
        for (const char* name : {"close.png", "min.png", "menu.png"})
            QVERIFY(FrameSize(QString::fromLatin1(name)).height() <= 28);
        // Pause (or continue) and stop share the bottom right after the percent label (x 810).
        const QSize pause = FrameSize(QStringLiteral("pause.png"));
        QCOMPARE(FrameSize(QStringLiteral("continue.png")), pause);
        const int pauseX = Place(-92, pause.width(), kWidth);
        QVERIFY(pauseX >= 810);
        QVERIFY(pauseX + pause.width() <= Place(-20, FrameSize("stop.png").width(), kWidth));
        // Start scan sits below the backup list (bottom 560) and is roughly centred.
        const QSize scan = FrameSize(QStringLiteral("startscan.png"));
        QVERIFY(Place(-25, scan.height(), kHeight) > 560);
        QVERIFY(qAbs(420 + scan.width() / 2 - kWidth / 2) <= 10);
        // Back and recover stay clear of each other below the results line at y 579.
        const QSize back = FrameSize(QStringLiteral("home.png"));
        const QSize recover = FrameSize(QStringLiteral("recover.png"));
        QVERIFY(Place(-25, back.height(), kHeight) > 579);
        QVERIFY(30 + back.width() < Place(-30, recover.width(), kWidth));
        // The spinner at x 20 ends before the progress bar at x 42.
        QVERIFY(20 + FrameSize(QStringLiteral("animate.png")).width() <= 42);
    }

    void panelAndTilePicturesFitTheirBoxes() {
        // Device panel 756 x 464; the picture at 30,120 must end left of the values at x 445.
        const QRect info(QPoint(30, 120), FrameSize(QStringLiteral("iInfo.png")));
        QVERIFY(QRect(0, 0, 756, 464).contains(info));
        QVERIFY(info.right() < 445);
        // The fallback thumbnail fills at most the tile's picture frame (7,10)-(113,116).
        const QSize fallback = FrameSize(QStringLiteral("nopreview.png"));
        QVERIFY(fallback.width() <= 106 && fallback.height() <= 106);
        // Tree check boxes and glyphs fit the 25-pixel rows.
        for (const char* name : {"checkboxes.png", "checkbox.png", "treeroot.png",
                                 "tree_opened.bmp", "cameraroll.png"})
            QVERIFY2(FrameSize(QString::fromLatin1(name)).height() <= 25, name);
        QCOMPARE(FrameSize(QStringLiteral("headerbg.png")).height(), 30);
    }

    void boxesHoldTheirContent() {
        const QSize box = FrameSize(QStringLiteral("msgbox.png"));
        const QSize answer = FrameSize(QStringLiteral("ok.png"));
        for (const char* name : {"yes.png", "no.png", "cancel.png"})
            QCOMPARE(FrameSize(QString::fromLatin1(name)), answer);
        for (const char* name : {"warn.png", "error.png", "info.png", "right.png"})
            QCOMPARE(FrameSize(QString::fromLatin1(name)), QSize(40, 40));
        // Two answer buttons 20 pixels either side of the middle stay inside the box.
        QVERIFY(box.width() / 2 - answer.width() - 20 > 0);
        QVERIFY(box.width() / 2 + 20 + answer.width() < box.width());
        // The close button at x -5, y 5 stays in the caption row; the buttons 15 up leave
        // room for the vertically centred icon box.
        const int buttonTop = box.height() - answer.height() - 15;
        QVERIFY((box.height() - 40) / 2 + 40 < buttonTop);
        QVERIFY(5 + FrameSize(QStringLiteral("close.png")).height() < (box.height() - 40) / 2);
        // About box: the notice (40,190)-(450,254) and the line at y 310 fit, OK sits below.
        const QSize about = FrameSize(QStringLiteral("aboutbk.png"));
        QVERIFY(about.width() > 450);
        QVERIFY(Place(-15, answer.height(), about.height()) > 310);
    }
};

QTEST_MAIN(SkinTest)
#include "tst_skin.moc"
