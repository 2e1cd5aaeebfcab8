// Painting, check rules and clicks of the category tree.
#include "ui/categorytree.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include "makerlibs/gildpaint_draw.h"
#include "ui/fontpool.h"
#include "ui/programfolders.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {
namespace {

constexpr int kNoState = 0;
constexpr int kUnchecked = 1;
constexpr int kChecked = 2;
constexpr int kGlyphLeft = 6;
constexpr int kGap = 4;
constexpr QSize kFallbackCheckSize(16, 16);

const QColor kSelectionFrom(168, 229, 246);
const QColor kSelectionTo(241, 247, 249);
const QColor kSelectedText(0, 0, 200);
const QColor kGreyedText(200, 200, 200);

class RowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), CTreeViewEx1::kItemHeight};
    }
};

QPalette TreePalette() {
    QPalette palette;
    for (const auto role : {QPalette::Base, QPalette::Window, QPalette::AlternateBase}) {
        palette.setColor(role, Qt::white);
    }
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ToolTipText}) {
        palette.setColor(role, Qt::black);
    }
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    palette.setColor(QPalette::Highlight, kSelectionFrom);
    palette.setColor(QPalette::HighlightedText, kSelectedText);
    return palette;
}

QRect CentredIn(const QRect& row, int left, QSize size) {
    return {left, row.top() + (row.height() - size.height()) / 2, size.width(), size.height()};
}

}  // namespace

QString ShownCategoryText(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    static const QRegularExpression counted(QStringLiteral("^(.*)( \\(\\d+\\))$"));
    const QRegularExpressionMatch match = counted.match(text);
    if (!match.hasMatch()) {
        return metrics.elidedText(text, Qt::ElideRight, width);
    }
    const QString count = match.captured(2);
    const int labelWidth = std::max(0, width - metrics.horizontalAdvance(count));
    return metrics.elidedText(match.captured(1), Qt::ElideRight, labelWidth) + count;
}

CTreeViewEx1::CTreeViewEx1(QWidget* parent)
    : QTreeWidget(parent),
      openedGlyph_(SkinImage(QStringLiteral("tree_opened.bmp"))),
      closedGlyph_(SkinImage(QStringLiteral("tree_closed.bmp"))),
      checkStrip_(SkinImage(QStringLiteral("checkboxes.png"))),
      rootIcon_(SkinImage(QStringLiteral("treeroot.png"))) {
    setObjectName(QStringLiteral("categoryTree"));
    setItemDelegate(new RowHeightDelegate(this));
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setPalette(TreePalette());
    viewport()->setAutoFillBackground(true);
}

QTreeWidgetItem* CTreeViewEx1::InsertItem(QTreeWidgetItem* parent, int category,
                                          const QString& text, const QImage& icon) {
    // The tree owns its items through their parents.
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setData(0, kCategoryDataRole, QVariant::fromValue(CategoryData{category, false}));
    item->setData(0, kStateRole, kNoState);
    item->setData(0, kIconRole, icon);
    return item;
}

QTreeWidgetItem* CTreeViewEx1::CategoryItem(int category) const {
    QTreeWidgetItem* root = RootItem();
    for (int child = 0; root != nullptr && child < root->childCount(); ++child) {
        if (ItemData(root->child(child)).index == category) {
            return root->child(child);
        }
    }
    return nullptr;
}

void CTreeViewEx1::SetItemText(QTreeWidgetItem* item, const QString& text) {
    if (item != nullptr) {
        item->setText(0, text);
    }
}

void CTreeViewEx1::SetHasResults(QTreeWidgetItem* item, bool hasResults) {
    if (item == nullptr) {
        return;
    }
    CategoryData marks = ItemData(item);
    marks.hasResults = hasResults;
    item->setData(0, kCategoryDataRole, QVariant::fromValue(marks));
}

CategoryData CTreeViewEx1::ItemData(const QTreeWidgetItem* item) {
    return item != nullptr ? item->data(0, kCategoryDataRole).value<CategoryData>()
                           : CategoryData{};
}

