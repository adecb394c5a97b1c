// The real modal message boxes.
#include "ui/message_boxes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

namespace velmora {

namespace {

// The box's secondary label follows no text format of the box's own.
void ShowAsPlainText(QMessageBox& box, const char* labelName) {
    if (auto* label = box.findChild<QLabel*>(QString::fromLatin1(labelName))) {
        label->setTextFormat(Qt::PlainText);
    }
}

class RealMessageBoxes final : public MessageBoxes {
public:
    void showError(QWidget* parent, const QString& title, const QString& text,
                   const QString& details, bool centreOnScreen) override {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                        centreOnScreen ? nullptr : parent);
        // Messages carry what the user typed, file names and the system's
        // words: shown as they are, never read as markup.
        box.setTextFormat(Qt::PlainText);
        if (!details.isEmpty()) {
            box.setInformativeText(details);
            ShowAsPlainText(box, "qt_msgbox_informativelabel");
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
        QMessageBox box(QMessageBox::Warning, title, text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Save);
        const int answer = box.exec();
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
