// The math dialog.
#include "app/math_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>
#include <stdexcept>

namespace velmora {

namespace {

struct Unreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

QString Text(double value) {
    return QString::number(value, 'g', 12);
}

QLineEdit* Field(double value, QWidget* parent) {
    auto* field = new QLineEdit(Text(value), parent);
    field->setMinimumWidth(140);
    return field;
}

// The field's number; nothing for an empty one where `optional`.
std::optional<double> Read(const QLineEdit* field, const QString& name, bool optional = false) {
    const QString text = field->text().trimmed();
    if (text.isEmpty() && optional) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = text.toDouble(&ok); // "." decimals, whatever the locale
    if (!ok || !std::isfinite(value)) {
        throw Unreadable(QStringLiteral("%1 \"%2\" is not a number").arg(name, text).toStdString());
    }
    return value;
}

QWidget* Page(QWidget* parent, std::initializer_list<std::pair<const char*, QWidget*>> rows) {
    auto* page = new QWidget(parent);
    auto* form = new QFormLayout(page);
    form->setContentsMargins(0, 0, 0, 0);
    for (const auto& [label, field] : rows) {
        form->addRow(QString::fromUtf8(label), field);
    }
    return page;
}

QComboBox* EditableChoice(const QStringList& choices, double value, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->addItems(choices);
    box->setCurrentText(Text(value));
    return box;
}

} // namespace

MathDialog::MathDialog(const std::string& function, const MathSettings& m, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Math on %1")
                       .arg(function.empty() ? QStringLiteral("the readings")
                                             : QString::fromStdString(function)));
    nullOn = new QCheckBox(QStringLiteral("Null: subtract"), this);
    nullOn->setChecked(m.nullOn);
    nullOffset = Field(m.nullOffset, this);
    conversion = new QComboBox(this);
    conversion->addItems({QStringLiteral("None"), QStringLiteral("Scale  m\u00B7x + b"),
                          QStringLiteral("dB"), QStringLiteral("dBm"),
                          QStringLiteral("RTD (Callendar\u2013Van Dusen)"),
                          QStringLiteral("Thermistor (Steinhart\u2013Hart)"),
                          QStringLiteral("Thermistor (\u03B2)"), QStringLiteral("Thermocouple")});
    conversion->setCurrentIndex(static_cast<int>(m.conversion));
    scale = Field(m.scale, this);
    offset = Field(m.offset, this);
    unit = new QLineEdit(QString::fromStdString(m.scaleUnit), this);
    dbReference = Field(m.dbReference, this);
    dbmImpedance = EditableChoice({"50", "75", "600"}, m.dbmImpedance, this);
    rtdR0 = EditableChoice({"100", "500", "1000"}, m.rtd.r0, this);
    rtdA = Field(m.rtd.a, this);
    rtdB = Field(m.rtd.b, this);
    rtdC = Field(m.rtd.c, this);
    shA = Field(m.steinhartHart.a, this);
    shB = Field(m.steinhartHart.b, this);
    shC = Field(m.steinhartHart.c, this);
    betaR0 = Field(m.beta.r0, this);
    betaT0 = Field(m.beta.t0Celsius, this);
    beta = Field(m.beta.beta, this);
    thermocouple = new QComboBox(this);
    thermocouple->addItems({QStringLiteral("K"), QStringLiteral("J"), QStringLiteral("T")});
    thermocouple->setCurrentIndex(static_cast<int>(m.thermocouple));
    coldJunction = Field(m.coldJunctionCelsius, this);
    limitsOn = new QCheckBox(QStringLiteral("Limit test"), this);
    limitsOn->setChecked(m.limitsOn);
    limitLow = new QLineEdit(m.limitLow ? Text(*m.limitLow) : QString(), this);
    limitHigh = new QLineEdit(m.limitHigh ? Text(*m.limitHigh) : QString(), this);
    limitLow->setPlaceholderText(QStringLiteral("none"));
    limitHigh->setPlaceholderText(QStringLiteral("none"));

