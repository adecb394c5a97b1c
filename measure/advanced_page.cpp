// The "Advanced" page.
#include "measure/advanced_page.h"

#include "text/real_conversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include "measure/meter_settings_store.h"

namespace velmora {

namespace {

const QString kDefault = QStringLiteral("Meter default");

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QComboBox* Box(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// The entry whose data is `value` (a number, or a word), else the default.
void Select(QComboBox* box, const QVariant& value) {
    const int index = value.isValid() ? box->findData(value) : 0;
    box->setCurrentIndex(index < 0 ? 0 : index);
}

} // namespace

AdvancedPage::AdvancedPage(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("AdvancedPage"));
    FunctionLabel = new QLabel(this);
    FunctionLabel->setObjectName(QStringLiteral("FunctionLabel"));
    FunctionLabel->setTextFormat(Qt::PlainText); // the name as the meter gave it
    NplcBox = Box(this, "NplcBox");
    NplcBox->setToolTip(QStringLiteral("Integration time in power-line cycles: longer is quieter "
                                       "and slower"));
    ResolutionBox = Box(this, "ResolutionBox");
    ResolutionBox->setToolTip(QStringLiteral("Sets the integration time that gives it; the later "
                                             "of the two wins"));
    RangeBox = Box(this, "RangeBox");
    AutozeroBox = Box(this, "AutozeroBox");
    ImpedanceBox = new QCheckBox(QStringLiteral("Impedance auto"), this);
    ImpedanceBox->setObjectName(QStringLiteral("ImpedanceBox"));
    ImpedanceBox->setToolTip(QStringLiteral("Above 10 G\u03a9 on the 100 mV to 10 V ranges "
                                            "(INP:IMP:AUTO ON)"));
    DisplayBox = new QCheckBox(QStringLiteral("Front display"), this);
    DisplayBox->setObjectName(QStringLiteral("DisplayBox"));
    DisplayBox->setChecked(true);
    DisplayBox->setToolTip(QStringLiteral("Off, the meter spends no time on its own display"));
    AcquisitionBox = Box(this, "AcquisitionBox");
    AcquisitionBox->addItem(QStringLiteral("Standard"), false);
    AcquisitionBox->addItem(QStringLiteral("Fast"), true);
    AcquisitionBox->setToolTip(QStringLiteral(
        "Fast: a reply ends at its line end and the next query leaves at once, instead of "
        "after 26 ms of silence and at the next 50 ms tick"));
    SamplesBox = new QSpinBox(this);
    SamplesBox->setObjectName(QStringLiteral("SamplesBox"));
    SamplesBox->setRange(1, kMostSamples);
    SamplesBox->setPrefix(QStringLiteral("x "));
    SamplesBox->setToolTip(QStringLiteral(
        "Readings a query: above 1 the meter answers several at once (a burst), closer to "
        "what the line can carry"));
    InForceLabel = new QLabel(this);
    InForceLabel->setObjectName(QStringLiteral("InForceLabel"));
    InForceLabel->setWordWrap(true);
    InForceLabel->setTextFormat(Qt::PlainText);
    ErrorLabel = new QLabel(this);
    ErrorLabel->setObjectName(QStringLiteral("ErrorLabel"));
    ErrorLabel->setWordWrap(true);
    ErrorLabel->setTextFormat(Qt::PlainText);
    ErrorLabel->setStyleSheet(QStringLiteral("color: #b00000"));

