#include "picture/LoadError.h"

namespace quorvane {

namespace {

const char* TextOf(LoadReason reason)
{
    switch (reason) {
    case LoadReason::None:
        return "";
    case LoadReason::CannotOpen:
        return "файл не открывается";
    case LoadReason::NotRegularFile:
        return "это не обычный файл";
    case LoadReason::EmptyFile:
        return "файл пуст";
    case LoadReason::ReadFailed:
        return "ошибка чтения файла";
    case LoadReason::OutOfMemory:
        return "не хватило памяти";
    case LoadReason::Cancelled:
        return "прервано";
    case LoadReason::BmpSignature:
        return "BMP: нет подписи BM";
    case LoadReason::BmpHeaderCut:
        return "BMP: заголовок обрезан";
    case LoadReason::BmpHeaderKind:
        return "BMP: неизвестный вид заголовка";
    case LoadReason::BmpPlanes:
        return "BMP: число плоскостей не 1";
    case LoadReason::BmpBitCount:
        return "BMP: неподдерживаемое число бит на пиксель";
    case LoadReason::BmpCompression:
        return "BMP: неподдерживаемое сжатие";
    case LoadReason::BmpBitMasks:
        return "BMP: битовые маски за концом файла";
    case LoadReason::BmpColorTable:
        return "BMP: неверная таблица цветов";
    case LoadReason::PictureSize:
        return "недопустимый размер изображения";
    case LoadReason::JpegNotJpeg:
        return "JPEG: это не JPEG-файл";
    case LoadReason::JpegHeader:
        return "JPEG: повреждён заголовок";
    case LoadReason::JpegTables:
        return "JPEG: повреждены таблицы сжатия";
    case LoadReason::JpegNoImage:
        return "JPEG: файл обрывается до данных изображения";
    case LoadReason::JpegTablesOnly:
        return "JPEG: в файле нет изображения";
    case LoadReason::JpegScans:
        return "JPEG: слишком много сканов";
    case LoadReason::JpegProcess:
        return "JPEG: неподдерживаемый вид сжатия";
    case LoadReason::JpegColorSpace:
        return "JPEG: неподдерживаемое цветовое пространство";
    case LoadReason::JpegError:
        return "JPEG: ошибка декодирования";
    }
    return ""; // only a value outside the enumeration gets here
}

} // namespace

std::string SizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + "×" + std::to_string(height);
}

std::string LoadError::Text() const
{
    const std::string text = TextOf(Reason);
    return Detail.empty() || Reason == LoadReason::None ? text : text + ": " + Detail;
}

} // namespace quorvane
