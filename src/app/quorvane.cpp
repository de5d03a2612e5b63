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
#include <unistd.h>

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

const char* const NoDisplayLine = "quorvane: no graphical display found (DISPLAY and WAYLAND_DISPLAY name none that "
                                  "answers); start it from a desktop session, or use quorvane-cli\n";

// While the platform plugin starts, its complaints about an unreachable display end in an abort; turn them
// into the one clear line and a plain failure exit.
void StartUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fputs(NoDisplayLine, stderr);
        _exit(1);
    }
    if (context.category != nullptr && std::string(context.category).rfind("qt.qpa", 0) == 0) {
        return;
    }
    std::fputs((qFormatLogMessage(type, context, message) + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    if (!DisplayAvailable()) {
        std::fputs(NoDisplayLine, stderr);
        return 1;
    }

    const QtMessageHandler previousHandler = qInstallMessageHandler(StartUpMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
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
