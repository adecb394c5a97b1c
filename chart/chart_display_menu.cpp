// Double-click and context menu on the displays.
#include "chart/chart_display_menu.h"

#include "chart/chart_window.h"
#include "ui/exception_report.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

namespace velmora {

ChartDisplayMenu::ChartDisplayMenu(TForm2& chart, QWidget* owner)
    : QObject(owner)
    , chart_(&chart)
    , menu_(new QMenu(owner))
    , trendChart_(menu_->addAction(QStringLiteral("Trend chart")))
    , statistics_(menu_->addAction(QStringLiteral("Statistics"))) {
    menu_->setObjectName(QStringLiteral("DisplayMenu"));
    statistics_->setCheckable(true);
    connect(trendChart_, &QAction::triggered, this, [this] {
        RunReportingExceptions([this] {
            if (chart_) {
                chart_->openChart();
            }
        });
    });
    connect(statistics_, &QAction::triggered, this, [this](bool checked) {
        RunReportingExceptions([this, checked] {
            if (!chart_) {
                return;
            }
            chart_->setStatisticsVisible(checked);
            if (checked) {
                chart_->openChart(); // the panel is in the chart window
            }
        });
    });
}

// The menu is the owner's child (a menu needs a window); it goes with this.
ChartDisplayMenu::~ChartDisplayMenu() {
    delete menu_;
}

void ChartDisplayMenu::watch(QWidget* display) {
    display->setContextMenuPolicy(Qt::DefaultContextMenu);
    display->installEventFilter(this);
}

bool ChartDisplayMenu::eventFilter(QObject* watched, QEvent* event) {
    if (!chart_) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            RunReportingExceptions([this] { chart_->openChart(); });
            return true;
        }
        break;
    case QEvent::ContextMenu:
        RunReportingExceptions([this, event] {
            // Shown as the panel is now, whichever way it was last changed.
            statistics_->setChecked(chart_->statisticsVisible());
            menu_->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        });
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace velmora
