// The main window's "Advanced" page: the meter's settings for the function in use.
#pragma once

#include "measure/meter_settings.h"

#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace velmora {

// Integration time, resolution, range, autozero and (DC volts) the automatic
// input impedance of the function the meter names, as the user chose them
// ("Meter default" leaves the meter's own), the front display, and what the
// meter reports to be in force after a change, with any error it queued.
// Controls the function does not have are disabled.
class AdvancedPage : public QWidget {
public:
    explicit AdvancedPage(QWidget* parent = nullptr);

    // Shows `function`'s settings (nothing happens on the meter).
    void showFunction(const std::string& function, const FunctionSettings& settings);
    void showDisplay(bool on);
    void showAcquisition(bool fast);
    void showSamples(int samples);
    void showInForce(const InForce& inForce);
    void showError(const QString& error); // empty: no error
    const std::string& function() const { return function_; }
    FunctionSettings settings() const;

    // The user changed a setting of the function shown, or the display.
    std::function<void(const FunctionSettings&)> onChanged;
    std::function<void(bool on)> onDisplayChanged;
    std::function<void(bool fast)> onAcquisitionChanged;
    std::function<void(int samples)> onSamplesChanged;

    QLabel* FunctionLabel = nullptr;
    QComboBox* NplcBox = nullptr;
    QComboBox* ResolutionBox = nullptr;
    QComboBox* RangeBox = nullptr;
    QComboBox* AutozeroBox = nullptr;
    QCheckBox* ImpedanceBox = nullptr;
    QCheckBox* DisplayBox = nullptr;
    QComboBox* AcquisitionBox = nullptr;
    QSpinBox* SamplesBox = nullptr;
    QLabel* InForceLabel = nullptr;
    QLabel* ErrorLabel = nullptr;

private:
    void changed();

    std::string function_;
    bool showing_ = false;
    int shownSamples_ = 1;
};

} // namespace velmora
