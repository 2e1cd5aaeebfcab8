// The file list with its check header, and the backup list: check rules, notifications, sorting,
// hit boxes, painting, and screenshots in light and dark palettes.
#include <QApplication>
#include <QGlyphRun>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>
#include <vector>

#include "makerlibs/gildpaint.h"
#include "tests/support/message_recorder.h"
#include "tests/support/screenshot.h"
#include "ui/backuplist.h"
#include "ui/fontpool.h"
#include "ui/listviewcheck.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

using pixhaven::WM_LIST_CHECK_ALL;
using pixhaven::WM_LIST_CHECK_CHANGED;
using pixhaven::backup::BackupInfo;
using pixhaven::backup::BackupRow;
using pixhaven::test::Message;
using pixhaven::test::MessageRecorder;
using pixhaven::ui::CHeaderCtrlCheck;
using pixhaven::ui::CListViewCheck1;
using pixhaven::ui::CListViewExBackups;
using pixhaven::ui::WindowMessageEvent;
namespace font_code = pixhaven::ui::font_code;

namespace {

QString SizeText(std::uint32_t bytes) {
    return QString::fromStdU16String(fsize_format(bytes, 0));
}

// The file list as the main window sets it up, inside a recorder, shown offscreen.
struct FileListFixture {
    MessageRecorder window;
    CListViewCheck1* list;

    explicit FileListFixture(const QStringList& names, const QStringList& sizes = {}) {
        window.resize(766, 465);
        list = new CListViewCheck1(&window);
        list->setGeometry(window.rect());
        list->SetRowHeight(30);
        list->AddColumn(QStringLiteral("Name"), 300);
        list->AddColumn(QStringLiteral("Size"), 465);
        for (int row = 0; row < names.size(); ++row) {
            list->InsertRow(names[row], row < sizes.size() ? sizes[row] : SizeText(1024));
            list->SetRowData(row, row);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    void ClickBox(int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->CheckBoxRect(row).center());
    }
    void ClickHeaderBox() {
        QTest::mouseClick(&list->Header().CheckBox(), Qt::LeftButton, {}, QPoint(7, 7));
    }
    void ClickColumn(int column) {
        const int x = list->header()->sectionViewportPosition(column) +
                      list->header()->sectionSize(column) / 2;
        QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(x, 15));
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < list->RowCount(); ++row) {
            texts << list->RowText(row, column);
        }
        return texts;
    }
};

QStringList Names(int count) {
    QStringList names;
    for (int index = 0; index < count; ++index) {
        names << QStringLiteral("IMG_%1.MOV").arg(1000 + index * 7);
    }
    return names;
}

QColor PixelAt(QWidget& widget, QPoint point) {
    return widget.grab().toImage().pixelColor(point * widget.devicePixelRatio());
}

BackupInfo Facts(const char16_t* name, const char16_t* date, const char16_t* serial) {
    BackupInfo info;
    info.deviceName = name;
    info.lastBackupDate = date;
    info.serialNumber = serial;
    return info;
}

std::vector<BackupRow> FiveBackups() {
    std::vector<BackupRow> rows(5);
    rows[0] = {"3f1c0a9b7d2e", Facts(u"Anna's iPhone", u"2013-11-15 07:11:10", u"C39KD2XYDTC0")};
    rows[1] = {"8e5d4c3b2a19", Facts(u"Work iPad", u"2013-10-02 18:45:31", u"DMPJK4L8F18P")};
    rows[2] = {"b7a6f5e4d3c2", std::nullopt};
    rows[3] = {"c0ffee123456",
               Facts(u"Kitchen iPod touch", u"2012-06-30 09:02:55", u"CCQH91Z2DCP9")};
    rows[4] = {"d00dfeed7890", Facts(u"Old phone", u"", u"")};
    rows[4].info->readResult = pixhaven::backup::kInfoUnreadable;
    return rows;
}

struct BackupListFixture {
    QWidget window;
    CListViewExBackups* list;

