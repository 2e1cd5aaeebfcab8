// The file list of the results screen: striped rows with a check box in the first column, and a
// skinned header that sorts by column and carries one check box standing for all rows.
#pragma once

#include <QAbstractButton>
#include <QCollator>
#include <QHeaderView>
#include <QImage>
#include <QTreeWidget>
#include <QVariant>

namespace pixhaven::ui {

// Row check states, kept per row as the list keeps them: 1 unchecked, 2 checked.
inline constexpr int kStateUnchecked = 1;
inline constexpr int kStateChecked = 2;

// The header's check box: paints the unchecked or checked frame of the rows' check strip.
class HeaderCheckBox : public QAbstractButton {
    Q_OBJECT
public:
    explicit HeaderCheckBox(QWidget* parent);
    void SetStrip(QImage strip);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage strip_;
};

class CHeaderCtrlCheck : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int kHeight = 30;
    static constexpr QRect kCheckBoxRect{5, 7, 14, 14};

    explicit CHeaderCtrlCheck(QWidget* parent);

    void SetSortImages(QImage ascending, QImage descending);
    void SetCheckStrip(QImage strip) { checkBox_->SetStrip(std::move(strip)); }

    // The sorted column (-1 for none) and its direction; painted as an arrow.
    void SetSortMark(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }

    void SetChecked(bool checked) { checkBox_->setChecked(checked); }
    bool IsChecked() const { return checkBox_->isChecked(); }
    HeaderCheckBox& CheckBox() { return *checkBox_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    void KeepLastSectionFixed();
    void PaintBackground(QPainter& painter) const;
    void PaintSortArrow(QPainter& painter, const QRect& section, const QRect& title) const;
    void AskListToCheckAll(bool checked);

    QImage background_;  // one column of the header image, stretched over the header
    QImage ascending_;
    QImage descending_;
    int sortColumn_ = -1;
    bool sortAscending_ = true;
    HeaderCheckBox* checkBox_;  // child widget, owned by the header
};

class CListViewCheck1 : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultRowHeight = 50;
    static constexpr int kCheckLeft = 5;
    static constexpr int kTextGap = 10;
    static constexpr int kSortTextLimit = 260;

    explicit CListViewCheck1(QWidget* parent = nullptr);

    int AddColumn(const QString& title, int width);
    // Removes every row and column and forgets the sort.
    void ClearAll();

    // Appends an unchecked row and returns its index.
    int InsertRow(const QString& name, const QString& size);
    int RowCount() const { return topLevelItemCount(); }
    QString RowText(int row, int column) const;
    void SetRowData(int row, const QVariant& value);
    QVariant RowData(int row) const;

    // Row check state 1 or 2 (0 for a row that does not exist).
    int RowState(int row) const;
    bool RowChecked(int row) const { return RowState(row) == kStateChecked; }
    // Sets the row's check without telling anyone (the owner already knows).
    void SetRowCheck(int row, bool checked);
    // Sets every row and the header check box, and tells the parent about every row.
    void CheckAll(bool checked);

    void SelectRow(int row);
    void SetRowHeight(int height);
    int RowHeight() const { return rowHeight_; }

    CHeaderCtrlCheck& Header() { return *header_; }
    void SetHeaderCheck(bool checked) { header_->SetChecked(checked); }
    bool HeaderChecked() const { return header_->IsChecked(); }

    // Column click: reverses the sorted column, otherwise sorts the new column ascending.
    void SortByColumn(int column);
    int SortColumn() const { return header_->SortColumn(); }
    bool SortAscending() const { return header_->SortAscending(); }
    const QCollator& Collator() const { return collator_; }

    // Where a row's check box answers clicks, in viewport coordinates; empty for no row.
    QRect CheckBoxRect(int row) const;

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    int CheckBoxRowAt(QPoint point) const;
    bool ToggleBoxAt(const QMouseEvent& event);
    void ToggleRow(int row);
    void SetRowState(int row, int state);
    void UpdateHeaderCheck();
    void NotifyParent(int row, bool checked);
    QRect CellRect(int column, const QRect& rowRect) const;
    void PaintFirstCell(QPainter& painter, const QRect& cell, int row) const;
    void PaintCellText(QPainter& painter, const QRect& cell, const QString& text) const;

    CHeaderCtrlCheck* header_;  // owned by the view
    QImage checkStrip_;
    QCollator collator_;
    int rowHeight_ = kDefaultRowHeight;
    bool pressConsumed_ = false;
};

}  // namespace pixhaven::ui
