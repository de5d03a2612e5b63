#include "platform/PictureSource.h"

#include <algorithm>
#include <cstring>

std::string LoadError::Text() const
{
    std::string text;
    switch (Reason) {
    case LoadReason::None:
        return text;
    case LoadReason::CannotOpen:
        text = "файл не открывается";
        break;
    case LoadReason::NotRegularFile:
        text = "это не обычный файл";
        break;
    case LoadReason::FileTooLarge:
        text = "файл слишком велик";
        break;
    case LoadReason::ReadFailed:
        text = "ошибка чтения файла";
        break;
    case LoadReason::OutOfMemory:
        text = "не хватило памяти";
        break;
    case LoadReason::Cancelled:
        text = "прервано";
        break;
    case LoadReason::BmpSignature:
        text = "BMP: нет подписи BM";
        break;
    case LoadReason::BmpHeaderCut:
        text = "BMP: заголовок обрезан";
        break;
    case LoadReason::BmpHeaderKind:
        text = "BMP: неизвестный вид заголовка";
        break;
    case LoadReason::BmpPlanes:
        text = "BMP: число плоскостей не 1";
        break;
    case LoadReason::BmpBitCount:
        text = "BMP: неподдерживаемое число бит на пиксель";
        break;
    case LoadReason::BmpCompression:
        text = "BMP: неподдерживаемое сжатие";
        break;
    case LoadReason::BmpBitMasks:
        text = "BMP: битовые маски за концом файла";
        break;
    case LoadReason::BmpColorTable:
        text = "BMP: неверная таблица цветов";
        break;
    case LoadReason::PictureSize:
        text = "недопустимый размер изображения";
        break;
    case LoadReason::JpegError:
        text = "JPEG";
        break;
    case LoadReason::JpegScans:
        text = "JPEG: слишком много сканов";
        break;
    case LoadReason::JpegNoImage:
        text = "JPEG: файл обрывается до данных изображения";
        break;
    case LoadReason::JpegProcess:
        text = "JPEG: неподдерживаемый вид сжатия";
        break;
    case LoadReason::JpegColorSpace:
        text = "JPEG: неподдерживаемое цветовое пространство";
        break;
    }
    return Detail.empty() ? text : text + ": " + Detail;
}

int64_t MemoryReader::ReadAt(uint64_t offset, uint8_t* to, size_t count)
{
    if (offset >= size_) {
        return 0;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    std::memcpy(to, data_ + offset, n);
    return static_cast<int64_t>(n);
}
