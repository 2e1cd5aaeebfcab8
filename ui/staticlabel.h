// Owner-painted static texts: the plain label, the centred page label, the device panel, and the
// hyperlink used by the message and about boxes.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>
#include <optional>

#include "backup/discovery.h"

namespace pixhaven::ui {

// Sets the object name and "controlId" property tests use to find a control.
void SetControlId(QWidget& widget, int controlId);

// One line of black text on a solid colour, cut with an ellipsis when it does not fit.
class CStaticLabel : public QWidget {
    Q_OBJECT
public:
    explicit CStaticLabel(QWidget* parent, int controlId = 0);

    void SetText(const QString& text);
    void SetBkColor(const QColor& color);
    const QString& Text() const { return text_; }

    // The text as painted in the current width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor background_ = Qt::white;
    QFont font_;
};

// One line of text centred horizontally, in a chosen colour: the page label.
class CStaticLink : public QWidget {
    Q_OBJECT
public:
    explicit CStaticLink(QWidget* parent, int controlId = 0);

    void SetText(const QString& text);
    void SetBkColor(const QColor& color);
    void SetTextColor(const QColor& color);
    const QString& Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor background_ = Qt::white;
    QColor textColor_ = Qt::black;
};

// The device panel: a picture and the facts of the scanned device beside it.
class CStaticLabel1 : public QWidget {
    Q_OBJECT
public:
    explicit CStaticLabel1(QWidget* parent, int controlId = 0);

    void SetBackupInfo(const backup::BackupInfo& info);
    void ClearBackupInfo();
    void SetBkColor(const QColor& color);
    const std::optional<backup::BackupInfo>& Info() const { return info_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintFacts(QPainter& painter) const;

    QColor background_ = Qt::white;
    QImage picture_;
    std::optional<backup::BackupInfo> info_;
};

// A clickable, underlined text on white that emits clicked() with its target.
class CHyperLink : public QWidget {
    Q_OBJECT
public:
    explicit CHyperLink(QWidget* parent, int controlId = 0);

    void SetLabel(const QString& label);
    void SetTarget(const QString& target);
    void SetLinkFont(const QFont& font);
    const QString& Label() const { return label_; }
    const QString& Target() const { return target_; }

    // The size that shows the whole label.
    QSize IdealSize() const;
    QSize sizeHint() const override { return IdealSize(); }

signals:
    void clicked(const QString& target);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString label_;
    QString target_;
    bool pressed_ = false;
};

}  // namespace pixhaven::ui
