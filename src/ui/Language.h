#pragma once

#include <QString>
#include <QStringList>

#include <string>

class QApplication;

// The windows are written in Russian. An English translation is shown to a user whose preferred
// languages name English before Russian; Russian stays for everyone else, the C and POSIX locales
// included.

// The translation to show for the preferred languages (most preferred first, as "en-US" or "de"), chosen
// from the available ones ("en"); empty for the Russian source texts.
QString ChooseTranslation(const QStringList& preferred, const QStringList& available);

// Installs the translation for the user's preferred languages, and Qt's own Russian texts (message box
// buttons, folder dialog) when the windows stay Russian. The translators belong to the application.
void InstallTranslations(QApplication& app);

// An engine text (local 8-bit, Russian) as the windows show it: the messages of a run and of the
// catalogue are translated, anything else is shown as it stands.
QString ShownEngineText(const std::string& text);