    pages_ = new QStackedWidget(this);
    pages_->addWidget(new QWidget(pages_));
    pages_->addWidget(Page(pages_, {{"m", scale}, {"b", offset}, {"Unit", unit}}));
    pages_->addWidget(Page(pages_, {{"Reference", dbReference}}));
    pages_->addWidget(Page(pages_, {{"Impedance (\u03A9)", dbmImpedance}}));
    pages_->addWidget(
        Page(pages_, {{"R0 (\u03A9)", rtdR0}, {"A", rtdA}, {"B", rtdB}, {"C", rtdC}}));
    pages_->addWidget(Page(pages_, {{"A", shA}, {"B", shB}, {"C", shC}}));
    pages_->addWidget(
        Page(pages_, {{"R0 (\u03A9)", betaR0}, {"T0 (\u00B0C)", betaT0}, {"\u03B2 (K)", beta}}));
    pages_->addWidget(
        Page(pages_, {{"Type", thermocouple}, {"Cold junction (\u00B0C)", coldJunction}}));
    pages_->setCurrentIndex(conversion->currentIndex());
    connect(conversion, &QComboBox::currentIndexChanged, pages_, &QStackedWidget::setCurrentIndex);

    auto* nullRow = new QHBoxLayout;
    nullRow->addWidget(nullOn);
    nullRow->addWidget(nullOffset, 1);
    auto* convert = new QGroupBox(QStringLiteral("Conversion"), this);
    auto* convertLayout = new QVBoxLayout(convert);
    convertLayout->addWidget(conversion);
    convertLayout->addWidget(pages_);
    auto* limits = new QGroupBox(this);
    auto* limitsLayout = new QFormLayout(limits);
    limitsLayout->addRow(limitsOn);
    limitsLayout->addRow(QStringLiteral("Low"), limitLow);
    limitsLayout->addRow(QStringLiteral("High"), limitHigh);
    problem_ = new QLabel(this);
    problem_->setStyleSheet(QStringLiteral("color: #b00020"));
    problem_->setVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MathDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nullRow);
    layout->addWidget(convert);
    layout->addWidget(limits);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
}

std::optional<MathSettings> MathDialog::chosen() const {
    return read(nullptr);
}

QString MathDialog::problem() const {
    QString why;
    (void)read(&why);
    return why;
}

std::optional<MathSettings> MathDialog::read(QString* why) const {
    MathSettings m;
    try {
        m.nullOn = nullOn->isChecked();
        m.nullOffset = *Read(nullOffset, QStringLiteral("Null"));
        m.conversion = static_cast<MathConversion>(conversion->currentIndex());
        m.scale = *Read(scale, QStringLiteral("m"));
        m.offset = *Read(offset, QStringLiteral("b"));
        m.scaleUnit = unit->text().trimmed().toStdString();
        m.dbReference = *Read(dbReference, QStringLiteral("Reference"));
        const QLineEdit impedance(dbmImpedance->currentText());
        m.dbmImpedance = *Read(&impedance, QStringLiteral("Impedance"));
        const QLineEdit r0(rtdR0->currentText());
        m.rtd.r0 = *Read(&r0, QStringLiteral("R0"));
        m.rtd.a = *Read(rtdA, QStringLiteral("A"));
        m.rtd.b = *Read(rtdB, QStringLiteral("B"));
        m.rtd.c = *Read(rtdC, QStringLiteral("C"));
        m.steinhartHart.a = *Read(shA, QStringLiteral("A"));
        m.steinhartHart.b = *Read(shB, QStringLiteral("B"));
        m.steinhartHart.c = *Read(shC, QStringLiteral("C"));
        m.beta.r0 = *Read(betaR0, QStringLiteral("R0"));
        m.beta.t0Celsius = *Read(betaT0, QStringLiteral("T0"));
        m.beta.beta = *Read(beta, QStringLiteral("\u03B2"));
        m.thermocouple = static_cast<ThermocoupleType>(thermocouple->currentIndex());
        m.coldJunctionCelsius = *Read(coldJunction, QStringLiteral("Cold junction"));
        m.limitsOn = limitsOn->isChecked();
        m.limitLow = Read(limitLow, QStringLiteral("Low"), true);
        m.limitHigh = Read(limitHigh, QStringLiteral("High"), true);
    } catch (const Unreadable& unreadable) {
        if (why) {
            *why = QString::fromStdString(unreadable.what());
        }
        return std::nullopt;
    }
    if (m.limitLow && m.limitHigh && *m.limitLow > *m.limitHigh) {
        if (why) {
            *why = QStringLiteral("Low is above High");
        }
        return std::nullopt;
    }
    return m;
}

void MathDialog::accept() {
    if (!chosen()) {
        problem_->setText(problem());
        problem_->setVisible(true);
        return;
    }
    QDialog::accept();
}

std::optional<MathSettings> EditMath(QWidget* parent, const std::string& function,
                                     const MathSettings& current) {
    MathDialog dialog(function, current, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.chosen();
}

} // namespace velmora