    AutozeroBox->addItem(kDefault, QString());
    AutozeroBox->addItem(QStringLiteral("On"), QStringLiteral("ON"));
    AutozeroBox->addItem(QStringLiteral("Off"), QStringLiteral("OFF"));
    AutozeroBox->addItem(QStringLiteral("Once"), QStringLiteral("ONCE"));
    ResolutionBox->addItem(kDefault, QString());
    ResolutionBox->addItem(QStringLiteral("Finest (MIN)"), QStringLiteral("MIN"));
    ResolutionBox->addItem(QStringLiteral("Coarsest (MAX)"), QStringLiteral("MAX"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 4);
    grid->setVerticalSpacing(3);
    grid->addWidget(FunctionLabel, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Integration:"), this), 1, 0);
    grid->addWidget(NplcBox, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Resolution:"), this), 2, 0);
    grid->addWidget(ResolutionBox, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Range:"), this), 3, 0);
    grid->addWidget(RangeBox, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Autozero:"), this), 4, 0);
    grid->addWidget(AutozeroBox, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("Acquisition:"), this), 5, 0);
    auto* acquisition = new QHBoxLayout;
    acquisition->addWidget(AcquisitionBox, 1);
    acquisition->addWidget(SamplesBox);
    grid->addLayout(acquisition, 5, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(ImpedanceBox);
    checks->addWidget(DisplayBox);
    checks->addStretch(1);
    grid->addLayout(checks, 6, 0, 1, 2);
    grid->addWidget(InForceLabel, 7, 0, 1, 2);
    grid->addWidget(ErrorLabel, 8, 0, 1, 2);
    grid->setRowStretch(9, 1);
    grid->setColumnStretch(1, 1);

    for (QComboBox* box : {NplcBox, ResolutionBox, RangeBox, AutozeroBox}) {
        connect(box, &QComboBox::activated, this, [this] { changed(); });
    }
    connect(ImpedanceBox, &QCheckBox::clicked, this, [this] { changed(); });
    connect(AcquisitionBox, &QComboBox::activated, this, [this] {
        if (onAcquisitionChanged) {
            onAcquisitionChanged(AcquisitionBox->currentData().toBool());
        }
    });
    connect(SamplesBox, &QSpinBox::editingFinished, this, [this] {
        if (!showing_ && onSamplesChanged && SamplesBox->value() != shownSamples_) {
            shownSamples_ = SamplesBox->value();
            onSamplesChanged(shownSamples_);
        }
    });
    connect(DisplayBox, &QCheckBox::clicked, this, [this](bool on) {
        if (onDisplayChanged) {
            onDisplayChanged(on);
        }
    });
    showFunction({}, {});
}

void AdvancedPage::showFunction(const std::string& function, const FunctionSettings& settings) {
    function_ = function;
    const FunctionCapabilities* f = CapabilitiesOf(function);
    FunctionLabel->setText(
        function.empty() ? QStringLiteral("The meter has not named its function yet")
        : f ? QStringLiteral("%1 (%2)").arg(QString::fromLatin1(f->label), Text(function))
            : Text(function));
    NplcBox->clear();
    NplcBox->addItem(kDefault, QVariant());
    RangeBox->clear();
    RangeBox->addItem(QStringLiteral("Auto"), QVariant());
    if (f) {
        for (const double nplc : f->nplc) {
            NplcBox->addItem(Text(NplcText(nplc)), nplc);
        }
        for (const double range : f->ranges) {
            RangeBox->addItem(Text(RangeText(function, range)), range);
        }
    }
    const bool any = f && *f->prefix;
    NplcBox->setEnabled(f && !f->nplc.empty());
    ResolutionBox->setEnabled(f && f->resolution);
    RangeBox->setEnabled(f && !f->ranges.empty());
    AutozeroBox->setEnabled(f && f->autozero);
    ImpedanceBox->setEnabled(f && f->inputImpedance);
    Select(NplcBox, settings.nplc ? QVariant(*settings.nplc) : QVariant());
    Select(RangeBox, settings.range ? QVariant(*settings.range) : QVariant());
    Select(ResolutionBox, Text(settings.resolution));
    Select(AutozeroBox, Text(settings.autozero));
    ImpedanceBox->setChecked(settings.inputImpedanceAuto);
    InForceLabel->setText(
        any || function.empty() ? QString() : QStringLiteral("This function has no settings."));
    ErrorLabel->clear();
}

void AdvancedPage::showDisplay(bool on) {
    DisplayBox->setChecked(on);
}

void AdvancedPage::showSamples(int samples) {
    shownSamples_ = samples;
    SamplesBox->setValue(samples);
}

void AdvancedPage::showAcquisition(bool fast) {
    AcquisitionBox->setCurrentIndex(fast ? 1 : 0);
}

FunctionSettings AdvancedPage::settings() const {
    FunctionSettings s;
    if (NplcBox->currentData().isValid()) {
        s.nplc = NplcBox->currentData().toDouble();
    }
    if (RangeBox->currentData().isValid()) {
        s.range = RangeBox->currentData().toDouble();
    }
    s.resolution = ResolutionBox->currentData().toString().toStdString();
    s.autozero = AutozeroBox->currentData().toString().toStdString();
    s.inputImpedanceAuto = ImpedanceBox->isEnabled() && ImpedanceBox->isChecked();
    return s;
}

void AdvancedPage::changed() {
    if (onChanged) {
        onChanged(settings());
    }
}

void AdvancedPage::showInForce(const InForce& in) {
    QStringList parts;
    if (in.nplc) {
        parts << Text(NplcText(*in.nplc));
    }
    if (in.resolution) {
        parts << QStringLiteral("resolution %1").arg(Text(FormatReal(*in.resolution, '.')));
    }
    if (in.range) {
        parts << QStringLiteral("range %1%2")
                     .arg(Text(RangeText(function_, *in.range)),
                          in.autoRange.value_or(false) ? QStringLiteral(" (auto)") : QString());
    }
    if (in.autozero) {
        parts << (*in.autozero ? QStringLiteral("autozero on") : QStringLiteral("autozero off"));
    }
    if (in.inputImpedanceAuto) {
        parts << (*in.inputImpedanceAuto ? QStringLiteral("impedance auto")
                                         : QStringLiteral("impedance 10 M\u03a9"));
    }
    InForceLabel->setText(parts.isEmpty() ? QString()
                                          : QStringLiteral("In force: ") + parts.join(", "));
}

void AdvancedPage::showError(const QString& error) {
    ErrorLabel->setText(error);
}

} // namespace velmora
