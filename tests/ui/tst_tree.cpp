// The category tree: root and category check rules, greyed categories, notifications, check-box
// and glyph positions, the root's tooltip, painting, and screenshots in light and dark palettes.
#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <vector>

#include "tests/support/message_recorder.h"
#include "tests/support/screenshot.h"
#include "ui/categorytree.h"
#include "ui/fontpool.h"
#include "ui/programfolders.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

using pixhaven::WM_TREE_CHECK_CHANGED;
using pixhaven::test::Message;
using pixhaven::test::MessageRecorder;
using pixhaven::ui::CTreeViewEx1;
using pixhaven::ui::WindowMessageEvent;

namespace {

constexpr int kCategories = 13;
constexpr int kNone = 0;
constexpr int kUnchecked = 1;
constexpr int kChecked = 2;

const char* const kLabels[kCategories] = {"Camera Roll", "PhotoStream", "Attachment", "JPG", "PNG",
                                          "BMP",         "GIF",         "TIFF",       "MOV", "MP3",
                                          "MP4",         "M4A",         "3GP"};
const char* const kIcons[kCategories] = {
    "cameraroll.png", "photostream.png", "msgattach.png", "jpeg.png", "png.png",
    "bmp.png",        "gif.png",         "tiff.png",      "mov.png",  "mp3.png",
    "mp4.png",        "videos.png",      "3gp.png"};

// The tree as the main window builds it, inside a recorder, with results in `counts` (0 = none).
struct TreeFixture {
    MessageRecorder window;
    CTreeViewEx1* tree;

    explicit TreeFixture(const std::vector<int>& counts) {
        window.resize(211, 351);
        tree = new CTreeViewEx1(&window);
        tree->setGeometry(window.rect());
        QTreeWidgetItem* root = tree->InsertItem(nullptr, CTreeViewEx1::kRootCategory, "  ");
        for (int index = 0; index < kCategories; ++index) {
            QTreeWidgetItem* item = tree->InsertItem(root, index, kLabels[index],
                                                     pixhaven::ui::SkinImage(kIcons[index]));
            const int count = counts[static_cast<std::size_t>(index)];
            if (count > 0) {
                tree->SetItemText(item, QStringLiteral("%1 (%2)").arg(kLabels[index]).arg(count));
                tree->SetHasResults(item, true);
                tree->SetItemState(item, kUnchecked);
            }
        }
        tree->SetItemState(root, kUnchecked);
        root->setExpanded(true);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    QTreeWidgetItem* Category(int index) const { return tree->CategoryItem(index); }
    void ClickBox(QTreeWidgetItem* item) {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->CheckBoxRect(item).center());
    }
    void ClickText(QTreeWidgetItem* item) {
        const QRect row = tree->visualItemRect(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(130, row.center().y()));
    }
    Message Changed(int index, int value) const {
        return {WM_TREE_CHECK_CHANGED, CTreeViewEx1::Handle(Category(index)), value};
    }
};

// Results in all but the GIF, TIFF, BMP and 3GP categories.
std::vector<int> SomeResults() {
    return {120, 7, 36, 410, 52, 0, 0, 0, 3, 18, 9, 5, 0};
}

}  // namespace

