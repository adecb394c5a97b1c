// The alarm editor.
#include "alarms/alarm_editor.h"

#include "text/convert_error.h"
#include "text/real_conversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

namespace velmora {

namespace {

constexpr AlarmCondition kConditions[] = {
    AlarmCondition::Above,  AlarmCondition::Below,   AlarmCondition::Outside,
    AlarmCondition::Inside, AlarmCondition::Silence, AlarmCondition::Overload,
};
constexpr const char* kConditionLabels[] = {
    "Above the high limit",
    "Below the low limit",
    "Outside the band",
    "Inside the band",
    "No reading for (while connected)",
    "Overload",
};

QString NumberText(double value) {
    return QString::fromStdString(FormatReal(value, '.'));
}

// A limit as typed ("1.5", "-2E-3", " 10 "); nothing when it is not a number.
std::optional<double> ReadNumber(const QString& text) {
    const std::string trimmed = text.trimmed().toStdString();
    if (trimmed.empty()) {
        return 0.0;
    }
    try {
        const auto value = static_cast<double>(ParseReal(trimmed, '.'));
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

} // namespace

AlarmEditor::AlarmEditor(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("AlarmEditor"));
    setWindowTitle(QStringLiteral("Alarms"));
    createControls();
    showRow(-1);
}

void AlarmEditor::createControls() {
    AlarmList = new QListWidget(this);
    AlarmList->setObjectName(QStringLiteral("AlarmList"));
    AlarmList->setMinimumWidth(190);
    AddBtn = new QPushButton(QStringLiteral("Add"), this);
    AddBtn->setObjectName(QStringLiteral("AddBtn"));
    RemoveBtn = new QPushButton(QStringLiteral("Remove"), this);
    RemoveBtn->setObjectName(QStringLiteral("RemoveBtn"));
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(AddBtn);
    listButtons->addWidget(RemoveBtn);
    auto* left = new QVBoxLayout;
    left->addWidget(AlarmList, 1);
    left->addLayout(listButtons);

    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    FunctionBox = new QComboBox(this);
    FunctionBox->setObjectName(QStringLiteral("FunctionBox"));
    for (const AlarmFunction& f : AlarmFunctions()) {
        const QString name = QString::fromLatin1(f.name);
        FunctionBox->addItem(name.isEmpty() ? QString::fromLatin1(f.label)
                                            : QStringLiteral("%1 (%2)").arg(f.label, name),
                             name);
    }
    ConditionBox = new QComboBox(this);
    ConditionBox->setObjectName(QStringLiteral("ConditionBox"));
    for (size_t i = 0; i < std::size(kConditions); ++i) {
        ConditionBox->addItem(QString::fromLatin1(kConditionLabels[i]),
                              QString::fromLatin1(AlarmConditionName(kConditions[i])));
    }
    const auto numberEdit = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setPlaceholderText(QStringLiteral("0"));
        edit->setToolTip(QStringLiteral("In the function's base unit (V, A, ohm, Hz, s), with "
                                        "\".\" decimals: 1.5, 2E-3"));
        return edit;
    };
    LowEdit = numberEdit("LowEdit");
    HighEdit = numberEdit("HighEdit");
    HysteresisEdit = numberEdit("HysteresisEdit");
    HysteresisEdit->setToolTip(
        QStringLiteral("The value must come back by this much before the alarm clears"));
    const auto secondsBox = [this](const char* name) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setRange(0, 86400);
        box->setDecimals(1);
        box->setSuffix(QStringLiteral(" s"));
        return box;
    };
    DelayBox = secondsBox("DelayBox");
    DelayBox->setToolTip(QStringLiteral("The condition must hold at least this long (0: at once)"));
    SilenceBox = secondsBox("SilenceBox");
    SilenceBox->setMinimum(0.1);
    EnabledBox = new QCheckBox(QStringLiteral("Enabled"), this);
    EnabledBox->setObjectName(QStringLiteral("EnabledBox"));
    SoundBox = new QCheckBox(QStringLiteral("Sound"), this);
    SoundBox->setObjectName(QStringLiteral("SoundBox"));
    NotifyBox = new QCheckBox(QStringLiteral("Desktop notification"), this);
    NotifyBox->setObjectName(QStringLiteral("NotifyBox"));
    MathBox = new QCheckBox(QStringLiteral("On the math's value"), this);
    MathBox->setObjectName(QStringLiteral("MathBox"));
    MathBox->setToolTip(QStringLiteral("Judge the derived value (degrees, dB, ...) instead of the "
                                       "reading"));
    ProgramEdit = new QLineEdit(this);
    ProgramEdit->setObjectName(QStringLiteral("ProgramEdit"));
    ProgramEdit->setPlaceholderText(QStringLiteral("none"));
    ProgramEdit->setToolTip(QStringLiteral("Run with three arguments: the value, the unit and the "
                                           "alarm's name (no shell is involved)"));
    BrowseBtn = new QPushButton(QStringLiteral("Browse..."), this);
    BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
    auto* program = new QHBoxLayout;
    program->addWidget(ProgramEdit, 1);
    program->addWidget(BrowseBtn);
    auto* actions = new QHBoxLayout;
    actions->addWidget(EnabledBox);
    actions->addWidget(SoundBox);
    actions->addWidget(NotifyBox);
    actions->addStretch(1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), NameEdit);
    form->addRow(QStringLiteral("Function:"), FunctionBox);
    form->addRow(QStringLiteral("Condition:"), ConditionBox);
    form->addRow(QStringLiteral("Low limit:"), LowEdit);
    form->addRow(QStringLiteral("High limit:"), HighEdit);
    form->addRow(QStringLiteral("Hysteresis:"), HysteresisEdit);
    form->addRow(QString(), MathBox);
    form->addRow(QStringLiteral("For at least:"), DelayBox);
    form->addRow(QStringLiteral("No reading for:"), SilenceBox);
    form->addRow(QString(), actions);
    form->addRow(QStringLiteral("Program:"), program);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(form, 1);

    ProblemLabel = new QLabel(this);
    ProblemLabel->setObjectName(QStringLiteral("ProblemLabel"));
    ProblemLabel->setTextFormat(Qt::PlainText);
    ProblemLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    ProblemLabel->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(ProblemLabel);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &AlarmEditor::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AlarmEditor::reject);
    connect(AddBtn, &QPushButton::clicked, this, [this] { addAlarm(); });
    connect(RemoveBtn, &QPushButton::clicked, this, [this] { removeAlarm(); });
    connect(AlarmList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!showing_) {
            storeRow();
            showRow(row);
        }
    });
    connect(ConditionBox, &QComboBox::currentIndexChanged, this, [this] {
        fitControlsToCondition();
        if (!showing_) {
            storeRow();
        }
    });
    connect(NameEdit, &QLineEdit::textEdited, this, [this] { storeRow(); });
    connect(BrowseBtn, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Program to run"),
                                                          ProgramEdit->text());
        if (!file.isEmpty()) {
            ProgramEdit->setText(file);
        }
    });
}

