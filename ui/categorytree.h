// The results screen's category tree: a root for the device and the thirteen media categories,
// each with a check box; categories without results are greyed and ignore clicks.
#pragma once

#include <QFontMetrics>
#include <QImage>
#include <QMetaType>
#include <QString>
#include <QTreeWidget>

namespace pixhaven::ui {

// What the main window keeps on each tree item: the category's index (-1 for the root) and
// whether the scan found anything in it.
struct CategoryData {
    int index = -1;
    bool hasResults = false;
};

// What a category item shows of `text` in `width` pixels: a label with its count, "Name (N)",
// loses letters of the name to an ellipsis but keeps " (N)" whole; other texts are cut at the end.
QString ShownCategoryText(const QString& text, const QFontMetrics& metrics, int width);

class CTreeViewEx1 : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kItemHeight = 25;
    static constexpr int kRootCategory = -1;
    static constexpr int kCategoryDataRole = Qt::UserRole;  // holds a CategoryData
    static constexpr int kStateRole = Qt::UserRole + 1;     // 0 none, 1 unchecked, 2 checked
    static constexpr int kIconRole = Qt::UserRole + 2;
    static constexpr int kCheckFrames = 5;
    static constexpr int kRootCheckOffset = 26;
    static constexpr int kCategoryCheckOffset = 36;

    explicit CTreeViewEx1(QWidget* parent = nullptr);

    // A null parent makes the root; categories go under it.
    QTreeWidgetItem* InsertItem(QTreeWidgetItem* parent, int category, const QString& text,
                                const QImage& icon = {});
    QTreeWidgetItem* RootItem() const { return topLevelItem(0); }
    QTreeWidgetItem* CategoryItem(int category) const;

    void SetItemText(QTreeWidgetItem* item, const QString& text);
    void SetHasResults(QTreeWidgetItem* item, bool hasResults);
    static CategoryData ItemData(const QTreeWidgetItem* item);

    // State 0 (none yet), 1 unchecked or 2 checked; setting tells no one.
    static int ItemState(const QTreeWidgetItem* item);
    void SetItemState(QTreeWidgetItem* item, int state);

    // The item as the check notifications carry it, and back; a stale handle gives null.
    static quintptr Handle(const QTreeWidgetItem* item);
    QTreeWidgetItem* ItemFromHandle(quintptr handle) const;

    // The device name shown over the root when it is too wide for the tree; empty for none.
    void SetRootToolTip(const QString& text) { rootToolTip_ = text; }
    QString RootToolTip() const { return rootToolTip_; }

    // Where an item's check box and expand glyph answer clicks, in viewport coordinates.
    QRect CheckBoxRect(const QTreeWidgetItem* item) const;
    QRect GlyphRect(const QTreeWidgetItem* item) const;

protected:
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    bool IsRoot(const QTreeWidgetItem* item) const { return item != nullptr && !item->parent(); }
    bool HandleClick(QPoint point);
    void ToggleRoot(QTreeWidgetItem* root);
    void ToggleCategory(QTreeWidgetItem* category);
    void UpdateRootFromCategories();
    void NotifyParent(const QTreeWidgetItem* item, int state);
    QSize CheckSize() const;
    QRect IconRect(const QTreeWidgetItem* item) const;
    void PaintItem(QPainter& painter, const QTreeWidgetItem* item, const QRect& row,
                   bool selected) const;
    void PaintText(QPainter& painter, const QTreeWidgetItem* item, const QRect& row,
                   bool selected) const;

    QImage openedGlyph_;
    QImage closedGlyph_;
    QImage checkStrip_;
    QImage rootIcon_;
    QString rootToolTip_;
    bool pressConsumed_ = false;
};

}  // namespace pixhaven::ui

Q_DECLARE_METATYPE(pixhaven::ui::CategoryData)
