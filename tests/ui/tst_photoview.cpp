// The preview panes: page geometry and paging, the scroll bar rule, tile check boxes and their
// notifications, the thumbnail loader (filling, stopping, dying mid-page) and animated GIF tiles.
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include "tests/support/fake_paging_host.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/gif_encoder.h"
#include "ui/photoview.h"
#include "ui/picture.h"
#include "ui/windowmessages.h"

using namespace pixhaven;
using namespace pixhaven::ui;
using Items = std::vector<std::unique_ptr<backup::MediaItem>>;

namespace {

// Pictures written once per test: a few sizes and shapes, and files that cannot be decoded.
class PictureFiles {
public:
    PictureFiles() {
        const QColor colours[] = {QColor(220, 80, 60), QColor(60, 140, 220), QColor(90, 180, 90)};
        const QSize sizes[] = {{640, 480}, {300, 600}, {1200, 200}};
        for (int i = 0; i < 3; ++i) {
            QImage image(sizes[i], QImage::Format_RGB32);
            image.fill(colours[i]);
            const auto file = dir_ / ("picture" + std::to_string(i) + ".png");
            image.save(QString::fromStdString(file.string()));
            good_.push_back(file);
        }
        test::WriteFile(dir_ / "broken.png", "not a picture at all");
    }

    std::filesystem::path Good(std::size_t i) const { return good_[i % good_.size()]; }
    std::filesystem::path Broken() const { return dir_ / "broken.png"; }
    std::filesystem::path Write(const std::string& name, std::string_view bytes) const {
        test::WriteFile(dir_ / name, bytes);
        return dir_ / name;
    }

private:
    test::TempDir dir_;
    std::vector<std::filesystem::path> good_;
};

std::unique_ptr<backup::MediaItem> MakeItem(const std::filesystem::path& file, int number) {
    auto item = std::make_unique<backup::MediaItem>();
    item->displayName = u"IMG_" + QString::number(1000 + number).toStdU16String() + u".JPG";
    item->file = file;
    item->picture = std::make_unique<DecodedPicture>(file);
    return item;
}

Items MakeItems(const PictureFiles& files, int count) {
    Items items;
    for (int i = 0; i < count; ++i) {
        items.push_back(MakeItem(files.Good(static_cast<std::size_t>(i)), i));
    }
    return items;
}

bool AllThumbnailsRendered(const Items& items, std::size_t first, std::size_t count) {
    for (std::size_t i = first; i < first + count && i < items.size(); ++i) {
        if (!PictureOf(*items[i])->HasThumbnail()) {
            return false;
        }
    }
    return true;
}

int RenderedCount(const Items& items) {
    int rendered = 0;
    for (const auto& item : items) {
        rendered += PictureOf(*item)->HasThumbnail() ? 1 : 0;
    }
    return rendered;
}

void Post(CPhotoViewDlg& pane, int message, quintptr wParam = 0) {
    SendWindowMessage(&pane, message, wParam);
}

bool IsAllWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != QColor(Qt::white)) {
                return false;
            }
        }
    }
    return true;
}

samplegen::RgbImage NumberedPicture(int number) {
    samplegen::RgbImage image(90, 60);
    image.FillGradient({250, 200, 60}, {200, 60, 120}, 0.5);
    image.DrawNumber(number, 45, 30, 5, {255, 255, 255}, {40, 40, 40});
    return image;
}

// One pane over `count` generated pictures in a window of its own, with a host that records.
struct PaneUnderTest {
    PaneUnderTest(int count, int category)
        : items(MakeItems(files, count)), pane(PaneDesignFor(category), items, host, &window) {}

    // Shows the window and waits until it is on screen.
    bool Expose() {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    PictureFiles files;
    Items items;
    test::FakePagingHost host;
    QWidget window;
    CPhotoViewDlg pane;
};

}  // namespace

