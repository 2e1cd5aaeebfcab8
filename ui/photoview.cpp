// The preview panes and their tiles: paging, scrolling, check boxes, the thumbnail loader that
// renders a page on two threads, and the animated tiles of the GIF pane.
#include "ui/photoview.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimerEvent>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

#include "makerlibs/gildpaint.h"
#include "ui/fontpool.h"
#include "ui/listviewcheck.h"
#include "ui/picture.h"
#include "ui/programfolders.h"
#include "ui/threadhandoff.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {
namespace {

constexpr std::array<PaneDesign, 8> kPaneDesigns = {{
    {.category = 0, .loaderThread = true, .fallbackPicture = true},
    {.category = 1, .loaderThread = true, .fallbackPicture = true},
    {.category = 2, .loaderThread = true, .fallbackPicture = true},
    {.category = 3, .loaderThread = true, .fallbackPicture = true},
    {.category = 4, .loaderThread = true, .fallbackPicture = true},
    // A BMP that cannot be drawn keeps its white bitmap.
    {.category = 5, .loaderThread = true, .fallbackPicture = false},
    {.category = 6, .loaderThread = false, .fallbackPicture = false},
    {.category = 7, .loaderThread = true, .fallbackPicture = true},
}};

constexpr int kColumns = 6;
constexpr int kTileLeft = 5;
constexpr int kTileTop = 5;
constexpr int kColumnPitch = 123;
constexpr int kRowPitch = 165;
constexpr int kScrollUnit = 10;  // pixels per scroll-bar unit
constexpr int kWheelUnits = 5;
constexpr int kScrollBarWidth = 17;
constexpr int kLoaderThreads = 2;  // bench_thumbnails: two threads against one per page
constexpr auto kLoaderDelay = std::chrono::milliseconds(80);
constexpr int kFirstFrameDelayMs = 200;
constexpr int kSlowFrameDelayMs = 100;

const QColor kTileBorder(150, 150, 180);
const QColor kSelectedFill(231, 241, 250);
const QColor kHoveredFill(243, 248, 255);
const QColor kNameColour(50, 50, 50);

int RowsFor(int tiles) {
    return (tiles + kColumns - 1) / kColumns;
}

QPoint TilePosition(int index) {
    return {kTileLeft + (index % kColumns) * kColumnPitch,
            kTileTop + (index / kColumns) * kRowPitch};
}

// The picture's box inside the tile frame, as the frame-fitting rule places it.
QRect FittedBox(QSize pictureSize) {
    const QRect frame = CGroupButtonEx::kPictureFrame;
    GpRect box;
    calc_subrect(box, frame.left(), frame.top(), frame.left() + frame.width(),
                 frame.top() + frame.height(), pictureSize.width(), pictureSize.height());
    return {box.left, box.top, box.Width(), box.Height()};
}

// The thumbnail bitmap's box: the fitted box less 3 pixels a side, never empty (a 5000 x 1
// panorama must still give a bitmap).
QRect ThumbnailBox(QSize pictureSize) {
    const QRect box = FittedBox(pictureSize);
    return {box.left() + 3, box.top() + 3, std::max(1, box.width() - 6),
            std::max(1, box.height() - 6)};
}

// A picture that cannot be read is boxed as the frame-sized placeholder would be.
QSize BoxableSize(QSize size) {
    return size.isValid() && !size.isEmpty() ? size : CGroupButtonEx::kPictureFrame.size();
}

// The bitmap a loader stores in the item: white, the picture scaled over all of it, or the
// fallback when the picture cannot be drawn (white when there is no fallback).
QImage RenderTileBitmap(const DecodedPicture& picture, const QImage& fallback) {
    const QSize size = picture.Size();
    const QRect box = ThumbnailBox(BoxableSize(size));
    QImage bitmap(box.size(), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    const QImage rendered = size.isValid() ? picture.RenderThumbnail(box.size()) : QImage();
    const QImage& drawn = rendered.isNull() ? fallback : rendered;
    if (!drawn.isNull()) {
        QPainter painter(&bitmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(bitmap.rect(), drawn);
    }
    return bitmap;
}

// Where a GIF tile draws its picture: the fitted box shrunk by 6 pixels in width and height.
QRect AnimatedPlace(QSize pictureSize) {
    const QRect box = FittedBox(pictureSize);
    const int width = std::max(1, box.width() - 6);
    const int height = std::max(1, box.height() - 6);
    return {(106 - box.width()) / 2 + 10, (100 - height) / 2 + 13, width, height};
}

// GIFs saying 0 or 10 ms would keep the user-interface thread busy repainting.
int FrameDelayMs(int centiseconds) {
    return centiseconds < 2 ? kSlowFrameDelayMs : centiseconds * 10;
}

}  // namespace

const PaneDesign& PaneDesignFor(int category) {
    const auto index = static_cast<std::size_t>(std::clamp(category, 0, 7));
    return kPaneDesigns[index];
}

namespace {

// Renders the thumbnails of one page on two threads. It touches only the pictures it was given
// and reports through callbacks that must not block on the user-interface thread.
class ThumbnailLoader {
public:
    using TileDone = std::function<void(int tile)>;
    using Ended = std::function<void(bool finished)>;

    // `order` lists tile numbers, visible ones first; pictures[tile] may be null (nothing to do).
    ThumbnailLoader(std::vector<DecodedPicture*> pictures, std::vector<int> order, QImage fallback,
                    TileDone tileDone, Ended ended)
        : pictures_(std::move(pictures)),
          order_(std::move(order)),
          fallback_(std::move(fallback)),
          tileDone_(std::move(tileDone)),
          ended_(std::move(ended)) {
        for (int i = 0; i < kLoaderThreads; ++i) {
            threads_.emplace_back([this] { Run(); });
        }
    }

    ~ThumbnailLoader() {
        Stop();
        threads_.clear();  // joins before the members the threads read go away
    }

    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = -1;
        }
        wake_.notify_all();
    }

    bool Running() const { return running_.load() > 0; }

private:
    void Run() {
        if (WaitBeforeStart()) {
            RenderTiles();
        } else {
            stopped_ = true;
        }
        if (--running_ == 0) {
            ended_(!stopped_.load());
        }
    }

    // Lets a page that is paged straight past go without rendering anything.
    bool WaitBeforeStart() {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, kLoaderDelay, [this] { return stop_.load() == -1; });
    }

