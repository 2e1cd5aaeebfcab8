// Timer-driven animations: a strip of eight picture frames, or one text holding its frames back
// to back.
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

namespace pixhaven::ui {

class CAnimateStaticBase : public QWidget {
    Q_OBJECT
public:
    CAnimateStaticBase(QWidget* parent, int frameCount, int controlId);

    // Starts the timer unless it already runs.
    void Start();
    void Stop();
    // Advances one frame, wrapping to the first.
    void Tick();
    // Moves to (x, y) with the size of one frame.
    virtual void Place(int x, int y) = 0;

    void SetPeriod(int milliseconds) { periodMs_ = milliseconds; }
    int Period() const { return periodMs_; }
    bool IsRunning() const { return running_; }
    int Frame() const { return frame_; }
    int FrameCount() const { return frameCount_; }

protected:
    void SetFrameCount(int frameCount);
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer timer_;
    int periodMs_ = 100;
    bool running_ = false;
    int frame_ = 0;
    int frameCount_;
};

// The busy picture: eight frames of equal width in one strip.
class CAnimateImg : public CAnimateStaticBase {
    Q_OBJECT
public:
    static constexpr int kFrames = 8;

    explicit CAnimateImg(QWidget* parent, int controlId = -1);

    void SetImage(const QString& fileName);
    // What shows behind the frames: the main window's bottom strip unless set.
    void SetBackdrop(const QColor& colour);
    QSize FrameSize() const;
    void Place(int x, int y) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage strip_;
    QColor backdrop_{240, 240, 239};
};

// The busy text: frames of equal length stored back to back in one text.
class CAnimateStr : public CAnimateStaticBase {
    Q_OBJECT
public:
    explicit CAnimateStr(QWidget* parent, int controlId = 0);

    void SetText(const QString& text, int frameCount = 3);
    // Characters per frame.
    int FrameLength() const;
    QString FrameText(int frame) const;
    void Place(int x, int y) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

}  // namespace pixhaven::ui