void AlarmEditor::setAlarms(const std::vector<AlarmDefinition>& alarms) {
    rows_.clear();
    for (const AlarmDefinition& a : alarms) {
        rows_.push_back({a, NumberText(a.low), NumberText(a.high), NumberText(a.hysteresis)});
    }
    accepted_ = alarms;
    current_ = -1;
    showing_ = true;
    AlarmList->clear();
    for (size_t i = 0; i < rows_.size(); ++i) {
        AlarmList->addItem(QString());
        refreshListText(static_cast<int>(i));
    }
    showing_ = false;
    ProblemLabel->clear();
    AlarmList->setCurrentRow(rows_.empty() ? -1 : 0);
    showRow(AlarmList->currentRow());
}

void AlarmEditor::refreshListText(int index) {
    const AlarmDefinition& a = rows_[static_cast<size_t>(index)].alarm;
    QString text = QString::fromStdString(a.name);
    if (!a.enabled) {
        text += QStringLiteral(" (off)");
    }
    AlarmList->item(index)->setText(text);
}

void AlarmEditor::showRow(int index) {
    current_ = index;
    const bool any = index >= 0 && index < static_cast<int>(rows_.size());
    for (QWidget* w :
         std::initializer_list<QWidget*>{NameEdit, FunctionBox, ConditionBox, LowEdit, HighEdit,
                                         HysteresisEdit, DelayBox, SilenceBox, EnabledBox, SoundBox,
                                         NotifyBox, MathBox, ProgramEdit, BrowseBtn, RemoveBtn}) {
        w->setEnabled(any);
    }
    if (!any) {
        current_ = -1;
        return;
    }
    showing_ = true;
    const Row& row = rows_[static_cast<size_t>(index)];
    const AlarmDefinition& a = row.alarm;
    NameEdit->setText(QString::fromStdString(a.name));
    const int function = FunctionBox->findData(QString::fromStdString(a.function));
    if (function < 0) {
        // A function named by hand in the file: kept as it is.
        FunctionBox->addItem(QString::fromStdString(a.function),
                             QString::fromStdString(a.function));
        FunctionBox->setCurrentIndex(FunctionBox->count() - 1);
    } else {
        FunctionBox->setCurrentIndex(function);
    }
    ConditionBox->setCurrentIndex(
        ConditionBox->findData(QString::fromLatin1(AlarmConditionName(a.condition))));
    LowEdit->setText(row.low);
    HighEdit->setText(row.high);
    HysteresisEdit->setText(row.hysteresis);
    DelayBox->setValue(a.delaySeconds);
    SilenceBox->setValue(a.silenceSeconds);
    EnabledBox->setChecked(a.enabled);
    SoundBox->setChecked(a.sound);
    NotifyBox->setChecked(a.notify);
    MathBox->setChecked(a.onMath);
    ProgramEdit->setText(QString::fromStdString(a.program));
    showing_ = false;
    fitControlsToCondition();
}