int CTreeViewEx1::ItemState(const QTreeWidgetItem* item) {
    return item != nullptr ? item->data(0, kStateRole).toInt() : kNoState;
}

void CTreeViewEx1::SetItemState(QTreeWidgetItem* item, int state) {
    if (item != nullptr) {
        item->setData(0, kStateRole, std::clamp(state, 0, kCheckFrames - 1));
    }
}

quintptr CTreeViewEx1::Handle(const QTreeWidgetItem* item) {
    return reinterpret_cast<quintptr>(item);
}

QTreeWidgetItem* CTreeViewEx1::ItemFromHandle(quintptr handle) const {
    QTreeWidgetItem* root = RootItem();
    if (root == nullptr) {
        return nullptr;
    }
    if (Handle(root) == handle) {
        return root;
    }
    for (int child = 0; child < root->childCount(); ++child) {
        if (Handle(root->child(child)) == handle) {
            return root->child(child);
        }
    }
    return nullptr;
}

QSize CTreeViewEx1::CheckSize() const {
    if (checkStrip_.isNull()) {
        return kFallbackCheckSize;
    }
    return {checkStrip_.width() / kCheckFrames, checkStrip_.height()};
}

QRect CTreeViewEx1::CheckBoxRect(const QTreeWidgetItem* item) const {
    if (item == nullptr || item->treeWidget() != this) {
        return {};
    }
    const QRect row = visualItemRect(item);
    const int offset = IsRoot(item) ? kRootCheckOffset : CheckSize().width() + kCategoryCheckOffset;
    return CentredIn(row, row.left() + offset, CheckSize());
}

QRect CTreeViewEx1::GlyphRect(const QTreeWidgetItem* item) const {
    if (item == nullptr || item->childCount() == 0 || item->treeWidget() != this) {
        return {};
    }
    const QImage& glyph = item->isExpanded() ? openedGlyph_ : closedGlyph_;
    const QSize size = glyph.isNull() ? QSize(11, 11) : glyph.size();
    const QRect row = visualItemRect(item);
    return CentredIn(row, row.left() + kGlyphLeft, size);
}

QRect CTreeViewEx1::IconRect(const QTreeWidgetItem* item) const {
    const QImage icon = IsRoot(item) ? rootIcon_ : item->data(0, kIconRole).value<QImage>();
    const QSize size = icon.isNull() ? QSize(16, 16) : icon.size();
    return CentredIn(visualItemRect(item), CheckBoxRect(item).right() + 1 + kGap, size);
}

bool CTreeViewEx1::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QTreeWidget::viewportEvent(event);
    }
    const auto& help = static_cast<const QHelpEvent&>(*event);
    const QRect rootRect = RootItem() != nullptr ? visualItemRect(RootItem()) : QRect();
    if (!rootToolTip_.isEmpty() && rootRect.contains(help.pos())) {
        QToolTip::showText(help.globalPos(), rootToolTip_, viewport(), rootRect);
    } else {
        QToolTip::hideText();
    }
    return true;
}

// Returns whether the click was used up by the tree's own rules.
bool CTreeViewEx1::HandleClick(QPoint point) {
    QTreeWidgetItem* item = itemAt(point);
    if (item == nullptr) {
        return false;
    }
    if (!IsRoot(item) && !ItemData(item).hasResults) {
        return true;  // nothing to see or tick in an empty category
    }
    if (GlyphRect(item).contains(point)) {
        item->setExpanded(!item->isExpanded());
        return true;
    }
    if (!CheckBoxRect(item).contains(point)) {
        return false;
    }
    if (IsRoot(item)) {
        ToggleRoot(item);
    } else {
        ToggleCategory(item);
    }
    viewport()->update();
    return true;
}

void CTreeViewEx1::mousePressEvent(QMouseEvent* event) {
    pressConsumed_ = event->button() == Qt::LeftButton && HandleClick(event->position().toPoint());
    if (!pressConsumed_) {
        QTreeWidget::mousePressEvent(event);
    }
}

void CTreeViewEx1::mouseReleaseEvent(QMouseEvent* event) {
    if (!std::exchange(pressConsumed_, false)) {
        QTreeWidget::mouseReleaseEvent(event);
    }
}

