#include "ui/Language.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <iterator>

namespace {

QString TranslationFile(const QString& language)
{
    return QStringLiteral(":/i18n/quorvane_%1.qm").arg(language);
}

// The messages the engine shows, whole or as the beginning of a longer text (a folder follows).
const char* const EngineMessages[] = {
    QT_TRANSLATE_NOOP("Engine", "Ошибка открытия файла: phone.ini"),
    QT_TRANSLATE_NOOP("Engine", "В файле phone.ini была допущена ошибка, инструкция в ReadMe.txt"),
    QT_TRANSLATE_NOOP("Engine", "Не указан источник"),
    QT_TRANSLATE_NOOP("Engine", "Не указан приёмник"),
    QT_TRANSLATE_NOOP("Engine", "Не указана ширина"),
    QT_TRANSLATE_NOOP("Engine", "Не указана высота"),
    QT_TRANSLATE_NOOP("Engine", "Счётчик должен состоять из цифр"),
    QT_TRANSLATE_NOOP("Engine", "Выполнено без ошибок"),
};
const char* const EngineMessageStarts[] = {
    QT_TRANSLATE_NOOP("Engine", "Проверьте директорию: "),
};

} // namespace

QString ChooseTranslation(const QStringList& preferred, const QStringList& available)
{
    for (const QString& entry : preferred) {
        const QString language = entry.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (language == QLatin1String("ru") || language == QLatin1String("c") || language == QLatin1String("posix")) {
            return {};
        }
        if (available.contains(language)) {
            return language;
        }
    }
    return {};
}

void InstallTranslations(QApplication& app)
{
    QStringList available;
    for (const QString& file : QDir(QStringLiteral(":/i18n")).entryList({QStringLiteral("quorvane_*.qm")})) {
        available << file.mid(9).chopped(3);
    }
    const QString language = ChooseTranslation(QLocale::system().uiLanguages(), available);
    auto* translator = new QTranslator(&app);
    const bool loaded = language.isEmpty() ? translator->load(QStringLiteral("qtbase_ru"),
                                                              QLibraryInfo::path(QLibraryInfo::TranslationsPath))
                                           : translator->load(TranslationFile(language));
    if (loaded) {
        QApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

QString ShownEngineText(const std::string& text)
{
    for (const char* message : EngineMessages) {
        if (text == message) {
            return QCoreApplication::translate("Engine", message);
        }
    }
    for (const char* start : EngineMessageStarts) {
        if (text.rfind(start, 0) == 0) {
            return QCoreApplication::translate("Engine", start) +
                   QString::fromLocal8Bit(text.substr(std::char_traits<char>::length(start)));
        }
    }
    return QString::fromLocal8Bit(text);
}