class TestTree : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QApplication::setPalette(QPalette()); }

    void geometry() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        QTreeWidgetItem* root = tree.RootItem();
        const QRect rootRow = tree.visualItemRect(root);
        QCOMPARE(rootRow.height(), 25);
        const int boxWidth = tree.CheckBoxRect(root).width();
        QCOMPARE(tree.CheckBoxRect(root).left(), rootRow.left() + 26);
        const QRect categoryRow = tree.visualItemRect(fixture.Category(4));
        const QRect categoryBox = tree.CheckBoxRect(fixture.Category(4));
        QCOMPARE(categoryBox.left(), categoryRow.left() + boxWidth + 36);
        QCOMPARE(categoryBox.top(), categoryRow.top() + (25 - categoryBox.height()) / 2);
        QVERIFY(tree.GlyphRect(fixture.Category(4)).isNull());
        QVERIFY(rootRow.contains(tree.GlyphRect(root)));
    }

    void itemData() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        QCOMPARE(CTreeViewEx1::ItemData(tree.RootItem()).index, CTreeViewEx1::kRootCategory);
        const pixhaven::ui::CategoryData gif = CTreeViewEx1::ItemData(fixture.Category(6));
        QCOMPARE(gif.index, 6);
        QVERIFY(!gif.hasResults);
        QVERIFY(CTreeViewEx1::ItemData(fixture.Category(0)).hasResults);
        QCOMPARE(fixture.Category(0)->text(0), QStringLiteral("Camera Roll (120)"));
        QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(6)), kNone);
        tree.SetHasResults(fixture.Category(0), false);
        QVERIFY(!CTreeViewEx1::ItemData(fixture.Category(0)).hasResults);
        QCOMPARE(CTreeViewEx1::ItemData(fixture.Category(0)).index, 0);
        QVERIFY(tree.CategoryItem(13) == nullptr);
    }

    void handlesRoundTrip() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        QCOMPARE(tree.ItemFromHandle(CTreeViewEx1::Handle(fixture.Category(9))),
                 fixture.Category(9));
        QCOMPARE(tree.ItemFromHandle(CTreeViewEx1::Handle(tree.RootItem())), tree.RootItem());
        QTreeWidgetItem stranger;
        QVERIFY(tree.ItemFromHandle(CTreeViewEx1::Handle(&stranger)) == nullptr);
        QVERIFY(tree.ItemFromHandle(0) == nullptr);
    }

    void rootClickSetsEveryCategoryAndReportsChangedOnes() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        tree.SetItemState(fixture.Category(3), kChecked);
        fixture.ClickBox(tree.RootItem());
        QCOMPARE(CTreeViewEx1::ItemState(tree.RootItem()), kChecked);
        std::vector<Message> expected;
        for (int index = 0; index < kCategories; ++index) {
            QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(index)), kChecked);
            if (index != 3) {  // already checked: nothing to report
                expected.push_back(fixture.Changed(index, 1));
            }
        }
        QCOMPARE(fixture.window.messages, expected);

        fixture.window.messages.clear();
        fixture.ClickBox(tree.RootItem());
        QCOMPARE(CTreeViewEx1::ItemState(tree.RootItem()), kUnchecked);
        QCOMPARE(fixture.window.messages.size(), std::size_t{kCategories});
        QCOMPARE(fixture.window.messages.front(), fixture.Changed(0, 0));
        QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(12)), kUnchecked);
    }

    void categoryClicksDecideTheRoot() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        const std::vector<int> withResults{0, 1, 2, 3, 4, 8, 9, 10, 11};
        for (const int index : withResults) {
            QCOMPARE(CTreeViewEx1::ItemState(tree.RootItem()), kUnchecked);
            fixture.ClickBox(fixture.Category(index));
        }
        // Greyed categories stay unticked and do not hold the root back.
        QCOMPARE(CTreeViewEx1::ItemState(tree.RootItem()), kChecked);
        fixture.ClickBox(fixture.Category(9));
        QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(9)), kUnchecked);
        QCOMPARE(CTreeViewEx1::ItemState(tree.RootItem()), kUnchecked);
        QCOMPARE(fixture.window.messages.size(), withResults.size() + 1);
        QCOMPARE(fixture.window.messages.front(), fixture.Changed(0, 1));
        QCOMPARE(fixture.window.messages.back(), fixture.Changed(9, 0));
    }

    void categoryWithoutResultsIgnoresClicks() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        fixture.ClickText(fixture.Category(8));
        QCOMPARE(tree.currentItem(), fixture.Category(8));
        QTreeWidgetItem* gif = fixture.Category(6);
        fixture.ClickBox(gif);
        fixture.ClickText(gif);
        QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, tree.CheckBoxRect(gif).center());
        QCOMPARE(CTreeViewEx1::ItemState(gif), kNone);
        QCOMPARE(tree.currentItem(), fixture.Category(8));
        QVERIFY(fixture.window.messages.empty());
    }

    void boxClickTogglesWithoutSelecting() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        fixture.ClickText(fixture.Category(1));
        fixture.ClickBox(fixture.Category(2));
        QCOMPARE(tree.currentItem(), fixture.Category(1));
        QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(2)), kChecked);
        const QRect box = tree.CheckBoxRect(fixture.Category(2));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, box.topLeft() - QPoint(1, 0));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, box.bottomRight() + QPoint(1, 0));
        QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(2)), kChecked);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, box.bottomRight());
        QCOMPARE(CTreeViewEx1::ItemState(fixture.Category(2)), kUnchecked);
    }

    void glyphClickFoldsTheRoot() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                          tree.GlyphRect(tree.RootItem()).center());
        QVERIFY(!tree.RootItem()->isExpanded());
        QVERIFY(fixture.window.messages.empty());
    }

    void rootToolTipShowsOnlyOverTheRoot() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        const QString name = QStringLiteral("A rather long device name for the tree's root");
        tree.SetItemText(tree.RootItem(), name);
        tree.SetRootToolTip(name);
        const auto hover = [&](QTreeWidgetItem* item) {
            const QPoint at = tree.visualItemRect(item).center();
            QHelpEvent help(QEvent::ToolTip, at, tree.viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree.viewport(), &help);
        };
        hover(tree.RootItem());
        QTRY_COMPARE(QToolTip::text(), name);
        hover(fixture.Category(0));
        QTRY_VERIFY(QToolTip::text().isEmpty());
        tree.SetRootToolTip({});
        hover(tree.RootItem());
        QTRY_VERIFY(QToolTip::text().isEmpty());
    }

    void paintsGreyedCategoriesAndGradientSelection() {
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        fixture.ClickText(fixture.Category(0));
        const QImage image = tree.viewport()->grab().toImage();
        const QRect selected = tree.visualItemRect(fixture.Category(0));
        QCOMPARE(image.pixelColor(0, selected.top() + 2), QColor(168, 229, 246));
        const QColor right = image.pixelColor(image.width() - 1, selected.top() + 2);
        QVERIFY(right.red() > 230 && right.green() > 240);

        const auto darkest = [&](QTreeWidgetItem* item) {
            const QRect row = tree.visualItemRect(item);
            int lightness = 255;
            for (int y = row.top(); y <= row.bottom(); ++y) {
                for (int x = 90; x < row.right(); ++x) {
                    lightness = std::min(lightness, image.pixelColor(x, y).lightness());
                }
            }
            return lightness;
        };
        QVERIFY(darkest(fixture.Category(6)) >= 195);  // RGB(200, 200, 200) text only
        QVERIFY(darkest(fixture.Category(3)) < 60);
    }

    void looksTheSameInDarkPalette() {
        TreeFixture fixture(SomeResults());
        const QImage light = fixture.tree->grab().toImage();
        QApplication::setPalette(pixhaven::test::DarkPalette());
        QCOMPARE(fixture.tree->grab().toImage(), light);
    }

    // A label too wide for the tree gives up letters of its name, never its count.
    void narrowTreeKeepsCounts() {
        const QFontMetrics metrics(pixhaven::ui::FontPool().Font(pixhaven::ui::font_code::kLarger));
        const auto shown = [&](const QString& text, int width) {
            return pixhaven::ui::ShownCategoryText(text, metrics, width);
        };
        const QString label = QStringLiteral("Camera Roll (10)");
        const int full = metrics.horizontalAdvance(label);
        QCOMPARE(shown(label, full), label);
        const QString cut = shown(label, full - 8);
        QVERIFY2(cut.startsWith("Camera") && cut.endsWith(QStringLiteral("\u2026 (10)")),
                 qPrintable(cut));
        QVERIFY(metrics.horizontalAdvance(cut) <= full - 8);
        // Narrower than the count: the count alone.
        QCOMPARE(shown(QStringLiteral("PhotoStream (12345)"), 5), QStringLiteral(" (12345)"));
        // Without a number in brackets the end is cut as before.
        QVERIFY(shown(QStringLiteral("Camera Roll (ten)"), full - 8).endsWith(QChar(0x2026)));

        TreeFixture fixture(SomeResults());
        fixture.window.resize(170, 351);
        fixture.tree->setGeometry(fixture.window.rect());
        fixture.tree->SetItemText(fixture.tree->RootItem(), QStringLiteral("山田の iPhone"));
        QVERIFY(!pixhaven::test::SaveScreenshot(fixture.window, "tree_narrow").isEmpty());
    }

    void screenshots_data() { pixhaven::test::AddPaletteRows(); }

    void screenshots() {
        const bool dark = pixhaven::test::UseRowPalette();
        TreeFixture fixture(SomeResults());
        CTreeViewEx1& tree = *fixture.tree;
        tree.SetItemText(tree.RootItem(), QStringLiteral("Anna's iPhone"));
        for (const int index : {0, 3, 4, 9}) {
            fixture.ClickBox(fixture.Category(index));
        }
        fixture.ClickText(fixture.Category(3));
        const QString name = dark ? QStringLiteral("tree_dark") : QStringLiteral("tree_light");
        QVERIFY(!pixhaven::test::SaveScreenshot(fixture.window, name).isEmpty());
    }
};

QTEST_MAIN(TestTree)
#include "tst_tree.moc"
