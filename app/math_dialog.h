// The math dialog: one function's null, conversion and limits.
#pragma once

#include "math/math_chain.h"

#include <QDialog>

#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace velmora {

// Numbers are typed with "." decimals, as the settings file keeps them; a
// field that is no number keeps the dialog open and says which.
class MathDialog : public QDialog {
public:
    MathDialog(const std::string& function, const MathSettings& current, QWidget* parent = nullptr);

    // What the fields say; nothing (and `problem()` why) when one does not read.
    std::optional<MathSettings> chosen() const;
    QString problem() const;

    QCheckBox* nullOn = nullptr;
    QLineEdit* nullOffset = nullptr;
    QComboBox* conversion = nullptr;
    QLineEdit* scale = nullptr;
    QLineEdit* offset = nullptr;
    QLineEdit* unit = nullptr;
    QLineEdit* dbReference = nullptr;
    QComboBox* dbmImpedance = nullptr;
    QComboBox* rtdR0 = nullptr;
    QLineEdit* rtdA = nullptr;
    QLineEdit* rtdB = nullptr;
    QLineEdit* rtdC = nullptr;
    QLineEdit* shA = nullptr;
    QLineEdit* shB = nullptr;
    QLineEdit* shC = nullptr;
    QLineEdit* betaR0 = nullptr;
    QLineEdit* betaT0 = nullptr;
    QLineEdit* beta = nullptr;
    QComboBox* thermocouple = nullptr;
    QLineEdit* coldJunction = nullptr;
    QCheckBox* limitsOn = nullptr;
    QLineEdit* limitLow = nullptr;
    QLineEdit* limitHigh = nullptr;

private:
    void accept() override;
    std::optional<MathSettings> read(QString* why) const;
    QStackedWidget* pages_ = nullptr;
    QLabel* problem_ = nullptr;
};

// Opens the dialog; nothing when it was cancelled.
std::optional<MathSettings> EditMath(QWidget* parent, const std::string& function,
                                     const MathSettings& current);

} // namespace velmora