    BackupListFixture() {
        window.resize(804, 352);
        list = new CListViewExBackups(&window);
        list->setGeometry(window.rect());
        list->AddColumn(QStringLiteral("DeviceName"), 250);
        list->AddColumn(QStringLiteral("Last Backup Date"), 250);
        list->AddColumn(QStringLiteral("Serial Number"), 290);
        list->SetBackupRows(FiveBackups());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QRect RowRect(int row) const { return list->visualItemRect(list->topLevelItem(row)); }
};

// Counts the pixels of a row close to `colour` and those that are dark.
struct InkCount {
    int near = 0;
    int dark = 0;
};

InkCount CountInk(const QImage& image, const QRect& area, const QColor& colour) {
    InkCount count;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const int distance = std::abs(pixel.red() - colour.red()) +
                                 std::abs(pixel.green() - colour.green()) +
                                 std::abs(pixel.blue() - colour.blue());
            count.near += distance < 30 ? 1 : 0;
            count.dark += pixel.lightness() < 60 ? 1 : 0;
        }
    }
    return count;
}

// Glyph 0 is every font's missing-glyph box. Laying a text out picks a fallback font for each run
// as painting does, so a layout without glyph 0 draws every character of the text.
bool EveryCharacterHasAGlyph(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    qsizetype glyphs = 0;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QList<quint32> indexes = run.glyphIndexes();
        if (indexes.contains(0u)) {
            return false;
        }
        glyphs += indexes.size();
    }
    return glyphs > 0;
}

}  // namespace

