// The publishing dialog: the MQTT broker, the InfluxDB server and the /metrics endpoint the
// readings go to, each with a button that asks the server what it makes of them.
#pragma once

#include "publish/publish_settings.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace velmora {

// What the fields say goes back as a whole [Publish] section: the keys the
// dialog has no field for (the event and status topics, the batch size)
// keep what they were. OK refuses a section the publishers would refuse,
// and says why. A test asks the server from a thread of its own, so the
// window goes on showing readings while a server takes its time.
class PublishDialog : public QDialog {
public:
    static constexpr int kTryTimeoutMs = 3000;

    // `meter`: the name "<meter>" stands for in the topics.
    PublishDialog(const PublishConfig& current, const std::string& meter,
                  QWidget* parent = nullptr);

    PublishConfig chosen() const;
    // Why OK would refuse the fields; empty when it would not.
    QString problem() const;

    // The port this window serves /metrics on now (0: none), so its own
    // endpoint is not taken for another program's.
    std::function<quint16()> servedMetricsPort;

    QLineEdit* mqttUrl = nullptr;
    QLineEdit* mqttPasswordFile = nullptr;
    QLineEdit* mqttCaFile = nullptr;
    QLineEdit* mqttTopic = nullptr;
    QComboBox* mqttQos = nullptr;
    QPushButton* mqttTest = nullptr;
    QLabel* mqttAnswer = nullptr;
    QLineEdit* influxUrl = nullptr;
    QLineEdit* influxPasswordFile = nullptr;
    QLineEdit* influxMeasurement = nullptr;
    QPushButton* influxTest = nullptr;
    QLabel* influxAnswer = nullptr;
    QLineEdit* metricsAddress = nullptr;
    QPushButton* metricsTest = nullptr;
    QLabel* metricsAnswer = nullptr;
    QSpinBox* spoolLimit = nullptr;

    // True while a test's answer has not come.
    bool testing() const;

private:
    void accept() override;
    void testMqtt();
    void testInflux();
    void testMetrics();
    // Runs `ask` on a thread of its own and shows its answer in `answer`.
    void askInThread(QPushButton* button, QLabel* answer, std::function<std::string()> ask);
    void browse(QLineEdit* field, const QString& title);

    PublishConfig base_;
    QLabel* problem_ = nullptr;
    int asking_ = 0; // tests whose answer has not come
};

} // namespace velmora
