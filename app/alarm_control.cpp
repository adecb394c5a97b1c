// Alarms on the main window.
#include "app/alarm_control.h"

#include "alarms/alarm_dispatch.h"

#include "alarms/alarm_editor.h"
#include "alarms/alarm_program.h"
#include "alarms/alarm_settings.h"
#include "alarms/desktop_notification.h"
#include "settings/ini_file_exception.h"
#include "settings/settings_store.h"
#include "text/real_conversion.h"
#include "text/time_of_day.h"
#include "ui/plain_tooltip.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

namespace velmora {

namespace {

constexpr int kBannerPadding = 6;

} // namespace

AlarmControl::AlarmControl(QWidget* window, QLabel* banner)
    : QObject(window)
    , window_(window)
    , banner_(banner) {
    started_.start();
    clock = [this] { return static_cast<double>(started_.nsecsElapsed()) / 1e9; };
    beep = [] { QApplication::beep(); };
    notify = [](const QString& summary, const QString& body) {
        return SendDesktopNotification(summary, body);
    };
    startProgram = [](const QString& program, const QStringList& arguments, QString* whyNot) {
        return StartAlarmProgram(program, arguments, whyNot);
    };
    editAlarms = [this](const std::vector<AlarmDefinition>& alarms)
        -> std::optional<std::vector<AlarmDefinition>> {
        AlarmEditor editor(window_);
        editor.setAlarms(alarms);
        if (editor.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return editor.alarms();
    };
    silenceCheck_.setInterval(100);
    connect(&silenceCheck_, &QTimer::timeout, this, [this] { handle(monitor_.tick(clock())); });
    banner_->setVisible(false);
    banner_->setCursor(Qt::PointingHandCursor);
    banner_->installEventFilter(this);
}

void AlarmControl::load(SettingsStore* settings) {
    settings_ = settings;
    const AlarmSettings read = ReadAlarmSettings(*settings);
    if (read.problem && showProblem) {
        showProblem(
            QStringLiteral("The [%1] section of the settings file cannot be used (%2); "
                           "no alarms are watched until they are set again.")
                .arg(QString::fromLatin1(kAlarmSection), QString::fromStdString(*read.problem)));
    }
    monitor_.setDefinitions(read.alarms);
    details_.assign(read.alarms.size(), QString());
    if (connected_) {
        monitor_.connected(true, clock());
    }
    showBanner();
}

void AlarmControl::apply(std::vector<AlarmDefinition> alarms) {
    // What was raised under the old alarms is over: say so before they go.
    for (size_t i = 0; i < monitor_.definitions().size(); ++i) {
        if (monitor_.raised(i) && onEvent) {
            onEvent("alarm cleared " + monitor_.definitions()[i].name);
        }
    }
    monitor_.setDefinitions(alarms);
    details_.assign(alarms.size(), QString());
    if (connected_) {
        monitor_.connected(true, clock());
    }
    showBanner();
    if (settings_) {
        try {
            WriteAlarmSettings(*settings_, alarms);
        } catch (const EIniFileException& error) {
            if (showNote) {
                showNote(QStringLiteral("The alarms could not be kept in the settings file: %1")
                             .arg(QString::fromStdString(error.what())));
            }
        }
    }
}

void AlarmControl::reading(const std::string& function, long double value, const std::string& unit,
                           std::optional<double> derived) {
    lastUnit_ = unit;
    if (monitor_.definitions().empty()) {
        return;
    }
    const std::vector<AlarmEvent> events = monitor_.reading(function, value, clock(), derived);
    if (!events.empty()) {
        handle(events);
    }
}

void AlarmControl::setConnected(bool on) {
    if (on == connected_) {
        return;
    }
    connected_ = on;
    if (on) {
        silenceCheck_.start();
    } else {
        silenceCheck_.stop();
    }
    handle(monitor_.connected(on, clock()));
}

void AlarmControl::acknowledgeAll() {
    const double now = clock();
    std::vector<AlarmEvent> events;
    for (size_t i = 0; i < monitor_.definitions().size(); ++i) {
        for (const AlarmEvent& e : monitor_.acknowledge(i, now)) {
            events.push_back(e);
        }
    }
    handle(events);
}

void AlarmControl::edit() {
    if (!editAlarms) {
        return;
    }
    if (auto edited = editAlarms(monitor_.definitions())) {
        apply(std::move(*edited));
    }
}

void AlarmControl::handle(const std::vector<AlarmEvent>& events) {
    if (events.empty()) {
        return;
    }
    for (const AlarmEvent& e : events) {
        const AlarmDefinition& alarm = monitor_.definitions()[e.alarm];
        if (onEvent) {
            onEvent(AlarmEventText(alarm, e.change));
        }
        if (e.change != AlarmChange::Raised) {
            continue;
        }
        const std::string detail =
            AlarmDetail(alarm, e, lastUnit_, FormatTimeOfDay(CurrentTimeOfDay()));
        details_[e.alarm] = QString::fromStdString(detail);
        const std::optional<std::string> problem =
            RunAlarmActions(alarm, e, lastUnit_, detail, {beep, notify, startProgram});
        if (problem && showNote) {
            QString note = QString::fromStdString(*problem);
            note[0] = note[0].toUpper(); // a sentence of its own in the status bar
            showNote(note);
        }
    }
    showBanner();
}

void AlarmControl::showBanner() {
    QStringList raised;
    bool unacknowledged = false;
    for (size_t i = 0; i < monitor_.definitions().size(); ++i) {
        if (monitor_.raised(i)) {
            raised << details_[i];
            unacknowledged = unacknowledged || !monitor_.acknowledged(i);
        }
    }
    const bool any = !raised.isEmpty();
    if (any != anyRaised_) {
        anyRaised_ = any;
        if (onRaisedChanged) {
            onRaisedChanged(any);
        }
    }
    if (!any) {
        banner_->setVisible(false);
        banner_->clear();
        return;
    }
    QString text = QStringLiteral("ALARM %1").arg(raised.first());
    if (raised.size() > 1) {
        text = QStringLiteral("ALARM (%1) %2").arg(raised.size()).arg(raised.first());
    }
    // Cut where the bar leaves no room; the tooltip holds every word.
    banner_->setText(banner_->fontMetrics().elidedText(
        text, Qt::ElideRight, banner_->maximumWidth() - 2 * kBannerPadding));
    banner_->setToolTip(PlainToolTip(raised.join(QLatin1Char('\n')) +
                                     (unacknowledged ? QStringLiteral("\nClick to acknowledge")
                                                     : QStringLiteral("\nAcknowledged"))));
    // Red until acknowledged, then a quieter amber for as long as it stays raised.
    banner_->setStyleSheet(unacknowledged
                               ? QStringLiteral("QLabel { background: #c00000; color: white; "
                                                "font-weight: bold; padding: 0 %1px; }")
                                     .arg(kBannerPadding)
                               : QStringLiteral("QLabel { background: #ffd27f; color: black; "
                                                "padding: 0 %1px; }")
                                     .arg(kBannerPadding));
    banner_->setVisible(true);
}

bool AlarmControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == banner_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        acknowledgeAll();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace velmora
