#include "picture/LoadError.h"

#include <cstddef>
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