    void RenderTiles() {
        for (;;) {
            if (stop_.load() == -1) {
                stopped_ = true;
                return;
            }
            const std::size_t next = next_++;
            if (next >= order_.size()) {
                return;
            }
            RenderTile(order_[next]);
        }
    }

    void RenderTile(int tile) {
        DecodedPicture* picture = pictures_[static_cast<std::size_t>(tile)];
        if (picture == nullptr || picture->HasThumbnail()) {
            return;
        }
        picture->SetThumbnail(RenderTileBitmap(*picture, fallback_));
        tileDone_(tile);
    }

    const std::vector<DecodedPicture*> pictures_;
    const std::vector<int> order_;
    const QImage fallback_;
    const TileDone tileDone_;
    const Ended ended_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<int> stop_{0};
    std::atomic<bool> stopped_{false};
    std::atomic<std::size_t> next_{0};
    std::atomic<int> running_{kLoaderThreads};
    std::vector<std::jthread> threads_;  // last: started once everything above exists
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// CGroupButtonEx

CGroupButtonEx::CGroupButtonEx(CPhotoViewDlg& pane, int number, QWidget* parent)
    : QWidget(parent), pane_(pane), number_(number) {
    setObjectName(QStringLiteral("tile%1").arg(number));
    setFixedSize(kWidth, kHeight);
    auto* checkBox = new HeaderCheckBox(this);
    checkBox->setObjectName(QStringLiteral("tileCheck"));
    checkBox->setGeometry(7, 129, 15, 16);
    checkBox->SetStrip(pane.CheckStrip());
    connect(checkBox, &QAbstractButton::clicked, this, &CGroupButtonEx::OnCheckClicked);
    checkBox_ = checkBox;
}

CGroupButtonEx::~CGroupButtonEx() = default;

void CGroupButtonEx::SetItem(backup::MediaItem* item) {
    item_ = item;
    gif_.reset();
    frameIndex_ = 0;
    animation_.stop();
    RefreshCheck();
    update();
}

void CGroupButtonEx::RefreshCheck() {
    checkBox_->setChecked(item_ != nullptr && item_->checked.load() != 0);
}

bool CGroupButtonEx::IsSelected() const {
    return pane_.SelectedTile() == number_;
}

void CGroupButtonEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBox(painter);
    if (item_ == nullptr) {
        return;
    }
    painter.setPen(kNameColour);
    painter.setFont(FontPool().Font(font_code::kLarger));
    const QString name = QString::fromStdU16String(item_->displayName);
    painter.drawText(kNameBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(name, Qt::ElideRight, kNameBox.width()));
    if (pane_.Design().loaderThread) {
        PaintThumbnail(painter);
    } else {
        PaintAnimatedPicture(painter);
    }
}

