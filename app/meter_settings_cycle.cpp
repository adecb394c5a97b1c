// TForm1 and the meter's settings: the Advanced page, what the engine makes of it, and what the
// meter answers about it (errors, what is in force).
#include "app/main_window.h"

#include "app/math_control.h"

#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "measure/advanced_page.h"
#include "settings/ini_file_exception.h"
#include "settings/settings_store.h"
#include "text/control_escape.h"
#include "ui/exception_report.h"

#include <QStringList>
#include <QVBoxLayout>

namespace velmora {

namespace {

QString ErrorText(const MeterError& error) {
    return QStringLiteral("Meter error %1: %2")
        .arg(error.code)
        .arg(QString::fromStdString(EscapeControls(error.text)));
}

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

void TForm1::storeMeterSettings(const std::string& function) {
    try {
        WriteMeterSettings(*settingsFile_, function, engine_->meterSettings());
    } catch (const EIniFileException& error) {
        showNote(QStringLiteral("The meter settings could not be kept: %1")
                     .arg(QString::fromStdString(error.what())));
    }
}

void TForm1::meterSettingsChanged(const FunctionSettings& settings) {
    const std::string function = advancedPage_->function();
    engine_->setFunctionSettings(function, settings);
    storeMeterSettings(function);
}

void TForm1::meterDisplayChanged(bool on) {
    engine_->setDisplayOn(on);
    storeMeterSettings(advancedPage_->function());
}

void TForm1::meterAcquisitionChanged(bool fast) {
    engine_->setFast(fast);
    storeMeterSettings(advancedPage_->function());
}

void TForm1::meterSamplesChanged(int samples) {
    engine_->setSamples(samples);
    storeMeterSettings(advancedPage_->function());
}

void TForm1::functionNamed(const std::string& function, const std::string& unit, bool unitChanged) {
    math_->functionNamed(function);
    if (Form2) {
        RunReportingExceptions([&] { Form2->unitNamed(); });
    }
    if (advancedPage_->function() != function) {
        advancedPage_->showFunction(function, engine_->meterSettings().of(function));
        if (const std::optional<InForce> known = engine_->inForceOf(function)) {
            advancedPage_->showInForce(*known); // asked while configuring it
        }
    }
    if (unitChanged) {
        recording_->event("function " + unit);
    }
}

void TForm1::settingsQueued(const std::string& /*function*/) {
    advancedPage_->showError({}); // what the meter said of the last settings is old
}

void TForm1::meterErrors(const std::vector<MeterError>& errors) {
    // All of them on the page and in the recording; the first in the status
    // bar, with how many more there are.
    QStringList lines;
    for (const MeterError& error : errors) {
        lines << ErrorText(error);
        recording_->event("meter error " + std::to_string(error.code) + ": " + error.text);
    }
    advancedPage_->showError(lines.join(QLatin1Char('\n')));
    QString note = lines.front();
    if (errors.size() > 1) {
        note += QStringLiteral(" (and %1 more)").arg(errors.size() - 1);
    }
    showNote(note);
}

void TForm1::errorQueueAnswered(const std::string& reply) {
    advancedPage_->showError(QStringLiteral("The meter's error queue answered \"%1\"")
                                 .arg(QString::fromStdString(EscapeControls(reply))));
}

void TForm1::inForce(const std::string& function, const InForce& inForce, bool complete) {
    if (advancedPage_->function() == function) {
        advancedPage_->showInForce(inForce);
    }
    if (complete) {
        recording_->event(InForceSummary(function, inForce));
    }
}

void TForm1::inForceUnreadable(const std::string& query, const std::string& reply) {
    advancedPage_->showError(
        QStringLiteral("%1 was answered \"%2\"")
            .arg(QString::fromStdString(query), QString::fromStdString(EscapeControls(reply))));
}

} // namespace velmora
