#include "platform/PictureSource.h"

#include <algorithm>
#include <cstring>
#include <iterator>

std::string LoadError::Text() const
{
    // One text per LoadReason, in the order of the enumeration.
    static constexpr const char* Texts[] = {
        "",
        "файл не открывается",
        "это не обычный файл",
        "файл слишком велик",
        "ошибка чтения файла",
        "не хватило памяти",
        "прервано",
        "BMP: нет подписи BM",
        "BMP: заголовок обрезан",
        "BMP: неизвестный вид заголовка",
        "BMP: число плоскостей не 1",
        "BMP: неподдерживаемое число бит на пиксель",
        "BMP: неподдерживаемое сжатие",
        "BMP: битовые маски за концом файла",
        "BMP: неверная таблица цветов",
        "недопустимый размер изображения",
        "JPEG",
        "JPEG: слишком много сканов",
        "JPEG: файл обрывается до данных изображения",
        "JPEG: неподдерживаемый вид сжатия",
        "JPEG: неподдерживаемое цветовое пространство",
    };
    static_assert(std::size(Texts) == static_cast<size_t>(LoadReason::JpegColorSpace) + 1);
    const std::string text = Texts[static_cast<size_t>(Reason)];
    return Detail.empty() || Reason == LoadReason::None ? text : text + ": " + Detail;
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
