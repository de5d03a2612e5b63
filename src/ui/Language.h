#pragma once

#include "Messages.h"

#include <QString>
#include <QStringList>

#include <string>

class QApplication;

// The windows are written in Russian. Russian is shown under Russian, Ukrainian, Belarusian and Kazakh
// and under the C and POSIX locales; every other language gets the English translation. The first of
// the user's preferred languages (the locale's, on Windows the display languages) decides, by the same
// rule as the command line's (LanguageFor in Messages.h).

// The translation to show for the preferred languages (most preferred first, as "en-US" or "de"), chosen
// from the available ones ("en"); empty for the Russian source texts (also when nothing is preferred).
QString ChooseTranslation(const QStringList& preferred, const QStringList& available);

// Installs the translation for the user's preferred languages, and Qt's own Russian texts (message box
// buttons, folder dialog) when the windows stay Russian. The translators belong to the application.
void InstallTranslations(QApplication& app);

// A message of the engine in the user's language, with its arguments (UTF-8 text) in place.
QString ShownMessage(const quorvane::Message& message);

// Bytes from a file or a file name as the windows show them: decoded as UTF-8 when they are valid UTF-8,
// else as Windows-1251, the usual encoding of Russian text files written on Windows.
QString DecodeFileText(const std::string& bytes);

// The same as one readable line: control characters and line or paragraph separators are written as
// escapes (\n, \r, \t, \x1b, \u2028), so nothing splits the line or hides in it.
QString OneLine(const std::string& bytes);