class TestPhotoView : public QObject {
    Q_OBJECT
private slots:
    void placeAndPageCount_data();
    void placeAndPageCount();
    void scrollBarOnlyBeyondTwoRows();
    void pagingHidesAndShowsTiles();
    void pageRequestsOutOfRangeOrCurrentIgnored();
    void tickingSetsItemAndNotifies();
    void refreshChecksFollowsItems();
    void selectionMovesOnPress();
    void loaderFillsPageAndEnablesPaging();
    void undecodablePictureGetsFallbackOrWhite();
    void loaderStopsAndResumes();
    void paneDestroyedWhileLoading();
    void gifTilesAnimateOnlyWithSeveralFrames();
    void screenshots();
};

void TestPhotoView::placeAndPageCount_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("pageText");
    QTest::newRow("empty") << 0 << 465 << 1 << "1/1";
    QTest::newRow("one page full") << 100 << 465 << 1 << "1/1";
    QTest::newRow("one over") << 101 << 430 << 2 << "1/2";
    QTest::newRow("three pages") << 300 << 430 << 3 << "1/3";
}

void TestPhotoView::placeAndPageCount() {
    QFETCH(int, count);
    QFETCH(int, height);
    QFETCH(int, pages);
    QFETCH(QString, pageText);
    PaneUnderTest view(count, 0);
    QCOMPARE(view.pane.geometry(), QRect(218, 114, 766, height));
    QCOMPARE(view.pane.PageCount(), pages);
    QCOMPARE(view.pane.PageText(), pageText);
    QCOMPARE(view.host.pageTexts, std::vector<QString>{pageText});
    QCOMPARE(view.pane.TilesOnPage(), std::min(count, 100));
    QVERIFY(view.pane.PageNumberText().isEmpty());
    if (count > 0) {
        QCOMPARE(view.pane.Tile(0)->pos(), QPoint(5, 5));
        QCOMPARE(view.pane.Tile(0)->size(), QSize(120, 155));
        QCOMPARE(view.pane.Tile(0)->Item(), view.items[0].get());
    }
    if (count >= 8) {
        QCOMPARE(view.pane.Tile(5)->pos(), QPoint(620, 5));
        QCOMPARE(view.pane.Tile(7)->pos(), QPoint(128, 170));
    }
    QCOMPARE(view.pane.Tile(std::min(count, 100)), nullptr);
}

void TestPhotoView::scrollBarOnlyBeyondTwoRows() {
    PictureFiles files;
    test::FakePagingHost host;
    QWidget window;
    Items twelve = MakeItems(files, 12);
    CPhotoViewDlg small(PaneDesignFor(0), twelve, host, &window);
    QVERIFY(!small.ScrollBar().isVisibleTo(&small));

    Items thirteen = MakeItems(files, 13);
    CPhotoViewDlg three(PaneDesignFor(0), thirteen, host, &window);
    QVERIFY(three.ScrollBar().isVisibleTo(&three));
    // Three rows are 500 pixels: the last 4 units of the 50 are beyond a 465-pixel page.
    QCOMPARE(three.ScrollBar().maximum(), 50 - 46 + 1);
    QCOMPARE(three.ScrollBar().pageStep(), 46);

    window.resize(985, 670);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint tileTop = three.Tile(12)->mapTo(&three, QPoint(0, 0));
    QWheelEvent down(QPointF(100, 100), three.mapToGlobal(QPointF(100, 100)), {}, {0, -120},
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&three, &down);
    QCOMPARE(three.ScrollBar().value(), 5);
    QCOMPARE(three.Tile(12)->mapTo(&three, QPoint(0, 0)), tileTop - QPoint(0, 50));
}

