// The real modal message boxes.
#include "ui/message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

namespace velmora {

namespace {

class RealMessageBoxes final : public MessageBoxes {
public:
    void showError(QWidget* parent, const QString& title, const QString& text,
                   const QString& details, bool centreOnScreen) override {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                        centreOnScreen ? nullptr : parent);
        if (!details.isEmpty()) {
            box.setInformativeText(details);
        }
        if (centreOnScreen) {
            box.adjustSize();
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                box.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, box.size(),
                                                    screen->availableGeometry()));
            }
        }
        box.exec();
    }

    SaveChoice askSave(QWidget* parent, const QString& title, const QString& text) override {
        const auto answer = QMessageBox::warning(
            parent, title, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
            QMessageBox::Save);
        if (answer == QMessageBox::Save) {
            return SaveChoice::Save;
        }
        return answer == QMessageBox::Discard ? SaveChoice::Discard : SaveChoice::Cancel;
    }
};

RealMessageBoxes realBoxes;
MessageBoxes* installedBoxes = nullptr;

} // namespace

MessageBoxes& CurrentMessageBoxes() {
    return installedBoxes ? *installedBoxes : realBoxes;
}

void SetMessageBoxes(MessageBoxes* boxes) {
    installedBoxes = boxes;
}

} // namespace velmora
