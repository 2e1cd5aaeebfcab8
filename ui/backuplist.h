// The home screen's list of backups: one 45-pixel row per backup folder with the device's name,
// last backup date and serial number, or a note when the folder's facts could not be read.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "backup/discovery.h"

namespace pixhaven::ui {

class CListViewExBackups : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 45;
    static constexpr int kNameInset = 5;
    static inline const QString kUnreadableText =
        QStringLiteral("info.plist not found or may be corrupted");

    explicit CListViewExBackups(QWidget* parent = nullptr);

    int AddColumn(const QString& title, int width, Qt::Alignment alignment = Qt::AlignLeft);

    // Appends a row whose text is the folder's name and whose data is the backup's facts.
    int AddBackupRow(backup::BackupRow row);
    void SetBackupRows(std::vector<backup::BackupRow> rows);
    void ClearRows();
    int RowCount() const { return topLevelItemCount(); }

    const backup::BackupRow* Row(int row) const;
    // The row's facts; none when the folder holds no info.plist.
    const backup::BackupInfo* RowInfo(int row) const;
    // Whether the row's facts were read and can be shown.
    bool RowReadable(int row) const;
    // The selected row, -1 for none.
    int SelectedRow() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    bool HitsNoRow(const QMouseEvent& event) const;
    QRect CellRect(int column, const QRect& rowRect) const;
    QRect ColumnsRect(const QRect& rowRect) const;
    void PaintFacts(QPainter& painter, const QRect& rowRect, const backup::BackupInfo& info) const;
    void PaintUnreadable(QPainter& painter, const QRect& rowRect) const;

    std::vector<backup::BackupRow> rows_;  // parallel to the list's rows; the list never sorts
};

}  // namespace pixhaven::ui
