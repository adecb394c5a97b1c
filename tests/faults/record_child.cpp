// A child for the kill test: the main window on a given port, recording into a given file and
// polling until it is killed.
//   record_child PORT RECORDING SETTINGS
#include "app/application.h"
#include "app/main_window.h"
#include "app/recording_control.h"
#include "serial/comm.h"

#include <QCheckBox>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    velmora::TApplication application(argc, argv);
    velmora::TForm1 form(nullptr, argv[3]);
    form.pause = [](int) {}; // nothing here depends on the meter's pauses
    form.Comm1->SetCommName(argv[1]);
    form.Comm1->OpenPort();
    if (!form.recording()->startInto(QString::fromLocal8Bit(argv[2])))
        return 3;
    form.Check_Connection->setChecked(true);
    std::printf("recording\n");
    std::fflush(stdout);
    return application.exec();
}
