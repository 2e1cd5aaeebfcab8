// Painting, check handling and sorting of the file list and its header.
#include "ui/listviewcheck.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "ui/fontpool.h"
#include "ui/programfolders.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {
namespace {

constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kStateRole = Qt::UserRole + 1;
constexpr int kRowDataRole = Qt::UserRole + 2;
constexpr int kCheckFrames = 4;
constexpr int kUncheckedFrame = 0;
constexpr int kCheckedFrame = 2;

const QColor kSelectedRow(161, 219, 238);
const QColor kOddRow(255, 255, 255);
const QColor kEvenRow(245, 245, 245);
const QColor kRowLine(220, 220, 220);
const QColor kHeaderLine(210, 210, 210);

// Rows take their height from here; uniform heights make the first row's answer count for all.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    explicit RowHeightDelegate(CListViewCheck1* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), list_->RowHeight()};
    }

private:
    const CListViewCheck1* list_;  // the delegate's parent
};

// Compares rows by the text of the sorted column as the list shows it, so "Size" sorts as text.
class FileRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* list = static_cast<const CListViewCheck1*>(treeWidget());
        const int column = list->SortColumn();
        // The texts are compared as a 260-character buffer holds them.
        const int limit = CListViewCheck1::kSortTextLimit - 1;
        return list->Collator().compare(text(column).left(limit), other.text(column).left(limit)) <
               0;
    }
};

int FrameWidth(const QImage& strip, int frames) {
    return strip.width() / frames;
}

void DrawFrame(QPainter& painter, const QImage& strip, int frames, int frame, QPoint at) {
    const int width = FrameWidth(strip, frames);
    painter.drawImage(at, strip, QRect(frame * width, 0, width, strip.height()));
}

// A machine without a configured language would sort by code points ("C" before "a"); people
// expect dictionary order there too.
QCollator RowCollator() {
    const QLocale locale;
    return QCollator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
}

QPalette WhitePalette() {
    QPalette palette;
    for (const auto role : {QPalette::Base, QPalette::Window, QPalette::AlternateBase}) {
        palette.setColor(role, Qt::white);
    }
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, Qt::black);
    }
    palette.setColor(QPalette::Button, kEvenRow);
    palette.setColor(QPalette::Highlight, kSelectedRow);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    return palette;
}

}  // namespace

// ---- HeaderCheckBox ----

HeaderCheckBox::HeaderCheckBox(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setObjectName(QStringLiteral("headerCheck"));
    setFocusPolicy(Qt::NoFocus);
}

void HeaderCheckBox::SetStrip(QImage strip) {
    strip_ = std::move(strip);
    update();
}

void HeaderCheckBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (strip_.isNull()) {
        // Without the skin a plain box still shows the state.
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QColor(120, 120, 120));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        if (isChecked()) {
            painter.fillRect(rect().adjusted(3, 3, -3, -3), QColor(5, 170, 217));
        }
        return;
    }
    const int frameWidth = FrameWidth(strip_, kCheckFrames);
    const QRect source(isChecked() ? kCheckedFrame * frameWidth : 0, 0, frameWidth,
                       strip_.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), strip_, source);
}

// ---- CHeaderCtrlCheck ----

CHeaderCtrlCheck::CHeaderCtrlCheck(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), checkBox_(new HeaderCheckBox(this)) {
    const QImage image = SkinImage(QStringLiteral("headerbg.png"));
    if (!image.isNull()) {
        background_ = image.copy(std::min(2, image.width() - 1), 0, 1, image.height());
    }
    setSortIndicatorShown(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignCenter);
    setPalette(WhitePalette());
    setFixedHeight(kHeight);
    checkBox_->setGeometry(kCheckBoxRect);
    connect(checkBox_, &QAbstractButton::clicked, this, &CHeaderCtrlCheck::AskListToCheckAll);
    connect(this, &QHeaderView::sectionCountChanged, this, &CHeaderCtrlCheck::KeepLastSectionFixed);
}

void CHeaderCtrlCheck::SetSortImages(QImage ascending, QImage descending) {
    ascending_ = std::move(ascending);
    descending_ = std::move(descending);
    viewport()->update();
}

void CHeaderCtrlCheck::SetSortMark(int column, bool ascending) {
    sortColumn_ = column;
    sortAscending_ = ascending;
    viewport()->update();
}

QSize CHeaderCtrlCheck::sizeHint() const {
    return {QHeaderView::sizeHint().width(), kHeight};
}

// The last column is not for resizing; the others are.
void CHeaderCtrlCheck::KeepLastSectionFixed() {
    for (int section = 0; section < count(); ++section) {
        setSectionResizeMode(section, section + 1 == count() ? Fixed : Interactive);
    }
}

void CHeaderCtrlCheck::AskListToCheckAll(bool checked) {
    if (parentWidget() != nullptr) {
        SendWindowMessage(parentWidget(), WM_LIST_CHECK_ALL, checked ? 1 : 0);
    }
}