void TestPhotoView::pagingHidesAndShowsTiles() {
    PaneUnderTest view(250, 3);
    view.window.show();

    Post(view.pane, WM_PAGE_GOTO, 3);
    QCOMPARE(view.pane.CurrentPage(), 3);
    QCOMPARE(view.pane.PageNumberText(), QString("3"));
    QCOMPARE(view.host.pageTexts.back(), QString("3/3"));
    QCOMPARE(view.pane.TilesOnPage(), 50);
    QCOMPARE(view.pane.Tile(0)->Item(), view.items[200].get());
    QCOMPARE(view.pane.Tile(49)->Item(), view.items[249].get());
    QVERIFY(view.pane.Tile(49)->isVisible());
    QCOMPARE(view.pane.Tile(50), nullptr);
    const auto tiles = view.pane.findChildren<CGroupButtonEx*>();
    QCOMPARE(tiles.size(), 100);  // created once, reused
    const auto visible = std::count_if(
        tiles.begin(), tiles.end(), [](const CGroupButtonEx* tile) { return tile->isVisible(); });
    QCOMPARE(visible, 50);
    // Nine rows: the range ends at the last row, not where a full page would.
    QCOMPARE(view.pane.ScrollBar().maximum(), (9 * 165 + 5) / 10 - 43 + 1);

    Post(view.pane, WM_PAGE_PREV);
    QCOMPARE(view.pane.CurrentPage(), 2);
    QCOMPARE(view.pane.Tile(99)->Item(), view.items[199].get());
    Post(view.pane, WM_PAGE_GOTO, 1);
    QCOMPARE(view.pane.Tile(0)->Item(), view.items[0].get());
    QVERIFY(std::all_of(tiles.begin(), tiles.end(),
                        [](const CGroupButtonEx* tile) { return tile->isVisible(); }));
    Post(view.pane, WM_PAGE_NEXT);
    QCOMPARE(view.pane.PageText(), QString("2/3"));
    QCOMPARE(view.pane.ScrollBar().value(), 0);
}

void TestPhotoView::pageRequestsOutOfRangeOrCurrentIgnored() {
    PaneUnderTest view(101, 0);
    Post(view.pane, WM_PAGE_PREV);
    Post(view.pane, WM_PAGE_GOTO, 0);
    Post(view.pane, WM_PAGE_GOTO, 3);
    Post(view.pane, WM_PAGE_GOTO, ~quintptr(0));
    Post(view.pane, WM_PAGE_GOTO, 1);  // the page already shown
    QCOMPARE(view.pane.CurrentPage(), 1);
    QCOMPARE(view.host.pageTexts.size(), std::size_t(1));
    QVERIFY(view.pane.PageNumberText().isEmpty());

    Post(view.pane, WM_PAGE_GOTO, 2);
    QCOMPARE(view.pane.TilesOnPage(), 1);
    QVERIFY(!view.pane.ScrollBar().isVisibleTo(&view.pane));
    Post(view.pane, WM_PAGE_NEXT);
    Post(view.pane, WM_PAGE_GOTO, 2);
    QCOMPARE(view.pane.CurrentPage(), 2);
    QCOMPARE(view.host.pageTexts.size(), std::size_t(2));
}

void TestPhotoView::tickingSetsItemAndNotifies() {
    PaneUnderTest view(130, 4);
    QVERIFY(view.Expose());

    QAbstractButton& check = view.pane.Tile(3)->CheckBox();
    QCOMPARE(check.geometry(), QRect(7, 129, 15, 16));
    QTest::mouseClick(&check, Qt::LeftButton);
    QCOMPARE(view.items[3]->checked.load(), 1);
    const test::Message expected{WM_THUMB_CHECK_CHANGED + 4, 3, 0};
    QCOMPARE(view.host.recorder.messages, std::vector<test::Message>{expected});
    QTest::mouseClick(&check, Qt::LeftButton);
    QCOMPARE(view.items[3]->checked.load(), 0);
    QCOMPARE(view.host.recorder.messages.size(), std::size_t(2));

    // The box follows the item, not the tile, across pages.
    QTest::mouseClick(&view.pane.Tile(0)->CheckBox(), Qt::LeftButton);
    Post(view.pane, WM_PAGE_NEXT);
    QVERIFY(!view.pane.Tile(0)->CheckBox().isChecked());
    Post(view.pane, WM_PAGE_PREV);
    QVERIFY(view.pane.Tile(0)->CheckBox().isChecked());
}

