// Start-up of the desktop tool.

#include "QuorvaneVersion.h"
#include "app/StartUp.h"
#include "platform/System.h"
#include "ui/Appearance.h"
#include "ui/Dialogs.h"
#include "ui/Language.h"
#include "ui/Main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

// Before the window's translations are there, the program speaks the command line's language.
Language StartLanguage()
{
    static const Language language = LanguageFor(PreferredLanguages());
    return language;
}

// One line of the program's own on standard error, "quorvane: ...".
void Say(const Message& message)
{
    std::fputs(("quorvane: " + MessageText(message, StartLanguage()) + "\n").c_str(), stderr);
}

// While the platform plugin starts, its complaints about an unreachable display end in an abort; turn them
// into the one clear line and a plain failure exit.
void StartUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        Say(MessageId::AppNoDisplay);
        ExitNow(1);
    }
    if (context.category != nullptr && std::string(context.category).rfind("qt.qpa", 0) == 0) {
        return;
    }
    std::fputs((qFormatLogMessage(type, context, message) + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

// The arguments Qt has left, in UTF-8 (on Windows as the system passed them, whatever the code page).
std::vector<std::string> ArgumentsLeft()
{
    std::vector<std::string> args;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) {
        args.push_back(all[i].toUtf8().toStdString());
    }
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    TuneAllocatorForPictures();
    // Answered before anything needs a display.
    const StartOptions asked = ParseStartOptions(Arguments(argc, argv));
    if (asked.Help) {
        std::fputs(MessageText(MessageId::AppUsage, StartLanguage()).c_str(), stdout);
        return 0;
    }
    if (asked.Version) {
        std::fputs("quorvane " QUORVANE_VERSION "\n"
                   "Licence: GPL-3.0-or-later; third-party notices in THIRD-PARTY-NOTICES.txt beside the program "
                   "(Debian: /usr/share/doc/quorvane/copyright)\n",
                   stdout);
        return 0;
    }
    // From here on an installer waits for this process to end before it replaces the program's files.
    AnnounceRunningProgram();
    // Qt ends the process with an abort when no display can be reached; a person who started the tool over
    // a plain terminal gets one clear line instead.
    if (!DisplayAvailable()) {
        Say(MessageId::AppNoDisplay);
        return 1;
    }

    const QtMessageHandler previousHandler = qInstallMessageHandler(StartUpMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    // What is left once Qt has taken its own options out.
    const StartOptions options = ParseStartOptions(ArgumentsLeft());
    if (!options.Unknown.empty()) {
        Say({MessageId::AppUnknownOption, options.Unknown});
        return 64;
    }
    if (!options.Unexpected.empty()) {
        Say({MessageId::CliUnexpectedArgument, options.Unexpected});
        return 64;
    }
    if (options.UserFolder) {
        const auto folder = UserDataFolder();
        const QByteArray programFolder = QFile::encodeName(QCoreApplication::applicationDirPath());
        const std::string error =
            EnterUserFolder(folder, ExampleFolder(programFolder.toStdString(), QUORVANE_SOURCE_EXAMPLES));
        if (!error.empty()) {
            // The tool stays usable: it works in the current folder instead.
            Say({MessageId::AppUserFolderRefused,
                 {Message::Plain(reinterpret_cast<const char*>(folder.u8string().c_str())), Message::Plain(error)}});
        }
    }

    // The window class (WM_CLASS) and the desktop entry's StartupWMClass and name follow from these.
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvane"));
    QIcon icon;
    for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files)) {
        icon.addFile(file.filePath());
    }
    QApplication::setWindowIcon(icon);
    SetUpAppearance(app);
    InstallTranslations(app);

    QtDialogs dialogs;
    TForm1 form1(dialogs);
    if (!options.Folder.empty()) {
        form1.PutSourceFolder(QString::fromUtf8(options.Folder));
    }
    form1.show();
    return app.exec();
}