void CGroupButtonEx::PaintBox(QPainter& painter) const {
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kTileBorder, 1));
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (IsSelected()) {
        painter.setBrush(kSelectedFill);
        painter.drawRoundedRect(outer, 5, 5);
    } else if (hovered_) {
        painter.setBrush(kHoveredFill);
        painter.drawRoundedRect(outer, 5, 5);
    }
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(kPictureFrame).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void CGroupButtonEx::PaintThumbnail(QPainter& painter) const {
    const DecodedPicture* picture = PictureOf(*item_);
    if (picture == nullptr || !picture->HasThumbnail()) {
        return;
    }
    const QImage thumbnail = picture->Thumbnail();
    painter.drawImage(
        QPoint((100 - thumbnail.width()) / 2 + 10, (100 - thumbnail.height()) / 2 + 13), thumbnail);
}

void CGroupButtonEx::PaintAnimatedPicture(QPainter& painter) {
    const DecodedPicture* picture = PictureOf(*item_);
    if (picture == nullptr) {
        return;
    }
    if (gif_ == nullptr) {
        gifPlace_ = AnimatedPlace(BoxableSize(picture->Size()));
        gif_ = std::make_unique<GifFrames>(picture->Content(), gifPlace_.size());
    }
    if (gif_->FrameCount() == 0) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(gifPlace_, gif_->Frame(frameIndex_));
    if (gif_->FrameCount() > 1 && !animation_.isActive()) {
        animation_.start(kFirstFrameDelayMs, this);
    }
}

void CGroupButtonEx::timerEvent(QTimerEvent* event) {
    if (event->timerId() != animation_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    AdvanceFrame();
}

void CGroupButtonEx::AdvanceFrame() {
    animation_.stop();
    if (gif_ == nullptr || gif_->FrameCount() < 2) {
        return;
    }
    frameIndex_ = (frameIndex_ + 1) % gif_->FrameCount();
    update(kPictureFrame);
    animation_.start(FrameDelayMs(gif_->DelayOf(frameIndex_ + 1)), this);
}

void CGroupButtonEx::hideEvent(QHideEvent* event) {
    animation_.stop();  // the next paint arms it again
    QWidget::hideEvent(event);
}

void CGroupButtonEx::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void CGroupButtonEx::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(event);
}

void CGroupButtonEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pane_.SelectTile(number_);
    }
    QWidget::mousePressEvent(event);
}

void CGroupButtonEx::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        hovered_ = true;
        update();
    }
    QWidget::mouseReleaseEvent(event);
}

