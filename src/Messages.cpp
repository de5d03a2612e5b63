#include "Messages.h"

namespace quorvane {

// Marks a text for the translation tool (lupdate), which reads it from this file into the window's
// translations under the context "Engine"; here it is the text itself.
#define QT_TRANSLATE_NOOP(context, text) text

const char* MessageFormat(MessageId id)
{
    switch (id) {
    case MessageId::PhoneFileCannotOpen:
        return QT_TRANSLATE_NOOP("Engine", "Ошибка открытия файла: phone.ini");
    case MessageId::PhoneFileMalformed:
        return QT_TRANSLATE_NOOP("Engine", "В файле phone.ini была допущена ошибка, инструкция в ReadMe.txt");
    case MessageId::NoSource:
        return QT_TRANSLATE_NOOP("Engine", "Не указан источник");
    case MessageId::NoReceiver:
        return QT_TRANSLATE_NOOP("Engine", "Не указан приёмник");
    case MessageId::NoWidth:
        return QT_TRANSLATE_NOOP("Engine", "Не указана ширина");
    case MessageId::NoHeight:
        return QT_TRANSLATE_NOOP("Engine", "Не указана высота");
    case MessageId::StartNumberNotDigits:
        return QT_TRANSLATE_NOOP("Engine", "Счётчик должен состоять из цифр");
    case MessageId::TargetSizeOutOfRange:
        return QT_TRANSLATE_NOOP(
            "Engine", "Недопустимый размер: %1 (ширина и высота от 1 до 65500, не более 268435456 пикселей)");
    case MessageId::CheckFolder:
        return QT_TRANSLATE_NOOP("Engine", "Проверьте директорию: %1");
    case MessageId::ReceiverBusy:
        return QT_TRANSLATE_NOOP("Engine", "В папку-приёмник уже пишет другой запуск: %1");
    case MessageId::NoErrors:
        return QT_TRANSLATE_NOOP("Engine", "Выполнено без ошибок");
    case MessageId::Interrupted:
        return QT_TRANSLATE_NOOP("Engine", "Прервано: остальные файлы не обработаны");
    }
    return "";
}

std::string MessageText(const Message& message)
{
    std::string text = MessageFormat(message.Id);
    if (const size_t at = text.find("%1"); at != std::string::npos) {
        text.replace(at, 2, message.Argument);
    }
    return text;
}

} // namespace quorvane
