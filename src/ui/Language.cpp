#include "ui/Language.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QTranslator>

#include <string>

using namespace quorvane;

namespace {

QString TranslationFile(const QString& language)
{
    return QStringLiteral(":/i18n/quorvane_%1.qm").arg(language);
}

// Windows-1251 bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F, and 0x98 is unassigned.
constexpr char16_t Cp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

} // namespace

QString DecodeFileText(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) {
        return text;
    }
    text.clear();
    for (const unsigned char byte : bytes) {
        text += QChar(byte < 0x80   ? char16_t(byte)
                      : byte < 0xC0 ? Cp1251High[byte - 0x80]
                                    : char16_t(0x0410 + byte - 0xC0));
    }
    return text;
}

QString OneLine(const std::string& bytes)
{
    QString line;
    for (const QChar c : DecodeFileText(bytes)) {
        const char16_t code = c.unicode();
        if (code == u'\n') {
            line += QLatin1String("\\n");
        } else if (code == u'\r') {
            line += QLatin1String("\\r");
        } else if (code == u'\t') {
            line += QLatin1String("\\t");
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            line += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        } else if (code == 0x2028 || code == 0x2029) {
            line += QStringLiteral("\\u%1").arg(int(code), 4, 16);
        } else {
            line += c;
        }
    }
    return line;
}

QString ChooseTranslation(const QStringList& preferred, const QStringList& available)
{
    for (const QString& entry : preferred) {
        // Readers of these languages read Russian, as the command line decides.
        if (ReadsRussian(entry.toStdString())) {
            return {};
        }
        const QString language = entry.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (available.contains(language)) {
            return language;
        }
    }
    // Every other language reads English.
    const QString english = QStringLiteral("en");
    return !preferred.isEmpty() && available.contains(english) ? english : QString();
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

QString ShownMessage(const Message& message)
{
    // The engine's Russian texts are the translations' source texts (context "Engine"); plain arguments (a
    // folder as typed) are inserted as they stand.
    return QString::fromUtf8(MessageText(
        message, [](MessageId id) { return QCoreApplication::translate("Engine", MessageFormat(id)).toStdString(); }));
}