void TestPhotoView::refreshChecksFollowsItems() {
    PaneUnderTest view(20, 0);
    for (auto& item : view.items) {
        item->checked = 1;
    }
    QVERIFY(!view.pane.Tile(7)->CheckBox().isChecked());
    view.pane.RefreshChecks();
    for (int i = 0; i < 20; ++i) {
        QVERIFY(view.pane.Tile(i)->CheckBox().isChecked());
    }
    QVERIFY(view.host.recorder.messages.empty());  // only the user's ticks notify
}

void TestPhotoView::selectionMovesOnPress() {
    PaneUnderTest view(10, 0);
    QVERIFY(view.Expose());
    QCOMPARE(view.pane.SelectedTile(), -1);
    QTest::mouseClick(view.pane.Tile(2), Qt::LeftButton, {}, QPoint(60, 60));
    QVERIFY(view.pane.Tile(2)->IsSelected());
    QTest::mouseClick(view.pane.Tile(4), Qt::LeftButton, {}, QPoint(60, 60));
    QVERIFY(view.pane.Tile(4)->IsSelected());
    QVERIFY(!view.pane.Tile(2)->IsSelected());
}

void TestPhotoView::loaderFillsPageAndEnablesPaging() {
    PaneUnderTest view(130, 0);
    view.pane.StartLoading();
    QVERIFY(!view.host.pagingEnabled);
    QTRY_VERIFY(view.pane.IsPageLoaded());
    QVERIFY(view.host.pagingEnabled);
    QVERIFY(AllThumbnailsRendered(view.items, 0, 100));
    QCOMPARE(RenderedCount(view.items), 100);  // only the page shown
    // A 640 x 480 picture fits 106 x 80 in the frame, less 3 pixels a side.
    QCOMPARE(PictureOf(*view.items[0])->Thumbnail().size(), QSize(100, 74));
    QCOMPARE(PictureOf(*view.items[0])->Thumbnail().pixelColor(50, 37), QColor(220, 80, 60));

    Post(view.pane, WM_PAGE_NEXT);
    QTRY_VERIFY(view.pane.IsPageLoaded());
    QCOMPARE(RenderedCount(view.items), 130);
    // Back to a rendered page: nothing to load, the controls stay usable.
    Post(view.pane, WM_PAGE_PREV);
    QVERIFY(view.pane.IsPageLoaded());
    view.pane.StartLoading();
    QVERIFY(view.host.pagingEnabled);
}

void TestPhotoView::undecodablePictureGetsFallbackOrWhite() {
    PictureFiles files;
    for (const int category : {0, 5}) {
        Items items;
        items.push_back(MakeItem(files.Broken(), 0));
        items.push_back(MakeItem(files.Good(2), 1));
        test::FakePagingHost host;
        QWidget window;
        CPhotoViewDlg pane(PaneDesignFor(category), items, host, &window);
        pane.StartLoading();
        QTRY_VERIFY(pane.IsPageLoaded());
        const QImage broken = PictureOf(*items[0])->Thumbnail();
        QVERIFY(!broken.isNull());
        QCOMPARE(IsAllWhite(broken), category == 5);
        // A 1200 x 200 strip still gets a bitmap of at least a pixel's height.
        QVERIFY(!PictureOf(*items[1])->Thumbnail().isNull());
    }
}

void TestPhotoView::loaderStopsAndResumes() {
    PaneUnderTest view(100, 0);
    view.pane.StartLoading();
    view.pane.StopLoading();  // inside the loader's first wait: nothing is rendered
    QTRY_VERIFY(!view.pane.IsLoading());
    QCOMPARE(RenderedCount(view.items), 0);
    QVERIFY(!view.pane.IsPageLoaded());
    QVERIFY(!view.host.pagingEnabled);

    view.pane.StartLoading();
    view.pane.StartLoading();  // a second start replaces the running loader cleanly
    QTRY_VERIFY(view.pane.IsPageLoaded());
    QCOMPARE(RenderedCount(view.items), 100);
    QVERIFY(view.host.pagingEnabled);
}