class TestLists : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QApplication::setPalette(QPalette()); }

    void fileListGeometry() {
        FileListFixture fixture(Names(3));
        CHeaderCtrlCheck& header = fixture.list->Header();
        QCOMPARE(header.height(), 30);
        QCOMPARE(header.CheckBox().geometry(), QRect(5, 7, 14, 14));
        QCOMPARE(fixture.list->visualItemRect(fixture.list->topLevelItem(1)).height(), 30);
        QCOMPARE(header.sectionResizeMode(1), QHeaderView::Fixed);
        QCOMPARE(header.sectionResizeMode(0), QHeaderView::Interactive);
        CListViewCheck1 fresh;
        QCOMPARE(fresh.RowHeight(), 50);
    }

    void checkBoxHitEdges_data() {
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<bool>("toggles");
        // Offsets from the box's top-left corner; the box is one check frame (16 x 16).
        QTest::newRow("top-left corner") << QPoint(0, 0) << true;
        QTest::newRow("bottom-right corner") << QPoint(15, 15) << true;
        QTest::newRow("left of the box") << QPoint(-1, 8) << false;
        QTest::newRow("right of the box") << QPoint(16, 8) << false;
        QTest::newRow("above the box") << QPoint(8, -1) << false;
        QTest::newRow("below the box") << QPoint(8, 16) << false;
    }

    void checkBoxHitEdges() {
        QFETCH(QPoint, offset);
        QFETCH(bool, toggles);
        FileListFixture fixture(Names(4));
        CListViewCheck1& list = *fixture.list;
        const QRect row = list.visualItemRect(list.topLevelItem(2));
        const QRect box = list.CheckBoxRect(2);
        QCOMPARE(box, QRect(5, row.top() + 7, 16, 16));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, box.topLeft() + offset);
        QCOMPARE(list.RowChecked(2), toggles);
        QCOMPARE(fixture.window.messages.size(), toggles ? 1u : 0u);
    }

    void boxClickKeepsSelectionOtherClicksSelect() {
        FileListFixture fixture(Names(4));
        CListViewCheck1& list = *fixture.list;
        list.SelectRow(1);
        fixture.ClickBox(3);
        QCOMPARE(list.currentIndex().row(), 1);
        QVERIFY(list.RowChecked(3));
        const QRect row3 = list.visualItemRect(list.topLevelItem(3));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(200, row3.center().y()));
        QCOMPARE(list.currentIndex().row(), 3);
        QVERIFY(list.RowChecked(3));
    }

    void quickSecondClickOnBoxTogglesBack() {
        FileListFixture fixture(Names(2));
        fixture.ClickBox(0);
        QTest::mouseDClick(fixture.list->viewport(), Qt::LeftButton, {},
                           fixture.list->CheckBoxRect(0).center());
        QVERIFY(!fixture.list->RowChecked(0));
        const std::vector<Message> expected{{WM_LIST_CHECK_CHANGED, 0, 1},
                                            {WM_LIST_CHECK_CHANGED, 0, 0}};
        QCOMPARE(fixture.window.messages, expected);
    }

    void headerCheckFollowsRows() {
        FileListFixture fixture(Names(3));
        CListViewCheck1& list = *fixture.list;
        QVERIFY(!list.HeaderChecked());
        fixture.ClickBox(0);
        fixture.ClickBox(2);
        QVERIFY(!list.HeaderChecked());
        fixture.ClickBox(1);  // the last unchecked row
        QVERIFY(list.HeaderChecked());
        fixture.ClickBox(2);
        QVERIFY(!list.HeaderChecked());
        const std::vector<Message> expected{{WM_LIST_CHECK_CHANGED, 0, 1},
                                            {WM_LIST_CHECK_CHANGED, 2, 1},
                                            {WM_LIST_CHECK_CHANGED, 1, 1},
                                            {WM_LIST_CHECK_CHANGED, 2, 0}};
        QCOMPARE(fixture.window.messages, expected);
    }

    void headerBoxChecksAndUnchecksEveryRow() {
        FileListFixture fixture(Names(5));
        CListViewCheck1& list = *fixture.list;
        fixture.ClickBox(3);  // already checked rows are reported too
        fixture.window.messages.clear();
        fixture.ClickHeaderBox();
        QVERIFY(list.HeaderChecked());
        std::vector<Message> expected;
        for (quintptr row = 0; row < 5; ++row) {
            QVERIFY(list.RowChecked(static_cast<int>(row)));
            expected.push_back({WM_LIST_CHECK_CHANGED, row, 1});
        }
        QCOMPARE(fixture.window.messages, expected);

        fixture.window.messages.clear();
        fixture.ClickHeaderBox();
        QVERIFY(!list.HeaderChecked());
        for (auto& message : expected) {
            message.lParam = 0;
        }
        QCOMPARE(fixture.window.messages, expected);
        QCOMPARE(list.RowState(0), pixhaven::ui::kStateUnchecked);
    }

    void checkAllMessage() {
        FileListFixture fixture(Names(3));
        pixhaven::ui::SendWindowMessage(fixture.list, WM_LIST_CHECK_ALL, 1);
        QVERIFY(fixture.list->HeaderChecked());
        QVERIFY(fixture.list->RowChecked(2));
        QCOMPARE(fixture.window.messages.size(), 3u);
        pixhaven::ui::SendWindowMessage(fixture.list, WM_LIST_CHECK_ALL, 0);
        QVERIFY(!fixture.list->HeaderChecked());
        QVERIFY(!fixture.list->RowChecked(0));
    }

    void secondColumnClickReversesOrder() {
        FileListFixture fixture({"b.mov", "C.mov", "a.mov", "d.mov"});
        fixture.list->SetRowCheck(1, true);
        fixture.ClickColumn(0);
        QCOMPARE(fixture.Column(0), QStringList({"a.mov", "b.mov", "C.mov", "d.mov"}));
        QVERIFY(fixture.list->SortAscending());
        fixture.ClickColumn(0);
        QCOMPARE(fixture.Column(0), QStringList({"d.mov", "C.mov", "b.mov", "a.mov"}));
        QVERIFY(!fixture.list->SortAscending());
        // Row data and checks travel with their rows.
        QCOMPARE(fixture.list->RowData(1).toInt(), 1);
        QVERIFY(fixture.list->RowChecked(1));
        QCOMPARE(fixture.window.messages.size(), 0u);
    }

    void sizeColumnSortsByDisplayedText() {
        const QStringList sizes{SizeText(512), SizeText(12'900'000), SizeText(1536),
                                SizeText(4'200'000'000u)};
        FileListFixture fixture({"one", "two", "three", "four"}, sizes);
        fixture.ClickColumn(0);  // another column first: a new column starts ascending
        fixture.ClickColumn(0);
        fixture.ClickColumn(1);
        QCOMPARE(fixture.list->SortColumn(), 1);
        QVERIFY(fixture.list->SortAscending());
        QStringList expected = sizes;
        std::sort(expected.begin(), expected.end(), [&](const QString& a, const QString& b) {
            return fixture.list->Collator().compare(a, b) < 0;
        });
        QCOMPARE(fixture.Column(1), expected);
        // Text order, not byte order: "1.50 KB" sorts before "512 bytes".
        QVERIFY(fixture.Column(1).indexOf(SizeText(1536)) <
                fixture.Column(1).indexOf(SizeText(512)));
    }

    void clearAllForgetsColumnsRowsAndSort() {
        FileListFixture fixture(Names(3));
        fixture.ClickColumn(1);
        fixture.list->ClearAll();
        QCOMPARE(fixture.list->RowCount(), 0);
        QCOMPARE(fixture.list->columnCount(), 0);
        QCOMPARE(fixture.list->SortColumn(), -1);
        QVERIFY(fixture.list->CheckBoxRect(0).isNull());
    }

    void fileRowColours() {
        FileListFixture fixture(Names(4));
        CListViewCheck1& list = *fixture.list;
        list.SelectRow(2);
        const auto at = [&](int row) {
            const QRect rect = list.visualItemRect(list.topLevelItem(row));
            return PixelAt(*list.viewport(), QPoint(list.viewport()->width() - 4, rect.top() + 3));
        };
        QCOMPARE(at(0), QColor(245, 245, 245));
        QCOMPARE(at(1), QColor(255, 255, 255));
        QCOMPARE(at(2), QColor(161, 219, 238));
        QCOMPARE(at(3), QColor(255, 255, 255));
    }

    void fileListLooksTheSameInDarkPalette() {
        FileListFixture fixture(Names(4));
        const QImage light = fixture.list->grab().toImage();
        QApplication::setPalette(pixhaven::test::DarkPalette());
        QCOMPARE(fixture.list->grab().toImage(), light);
    }

    void backupRowsWithAndWithoutFacts() {
        BackupListFixture fixture;
        CListViewExBackups& list = *fixture.list;
        QCOMPARE(list.RowCount(), 5);
        QCOMPARE(list.topLevelItem(2)->text(0), QStringLiteral("b7a6f5e4d3c2"));
        QVERIFY(list.RowInfo(2) == nullptr);
        QVERIFY(!list.RowReadable(2));
        QVERIFY(!list.RowReadable(4));
        QVERIFY(list.RowReadable(0));
        QCOMPARE(list.RowInfo(3)->deviceName, std::u16string(u"Kitchen iPod touch"));
        QCOMPARE(fixture.RowRect(0).height(), 45);

        const QImage image = list.viewport()->grab().toImage();
        const QColor note(150, 150, 150);
        for (const int row : {2, 4}) {
            const InkCount ink = CountInk(image, fixture.RowRect(row).adjusted(0, 2, 0, -2), note);
            QVERIFY2(ink.near > 20 && ink.dark == 0, qPrintable(QString::number(row)));
        }
        const InkCount facts = CountInk(image, fixture.RowRect(0).adjusted(0, 2, 0, -2), note);
        QVERIFY(facts.dark > 20);
    }

    void backupSelectionColourOnlyForReadableRows() {
        BackupListFixture fixture;
        CListViewExBackups& list = *fixture.list;
        const auto corner = [&](int row) {
            return PixelAt(*list.viewport(), fixture.RowRect(row).topRight() + QPoint(-3, 3));
        };
        QCOMPARE(corner(0), QColor(255, 255, 255));
        QCOMPARE(corner(1), QColor(245, 245, 250));
        list.setCurrentItem(list.topLevelItem(1));
        QCOMPARE(corner(1), QColor(175, 202, 245));
        list.setCurrentItem(list.topLevelItem(4));
        QCOMPARE(list.SelectedRow(), 4);
        QCOMPARE(corner(4), QColor(255, 255, 255));
    }

    void backupClickOnNoRowKeepsSelection() {
        BackupListFixture fixture;
        CListViewExBackups& list = *fixture.list;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, fixture.RowRect(3).center());
        QCOMPARE(list.SelectedRow(), 3);
        const QPoint below(100, fixture.RowRect(4).bottom() + 40);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(list.SelectedRow(), 3);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, fixture.RowRect(0).center());
        QCOMPARE(list.SelectedRow(), 0);
    }

    void emptyBackupListIsSafe() {
        CListViewExBackups list;
        QCOMPARE(list.SelectedRow(), -1);
        QVERIFY(list.Row(0) == nullptr);
        QVERIFY(list.RowInfo(-1) == nullptr);
        QVERIFY(!list.RowReadable(7));
    }

    // Chinese, Japanese and Korean device and file names, in every font the lists and the tree
    // draw them with.
    void cjkNamesRender() {
        const std::u16string names[] = {u"山田のiPhone", u"김민준의 iPad", u"王小明的 iPhone",
                                        u"カメラロール.MOV"};
        for (const std::u16string& name : names) {
            for (const std::uint16_t code :
                 {font_code::kBase, font_code::kLarger, font_code::kLargerBold}) {
                QVERIFY2(EveryCharacterHasAGlyph(QString::fromStdU16String(name),
                                                 pixhaven::ui::FontPool().Font(code)),
                         qPrintable(QString::fromStdU16String(name)));
            }
        }
        BackupListFixture fixture;
        std::vector<BackupRow> rows(3);
        rows[0] = {"a1", Facts(names[0].c_str(), u"2013-11-15 07:11:10", u"C39KD2XYDTC0")};
        rows[1] = {"b2", Facts(names[1].c_str(), u"2013-10-02 18:45:31", u"DMPJK4L8F18P")};
        rows[2] = {"c3", Facts(names[2].c_str(), u"2012-06-30 09:02:55", u"CCQH91Z2DCP9")};
        fixture.list->SetBackupRows(std::move(rows));
        QVERIFY(!pixhaven::test::SaveScreenshot(fixture.window, "backuplist_cjk").isEmpty());
    }

    void screenshots_data() { pixhaven::test::AddPaletteRows(); }

    void screenshots() {
        const bool dark = pixhaven::test::UseRowPalette();
        const QString suffix = dark ? QStringLiteral("_dark") : QStringLiteral("_light");
        QStringList names;
        QStringList sizes;
        for (int index = 0; index < 30; ++index) {
            const char* kinds[] = {".MOV", ".MP4", ".mp3", ".m4a", ".3gp"};
            names << QStringLiteral("IMG_%1%2").arg(4021 + index * 3).arg(kinds[index % 5]);
            sizes << SizeText(static_cast<std::uint32_t>(1'300 + index * index * 713'417));
        }
        FileListFixture files(names, sizes);
        for (const int row : {0, 2, 3, 7, 11}) {
            files.ClickBox(row);
        }
        files.list->SelectRow(4);
        files.ClickColumn(1);
        QVERIFY(!pixhaven::test::SaveScreenshot(files.window, "filelist" + suffix).isEmpty());

        BackupListFixture backups;
        backups.list->setCurrentItem(backups.list->topLevelItem(0));
        QVERIFY(!pixhaven::test::SaveScreenshot(backups.window, "backuplist" + suffix).isEmpty());
    }
};

QTEST_MAIN(TestLists)
#include "tst_lists.moc"
