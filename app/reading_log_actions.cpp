// TForm1's reading-log controls: the interval box, "Clear" and "Save".
#include "app/main_window.h"

#include "app/reading_log_box.h"
#include "text/exception.h"
#include "text/integer_conversion.h"

#include <QComboBox>
#include <QDir>
#include <QSaveFile>

namespace velmora {

void TForm1::COMBOX_INTERVALChange() {
    // An empty or non-numeric text raises the conversion error and keeps
    // the previous interval; the report tells the user.
    replies_.setLogInterval(ParseInteger(COMBOX_INTERVAL->currentText().toStdString()));
}

void TForm1::ClearBtnClick() {
    Memo2->resetTo("No,Function,Value,Time");
    unsavedReadings_ = false; // the user chose to drop them
    showLineCount();
}

void TForm1::Button1Click() {
    const QString fileName = chooseSaveFile();
    if (!fileName.isEmpty()) {
        saveLog(fileName);
    }
}

void TForm1::saveLog(const QString& fileName) {
    // The new text goes to a temporary file that replaces the old one only
    // when it is complete, so a failed save never destroys a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw Exception("Cannot create file \"" + QDir::toNativeSeparators(fileName).toStdString() +
                        "\". " + file.errorString().toStdString());
    }
    if (!Memo2->writeTo(file)) {
        file.cancelWriting();
        throw Exception("Stream write error");
    }
    if (!file.commit()) {
        throw Exception("Stream write error");
    }
    unsavedReadings_ = false;
}

} // namespace velmora