void CHeaderCtrlCheck::PaintBackground(QPainter& painter) const {
    const QRect area = viewport()->rect();
    if (background_.isNull()) {
        painter.fillRect(area, kEvenRow);
    } else {
        painter.drawImage(area, background_);
    }
    painter.setPen(kHeaderLine);
    painter.drawLine(area.topLeft(), area.bottomLeft());
}

void CHeaderCtrlCheck::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    PaintBackground(painter);
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical)) {
            continue;
        }
        const QRect rect(sectionViewportPosition(logical), 0, sectionSize(logical), height());
        painter.save();
        paintSection(&painter, rect, logical);
        painter.restore();
    }
}

void CHeaderCtrlCheck::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->setPen(kHeaderLine);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    const QString title = model() != nullptr
                              ? model()->headerData(logicalIndex, orientation()).toString()
                              : QString();
    const QFont& font = FontPool().Font(font_code::kLarger);
    painter->setFont(font);
    painter->setPen(Qt::black);
    const QRect textRect = rect.adjusted(4, 0, -4, 0);
    QRect drawn;
    painter->drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine,
                      QFontMetrics(font).elidedText(title, Qt::ElideRight, textRect.width()),
                      &drawn);
    if (logicalIndex == sortColumn_) {
        PaintSortArrow(*painter, rect, drawn);
    }
}

// The arrow follows the title, so it stays in sight when a wide column runs past the list.
void CHeaderCtrlCheck::PaintSortArrow(QPainter& painter, const QRect& section,
                                      const QRect& title) const {
    const QImage& arrow = sortAscending_ ? ascending_ : descending_;
    if (arrow.isNull()) {
        return;
    }
    const int left = std::min(title.right() + 8, section.right() - arrow.width() - 4);
    painter.drawImage(QPoint(left, section.top() + (section.height() - arrow.height()) / 2), arrow);
}

// ---- CListViewCheck1 ----

CListViewCheck1::CListViewCheck1(QWidget* parent)
    : QTreeWidget(parent),
      header_(new CHeaderCtrlCheck(this)),
      checkStrip_(SkinImage(QStringLiteral("checkbox.png"))),
      collator_(RowCollator()) {
    setHeader(header_);
    header_->SetSortImages(SkinImage(QStringLiteral("inc.png")),
                           SkinImage(QStringLiteral("dec.png")));
    header_->SetCheckStrip(checkStrip_);
    setItemDelegate(new RowHeightDelegate(this));
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setPalette(WhitePalette());
    viewport()->setAutoFillBackground(true);
    header_->setSectionsClickable(true);  // the tree widget turns it off while it sets up
    connect(header_, &QHeaderView::sectionClicked, this, &CListViewCheck1::SortByColumn);
}

int CListViewCheck1::AddColumn(const QString& title, int width) {
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, title);
    header_->resizeSection(column, width);
    return column;
}

void CListViewCheck1::ClearAll() {
    clear();
    setColumnCount(0);
    header_->SetSortMark(-1, true);
}

int CListViewCheck1::InsertRow(const QString& name, const QString& size) {
    auto* row = new FileRow(this);  // the list owns its rows
    row->setText(kNameColumn, name);
    row->setText(kSizeColumn, size);
    row->setData(kNameColumn, kStateRole, kStateUnchecked);
    return indexOfTopLevelItem(row);
}

QString CListViewCheck1::RowText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

void CListViewCheck1::SetRowData(int row, const QVariant& value) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setData(kNameColumn, kRowDataRole, value);
    }
}

QVariant CListViewCheck1::RowData(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->data(kNameColumn, kRowDataRole) : QVariant();
}

int CListViewCheck1::RowState(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->data(kNameColumn, kStateRole).toInt() : 0;
}

void CListViewCheck1::SetRowState(int row, int state) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setData(kNameColumn, kStateRole, state);
    }
}

void CListViewCheck1::SetRowCheck(int row, bool checked) {
    SetRowState(row, checked ? kStateChecked : kStateUnchecked);
}

void CListViewCheck1::CheckAll(bool checked) {
    header_->SetChecked(checked);
    for (int row = 0; row < RowCount(); ++row) {
        SetRowCheck(row, checked);
        NotifyParent(row, checked);
    }
}

void CListViewCheck1::SelectRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    setCurrentItem(item);
    setFocus();
    scrollToItem(item);
}

void CListViewCheck1::SetRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    // Uniform heights are cached; a fresh layout asks the delegate again.
    doItemsLayout();
}

void CListViewCheck1::SortByColumn(int column) {
    if (column < 0 || column >= columnCount()) {
        return;
    }
    const bool ascending = column == header_->SortColumn() ? !header_->SortAscending() : true;
    header_->SetSortMark(column, ascending);
    sortItems(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QRect CListViewCheck1::CheckBoxRect(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr || columnCount() == 0) {
        return {};
    }
    const QRect rowRect = visualItemRect(item);
    const int height = checkStrip_.isNull() ? 16 : checkStrip_.height();
    const int width = checkStrip_.isNull() ? 16 : FrameWidth(checkStrip_, kCheckFrames);
    const int left = header_->sectionViewportPosition(kNameColumn) + kCheckLeft;
    return {left, rowRect.top() + (rowRect.height() - height) / 2, width, height};
}

int CListViewCheck1::CheckBoxRowAt(QPoint point) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        return -1;
    }
    return CheckBoxRect(index.row()).contains(point) ? index.row() : -1;
}

