// Math on the readings from the main window: the [Math] section, Null, the dialog, the counts.
#pragma once

#include "math/reading_math.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QWidget;

namespace velmora {

class SettingsStore;

// Keeps each function's math in the settings file's [Math] section and
// applies it to every reading; the displays show the derived value, the
// status bar which math is on for the meter's function, a label beside the
// displays the limit counts. The log box, Save and its CSV keep the raw
// readings. Its actions make a menu of their own (Null, Math..., Reset
// counts). Main thread only.
class MathControl : public QObject {
public:
    MathControl(QWidget* window, QLabel* status, QLabel* counts);

    void load(SettingsStore* settings);
    // The reading's math, nothing when its function has none.
    std::optional<MathResult> reading(const std::string& function, long double value,
                                      const std::string& unit);
    // The meter named its function: the status follows it.
    void functionNamed(const std::string& function);
    bool anyOn() const;
    const ReadingMath& math() const { return math_; }
    const std::string& function() const { return function_; }

    // The last reading of the meter's function becomes its offset.
    void nullNow();
    void resetCounts();
    // Opens the dialog (through `editMath`) for the meter's function.
    void edit();
    void apply(const std::string& function, const MathSettings& settings);

    QMenu* menu() const { return menu_; }
    QAction* nullAction() const { return nullAction_; }

    // Seams: the dialog (nothing: cancelled), notes and a section that does not read.
    std::function<std::optional<MathSettings>(const std::string& function, const MathSettings&)>
        editMath;
    std::function<void(const QString&)> showNote;
    std::function<void(const QString&)> showProblem;
    // Called when any function's math changed (the displays may need a word).
    std::function<void()> onChanged;

private:
    void store();
    void showStatus();
    void showCounts();

    QWidget* window_;
    QLabel* status_;
    QLabel* counts_;
    SettingsStore* settings_ = nullptr;
    ReadingMath math_;
    std::string function_;
    QMenu* menu_;
    QAction* nullAction_;
    QAction* editAction_;
    QAction* resetAction_;
};

} // namespace velmora
