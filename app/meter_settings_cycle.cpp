// TForm1 and the meter's settings: the Advanced page, the commands it queues before the cycle's
// own, and the replies to its queries, told apart by the query that was sent.
#include "app/main_window.h"

#include "measure/advanced_page.h"
#include "serial/comm.h"
#include "settings/ini_file_exception.h"
#include "settings/settings_store.h"
#include "text/exception.h"
#include "text/time_of_day.h"
#include "text/trim.h"
#include "ui/exception_report.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr const char* kErrorQuery = "SYST:ERR?";
// The meter holds at most 20 errors; reading more would only repeat "No error".
constexpr int kMostErrorReads = 20;

} // namespace

void TForm1::createAdvancedPage() {
    advancedPage_ = new AdvancedPage(TabSheet2);
    auto* layout = new QVBoxLayout(TabSheet2);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(advancedPage_);
    advancedPage_->onChanged = [this](const FunctionSettings& settings) {
        RunReportingExceptions([&] { meterSettingsChanged(settings); });
    };
    advancedPage_->onDisplayChanged = [this](bool on) {
        RunReportingExceptions([&] { meterDisplayChanged(on); });
    };
    advancedPage_->onSamplesChanged = [this](int samples) {
        RunReportingExceptions([&] { meterSamplesChanged(samples); });
    };
    advancedPage_->onAcquisitionChanged = [this](bool fast) {
        RunReportingExceptions([&] { meterAcquisitionChanged(fast); });
    };
}

void TForm1::chooseFunction(const char* measure, const char* function, QPushButton* button) {
    if (meterSettings_.of(function).isDefault() && meterSettings_.samples == 1) {
        storeCommand(measure, button); // the standard cycle's own measure query
        return;
    }
    // A measure query would preset the meter and take its reading at the
    // presets: configure the function, give it its settings, then name it
    // and go on reading.
    button->setEnabled(false); // until the next reply
    dropQueuedCommands();
    queueMeterSettings(function, true);
    configuredFunction_ = function;
    nextCommand_ = "Func?";
}

void TForm1::queueMeterSettings(const std::string& function, bool configure) {
    const FunctionCapabilities* f = CapabilitiesOf(function);
    if (!f) {
        return;
    }
    if (configure) {
        queued_.push_back(f->configure);
    }
    for (std::string& command : SettingCommands(function, meterSettings_.of(function))) {
        queued_.push_back(std::move(command));
    }
    if (meterSettings_.samples > 1) {
        queued_.push_back(SampleCountCommand(meterSettings_.samples)); // configuring resets it
    }
    queued_.push_back(kErrorQuery);
    for (const InForceQuery& query : InForceQueries(function)) {
        queued_.push_back(query.command);
    }
    inForceFunction_ = function;
    inForce_ = {};
    errorReads_ = 0;
    advancedPage_->showError({});
}

void TForm1::queueSettingCommand(const std::string& command) {
    queued_.push_back(command);
    queued_.push_back(kErrorQuery); // and what the meter made of it
    errorReads_ = 0;
}

void TForm1::storeMeterSettings(const std::string& function) {
    try {
        WriteMeterSettings(*settingsFile_, function, meterSettings_);
    } catch (const EIniFileException& error) {
        showNote(QStringLiteral("The meter settings could not be kept: %1")
                     .arg(QString::fromStdString(error.what())));
    }
}

void TForm1::dropQueuedCommands() {
    queued_.clear();
    burstClock_.invalidate(); // the next burst's interval is not known yet
}

bool TForm1::sendQueuedCommand() {
    // Remote mode first, local mode last: the queue waits for the one and
    // gives way to the other.
    if (queued_.empty() || nextCommand_ == "syst:rem" || nextCommand_ == "syst:loc") {
        return false;
    }
    const std::string command = queued_.front();
    queued_.pop_front();
    sendcommand(command);
    if (command.ends_with('?')) {
        routedQuery_ = command;
        canSend_ = 0;
        queryClock_.start();
        querySentTimeOfDay_ = CurrentTimeOfDay();
    }
    return true;
}