void CGroupButtonEx::OnCheckClicked(bool checked) {
    if (item_ == nullptr) {
        checkBox_->setChecked(false);
        return;
    }
    item_->checked = checked ? 1 : 0;
    if (IsSelected()) {
        update();
    }
    pane_.NotifyCheckChanged(number_);
}

// ---------------------------------------------------------------------------------------------
// CPhotoViewDlg

struct CPhotoViewDlg::Impl {
    Impl(CPhotoViewDlg& owner, const PaneDesign& paneDesign,
         std::vector<std::unique_ptr<backup::MediaItem>>& paneItems, PagingHost& pagingHost)
        : pane(owner), design(paneDesign), items(paneItems), host(pagingHost) {}

    int ItemCount() const {
        return static_cast<int>(
            std::min<std::size_t>(items.size(), std::numeric_limits<int>::max()));
    }
    int FirstItem() const { return (currentPage - 1) * kTilesPerPage; }
    QString PageText() const { return QString::asprintf("%d/%d", currentPage, pageCount); }

    void CreateTiles(int count);
    void SetUpScrollBar(int rows);
    void AttachItems();
    void ShowPage(int page);
    bool PageNeedsThumbnails() const;
    std::vector<int> LoadOrder() const;
    void StartLoader();
    void OnTileRendered(int generation, int tile);
    void OnLoaderEnded(int generation, bool finished);

    CPhotoViewDlg& pane;
    const PaneDesign design;
    std::vector<std::unique_ptr<backup::MediaItem>>& items;
    PagingHost& host;
    QImage fallback;
    QImage checkStrip;
    QWidget* content = nullptr;  // holds the tiles; moved up and down to scroll
    QScrollBar* scrollBar = nullptr;
    std::vector<CGroupButtonEx*> tiles;  // children of `content`, created once
    int currentPage = 1;
    int pageCount = 1;
    int tilesOnPage = 0;
    QString pageNumberText;
    bool pageLoaded = false;
    int selected = -1;
    int generation = 0;  // tells a stopped loader's late reports from the current one's
    std::unique_ptr<ThumbnailLoader> loader;
};

void CPhotoViewDlg::Impl::CreateTiles(int count) {
    tiles.reserve(static_cast<std::size_t>(count));
    for (int number = 0; number < count; ++number) {
        auto* tile = new CGroupButtonEx(pane, number, content);
        tile->move(TilePosition(number));
        tiles.push_back(tile);
    }
}

void CPhotoViewDlg::Impl::SetUpScrollBar(int rows) {
    content->resize(content->width(), rows * kRowPitch + kTileTop);
    const int page = pane.height() / kScrollUnit;
    const int range = (rows * kRowPitch + kTileTop) / kScrollUnit;
    scrollBar->setRange(0, std::max(0, range - page + 1));
    scrollBar->setSingleStep(1);
    scrollBar->setPageStep(page);
    scrollBar->setValue(0);
    scrollBar->setVisible(rows > 2);
}

void CPhotoViewDlg::Impl::AttachItems() {
    for (int i = 0; i < tilesOnPage; ++i) {
        tiles[static_cast<std::size_t>(i)]->SetItem(
            items[static_cast<std::size_t>(FirstItem() + i)].get());
    }
}

void CPhotoViewDlg::Impl::ShowPage(int page) {
    currentPage = page;
    tilesOnPage = std::min(kTilesPerPage, ItemCount() - FirstItem());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        tiles[i]->SetItem(nullptr);
        tiles[i]->setVisible(static_cast<int>(i) < tilesOnPage);
    }
    AttachItems();
    host.SetPageText(PageText());
    // A short last page must not scroll into rows of nothing.
    SetUpScrollBar(RowsFor(tilesOnPage));
    if (design.loaderThread && PageNeedsThumbnails()) {
        pageLoaded = false;
        pane.StartLoading();
    }
}

