// Start-up of the desktop tool.

#include "ui/Appearance.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Qt ends the process with an abort when no display can be reached. Find out first, so a person who
// started the tool over a plain terminal gets one clear line instead.
bool DisplayAvailable()
{
#if defined(__linux__) || defined(__FreeBSD__)
    std::string platform = Environment("QT_QPA_PLATFORM");
    platform = platform.substr(0, platform.find(';'));
    platform = platform.substr(0, platform.find(':'));
    const std::string x11 = Environment("DISPLAY");
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    if (platform.empty()) {
        return !x11.empty() || !wayland.empty();
    }
    if (platform == "wayland" || platform == "wayland-egl") {
        return !wayland.empty();
    }
    if (platform == "xcb") {
        return !x11.empty();
    }
    return true; // offscreen, vnc, eglfs, linuxfb...: they need no display server
#else
    return true;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    if (!DisplayAvailable()) {
        std::fputs("quorvane: no graphical display found (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "start it from a desktop session, or use quorvane-cli\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));
    SetUpAppearance(app);

    // The windows speak Russian; so should the buttons of Qt's own message boxes and folder dialog.
    QTranslator qtTranslation;
    if (qtTranslation.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslation);
    }

    QtDialogs dialogs;
    TForm1 form1(dialogs);
    form1.show();
    return app.exec();
}