void AlarmEditor::storeRow() {
    if (current_ < 0 || current_ >= static_cast<int>(rows_.size())) {
        return;
    }
    Row& row = rows_[static_cast<size_t>(current_)];
    AlarmDefinition& a = row.alarm;
    a.name = NameEdit->text().trimmed().toStdString();
    a.function = FunctionBox->currentData().toString().toStdString();
    AlarmConditionFromName(ConditionBox->currentData().toString().toStdString(), a.condition);
    row.low = LowEdit->text();
    row.high = HighEdit->text();
    row.hysteresis = HysteresisEdit->text();
    a.delaySeconds = DelayBox->value();
    a.silenceSeconds = SilenceBox->value();
    a.enabled = EnabledBox->isChecked();
    a.sound = SoundBox->isChecked();
    a.notify = NotifyBox->isChecked();
    a.onMath = MathBox->isChecked();
    a.program = ProgramEdit->text().trimmed().toStdString();
    refreshListText(current_);
}

void AlarmEditor::fitControlsToCondition() {
    if (current_ < 0) {
        return;
    }
    AlarmCondition c = AlarmCondition::Above;
    AlarmConditionFromName(ConditionBox->currentData().toString().toStdString(), c);
    const bool level = c != AlarmCondition::Silence && c != AlarmCondition::Overload;
    LowEdit->setEnabled(c == AlarmCondition::Below || c == AlarmCondition::Outside ||
                        c == AlarmCondition::Inside);
    HighEdit->setEnabled(c == AlarmCondition::Above || c == AlarmCondition::Outside ||
                         c == AlarmCondition::Inside);
    HysteresisEdit->setEnabled(level);
    DelayBox->setEnabled(level);
    SilenceBox->setEnabled(c == AlarmCondition::Silence);
    // The silence alarm watches every function.
    FunctionBox->setEnabled(c != AlarmCondition::Silence);
}

void AlarmEditor::addAlarm() {
    storeRow();
    Row row;
    row.alarm.name = "Alarm " + std::to_string(rows_.size() + 1);
    row.low = row.high = row.hysteresis = QStringLiteral("0");
    rows_.push_back(row);
    showing_ = true;
    AlarmList->addItem(QString());
    refreshListText(static_cast<int>(rows_.size()) - 1);
    showing_ = false;
    current_ = -1; // nothing to store from the form: it shows the row before
    AlarmList->setCurrentRow(static_cast<int>(rows_.size()) - 1);
    NameEdit->setFocus();
    NameEdit->selectAll();
}

void AlarmEditor::removeAlarm() {
    if (current_ < 0) {
        return;
    }
    const int index = current_;
    rows_.erase(rows_.begin() + index);
    current_ = -1;
    showing_ = true;
    delete AlarmList->takeItem(index);
    showing_ = false;
    AlarmList->setCurrentRow(std::min(index, static_cast<int>(rows_.size()) - 1));
    showRow(AlarmList->currentRow());
}

void AlarmEditor::accept() {
    storeRow();
    std::vector<AlarmDefinition> alarms;
    for (size_t i = 0; i < rows_.size(); ++i) {
        AlarmDefinition a = rows_[i].alarm;
        QString problem;
        const std::optional<double> low = ReadNumber(rows_[i].low);
        const std::optional<double> high = ReadNumber(rows_[i].high);
        const std::optional<double> hysteresis = ReadNumber(rows_[i].hysteresis);
        if (!low) {
            problem = QStringLiteral("the low limit \"%1\" is not a number").arg(rows_[i].low);
        } else if (!high) {
            problem = QStringLiteral("the high limit \"%1\" is not a number").arg(rows_[i].high);
        } else if (!hysteresis) {
            problem =
                QStringLiteral("the hysteresis \"%1\" is not a number").arg(rows_[i].hysteresis);
        } else {
            a.low = *low;
            a.high = *high;
            a.hysteresis = *hysteresis;
            if (a.name.empty()) {
                a.name = "Alarm " + std::to_string(i + 1);
            }
            if (auto why = AlarmProblem(a)) {
                problem = QString::fromStdString(*why);
            }
        }
        if (!problem.isEmpty()) {
            ProblemLabel->setText(
                QStringLiteral("%1: %2").arg(QString::fromStdString(a.name), problem));
            AlarmList->setCurrentRow(static_cast<int>(i));
            return;
        }
        alarms.push_back(std::move(a));
    }
    accepted_ = std::move(alarms);
    ProblemLabel->clear();
    QDialog::accept();
}

} // namespace velmora
