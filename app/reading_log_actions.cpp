// TForm1's reading-log controls: the interval box, "Clear" and "Save".
#include "app/main_window.h"

#include "app/reading_log_box.h"
#include "settings/file_replace.h"
#include "text/exception.h"
#include "text/integer_conversion.h"

#include <QComboBox>

#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora {

void TForm1::COMBOX_INTERVALChange() {
    // An empty or non-numeric text raises the conversion error and keeps
    // the previous interval; the report tells the user.
    engine_->setLogInterval(ParseInteger(COMBOX_INTERVAL->currentText().toStdString()));
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
    // The new text replaces the old file only when it is complete, so a failed
    // save never destroys a file; where the folder allows no new file (or no
    // rename), the file is written in place as a plain save would. A file with
    // other hard links is written in place too, so all its names stay one file.
    const std::string path = fileName.toStdString();
    try {
        ReplaceFileContent(
            ResolveWriteTarget(path),
            [this](const std::function<void(std::string_view)>& write) {
                Memo2->forEachSavedChunk(write);
            },
            HardLinks::KeepTogether);
    } catch (const FileWriteError& error) {
        if (error.stage() == FileWriteError::Stage::Write) {
            throw Exception("Stream write error");
        }
        throw Exception("Cannot create file \"" + path + "\". " + error.code().message());
    } catch (const std::system_error& error) {
        // A link that cannot be followed.
        throw Exception("Cannot create file \"" + path + "\". " + error.code().message());
    }
    unsavedReadings_ = false;
}

} // namespace velmora