void TestPhotoView::paneDestroyedWhileLoading() {
    PictureFiles files;
    Items items;
    QImage large(2400, 1800, QImage::Format_RGB32);
    large.fill(Qt::darkCyan);
    test::TempDir dir;
    const auto file = dir / "large.png";
    QVERIFY(large.save(QString::fromStdString(file.string())));
    for (int i = 0; i < 100; ++i) {
        items.push_back(MakeItem(file, i));
    }
    test::FakePagingHost host;
    auto window = std::make_unique<QWidget>();
    auto* pane = new CPhotoViewDlg(PaneDesignFor(0), items, host, window.get());
    pane->StartLoading();
    QTRY_VERIFY(RenderedCount(items) > 0);
    window.reset();  // takes the pane with it mid-page
    QVERIFY(RenderedCount(items) < 100);
    QTest::qWait(50);  // reports still queued for the dead pane must be dropped
}

void TestPhotoView::gifTilesAnimateOnlyWithSeveralFrames() {
    PictureFiles files;
    std::vector<samplegen::GifFrame> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back({NumberedPicture(i + 1), 2});
    }
    Items items;
    items.push_back(MakeItem(files.Write("moving.gif", samplegen::EncodeAnimatedGif(frames)), 0));
    items.push_back(
        MakeItem(files.Write("still.gif", samplegen::EncodeGif87a(NumberedPicture(7))), 1));
    items.push_back(MakeItem(files.Broken(), 2));
    test::FakePagingHost host;
    QWidget window;
    window.resize(985, 670);
    CPhotoViewDlg pane(PaneDesignFor(6), items, host, &window);
    pane.StartLoading();
    QVERIFY(host.pagingEnabled);  // nothing to load
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTRY_VERIFY(pane.Tile(0)->FrameIndex() == 2);
    QTRY_VERIFY(pane.Tile(0)->FrameIndex() == 0);  // wraps
    QVERIFY(!pane.Tile(1)->IsAnimating());
    QCOMPARE(pane.Tile(1)->FrameIndex(), 0);
    QVERIFY(!pane.Tile(2)->IsAnimating());

    pane.hide();
    QVERIFY(!pane.Tile(0)->IsAnimating());
    QVERIFY(!PictureOf(*items[0])->HasThumbnail());  // drawn at each paint, never stored
}

void TestPhotoView::screenshots() {
    PictureFiles files;
    Items items = MakeItems(files, 130);
    items[3]->displayName = u"A rather long file name that cannot fit under its picture.JPG";
    items[4]->checked = 1;
    items[5] = MakeItem(files.Broken(), 5);
    test::FakePagingHost host;
    QWidget window;
    window.resize(985, 670);
    CPhotoViewDlg pane(PaneDesignFor(0), items, host, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    pane.StartLoading();
    QTRY_VERIFY(pane.IsPageLoaded());
    QTest::mouseClick(pane.Tile(1), Qt::LeftButton, {}, QPoint(60, 60));
    QVERIFY(!test::SaveScreenshot(pane, "photoview-first-page").isEmpty());
    Post(pane, WM_PAGE_NEXT);
    QTRY_VERIFY(pane.IsPageLoaded());
    QVERIFY(!test::SaveScreenshot(pane, "photoview-last-page").isEmpty());

    std::vector<samplegen::GifFrame> frames;
    for (int i = 0; i < 4; ++i) {
        frames.push_back({NumberedPicture(i + 1), 20});
    }
    Items gifs;
    for (int i = 0; i < 8; ++i) {
        const auto name = "anim" + std::to_string(i) + ".gif";
        gifs.push_back(MakeItem(files.Write(name, samplegen::EncodeAnimatedGif(frames)), i));
    }
    CPhotoViewDlg gifPane(PaneDesignFor(6), gifs, host, &window);
    pane.hide();
    gifPane.show();
    QTRY_VERIFY(gifPane.Tile(0)->IsAnimating());
    QVERIFY(!test::SaveScreenshot(gifPane, "photoview-gif").isEmpty());
}

QTEST_MAIN(TestPhotoView)
#include "tst_photoview.moc"
