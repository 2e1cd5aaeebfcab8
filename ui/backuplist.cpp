// Painting and clicks of the backup list.
#include "ui/backuplist.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "ui/fontpool.h"

namespace pixhaven::ui {
namespace {

constexpr int kFactColumns = 3;

const QColor kSelectedRow(175, 202, 245);
const QColor kEvenRow(255, 255, 255);
const QColor kOddRow(245, 245, 250);
const QColor kRowLine(220, 220, 220);
const QColor kUnreadableColour(150, 150, 150);

class RowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(),
                CListViewExBackups::kRowHeight};
    }
};

// The header is a plain one, flattened to the list's colours so no desktop theme shows through.
constexpr char kHeaderStyle[] =
    "QHeaderView { background: #f5f5f5; border: none; }"
    "QHeaderView::section { background: #f5f5f5; color: black; border: none;"
    " border-right: 1px solid #dcdcdc; border-bottom: 1px solid #dcdcdc;"
    " padding: 4px 5px; }";

QPalette ListPalette() {
    QPalette palette;
    for (const auto role : {QPalette::Base, QPalette::Window, QPalette::AlternateBase}) {
        palette.setColor(role, Qt::white);
    }
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, Qt::black);
    }
    palette.setColor(QPalette::Button, QColor(245, 245, 245));
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(235, 235, 235));
    palette.setColor(QPalette::Mid, QColor(210, 210, 210));
    palette.setColor(QPalette::Dark, QColor(190, 190, 190));
    palette.setColor(QPalette::Highlight, kSelectedRow);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    return palette;
}

QString FactText(const backup::BackupInfo& info, int column) {
    switch (column) {
        case 0:
            return QString::fromStdU16String(info.deviceName);
        case 1:
            return QString::fromStdU16String(info.lastBackupDate);
        default:
            return QString::fromStdU16String(info.serialNumber);
    }
}

Qt::Alignment FactAlignment(int column, Qt::Alignment columnFormat) {
    if (column == 0) {
        return Qt::AlignLeft;
    }
    return (columnFormat & Qt::AlignRight) ? Qt::AlignRight : Qt::AlignHCenter;
}

// Folder names are bytes on some systems; ones that are not UTF-8 still show, with U+FFFD.
[[maybe_unused]] QString NativeText(const std::string& name) {
    return QString::fromUtf8(name);
}
[[maybe_unused]] QString NativeText(const std::wstring& name) {
    return QString::fromStdWString(name);
}

}  // namespace

CListViewExBackups::CListViewExBackups(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("backupList"));
    setItemDelegate(new RowHeightDelegate(this));
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setPalette(ListPalette());
    header()->setPalette(ListPalette());
    header()->setStyleSheet(QString::fromLatin1(kHeaderStyle));
    header()->setStretchLastSection(false);
    header()->setFont(FontPool().Font(font_code::kBase));
    viewport()->setAutoFillBackground(true);
}

int CListViewExBackups::AddColumn(const QString& title, int width, Qt::Alignment alignment) {
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, title);
    // The title sits as the column's texts do; the requested format stays for right alignment.
    headerItem()->setTextAlignment(column, FactAlignment(column, alignment) | Qt::AlignVCenter);
    header()->resizeSection(column, width);
    return column;
}

int CListViewExBackups::AddBackupRow(backup::BackupRow row) {
    auto* item = new QTreeWidgetItem(this);  // the list owns its rows
    item->setText(0, NativeText(row.folderName.native()));
    rows_.push_back(std::move(row));
    return indexOfTopLevelItem(item);
}

void CListViewExBackups::SetBackupRows(std::vector<backup::BackupRow> rows) {
    ClearRows();
    for (auto& row : rows) {
        AddBackupRow(std::move(row));
    }
}

void CListViewExBackups::ClearRows() {
    clear();
    rows_.clear();
}

const backup::BackupRow* CListViewExBackups::Row(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(row)];
}

const backup::BackupInfo* CListViewExBackups::RowInfo(int row) const {
    const backup::BackupRow* entry = Row(row);
    return entry != nullptr && entry->info ? &*entry->info : nullptr;
}

bool CListViewExBackups::RowReadable(int row) const {
    const backup::BackupInfo* info = RowInfo(row);
    return info != nullptr && info->readResult == backup::kInfoRead;
}

int CListViewExBackups::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.front());
}

bool CListViewExBackups::HitsNoRow(const QMouseEvent& event) const {
    return event.button() == Qt::LeftButton && !indexAt(event.position().toPoint()).isValid();
}

// A click below the last row would clear the selection; the user's pick stays instead.
void CListViewExBackups::mousePressEvent(QMouseEvent* event) {
    if (HitsNoRow(*event)) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CListViewExBackups::mouseReleaseEvent(QMouseEvent* event) {
    if (HitsNoRow(*event)) {
        event->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void CListViewExBackups::mouseDoubleClickEvent(QMouseEvent* event) {
    if (HitsNoRow(*event)) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

QRect CListViewExBackups::CellRect(int column, const QRect& rowRect) const {
    return {header()->sectionViewportPosition(column), rowRect.top(), header()->sectionSize(column),
            rowRect.height()};
}

QRect CListViewExBackups::ColumnsRect(const QRect& rowRect) const {
    const int left = header()->sectionViewportPosition(0);
    return {left, rowRect.top(), header()->length(), rowRect.height()};
}

void CListViewExBackups::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const int row = index.row();
    const QRect rowRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool selected = selectionModel() != nullptr && selectionModel()->isSelected(index);
    const bool readable = RowReadable(row);
    QColor background = row % 2 == 0 ? kEvenRow : kOddRow;
    if (selected && readable) {
        background = kSelectedRow;
    }
    painter->fillRect(rowRect, background);
    painter->setPen(kRowLine);
    painter->drawLine(rowRect.left(), rowRect.bottom(), rowRect.right(), rowRect.bottom());
    if (readable) {
        PaintFacts(*painter, rowRect, *RowInfo(row));
    } else {
        PaintUnreadable(*painter, rowRect);
    }
}

void CListViewExBackups::PaintFacts(QPainter& painter, const QRect& rowRect,
                                    const backup::BackupInfo& info) const {
    const QFont& font = FontPool().Font(font_code::kBase);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int column = 0; column < std::min(kFactColumns, columnCount()); ++column) {
        QRect cell = CellRect(column, rowRect);
        cell.adjust(column == 0 ? kNameInset : 2, 0, -2, 0);
        const auto format = Qt::Alignment::fromInt(headerItem()->textAlignment(column));
        painter.drawText(
            cell, FactAlignment(column, format) | Qt::AlignVCenter | Qt::TextSingleLine,
            QFontMetrics(font).elidedText(FactText(info, column), Qt::ElideRight, cell.width()));
    }
}

void CListViewExBackups::PaintUnreadable(QPainter& painter, const QRect& rowRect) const {
    painter.setFont(FontPool().Font(font_code::kBase));
    painter.setPen(kUnreadableColour);
    painter.drawText(ColumnsRect(rowRect), Qt::AlignCenter | Qt::TextSingleLine, kUnreadableText);
}

}  // namespace pixhaven::ui
