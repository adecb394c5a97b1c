// Drives the real TForm1 against the meter emulator until it shows readings, then renders it.
#include "tools/helpshot/main_window_shot.h"

#include "app/main_window.h"
#include "app/reading_log_box.h"
#include "help/clickable_picture.h"
#include "serial/comm.h"
#include "settings/ini_file.h"
#include "tools/meter/meter_emulator.h"
#include "ui/message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <stdexcept>
#include <string>

namespace velmora {

namespace {

// The window must not wait for a person: any box it would show is kept as
// text and ends the run.
class NoBoxes : public MessageBoxes {
public:
    void showError(QWidget*, const QString& title, const QString& text, const QString& details,
                   bool) override {
        shown +=
            title + QStringLiteral(": ") + text + QLatin1Char(' ') + details + QLatin1Char('\n');
    }
    SaveChoice askSave(QWidget*, const QString&, const QString&) override {
        return SaveChoice::Discard;
    }
    QString shown;
};

// Restores the real boxes however the capture ends.
struct BoxesInstalled {
    explicit BoxesInstalled(MessageBoxes* boxes) { SetMessageBoxes(boxes); }
    ~BoxesInstalled() { SetMessageBoxes(nullptr); }
};

void RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                    const NoBoxes& boxes, const char* waitingFor) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (!boxes.shown.isEmpty()) {
            throw std::runtime_error("the main window reported: " + boxes.shown.toStdString());
        }
        if (clock.elapsed() > timeout.count()) {
            throw std::runtime_error(std::string("timed out waiting for ") + waitingFor);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void RunEventsFor(std::chrono::milliseconds span) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < span.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

QRect InWindow(const QWidget* part, const QWidget* window) {
    return QRect(part->mapTo(window, QPoint(0, 0)), part->size());
}

} // namespace

MainWindowShot CaptureMainWindow(const QImage& logo, const ShotOptions& options) {
    QTemporaryDir folder;
    if (!folder.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }

    // A steady resistance of about a kilohm: no open-input overloads and no
    // jumps to another decade, so the picture shows a typical reading.
    MeterOptions meterOptions;
    meterOptions.baud = 9600;
    meterOptions.measureTime = std::chrono::milliseconds(20);
    meterOptions.model.startFunction = MeterFunction::Resistance;
    meterOptions.model.overloadChance = 0.0;
    meterOptions.model.rangeChangeChance = 0.0;
    meterOptions.model.seed = 29;
    MeterEmulator meter(meterOptions);
    meter.Start();

    // The window reads its port from the settings file when it is shown.
    const std::string settingsPath = folder.filePath(QStringLiteral("velmora.ini")).toStdString();
    {
        IniFile settings(settingsPath);
        settings.writeValue("COM Info", "Port", meter.SlavePath());
        settings.writeValue("COM Info", "baudrate", "9600");
    }

    NoBoxes boxes;
    BoxesInstalled installed(&boxes);
    TForm1 form(nullptr, settingsPath);
    form.pause = [](int) {}; // the emulator needs no settling time
    form.Image1->setPixmap(QPixmap::fromImage(logo));
    form.show();
    RunEventsUntil([&] { return form.Comm1->PortOpen(); }, options.timeout, boxes,
                   "the port to open");

    form.Check_Connection->setChecked(true);
    RunEventsUntil([&] { return form.Memo2->lineCount() >= 1 + options.loggedReadings; },
                   options.timeout, boxes, "readings in the log");

    // Stop polling and let the last reply land, so nothing changes while
    // the window is drawn.
    form.Timer1->stop();
    RunEventsFor(std::chrono::milliseconds(300));
    // Our port is a pseudo-terminal; the picture shows what a user sees on
    // a first start.
    form.statusPanel->setText(QStringLiteral("com1,9600,,8,1"));
    // No text caret or focus frame in the picture.
    if (QWidget* focused = form.focusWidget()) {
        focused->clearFocus();
    }
    QCoreApplication::processEvents();

    MainWindowShot shot;
    shot.scale = options.scale;
    shot.windowSize = form.size();
    shot.image = QImage(form.size() * options.scale, QImage::Format_ARGB32_Premultiplied);
    shot.image.setDevicePixelRatio(options.scale);
    shot.image.fill(form.palette().color(QPalette::Window));
    form.render(&shot.image);
    shot.image.setDevicePixelRatio(1);

    MainWindowParts& parts = shot.parts;
    parts.display = InWindow(form.Panel2, &form);
    parts.connect = InWindow(form.Check_Connection, &form);
    parts.comSet = InWindow(form.CONF, &form);
    parts.functionButtons = InWindow(form.PageControl1, &form);
    parts.interval = InWindow(form.Label4, &form).united(InWindow(form.COMBOX_INTERVAL, &form));
    parts.log = InWindow(form.Memo2, &form);
    parts.save = InWindow(form.Button1, &form);
    parts.statusPanel = InWindow(form.statusPanel, &form);

    form.Comm1->ClosePort();
    meter.Stop();
    return shot;
}

} // namespace velmora
