// Math from the main window.
#include "app/math_control.h"

#include "math/math_settings.h"
#include "settings/settings_store.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace velmora {

MathControl::MathControl(QWidget* window, QLabel* status, QLabel* counts)
    : QObject(window)
    , window_(window)
    , status_(status)
    , counts_(counts)
    , menu_(new QMenu(QStringLiteral("Math"), window))
    , nullAction_(menu_->addAction(QStringLiteral("Null")))
    , editAction_(menu_->addAction(QStringLiteral("Math...")))
    , resetAction_(menu_->addAction(QStringLiteral("Reset limit counts"))) {
    connect(nullAction_, &QAction::triggered, this, [this] { nullNow(); });
    connect(editAction_, &QAction::triggered, this, [this] { edit(); });
    connect(resetAction_, &QAction::triggered, this, [this] { resetCounts(); });
    status_->setVisible(false);
    counts_->setVisible(false);
}

void MathControl::load(SettingsStore* settings) {
    settings_ = settings;
    if (!settings_) {
        return;
    }
    MathSettingsRead read = ReadMathSettings(*settings_);
    if (read.problem && showProblem) {
        showProblem(QStringLiteral("The [Math] section of the settings file does not read (%1); "
                                   "no math is on.")
                        .arg(QString::fromStdString(*read.problem)));
    }
    math_.setSettings(std::move(read.functions));
    showStatus();
}

std::optional<MathResult> MathControl::reading(const std::string& function, long double value,
                                               const std::string& unit) {
    std::optional<MathResult> result = math_.take(function, value, unit);
    if (result && result->limit) {
        showCounts();
    }
    return result;
}

void MathControl::functionNamed(const std::string& function) {
    function_ = function;
    showStatus();
    showCounts();
}

bool MathControl::anyOn() const {
    for (const auto& [function, m] : math_.settings()) {
        if (m.any()) {
            return true;
        }
    }
    return false;
}

void MathControl::nullNow() {
    if (!math_.nullNow(function_)) {
        if (showNote) {
            showNote(QStringLiteral("Null: no reading of the meter's function yet"));
        }
        return;
    }
    store();
    showStatus();
    if (showNote) {
        showNote(QStringLiteral("Null: %1 is the offset of %2")
                     .arg(math_.mathOf(function_)->nullOffset, 0, 'g', 9)
                     .arg(QString::fromStdString(function_)));
    }
}

void MathControl::resetCounts() {
    math_.resetCounts();
    showCounts();
}

void MathControl::edit() {
    if (!editMath) {
        return;
    }
    const auto found = math_.settings().find(function_);
    const MathSettings current = found == math_.settings().end() ? MathSettings{} : found->second;
    if (const std::optional<MathSettings> chosen = editMath(function_, current)) {
        apply(function_, *chosen);
    }
}

void MathControl::apply(const std::string& function, const MathSettings& settings) {
    std::map<std::string, MathSettings> all = math_.settings();
    all[function] = settings;
    math_.setSettings(std::move(all));
    store();
    showStatus();
    showCounts();
    if (onChanged) {
        onChanged();
    }
}

void MathControl::store() {
    if (!settings_) {
        return;
    }
    try {
        WriteMathSettings(*settings_, math_.settings());
    } catch (...) {
        if (showNote) {
            showNote(QStringLiteral("The math could not be kept in the settings file; it is in "
                                    "force for this run"));
        }
    }
}

void MathControl::showStatus() {
    const MathSettings* math = math_.mathOf(function_);
    status_->setVisible(math != nullptr);
    if (math) {
        status_->setText(
            QStringLiteral("Math: %1").arg(QString::fromStdString(MathSummary(*math))));
    }
}

void MathControl::showCounts() {
    const MathSettings* math = math_.mathOf(function_);
    const bool shown = math && math->limitsOn;
    counts_->setVisible(shown);
    if (shown) {
        const LimitCounts c = math_.counts(function_);
        counts_->setText(
            QStringLiteral("pass %1   low %2   high %3").arg(c.pass).arg(c.low).arg(c.high));
    }
}

} // namespace velmora
