// The meter console: one line at a time to the meter, its reply and its error queue, with history.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velmora {

class EngineControl;

// Lines go by the same passage as a script's "METER?": between two polls,
// never while a query is unanswered, with the same refusals. After each
// line the meter's error queue is read until it is empty, so what the meter
// made of the line shows beside it. Up and Down walk the history.
class MeterConsole : public QDialog {
public:
    static constexpr int kMostErrorReads = 10;

    MeterConsole(EngineControl& control, QWidget* parent = nullptr);

    // Where scripts reach the interface (shown at the top).
    void setWhere(const QString& where);
    // Sends the line in the field, as the Send button does.
    void send();
    QPlainTextEdit* transcript() const { return transcript_; }
    QLineEdit* field() const { return field_; }
    // The meter's error query ("SYST:ERR?").
    std::function<std::string()> errorQuery;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void note(const QString& prefix, const std::string& text);
    void readErrors(int reads);
    void setBusy(bool busy);

    EngineControl& control_;
    QLabel* where_;
    QPlainTextEdit* transcript_;
    QLineEdit* field_;
    QPushButton* sendButton_;
    QStringList history_;
    int historyAt_ = 0;
};

} // namespace velmora