bool CPhotoViewDlg::Impl::PageNeedsThumbnails() const {
    for (int i = 0; i < tilesOnPage; ++i) {
        const DecodedPicture* picture = PictureOf(*tiles[static_cast<std::size_t>(i)]->Item());
        if (picture == nullptr || !picture->HasThumbnail()) {
            return true;
        }
    }
    return false;
}

// The tiles in view first, then the rest of the page in order.
std::vector<int> CPhotoViewDlg::Impl::LoadOrder() const {
    const int top = scrollBar->value() * kScrollUnit;
    const int bottom = top + pane.height();
    std::vector<int> visible;
    std::vector<int> rest;
    for (int i = 0; i < tilesOnPage; ++i) {
        const int y = TilePosition(i).y();
        (y + CGroupButtonEx::kHeight > top && y < bottom ? visible : rest).push_back(i);
    }
    visible.insert(visible.end(), rest.begin(), rest.end());
    return visible;
}

void CPhotoViewDlg::Impl::StartLoader() {
    loader.reset();  // a stopped loader ends at its next tile: it never waits for this thread
    std::vector<DecodedPicture*> pictures;
    for (int i = 0; i < tilesOnPage; ++i) {
        const backup::MediaItem* item = tiles[static_cast<std::size_t>(i)]->Item();
        pictures.push_back(item != nullptr ? PictureOf(*item) : nullptr);
    }
    const int run = ++generation;
    CPhotoViewDlg* context = &pane;
    loader = std::make_unique<ThumbnailLoader>(
        std::move(pictures), LoadOrder(), design.fallbackPicture ? fallback : QImage(),
        [context, run](int tile) {
            InvokeOnThreadOf(context,
                             [context, run, tile] { context->impl_->OnTileRendered(run, tile); });
        },
        [context, run](bool finished) {
            InvokeOnThreadOf(context, [context, run, finished] {
                context->impl_->OnLoaderEnded(run, finished);
            });
        });
}

void CPhotoViewDlg::Impl::OnTileRendered(int run, int tile) {
    if (run == generation && tile < tilesOnPage) {
        tiles[static_cast<std::size_t>(tile)]->update();
    }
}

void CPhotoViewDlg::Impl::OnLoaderEnded(int run, bool finished) {
    if (run != generation) {
        return;
    }
    pageLoaded = finished;
    if (finished) {
        host.SetPagingEnabled(true);
    }
}

CPhotoViewDlg::CPhotoViewDlg(const PaneDesign& design,
                             std::vector<std::unique_ptr<backup::MediaItem>>& items,
                             PagingHost& host, QWidget* parent)
    : QWidget(parent), impl_(std::make_unique<Impl>(*this, design, items, host)) {
    Impl& d = *impl_;
    setObjectName(QStringLiteral("photoView%1").arg(design.category));
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int count = d.ItemCount();
    setGeometry(218, 114, kWidth, count <= kTilesPerPage ? kHeightOnePage : kHeightPaged);
    d.fallback = SkinImage(QStringLiteral("nopreview.png"));
    d.checkStrip = SkinImage(QStringLiteral("checkbox.png"));
    d.pageCount = count <= kTilesPerPage ? 1 : (count + kTilesPerPage - 1) / kTilesPerPage;
    d.tilesOnPage = std::min(count, kTilesPerPage);
    d.pageLoaded = !design.loaderThread;

    const int rows = RowsFor(d.tilesOnPage);
    d.content = new QWidget(this);
    d.content->setGeometry(0, 0, kWidth - kScrollBarWidth, 0);
    d.scrollBar = new QScrollBar(Qt::Vertical, this);
    d.scrollBar->setGeometry(kWidth - kScrollBarWidth, 0, kScrollBarWidth, height());
    connect(d.scrollBar, &QScrollBar::valueChanged, this,
            [this](int value) { impl_->content->move(0, -value * kScrollUnit); });
    d.CreateTiles(d.tilesOnPage);
    d.SetUpScrollBar(rows);
    host.SetPageText(d.PageText());
    d.AttachItems();
}

