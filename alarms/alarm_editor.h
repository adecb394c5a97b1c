// The alarm editor: a list of alarms and the settings of the one selected.
#pragma once

#include "alarms/alarm_definition.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace velmora {

// Edits a copy of the alarms; OK checks every one of them (numbers with "."
// decimals, a band the right way round) and stays open on the first that
// does not hold, saying why; Cancel leaves the alarms as they were.
class AlarmEditor : public QDialog {
public:
    explicit AlarmEditor(QWidget* parent = nullptr);

    void setAlarms(const std::vector<AlarmDefinition>& alarms);
    // The alarms as accepted (valid after OK).
    const std::vector<AlarmDefinition>& alarms() const { return accepted_; }

    void accept() override;

    // Controls, for the tests.
    QListWidget* AlarmList = nullptr;
    QPushButton* AddBtn = nullptr;
    QPushButton* RemoveBtn = nullptr;
    QLineEdit* NameEdit = nullptr;
    QComboBox* FunctionBox = nullptr;
    QComboBox* ConditionBox = nullptr;
    QLineEdit* LowEdit = nullptr;
    QLineEdit* HighEdit = nullptr;
    QLineEdit* HysteresisEdit = nullptr;
    QDoubleSpinBox* DelayBox = nullptr;
    QDoubleSpinBox* SilenceBox = nullptr;
    QCheckBox* EnabledBox = nullptr;
    QCheckBox* SoundBox = nullptr;
    QCheckBox* NotifyBox = nullptr;
    QCheckBox* MathBox = nullptr; // judges the math's derived value
    QLineEdit* ProgramEdit = nullptr;
    QPushButton* BrowseBtn = nullptr;
    QLabel* ProblemLabel = nullptr;

private:
    // An alarm as typed: the numbers stay text until OK reads them.
    struct Row {
        AlarmDefinition alarm;
        QString low, high, hysteresis;
    };
    void createControls();
    void showRow(int index);
    void storeRow();
    void fitControlsToCondition();
    void addAlarm();
    void removeAlarm();
    void refreshListText(int index);

    std::vector<Row> rows_;
    int current_ = -1;
    bool showing_ = false; // while the form is being filled from a row
    std::vector<AlarmDefinition> accepted_;
};

} // namespace velmora
