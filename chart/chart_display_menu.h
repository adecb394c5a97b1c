// ChartDisplayMenu: a double-click and a context menu on the main window's displays open the chart.
#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;

namespace velmora {

class TForm2;

// Watches the displays it is installed on: a double-click opens the chart
// window, the context menu offers "Trend chart" and a "Statistics" toggle
// (which opens the chart with its statistics panel, or hides the panel).
class ChartDisplayMenu : public QObject {
public:
    // `owner` parents the menu and this object.
    ChartDisplayMenu(TForm2& chart, QWidget* owner);
    ~ChartDisplayMenu() override;

    // Watches `display` from now on.
    void watch(QWidget* display);

    QMenu* menu() const { return menu_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<TForm2> chart_; // null once the chart window is gone
    QMenu* menu_;
    QAction* trendChart_;
    QAction* statistics_;
};

} // namespace velmora
