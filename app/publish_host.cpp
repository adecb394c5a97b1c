// TForm1's publishing: the readings to the servers the [Publish] section names, the dialog that
// sets them, and the status bar's word on how they keep up.
#include "app/main_window.h"

#include "alarms/alarm_monitor.h"
#include "app/alarm_control.h"
#include "app/publish_dialog.h"
#include "control/engine_control.h"
#include "publish/engine_publishing.h"
#include "publish/publish_settings.h"
#include "settings/ini_file_exception.h"
#include "settings/settings_store.h"
#include "ui/exception_report.h"
#include "ui/plain_tooltip.h"

#include <QAction>
#include <QLabel>
#include <QPalette>
#include <QStatusBar>
#include <QTimer>

namespace velmora {

namespace {

const QColor kTroubleColour(255, 210, 127);
constexpr int kStatusWidth = 220; // the bar is the window's width: the port and notes need room

} // namespace

void TForm1::createPublishing() {
    statusPublish = new QLabel(StatusBar1);
    statusPublish->setObjectName(QStringLiteral("StatusPublish"));
    statusPublish->setTextFormat(Qt::PlainText);
    statusPublish->setMaximumWidth(kStatusWidth);
    statusPublish->setMargin(3);
    statusPublish->setVisible(false);
    // After the notes, before the recording indicator and the line count.
    StatusBar1->addWidget(statusPublish);
    publishAction_ = new QAction(QStringLiteral("Publish..."), this);
    connect(publishAction_, &QAction::triggered, this,
            [this] { RunReportingExceptions([this] { editPublishing(); }); });
}

void TForm1::startPublishing() {
    if (settingsFile_) {
        startPublishing(ReadPublishConfig(*settingsFile_));
    }
}

void TForm1::startPublishing(const PublishConfig& config) {
    // What the servers have not taken stays in the spool for the next start.
    stopPublishing();
    publishedAs_ = meterName();
    const auto fail = [this](const std::string& why) {
        publishing_.reset();
        publishProblem_ = QString::fromStdString(why);
        showNote(QStringLiteral("Not publishing: %1").arg(publishProblem_));
        showPublishing();
    };
    if (!config.any()) {
        showPublishing();
        return;
    }
    std::string why;
    const std::optional<PublishSetup> setup = ResolvePublishing(config, &why);
    if (!setup) {
        fail(why);
        return;
    }
    publishing_ = std::make_unique<EnginePublishing>(*engine_, publishedAs_);
    publishing_->onNotice = [this](const std::string& text) {
        showNote(QString::fromStdString(text));
    };
    publishing_->onStateChanged = [this] { showPublishing(); };
    // Kept by the window's own listener, which hears each reading first.
    publishing_->mathOfReading = [this] { return readingMath_; };
    publishing_->alarmsRaised = [this] { return RaisedAlarmNames(alarms_->monitor()); };
    publishing_->freshForMs = [this] {
        // As the control interface judges a reading fresh; the window's
        // only wait between readings is its tick.
        return engine_->replyTimeoutMs() + Timer1->interval() + EngineControl::kFreshMarginMs;
    };
    // Listening from here on, after the window: the math is ready when it hears a reading.
    if (!publishing_->start(*setup, &why)) {
        fail(why); // the spool held by another Velmora, the endpoint's port taken
        return;
    }
    publishing_->alarmsChanged(); // those raised before this start
    showPublishing();
}

void TForm1::stopPublishing() {
    if (publishing_) {
        publishing_->finish(2000);
        publishing_.reset();
    }
    publishProblem_.clear();
    showPublishing();
}

void TForm1::publishUnderMeterName() {
    if (settingsFile_ && meterName() != publishedAs_) {
        startPublishing(); // another meter's spool and topics
    }
}

void TForm1::showPublishing() {
    // Amber behind the bar's own face, as the acknowledged alarm's banner: a
    // style sheet would put the label in another font than its neighbours.
    const auto highlight = [this](bool on) {
        QPalette colours = StatusBar1->palette();
        if (on) {
            colours.setColor(QPalette::Window, kTroubleColour);
            colours.setColor(QPalette::WindowText, Qt::black);
        }
        statusPublish->setPalette(colours);
        statusPublish->setAutoFillBackground(on);
    };
    if (!publishProblem_.isEmpty()) {
        statusPublish->setText(QStringLiteral("Not publishing"));
        statusPublish->setToolTip(PlainToolTip(publishProblem_));
        highlight(true);
        statusPublish->setVisible(true);
        return;
    }
    const std::string line = publishing_ ? publishing_->statusLine() : std::string();
    if (line.empty()) {
        statusPublish->setVisible(false);
        statusPublish->clear();
        return;
    }
    const QString text = QString::fromStdString(line);
    // The bar is narrow: what each server last said goes first (the tooltip
    // keeps it), then the end is cut.
    const int room = kStatusWidth - 2 * statusPublish->margin();
    QString shown = text;
    if (statusPublish->fontMetrics().horizontalAdvance(shown) > room) {
        shown = QString::fromStdString(publishing_->statusLine(false));
    }
    statusPublish->setText(statusPublish->fontMetrics().elidedText(shown, Qt::ElideRight, room));
    QString tip = text;
    if (!publishing_->spoolFolder().empty()) {
        tip +=
            QStringLiteral("\nSpool: %1").arg(QString::fromStdString(publishing_->spoolFolder()));
    }
    statusPublish->setToolTip(PlainToolTip(tip));
    // A server away or behind is worth a glance: the readings pile up on disk.
    highlight(publishing_->troubled());
    statusPublish->setVisible(true);
}

PublishDialog* TForm1::publishDialog() const {
    return publishDialog_;
}

void TForm1::editPublishing() {
    if (publishDialog_) {
        publishDialog_->raise();
        publishDialog_->activateWindow();
        return;
    }
    auto* dialog = new PublishDialog(ReadPublishConfig(*settingsFile_), meterName(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->servedMetricsPort = [this] {
        return publishing_ ? publishing_->metricsPort() : quint16{0};
    };
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const PublishConfig config = dialog->chosen();
        RunReportingExceptions([&] {
            try {
                WritePublishConfig(*settingsFile_, config);
            } catch (const EIniFileException& error) {
                showNote(QStringLiteral("The publishing settings could not be kept in the "
                                        "settings file: %1")
                             .arg(QString::fromStdString(error.what())));
            }
            startPublishing(config); // in force for this run all the same
        });
    });
    publishDialog_ = dialog;
    dialog->open();
}

} // namespace velmora
