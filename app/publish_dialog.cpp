// The publishing dialog.
#include "app/publish_dialog.h"

#include "publish/metrics_endpoint.h"
#include "text/control_escape.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace velmora {

namespace {

constexpr int kFieldWidth = 340;

enum class Tone { Plain, Good, Bad };

void ShowAnswer(QLabel* label, const std::string& text, Tone tone) {
    // A server's words may hold anything: shown escaped, as plain text.
    label->setText(QString::fromStdString(EscapeControls(text)));
    label->setStyleSheet(tone == Tone::Good  ? QStringLiteral("color: #1b6e20")
                         : tone == Tone::Bad ? QStringLiteral("color: #b00020")
                                             : QString());
}

// "connected" from the broker, "connected; the database ... is there" from
// InfluxDB; anything else is a reason not to rely on the server yet.
Tone ToneOf(const std::string& said) {
    return said == "connected" || said.starts_with("connected;") ? Tone::Good : Tone::Bad;
}

// "MQTT: the URL ..." beside the MQTT fields needs no "MQTT: ".
std::string WithoutGroup(std::string why, std::string_view group) {
    const std::string prefix = std::string(group) + ": ";
    if (why.starts_with(prefix)) {
        why.erase(0, prefix.size());
    }
    return why;
}

QLineEdit* Field(const std::string& text, QWidget* parent, const QString& placeholder = {}) {
    auto* field = new QLineEdit(QString::fromStdString(text), parent);
    field->setMinimumWidth(kFieldWidth);
    field->setPlaceholderText(placeholder);
    field->setClearButtonEnabled(true);
    return field;
}

// The test button with its answer beside it, under the group's fields.
QWidget* TestRow(QWidget* parent, QPushButton*& button, QLabel*& answer) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    button = new QPushButton(QStringLiteral("Test"), row);
    answer = new QLabel(row);
    answer->setTextFormat(Qt::PlainText);
    answer->setWordWrap(true);
    answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    answer->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    answer->setMinimumWidth(kFieldWidth - 100);
    answer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // Room for two lines from the start: an answer that wraps moves nothing.
    answer->setMinimumHeight(2 * answer->fontMetrics().lineSpacing() + 2);
    layout->addWidget(button);
    layout->addWidget(answer, 1);
    return row;
}

QFormLayout* Form(QGroupBox* group) {
    auto* form = new QFormLayout(group);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    return form;
}

} // namespace