void TForm1::takeRoutedReply(const char* buffer) {
    const std::string query = *routedQuery_;
    routedQuery_.reset();
    const std::string reply = TrimBlanks(buffer);
    if (query == kErrorQuery) {
        const std::optional<MeterError> error = ParseErrorReply(reply);
        if (!error) {
            advancedPage_->showError(QStringLiteral("The meter's error queue answered \"%1\"")
                                         .arg(QString::fromStdString(reply)));
            return;
        }
        if (error->code == 0) {
            return;
        }
        const QString text = QStringLiteral("Meter error %1: %2")
                                 .arg(error->code)
                                 .arg(QString::fromStdString(error->text));
        advancedPage_->showError(text);
        showNote(text);
        // Read the queue empty, so no old error is taken for a new one.
        if (++errorReads_ < kMostErrorReads) {
            queued_.push_front(kErrorQuery);
        }
        return;
    }
    for (const InForceQuery& q : InForceQueries(inForceFunction_)) {
        if (q.command == query) {
            if (!TakeInForceReply(q, reply, inForce_)) {
                advancedPage_->showError(
                    QStringLiteral("%1 was answered \"%2\"")
                        .arg(QString::fromStdString(query), QString::fromStdString(reply)));
            }
            if (advancedPage_->function() == inForceFunction_) {
                advancedPage_->showInForce(inForce_);
            }
            return;
        }
    }
}

void TForm1::functionNamed(const std::string& function) {
    if (advancedPage_->function() != function) {
        advancedPage_->showFunction(function, meterSettings_.of(function));
        if (inForceFunction_ == function) {
            advancedPage_->showInForce(inForce_); // asked while configuring it
        }
    }
    if (configuredFunction_ == function) {
        return; // given its settings just before it was named
    }
    if (configuredFunction_.empty() && !meterSettings_.displayOn) {
        queueSettingCommand("DISP OFF"); // the first function named since connecting
    }
    const bool firstSinceConnecting = configuredFunction_.empty();
    configuredFunction_ = function;
    if (!meterSettings_.of(function).isDefault()) {
        queueMeterSettings(function, false);
    } else if (firstSinceConnecting && meterSettings_.samples > 1) {
        queueSettingCommand(SampleCountCommand(meterSettings_.samples));
    }
}

void TForm1::meterSettingsChanged(const FunctionSettings& settings) {
    const std::string function = advancedPage_->function();
    if (settings.isDefault()) {
        meterSettings_.functions.erase(function);
    } else {
        meterSettings_.functions[function] = settings;
    }
    storeMeterSettings(function);
    if (Check_Connection->isChecked()) {
        // Configured afresh, so a setting back at its default is the
        // default again on the meter too.
        queueMeterSettings(function, true);
        configuredFunction_ = function;
    }
}

void TForm1::meterDisplayChanged(bool on) {
    meterSettings_.displayOn = on;
    storeMeterSettings(advancedPage_->function());
    if (Check_Connection->isChecked()) {
        queueSettingCommand(on ? "DISP ON" : "DISP OFF");
    }
}

void TForm1::meterAcquisitionChanged(bool fast) {
    meterSettings_.fast = fast;
    Comm1->SetEndReadAtLineFeed(fast);
    storeMeterSettings(advancedPage_->function());
}

void TForm1::meterSamplesChanged(int samples) {
    meterSettings_.samples = samples;
    storeMeterSettings(advancedPage_->function());
    if (Check_Connection->isChecked()) {
        queueSettingCommand(SampleCountCommand(samples));
    }
}

void TForm1::sendNextAtOnce() {
    // Fast acquisition: the reply is in, the next command need not wait
    // for the tick (the tick still drives everything else).
    if (meterSettings_.fast && canSend_ == 1 && Timer1->isActive()) {
        Timer1Timer();
    }
}

} // namespace velmora