void CListViewCheck1::ToggleRow(int row) {
    const bool checked = RowState(row) != kStateChecked;
    SetRowCheck(row, checked);
    UpdateHeaderCheck();
    viewport()->update();
    NotifyParent(row, checked);
}

void CListViewCheck1::UpdateHeaderCheck() {
    bool allChecked = true;
    for (int row = 0; row < RowCount() && allChecked; ++row) {
        allChecked = RowState(row) != kStateUnchecked;
    }
    header_->SetChecked(allChecked);
}

void CListViewCheck1::NotifyParent(int row, bool checked) {
    if (parentWidget() != nullptr) {
        SendWindowMessage(parentWidget(), WM_LIST_CHECK_CHANGED, static_cast<quintptr>(row),
                          checked ? 1 : 0);
    }
}

bool CListViewCheck1::event(QEvent* event) {
    if (const WindowMessageEvent* message = WindowMessageEvent::From(event)) {
        if (message->Message() == WM_LIST_CHECK_ALL) {
            CheckAll(message->WParam() != 0);
            viewport()->update();
            return true;
        }
    }
    return QTreeWidget::event(event);
}

// A click on a check box toggles it and goes no further, so the selection stays as it was.
bool CListViewCheck1::ToggleBoxAt(const QMouseEvent& event) {
    const int row =
        event.button() == Qt::LeftButton ? CheckBoxRowAt(event.position().toPoint()) : -1;
    if (row >= 0) {
        ToggleRow(row);
    }
    return row >= 0;
}

void CListViewCheck1::mousePressEvent(QMouseEvent* event) {
    pressConsumed_ = ToggleBoxAt(*event);
    if (!pressConsumed_) {
        QTreeWidget::mousePressEvent(event);
    }
}

void CListViewCheck1::mouseReleaseEvent(QMouseEvent* event) {
    if (!std::exchange(pressConsumed_, false)) {
        QTreeWidget::mouseReleaseEvent(event);
    }
}

// The second click of a quick pair on a check box toggles it back, as two slow clicks would.
void CListViewCheck1::mouseDoubleClickEvent(QMouseEvent* event) {
    pressConsumed_ = ToggleBoxAt(*event);
    if (!pressConsumed_) {
        QTreeWidget::mouseDoubleClickEvent(event);
    }
}

QRect CListViewCheck1::CellRect(int column, const QRect& rowRect) const {
    return {header_->sectionViewportPosition(column), rowRect.top(), header_->sectionSize(column),
            rowRect.height()};
}

void CListViewCheck1::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const int row = index.row();
    const QRect rowRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool selected = selectionModel() != nullptr && selectionModel()->isSelected(index);
    painter->fillRect(rowRect, selected ? kSelectedRow : (row % 2 == 0 ? kEvenRow : kOddRow));
    painter->setPen(kRowLine);
    const int left = header_->sectionViewportPosition(kNameColumn);
    painter->drawLine(left, rowRect.top(), left, rowRect.bottom());
    painter->drawLine(rowRect.left(), rowRect.bottom(), rowRect.right(), rowRect.bottom());
    for (int column = 0; column < columnCount(); ++column) {
        const QRect cell = CellRect(column, rowRect);
        if (column == kNameColumn) {
            PaintFirstCell(*painter, cell, row);
            continue;
        }
        painter->setPen(kRowLine);
        painter->drawLine(cell.left(), cell.top(), cell.left(), cell.bottom());
        PaintCellText(*painter, cell, topLevelItem(row)->text(column));
    }
}

void CListViewCheck1::PaintFirstCell(QPainter& painter, const QRect& cell, int row) const {
    int textLeft = cell.left() + kCheckLeft + kTextGap;
    if (!checkStrip_.isNull()) {
        const int frame = RowState(row) == kStateChecked ? kCheckedFrame : kUncheckedFrame;
        const QPoint at(cell.left() + kCheckLeft,
                        cell.top() + (cell.height() - checkStrip_.height()) / 2);
        DrawFrame(painter, checkStrip_, kCheckFrames, frame, at);
        textLeft += FrameWidth(checkStrip_, kCheckFrames);
    }
    const QRect textRect(textLeft, cell.top(), cell.right() - textLeft, cell.height());
    PaintCellText(painter, textRect, topLevelItem(row)->text(kNameColumn));
}

void CListViewCheck1::PaintCellText(QPainter& painter, const QRect& cell,
                                    const QString& text) const {
    const QFont& font = FontPool().Font(font_code::kLarger);
    const QRect textRect = cell.adjusted(2, 0, -2, 0);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine,
                     QFontMetrics(font).elidedText(text, Qt::ElideRight, textRect.width()));
}

}  // namespace pixhaven::ui