PublishDialog::PublishDialog(const PublishConfig& current, const std::string& meter,
                             QWidget* parent)
    : QDialog(parent)
    , base_(current) {
    setWindowTitle(QStringLiteral("Publish readings"));
    std::vector<QLabel*> labels; // one width for every group's labels, so the fields line up
    const auto row = [&](QFormLayout* form, const QString& text, QWidget* field) {
        auto* label = new QLabel(text, field->parentWidget());
        label->setBuddy(field);
        labels.push_back(label);
        form->addRow(label, field);
    };
    const auto withBrowse = [this](QLineEdit* field, const QString& title) {
        auto* box = new QWidget(field->parentWidget());
        auto* layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        field->setParent(box);
        field->setMinimumWidth(kFieldWidth - 90);
        auto* button = new QPushButton(QStringLiteral("Browse..."), box);
        connect(button, &QPushButton::clicked, this,
                [this, field, title] { browse(field, title); });
        layout->addWidget(field, 1);
        layout->addWidget(button);
        return box;
    };
    const QString passwordHint =
        QStringLiteral("A file of two lines: the user name, then the password. Empty: none.");
    const QString topicHint = QStringLiteral("<meter> stands for the meter's name (now \"%1\")")
                                  .arg(QString::fromStdString(EscapeControls(meter)));

    auto* mqtt = new QGroupBox(QStringLiteral("MQTT"), this);
    auto* mqttForm = Form(mqtt);
    mqttUrl = Field(current.mqttUrl, mqtt, QStringLiteral("mqtt://host:port (empty: no MQTT)"));
    mqttPasswordFile = Field(current.mqttPasswordFile, mqtt);
    mqttPasswordFile->setToolTip(passwordHint);
    mqttCaFile = Field(current.mqttCaFile, mqtt, QStringLiteral("the system's certificates"));
    mqttCaFile->setToolTip(
        QStringLiteral("For mqtts:// to a broker with a certificate of its own"));
    mqttTopic = Field(current.mqttTopic, mqtt);
    mqttTopic->setToolTip(topicHint);
    mqttQos = new QComboBox(mqtt);
    mqttQos->addItems({QStringLiteral("0 \u2013 at most once"),
                       QStringLiteral("1 \u2013 at least once"),
                       QStringLiteral("2 \u2013 exactly once")});
    mqttQos->setCurrentIndex(std::clamp(current.mqttQos, 0, 2));
    mqttQos->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row(mqttForm, QStringLiteral("URL:"), mqttUrl);
    row(mqttForm, QStringLiteral("Password file:"),
        withBrowse(mqttPasswordFile, QStringLiteral("MQTT password file")));
    row(mqttForm, QStringLiteral("CA file:"),
        withBrowse(mqttCaFile, QStringLiteral("The broker's CA certificate")));
    row(mqttForm, QStringLiteral("Readings topic:"), mqttTopic);
    row(mqttForm, QStringLiteral("QoS:"), mqttQos);
    mqttForm->addRow(QString(), TestRow(mqtt, mqttTest, mqttAnswer));

    auto* influx = new QGroupBox(QStringLiteral("InfluxDB"), this);
    auto* influxForm = Form(influx);
    influxUrl = Field(current.influxUrl, influx,
                      QStringLiteral("http://host:port/database (empty: no InfluxDB)"));
    influxPasswordFile = Field(current.influxPasswordFile, influx);
    influxPasswordFile->setToolTip(passwordHint);
    influxMeasurement = Field(current.influxMeasurement, influx);
    row(influxForm, QStringLiteral("URL:"), influxUrl);
    row(influxForm, QStringLiteral("Password file:"),
        withBrowse(influxPasswordFile, QStringLiteral("InfluxDB password file")));
    row(influxForm, QStringLiteral("Measurement:"), influxMeasurement);
    influxForm->addRow(QString(), TestRow(influx, influxTest, influxAnswer));

    auto* prometheus = new QGroupBox(QStringLiteral("Prometheus"), this);
    auto* prometheusForm = Form(prometheus);
    metricsAddress =
        Field(current.metrics, prometheus, QStringLiteral("address:port (empty: no /metrics)"));
    metricsAddress->setToolTip(
        QStringLiteral("\"9464\" is 127.0.0.1 port 9464; \"0.0.0.0:9464\" every IPv4 "
                       "interface; an IPv6 address in brackets, as [::1]:9464"));
    row(prometheusForm, QStringLiteral("Serve /metrics on:"), metricsAddress);
    prometheusForm->addRow(QString(), TestRow(prometheus, metricsTest, metricsAnswer));

    auto* spool = new QGroupBox(QStringLiteral("While a server is away"), this);
    auto* spoolForm = Form(spool);
    spoolLimit = new QSpinBox(spool);
    spoolLimit->setRange(1, 1 << 20);
    spoolLimit->setValue(current.spoolLimitMiB);
    spoolLimit->setSuffix(QStringLiteral(" MiB"));
    spoolLimit->setToolTip(QStringLiteral("Readings wait on disk until every server has them; "
                                          "beyond this the oldest are dropped"));
    auto* limitRow = new QWidget(spool);
    auto* limitLayout = new QHBoxLayout(limitRow);
    limitLayout->setContentsMargins(0, 0, 0, 0);
    spoolLimit->setParent(limitRow);
    limitLayout->addWidget(spoolLimit);
    limitLayout->addWidget(new QLabel(QStringLiteral("per meter, on disk"), limitRow), 1);
    row(spoolForm, QStringLiteral("Keep at most:"), limitRow);

    int widest = 0;
    for (QLabel* label : labels) {
        widest = std::max(widest, label->sizeHint().width());
    }
    for (QLabel* label : labels) {
        label->setMinimumWidth(widest);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    problem_ = new QLabel(this);
    problem_->setTextFormat(Qt::PlainText);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00020"));
    problem_->setVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PublishDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(mqttTest, &QPushButton::clicked, this, [this] { testMqtt(); });
    connect(influxTest, &QPushButton::clicked, this, [this] { testInflux(); });
    connect(metricsTest, &QPushButton::clicked, this, [this] { testMetrics(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mqtt);
    layout->addWidget(influx);
    layout->addWidget(prometheus);
    layout->addWidget(spool);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

PublishConfig PublishDialog::chosen() const {
    PublishConfig config = base_;
    const auto text = [](const QLineEdit* field) { return field->text().trimmed().toStdString(); };
    config.mqttUrl = text(mqttUrl);
    config.mqttPasswordFile = text(mqttPasswordFile);
    config.mqttCaFile = text(mqttCaFile);
    config.mqttTopic = text(mqttTopic).empty() ? PublishConfig().mqttTopic : text(mqttTopic);
    config.mqttQos = mqttQos->currentIndex();
    config.influxUrl = text(influxUrl);
    config.influxPasswordFile = text(influxPasswordFile);
    config.influxMeasurement = text(influxMeasurement).empty() ? PublishConfig().influxMeasurement
                                                               : text(influxMeasurement);
    config.metrics = text(metricsAddress);
    config.spoolLimitMiB = spoolLimit->value();
    return config;
}

QString PublishDialog::problem() const {
    const PublishConfig config = chosen();
    std::string why;
    if (!ResolvePublishing(config, &why)) {
        return QString::fromStdString(EscapeControls(why));
    }
    if (!config.metrics.empty() && !ParseMetricsAddress(config.metrics, &why)) {
        return QStringLiteral("Prometheus: %1").arg(QString::fromStdString(EscapeControls(why)));
    }
    return {};
}

bool PublishDialog::testing() const {
    return asking_ > 0;
}

void PublishDialog::accept() {
    const QString why = problem();
    problem_->setText(why);
    problem_->setVisible(!why.isEmpty());
    if (why.isEmpty()) {
        QDialog::accept();
    }
}

void PublishDialog::testMqtt() {
    PublishConfig only = chosen();
    only.influxUrl.clear();
    only.metrics.clear();
    if (only.mqttUrl.empty()) {
        ShowAnswer(mqttAnswer, "no URL to try", Tone::Plain);
        return;
    }
    std::string why;
    const std::optional<PublishSetup> setup = ResolvePublishing(only, &why);
    if (!setup) {
        // Never tried: the URL or a file is wrong.
        ShowAnswer(mqttAnswer, WithoutGroup(why, "MQTT"), Tone::Bad);
        return;
    }
    askInThread(mqttTest, mqttAnswer,
                [mqtt = *setup->mqtt] { return MqttPublisher::Try(mqtt, kTryTimeoutMs); });
}

void PublishDialog::testInflux() {
    PublishConfig only = chosen();
    only.mqttUrl.clear();
    only.metrics.clear();
    if (only.influxUrl.empty()) {
        ShowAnswer(influxAnswer, "no URL to try", Tone::Plain);
        return;
    }
    std::string why;
    const std::optional<PublishSetup> setup = ResolvePublishing(only, &why);
    if (!setup) {
        ShowAnswer(influxAnswer, WithoutGroup(why, "InfluxDB"), Tone::Bad);
        return;
    }
    askInThread(influxTest, influxAnswer,
                [influx = *setup->influx] { return InfluxPublisher::Try(influx, kTryTimeoutMs); });
}

void PublishDialog::testMetrics() {
    const std::string text = metricsAddress->text().trimmed().toStdString();
    if (text.empty()) {
        ShowAnswer(metricsAnswer, "no address to try", Tone::Plain);
        return;
    }
    std::string why;
    const auto address = ParseMetricsAddress(text, &why);
    if (!address) {
        ShowAnswer(metricsAnswer, why, Tone::Bad);
        return;
    }
    if (address->second != 0 && servedMetricsPort && servedMetricsPort() == address->second) {
        ShowAnswer(metricsAnswer, "this window serves /metrics there now", Tone::Good);
        return;
    }
    QTcpServer probe;
    if (!probe.listen(address->first, address->second)) {
        ShowAnswer(metricsAnswer, "cannot serve there: " + probe.errorString().toStdString(),
                   Tone::Bad);
        return;
    }
    ShowAnswer(metricsAnswer,
               address->second == 0 ? "free: a free port is taken at each start"
                                    : "free: /metrics can be served there",
               Tone::Good);
}

void PublishDialog::askInThread(QPushButton* button, QLabel* answer,
                                std::function<std::string()> ask) {
    button->setEnabled(false);
    ShowAnswer(answer, "asking...", Tone::Plain);
    auto said = std::make_shared<std::string>();
    // The thread goes on its own: a broker behind a firewall can hold a
    // connect for minutes, and closing the dialog must not wait for it.
    QThread* thread = QThread::create([ask = std::move(ask), said] { *said = ask(); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, button, answer, said] {
        --asking_;
        button->setEnabled(true);
        ShowAnswer(answer, *said, ToneOf(*said));
    });
    ++asking_;
    thread->start();
}

void PublishDialog::browse(QLineEdit* field, const QString& title) {
    const QString file = QFileDialog::getOpenFileName(this, title, field->text());
    if (!file.isEmpty()) {
        field->setText(file);
    }
}

} // namespace velmora
