// Demo driver: the real main window and chart on an emulated meter, for looking at the chart.
//
// Measures resistance on a steady emulated meter (noise but no range jumps),
// injects two overloads, switches to DC volts and back to resistance, and
// keeps running until the main window is closed. Open the chart with a
// double-click on the display. Under Xvfb:
//   Xvfb :98 -screen 0 1600x1200x24 &
//   DISPLAY=:98 build/release/bench/chart/velmora_chart_demo --seconds 60 &
//   DISPLAY=:98 xdotool ...; import -window root shot.png
#include "app/application.h"
#include "app/main_window.h"
#include "chart/chart_window.h"
#include "serial/comm.h"
#include "tools/meter/meter_emulator.h"
#include "ui/window_fonts.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    using namespace velmora;
    int seconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(10, std::atoi(argv[i + 1]));
        }
    }
    TApplication application(argc, argv);
    InstallFontSubstitutes();

    MeterOptions options;
    options.baud = 9600;
    options.measureTime = std::chrono::milliseconds(20);
    options.model.startFunction = MeterFunction::Resistance;
    options.model.overloadChance = 0;
    options.model.rangeChangeChance = 0;
    MeterEmulator meter(options);
    meter.Start();

    // The settings name the emulator's port, so the start-up opens it.
    QTemporaryDir folder;
    const QString settings = folder.filePath(QStringLiteral("velmora.ini"));
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "demo: cannot write %s\n", qPrintable(settings));
        return 1;
    }
    file.write("[COM Info]\r\nPort=" + QByteArray::fromStdString(meter.SlavePath()) +
               "\r\nbaudrate=9600\r\n");
    file.close();
    TForm1 form(nullptr, settings.toStdString());
    TForm2 chart;
    form.setChartWindow(&chart);
    application.setQuitOnLastWindowClosed(false);
    QObject::connect(&form, &TForm1::closed, &application, &QApplication::quit);
    form.show();
    form.move(10, 10);
    chart.move(600, 10);

    const auto at = [&](double share, auto action) {
        QTimer::singleShot(static_cast<int>(seconds * 1000 * share), &form, action);
    };
    at(0.02, [&] { form.Check_Connection->setChecked(true); });
    const auto overload = [&meter] {
        ScriptStep step;
        step.kind = ScriptStep::Kind::Overload;
        meter.Inject(step);
    };
    at(0.30, overload);
    at(0.38, overload);
    at(0.55, [&] { form.DCV_Btn->click(); });
    at(0.70, [&] { form.OHM2_Btn->click(); });
    at(1.0, [] {
        std::puts("demo: run complete");
        std::fflush(stdout);
    });

    const int result = application.exec();
    form.Comm1->ClosePort();
    meter.Stop();
    return result;
}
