// The meter console.
#include "app/meter_console.h"

#include "control/engine_control.h"
#include "control/meter_line_rules.h"
#include "control/scpi_message.h"
#include "text/control_escape.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

MeterConsole::MeterConsole(EngineControl& control, QWidget* parent)
    : QDialog(parent)
    , control_(control)
    , where_(new QLabel(this))
    , transcript_(new QPlainTextEdit(this))
    , field_(new QLineEdit(this))
    , sendButton_(new QPushButton(QStringLiteral("Send"), this)) {
    setWindowTitle(QStringLiteral("Meter console"));
    setModal(false);
    where_->setWordWrap(true);
    where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    transcript_->setReadOnly(true);
    transcript_->setMaximumBlockCount(5000);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    transcript_->setFont(fixed);
    field_->setFont(fixed);
    field_->setPlaceholderText(
        QStringLiteral("A command or a query for the meter, e.g. VOLT:NPLC?"));
    field_->installEventFilter(this);
    auto* entry = new QHBoxLayout;
    entry->addWidget(field_, 1);
    entry->addWidget(sendButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where_);
    layout->addWidget(transcript_, 1);
    layout->addLayout(entry);
    sendButton_->setDefault(true);
    connect(sendButton_, &QPushButton::clicked, this, [this] { send(); });
    connect(field_, &QLineEdit::returnPressed, this, [this] { send(); });
    resize(560, 360);
}

void MeterConsole::setWhere(const QString& where) {
    where_->setText(where);
    where_->setVisible(!where.isEmpty());
}

void MeterConsole::note(const QString& prefix, const std::string& text) {
    // What the meter says is shown, never acted on.
    transcript_->appendPlainText(prefix + QString::fromStdString(EscapeControls(text)));
}

void MeterConsole::setBusy(bool busy) {
    field_->setEnabled(!busy);
    sendButton_->setEnabled(!busy);
    if (!busy) {
        field_->setFocus();
    }
}

void MeterConsole::send() {
    const std::string line = field_->text().trimmed().toStdString();
    if (line.empty() || !field_->isEnabled()) {
        return;
    }
    history_.removeAll(field_->text().trimmed());
    history_.append(field_->text().trimmed());
    historyAt_ = static_cast<int>(history_.size());
    field_->clear();
    note(QStringLiteral("> "), line);
    const bool query = IsQueryLine(line);
    std::optional<ControlError> problem = MeterLineProblem(line, query);
    if (!problem) {
        setBusy(true);
        QPointer<MeterConsole> self(this);
        problem =
            control_.passFromConsole(line, query, [self, query](std::optional<std::string> reply) {
                if (!self) {
                    return;
                }
                if (query) {
                    self->note(QStringLiteral("< "), reply ? *reply : std::string("(no answer)"));
                }
                self->readErrors(0);
            });
    }
    if (problem) {
        setBusy(false);
        note(QStringLiteral("! "), ErrorEntry(*problem) + " (not sent)");
    }
}

void MeterConsole::readErrors(int reads) {
    const std::string query = errorQuery ? errorQuery() : std::string("SYST:ERR?");
    if (reads >= kMostErrorReads) {
        setBusy(false);
        return;
    }
    QPointer<MeterConsole> self(this);
    const std::optional<ControlError> problem =
        control_.passFromConsole(query, true, [self, reads](std::optional<std::string> reply) {
            if (!self) {
                return;
            }
            // "+0,"No error"" ends the queue; so does a meter that does not answer.
            if (!reply || reply->starts_with("+0") || reply->starts_with("0,")) {
                self->setBusy(false);
                return;
            }
            self->note(QStringLiteral("! "), *reply);
            self->readErrors(reads + 1);
        });
    if (problem) {
        setBusy(false);
    }
}

bool MeterConsole::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && !history_.isEmpty()) {
            historyAt_ += key == Qt::Key_Up ? -1 : 1;
            historyAt_ = std::clamp(historyAt_, 0, static_cast<int>(history_.size()));
            field_->setText(historyAt_ < history_.size() ? history_.at(historyAt_) : QString());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace velmora
