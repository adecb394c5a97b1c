// velmora-helpshot: renders the logo and icons, and the annotated help picture from a live main
// window.
//
//   velmora-helpshot --pictures help/pictures     all four files, named as stored
//   velmora-helpshot --logo out.png --icon out.png --icon-large out.png
//                    --help-picture out.jpg [--window-shot out.png]
#include "text/regional_settings.h"
#include "tools/helpshot/help_composer.h"
#include "tools/helpshot/logo_painter.h"
#include "tools/helpshot/main_window_shot.h"
#include "ui/window_fonts.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

using namespace velmora;

struct Outputs {
    QString logo;
    QString icon;
    QString largeIcon;
    QString helpPicture;
    QString windowShot;
};

void Usage(FILE* to) {
    std::fputs("usage: velmora-helpshot [--pictures DIR] [--logo PNG] [--icon PNG]\n"
               "                        [--icon-large PNG] [--help-picture JPG]\n"
               "                        [--window-shot PNG]\n"
               "  --pictures DIR  writes logo.png, icon.png, icon128.png and help.jpg into DIR\n",
               to);
}

bool Save(const QImage& image, const QString& path, const char* format) {
    QImageWriter writer(path, format);
    if (QByteArray(format) == "jpeg") {
        // Baseline, three components: what every JPEG reader handles.
        writer.setQuality(90);
        writer.setProgressiveScanWrite(false);
        writer.setOptimizedWrite(true);
    }
    if (!writer.write(image)) {
        std::fprintf(stderr, "velmora-helpshot: %s: %s\n", path.toLocal8Bit().constData(),
                     writer.errorString().toLocal8Bit().constData());
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", path.toLocal8Bit().constData(), image.width(),
                image.height());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // The main window is built without a screen; a developer's choice is kept.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    InstallFontSubstitutes();
    // The picture should not depend on the machine's locale: 24-hour times.
    velmora::SetRegionalSettings(velmora::RegionalSettingsForLocale("C"));

    Outputs out;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& option = args[i];
        if (option == QStringLiteral("-h") || option == QStringLiteral("--usage")) {
            Usage(stdout);
            return 0;
        }
        if (i + 1 >= args.size()) {
            Usage(stderr);
            return 2;
        }
        const QString value = args[++i];
        if (option == QStringLiteral("--pictures")) {
            QDir().mkpath(value);
            out.logo = value + QStringLiteral("/logo.png");
            out.icon = value + QStringLiteral("/icon.png");
            out.largeIcon = value + QStringLiteral("/icon128.png");
            out.helpPicture = value + QStringLiteral("/help.jpg");
        } else if (option == QStringLiteral("--logo")) {
            out.logo = value;
        } else if (option == QStringLiteral("--icon")) {
            out.icon = value;
        } else if (option == QStringLiteral("--icon-large")) {
            out.largeIcon = value;
        } else if (option == QStringLiteral("--help-picture")) {
            out.helpPicture = value;
        } else if (option == QStringLiteral("--window-shot")) {
            out.windowShot = value;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (out.logo.isEmpty() && out.icon.isEmpty() && out.largeIcon.isEmpty() &&
        out.helpPicture.isEmpty() && out.windowShot.isEmpty()) {
        Usage(stderr);
        return 2;
    }

    const QImage logo = PaintLogo();
    bool ok = true;
    if (!out.logo.isEmpty()) {
        ok &= Save(logo, out.logo, "png");
    }
    if (!out.icon.isEmpty()) {
        ok &= Save(PaintIcon(32), out.icon, "png");
    }
    if (!out.largeIcon.isEmpty()) {
        ok &= Save(PaintIcon(128), out.largeIcon, "png");
    }
    if (!out.helpPicture.isEmpty() || !out.windowShot.isEmpty()) {
        try {
            const MainWindowShot shot = CaptureMainWindow(logo);
            if (!out.windowShot.isEmpty()) {
                ok &= Save(shot.image, out.windowShot, "png");
            }
            if (!out.helpPicture.isEmpty()) {
                ok &= Save(ComposeHelpPicture(shot), out.helpPicture, "jpeg");
            }
        } catch (const std::exception& error) {
            std::fprintf(stderr, "velmora-helpshot: %s\n", error.what());
            return 1;
        }
    }
    return ok ? 0 : 1;
}