// The second click of a quick pair follows the same rules as a single click.
void CTreeViewEx1::mouseDoubleClickEvent(QMouseEvent* event) {
    pressConsumed_ = event->button() == Qt::LeftButton && HandleClick(event->position().toPoint());
    if (!pressConsumed_) {
        QTreeWidget::mouseDoubleClickEvent(event);
    }
}

void CTreeViewEx1::ToggleRoot(QTreeWidgetItem* root) {
    const int state = ItemState(root) == kChecked ? kUnchecked : kChecked;
    SetItemState(root, state);
    for (int child = 0; child < root->childCount(); ++child) {
        QTreeWidgetItem* category = root->child(child);
        const bool changed = ItemState(category) != state;
        SetItemState(category, state);
        if (changed) {
            NotifyParent(category, state);
        }
    }
}

void CTreeViewEx1::ToggleCategory(QTreeWidgetItem* category) {
    const int state = ItemState(category) == kChecked ? kUnchecked : kChecked;
    SetItemState(category, state);
    UpdateRootFromCategories();
    NotifyParent(category, state);
}

// The root is ticked while no category with results is left unticked.
void CTreeViewEx1::UpdateRootFromCategories() {
    QTreeWidgetItem* root = RootItem();
    bool anyUnchecked = false;
    for (int child = 0; child < root->childCount(); ++child) {
        const QTreeWidgetItem* category = root->child(child);
        anyUnchecked |= ItemData(category).hasResults && ItemState(category) == kUnchecked;
    }
    SetItemState(root, anyUnchecked ? kUnchecked : kChecked);
}

void CTreeViewEx1::NotifyParent(const QTreeWidgetItem* item, int state) {
    if (parentWidget() != nullptr) {
        SendWindowMessage(parentWidget(), WM_TREE_CHECK_CHANGED, Handle(item),
                          state == kChecked ? 1 : 0);
    }
}

void CTreeViewEx1::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const QTreeWidgetItem* item = itemFromIndex(index);
    if (item == nullptr) {
        return;
    }
    const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool selected = selectionModel() != nullptr && selectionModel()->isSelected(index);
    painter->fillRect(row, Qt::white);
    if (selected) {
        gradient_fillrect(*painter, row, kSelectionFrom, kSelectionTo, 0);
    }
    PaintItem(*painter, item, row, selected);
}

void CTreeViewEx1::PaintItem(QPainter& painter, const QTreeWidgetItem* item, const QRect& row,
                             bool selected) const {
    if (item->childCount() > 0) {
        const QImage& glyph = item->isExpanded() ? openedGlyph_ : closedGlyph_;
        painter.drawImage(GlyphRect(item).topLeft(), glyph);
    }
    if (!checkStrip_.isNull()) {
        const int frameWidth = CheckSize().width();
        const QRect source(ItemState(item) * frameWidth, 0, frameWidth, checkStrip_.height());
        painter.drawImage(CheckBoxRect(item).topLeft(), checkStrip_, source);
    }
    const QImage icon = IsRoot(item) ? rootIcon_ : item->data(0, kIconRole).value<QImage>();
    painter.drawImage(IconRect(item).topLeft(), icon);
    PaintText(painter, item, row, selected);
}

void CTreeViewEx1::PaintText(QPainter& painter, const QTreeWidgetItem* item, const QRect& row,
                             bool selected) const {
    QColor colour = Qt::black;
    if (!IsRoot(item)) {
        colour = !ItemData(item).hasResults ? kGreyedText : selected ? kSelectedText : Qt::black;
    }
    const QFont& font = FontPool().Font(IsRoot(item) ? font_code::kLargerBold : font_code::kLarger);
    const int left = IconRect(item).right() + 1 + kGap + 1;
    const QRect textRect(left, row.top(), row.right() - left - kGap, row.height());
    const QFontMetrics metrics(font);
    const QString shown = IsRoot(item)
                              ? metrics.elidedText(item->text(0), Qt::ElideRight, textRect.width())
                              : ShownCategoryText(item->text(0), metrics, textRect.width());
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

}  // namespace pixhaven::ui
