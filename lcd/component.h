// TiComponent: base of the custom-drawn display controls: properties, repaint requests,
// the guarded paint, background and border.
#pragma once

#include "lcd/bevel_style.h"

#include <QColor>
#include <QWidget>

#include <functional>

class QPainter;

namespace velmora {

// Setters never paint: they ask for a later repaint, which is passed on at
// once (update()), held back while repaints are suspended, or limited to
// UpdateFrameRate per second while AutoFrameRate is on. A request held back
// by the frame limit goes out with the next request after the frame interval
// or at the next sweep of TiUpdateObject (once a second).
//
// Times are a count of days (the date-time unit of the rest of the program),
// read from a monotonic clock so that a change of the wall clock can neither
// stall nor hurry a pending repaint. Everything here runs on the GUI thread.
class TiComponent : public QWidget {
public:
    explicit TiComponent(QWidget* parent = nullptr);
    ~TiComponent() override;

    TiComponent(const TiComponent&) = delete;
    TiComponent& operator=(const TiComponent&) = delete;

    bool AutoFrameRate() const { return autoFrameRate_; }
    // On: requests a background repaint; off: ends any suspension and flushes
    // a pending request at once.
    void SetAutoFrameRate(bool value);
    // Repaints per second while AutoFrameRate is on; 0 (or less) means no limit.
    int UpdateFrameRate() const { return updateFrameRate_; }
    void SetUpdateFrameRate(int value);
    QColor BackGroundColor() const { return backGroundColor_; }
    virtual void SetBackGroundColor(const QColor& value);
    TiBevelStyle BorderStyle() const { return borderStyle_; }
    // Values outside the three styles are ignored.
    virtual void SetBorderStyle(TiBevelStyle value);
    // Pixels the border takes on each side: 2 with a border, 0 without.
    int BorderMargin() const { return borderStyle_ == TiBevelStyle::ibsNone ? 0 : 2; }

    bool RepaintSuspended() const { return repaintSuspended_; }
    bool RepaintPending() const { return repaintPending_; }
    // Set by every background repaint request, cleared when the background is drawn.
    bool BackGroundChanged() const { return backGroundChanged_; }
    // When a repaint was last passed on, in days of the repaint clock.
    double LastRepaintTime() const { return lastRepaintTime_; }

    void RequestRepaint();
    void RequestBackGroundRepaint();
    // Passes the repaint on: clears the pending mark, notes the time, invalidates.
    void FlushRepaint();
    // FlushRepaint unless the frame limit says it is too soon.
    void TryFlushRepaint();
    virtual void RepaintAll();
    // No nesting count: one ResumeRepaint ends any number of SuspendRepaint.
    virtual void SuspendRepaint();
    virtual void ResumeRepaint();
    virtual void LockPaint() {}
    virtual void UnlockPaint() {}

    // Draws the whole control onto any paint device of the control's size.
    virtual void PaintToCanvas(QPainter& canvas) = 0;
    // Fills (0, 0, Width, Height) with the colour, then draws the border.
    virtual void DrawBackGround(QPainter& canvas, const QColor& color);
    virtual void DrawBorder(QPainter& canvas);

    // The guarded paint: lock, PaintToCanvas, and on an exception the error
    // picture (black, the message in white, word-wrapped). Never throws for
    // an error of the drawing itself. paintEvent calls it on the widget.
    void PaintGuarded(QPainter& canvas);

    // How often a repaint was requested and passed on (for observing setters).
    long RepaintRequestCount() const { return repaintRequestCount_; }
    long FlushCount() const { return flushCount_; }

    // The repaint clock in days. Tests install their own; an empty function
    // restores the monotonic clock.
    static double Now();
    static void SetNowFunction(std::function<double()> now);
    // True when last + one frame (1 / (rate x 86400) days) lies strictly
    // before now; always true when the rate sets no limit.
    static bool FrameIntervalPassed(double last, int rate, double now);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    // For descendants that draw their own background.
    void ClearBackGroundChanged() { backGroundChanged_ = false; }

private:
    void DrawErrorPicture(QPainter& canvas, const char* message);

    bool repaintSuspended_ = false;
    int updateFrameRate_ = 60;
    double lastRepaintTime_ = 0;
    bool repaintPending_ = false;
    QColor backGroundColor_;
    bool backGroundChanged_ = true;
    TiBevelStyle borderStyle_ = TiBevelStyle::ibsNone;
    bool autoFrameRate_ = false;
    long repaintRequestCount_ = 0;
    long flushCount_ = 0;
};

} // namespace velmora
