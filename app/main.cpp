// Program entry: regional settings, the four windows in their order, then the event loop.
#include "app/application.h"
#include "app/main_window.h"
#include "chart/chart_window.h"
#include "help/help_window.h"
#include "help/pictures.h"
#include "settings/serial_settings_dialog.h"
#include "text/regional_settings.h"
#include "ui/window_fonts.h"

#include <memory>

int main(int argc, char** argv) {
    using namespace velmora;

    // Linux announces no change of regional settings, so they are read once,
    // before any window exists.
    ReadRegionalSettings();
    TApplication application(argc, argv);
    InstallFontSubstitutes();
    application.setWindowIcon(VelmoraIcon());
    // Lets the desktop match the windows to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmora.Velmora"));

    // Created first, the main window is the application's main window.
    auto Form1 = std::make_unique<TForm1>();
    auto Form2 = std::make_unique<TForm2>();
    auto Form3 = std::make_unique<TForm3>(*Form1->Comm1, *Form1->settingsFile(), Form1.get());
    auto Form4 = std::make_unique<TForm4>();
    Form1->setSettingsDialog(Form3.get());
    Form1->setHelpWindow(Form4.get());
    Form1->setChartWindow(Form2.get());

    // The program ends when the main window closes, whatever else is open.
    application.setQuitOnLastWindowClosed(false);
    QObject::connect(Form1.get(), &TForm1::closed, &application, &QApplication::quit);

    Form1->show();
    return application.exec();
}