CPhotoViewDlg::~CPhotoViewDlg() {
    impl_->loader.reset();  // joined before the tiles and items it reports on go away
}

int CPhotoViewDlg::CurrentPage() const {
    return impl_->currentPage;
}
int CPhotoViewDlg::PageCount() const {
    return impl_->pageCount;
}
QString CPhotoViewDlg::PageText() const {
    return impl_->PageText();
}
QString CPhotoViewDlg::PageNumberText() const {
    return impl_->pageNumberText;
}
const PaneDesign& CPhotoViewDlg::Design() const {
    return impl_->design;
}
int CPhotoViewDlg::TilesOnPage() const {
    return impl_->tilesOnPage;
}
bool CPhotoViewDlg::IsPageLoaded() const {
    return impl_->pageLoaded;
}
bool CPhotoViewDlg::IsLoading() const {
    return impl_->loader && impl_->loader->Running();
}
int CPhotoViewDlg::SelectedTile() const {
    return impl_->selected;
}
QScrollBar& CPhotoViewDlg::ScrollBar() const {
    return *impl_->scrollBar;
}
const QImage& CPhotoViewDlg::CheckStrip() const {
    return impl_->checkStrip;
}

void CPhotoViewDlg::StartLoading() {
    if (impl_->pageLoaded) {
        impl_->host.SetPagingEnabled(true);
        return;
    }
    impl_->host.SetPagingEnabled(false);
    impl_->StartLoader();
}

void CPhotoViewDlg::StopLoading() {
    if (impl_->loader) {
        impl_->loader->Stop();
    }
}

CGroupButtonEx* CPhotoViewDlg::Tile(int number) const {
    if (number < 0 || number >= impl_->tilesOnPage) {
        return nullptr;
    }
    return impl_->tiles[static_cast<std::size_t>(number)];
}

void CPhotoViewDlg::RefreshChecks() {
    for (int i = 0; i < impl_->tilesOnPage; ++i) {
        impl_->tiles[static_cast<std::size_t>(i)]->RefreshCheck();
    }
}

void CPhotoViewDlg::SelectTile(int number) {
    if (number == impl_->selected) {
        return;
    }
    if (CGroupButtonEx* previous = Tile(impl_->selected)) {
        previous->update();
    }
    impl_->selected = number;
    if (CGroupButtonEx* tile = Tile(number)) {
        tile->update();
    }
}

void CPhotoViewDlg::NotifyCheckChanged(int number) {
    if (QObject* target = impl_->host.NotificationTarget()) {
        SendWindowMessage(target, WM_THUMB_CHECK_CHANGED + impl_->design.category,
                          static_cast<quintptr>(number));
    }
}

bool CPhotoViewDlg::event(QEvent* event) {
    const WindowMessageEvent* posted = WindowMessageEvent::From(event);
    if (posted == nullptr) {
        return QWidget::event(event);
    }
    const WindowMessageEvent& message = *posted;
    Impl& d = *impl_;
    if (message.Message() == WM_PAGE_PREV && d.currentPage > 1) {
        d.ShowPage(d.currentPage - 1);
    } else if (message.Message() == WM_PAGE_NEXT && d.currentPage < d.pageCount) {
        d.ShowPage(d.currentPage + 1);
    } else if (message.Message() == WM_PAGE_GOTO) {
        const quintptr page = message.WParam();
        if (page >= 1 && page <= static_cast<quintptr>(d.pageCount) &&
            static_cast<int>(page) != d.currentPage) {
            d.pageNumberText = QString::number(page);
            d.ShowPage(static_cast<int>(page));
        }
    }
    return true;
}

void CPhotoViewDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

void CPhotoViewDlg::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        QScrollBar& bar = *impl_->scrollBar;
        bar.setValue(bar.value() + (delta < 0 ? kWheelUnits : -kWheelUnits));
    }
    event->accept();
}

}  // namespace pixhaven::ui
