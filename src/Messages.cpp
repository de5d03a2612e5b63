#include "Messages.h"

#include <cctype>

namespace quorvane {

namespace {

// Marks a text for the translation tool (lupdate), which reads it from this file into the window's
// translations under the context "Engine"; here it is the text itself.
#define QT_TRANSLATE_NOOP(context, text) text

struct Texts {
    const char* Russian;
    const char* English;
};

Texts TextsOf(MessageId id)
{
    switch (id) {
    case MessageId::Plain:
        return {"", ""};
    case MessageId::Joined:
        return {"%1: %2", "%1: %2"};

    case MessageId::PhoneFileCannotOpen:
        return {QT_TRANSLATE_NOOP("Engine", "Ошибка открытия файла: phone.ini"), "Error opening file: phone.ini"};
    case MessageId::PhoneFileMalformed:
        return {QT_TRANSLATE_NOOP("Engine", "В файле phone.ini была допущена ошибка, инструкция в ReadMe.txt"),
                "The file phone.ini contains an error, see ReadMe.txt for instructions"};
    case MessageId::NoSource:
        return {QT_TRANSLATE_NOOP("Engine", "Не указан источник"), "No source given"};
    case MessageId::NoReceiver:
        return {QT_TRANSLATE_NOOP("Engine", "Не указан приёмник"), "No receiver given"};
    case MessageId::NoWidth:
        return {QT_TRANSLATE_NOOP("Engine", "Не указана ширина"), "No width given"};
    case MessageId::NoHeight:
        return {QT_TRANSLATE_NOOP("Engine", "Не указана высота"), "No height given"};
    case MessageId::StartNumberNotDigits:
        return {QT_TRANSLATE_NOOP("Engine", "Счётчик должен состоять из цифр"), "The counter must consist of digits"};
    case MessageId::TargetSizeOutOfRange:
        return {
            QT_TRANSLATE_NOOP("Engine", "Недопустимый размер: %1 (ширина и высота от 1 до %2, не более %3 пикселей)"),
            "Invalid size: %1 (width and height from 1 to %2, at most %3 pixels)"};
    case MessageId::CheckFolder:
        return {QT_TRANSLATE_NOOP("Engine", "Проверьте директорию: %1"), "Check the folder: %1"};
    case MessageId::ReceiverBusy:
        return {QT_TRANSLATE_NOOP("Engine", "В папку-приёмник уже пишет другой запуск: %1"),
                "Another run is writing into the receiver folder: %1"};
    case MessageId::UnexpectedError:
        return {QT_TRANSLATE_NOOP("Engine", "Непредвиденная ошибка"), "Unexpected error"};

    case MessageId::ReportTotal:
        return {QT_TRANSLATE_NOOP("Engine", "Всего файлов(jpg, bmp):"), "Total files (jpg, bmp):"};
    case MessageId::ReportTotalOf:
        return {QT_TRANSLATE_NOOP("Engine", "Всего файлов(%1):"), "Total files (%1):"};
    case MessageId::ReportProcessed:
        return {QT_TRANSLATE_NOOP("Engine", "Обработано:"), "Processed:"};
    case MessageId::ReportSkipped:
        return {QT_TRANSLATE_NOOP("Engine", "Пропущено из-за ошибок:"), "Skipped for errors:"};
    case MessageId::ReportOpenReceiver:
        return {QT_TRANSLATE_NOOP("Engine", "Открыть папку"), "Open folder"};
    case MessageId::ReportOpenReceiverName:
        return {QT_TRANSLATE_NOOP("Engine", "Открыть папку с обоями"), "Open the folder of the wallpapers"};
    case MessageId::ReportSkippedFiles:
        return {QT_TRANSLATE_NOOP("Engine", "Пропущенные файлы"), "Skipped files"};
    case MessageId::NoErrors:
        return {QT_TRANSLATE_NOOP("Engine", "Выполнено без ошибок"), "Done without errors"};
    case MessageId::Interrupted:
        return {QT_TRANSLATE_NOOP("Engine", "Прервано: не обработано файлов: %1"),
                "Interrupted: files not converted: %1"};

    case MessageId::LoadCannotOpen:
        return {QT_TRANSLATE_NOOP("Engine", "файл не открывается"), "the file cannot be opened"};
    case MessageId::LoadNotRegularFile:
        return {QT_TRANSLATE_NOOP("Engine", "это не обычный файл"), "not a regular file"};
    case MessageId::LoadEmptyFile:
        return {QT_TRANSLATE_NOOP("Engine", "файл пуст"), "the file is empty"};
    case MessageId::LoadReadFailed:
        return {QT_TRANSLATE_NOOP("Engine", "ошибка чтения файла"), "the file could not be read"};
    case MessageId::LoadOutOfMemory:
        return {QT_TRANSLATE_NOOP("Engine", "не хватило памяти"), "not enough memory"};
    case MessageId::LoadCancelled:
        return {QT_TRANSLATE_NOOP("Engine", "прервано"), "interrupted"};
    case MessageId::BmpSignature:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: нет подписи BM"), "BMP: no BM signature"};
    case MessageId::BmpHeaderCut:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: заголовок обрезан"), "BMP: the header is cut short"};
    case MessageId::BmpHeaderKind:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: неизвестный вид заголовка"), "BMP: unknown kind of header"};
    case MessageId::BmpPlanes:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: число плоскостей не 1"), "BMP: the number of planes is not 1"};
    case MessageId::BmpBitCount:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: неподдерживаемое число бит на пиксель"),
                "BMP: unsupported number of bits per pixel"};
    case MessageId::BmpCompression:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: неподдерживаемое сжатие"), "BMP: unsupported compression"};
    case MessageId::BmpBitMasks:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: битовые маски за концом файла"),
                "BMP: the bit masks lie past the end of the file"};
    case MessageId::BmpColorTable:
        return {QT_TRANSLATE_NOOP("Engine", "BMP: неверная таблица цветов"), "BMP: invalid colour table"};
    case MessageId::LoadPictureSize:
        return {QT_TRANSLATE_NOOP("Engine", "недопустимый размер изображения"), "invalid picture size"};
    case MessageId::JpegNotJpeg:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: это не JPEG-файл"), "JPEG: not a JPEG file"};
    case MessageId::JpegHeader:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: повреждён заголовок"), "JPEG: the header is damaged"};
    case MessageId::JpegTables:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: повреждены таблицы сжатия"),
                "JPEG: the compression tables are damaged"};
    case MessageId::JpegNoImage:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: файл обрывается до данных изображения"),
                "JPEG: the file ends before its image data"};
    case MessageId::JpegTablesOnly:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: в файле нет изображения"), "JPEG: the file holds no picture"};
    case MessageId::JpegScans:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: слишком много сканов"), "JPEG: too many scans"};
    case MessageId::JpegProcess:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: неподдерживаемый вид сжатия"),
                "JPEG: unsupported kind of compression"};
    case MessageId::JpegColorSpace:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: неподдерживаемое цветовое пространство"),
                "JPEG: unsupported colour space"};
    case MessageId::JpegError:
        return {QT_TRANSLATE_NOOP("Engine", "JPEG: ошибка декодирования"), "JPEG: decoding error"};
    case MessageId::HeifNotHeif:
        return {QT_TRANSLATE_NOOP("Engine", "HEIF/AVIF: это не файл HEIC, HEIF или AVIF"),
                "HEIF/AVIF: not a HEIC, HEIF or AVIF file"};
    case MessageId::HeifDamaged:
        return {QT_TRANSLATE_NOOP("Engine", "HEIF/AVIF: файл повреждён"), "HEIF/AVIF: the file is damaged"};
    case MessageId::HeifCutShort:
        return {QT_TRANSLATE_NOOP("Engine", "HEIF/AVIF: файл обрезан"), "HEIF/AVIF: the file is cut short"};
    case MessageId::HeifCodec:
        return {QT_TRANSLATE_NOOP("Engine", "HEIF/AVIF: неподдерживаемый вид сжатия"),
                "HEIF/AVIF: unsupported kind of compression"};
    case MessageId::HeifNoImage:
        return {QT_TRANSLATE_NOOP("Engine", "HEIF/AVIF: в файле нет изображения"),
                "HEIF/AVIF: the file holds no picture"};
    case MessageId::WebpNotWebp:
        return {QT_TRANSLATE_NOOP("Engine", "WebP: это не файл WebP"), "WebP: not a WebP file"};
    case MessageId::WebpDamaged:
        return {QT_TRANSLATE_NOOP("Engine", "WebP: файл повреждён"), "WebP: the file is damaged"};
    case MessageId::WebpCutShort:
        return {QT_TRANSLATE_NOOP("Engine", "WebP: файл обрезан"), "WebP: the file is cut short"};
    case MessageId::WebpUnsupported:
        return {QT_TRANSLATE_NOOP("Engine", "WebP: неподдерживаемая разновидность формата"),
                "WebP: unsupported variant of the format"};
    case MessageId::PngNotPng:
        return {QT_TRANSLATE_NOOP("Engine", "PNG: это не файл PNG"), "PNG: not a PNG file"};
    case MessageId::PngDamaged:
        return {QT_TRANSLATE_NOOP("Engine", "PNG: файл повреждён"), "PNG: the file is damaged"};
    case MessageId::PngCutShort:
        return {QT_TRANSLATE_NOOP("Engine", "PNG: файл обрезан"), "PNG: the file is cut short"};
    case MessageId::LoadBitDepth:
        return {QT_TRANSLATE_NOOP("Engine", "неподдерживаемая глубина цвета"), "unsupported bit depth"};
    case MessageId::JpegDamagedData:
        return {QT_TRANSLATE_NOOP("Engine", "повреждённые данные"), "damaged data"};
    case MessageId::FileLargerThan:
        return {QT_TRANSLATE_NOOP("Engine", "файл больше %1 МиБ"), "the file is larger than %1 MiB"};
    case MessageId::BitsPerSample:
        return {QT_TRANSLATE_NOOP("Engine", "%1 бит на отсчёт"), "%1 bits per sample"};
    case MessageId::JpegCutShort:
        return {QT_TRANSLATE_NOOP("Engine",
                                  "JPEG: файл обрывается внутри данных изображения, недостающая часть залита серым"),
                "JPEG: the file ends inside its image data, the missing part is filled with grey"};
    case MessageId::ColourProfileDamaged:
        return {QT_TRANSLATE_NOOP("Engine", "цветовой профиль повреждён, цвета взяты без преобразования"),
                "the colour profile is damaged, the colours are taken unconverted"};
    case MessageId::ColourProfileRefused:
        return {QT_TRANSLATE_NOOP("Engine", "цветовой профиль не принят (%1), цвета взяты без преобразования"),
                "the colour profile was refused (%1), the colours are taken unconverted"};
    case MessageId::ColourNotForPictures:
        return {QT_TRANSLATE_NOOP("Engine", "профиль не описывает снимок"), "the profile does not describe a picture"};
    case MessageId::ColourOtherSpace:
        return {QT_TRANSLATE_NOOP("Engine", "профиль другого цветового пространства"),
                "the profile is of another colour space"};
    case MessageId::ColourUnreadable:
        return {QT_TRANSLATE_NOOP("Engine", "не читается"), "unreadable"};

    case MessageId::FaultNoReadPermission:
        return {QT_TRANSLATE_NOOP("Engine", "нет прав на чтение"), "no permission to read"};
    case MessageId::FaultNoSuchFile:
        return {QT_TRANSLATE_NOOP("Engine", "файла нет (или ссылка никуда не ведёт)"),
                "no such file (or the link leads nowhere)"};
    case MessageId::FaultLinkLoop:
        return {QT_TRANSLATE_NOOP("Engine", "петля символьных ссылок"), "a loop of symbolic links"};
    case MessageId::FaultPathTooLong:
        return {QT_TRANSLATE_NOOP("Engine", "слишком длинный путь"), "the path is too long"};
    case MessageId::FaultTooManyOpenFiles:
        return {QT_TRANSLATE_NOOP("Engine", "открыто слишком много файлов"), "too many files are open"};
    case MessageId::FaultInputOutput:
        return {QT_TRANSLATE_NOOP("Engine", "ошибка ввода-вывода"), "input/output error"};
    case MessageId::FaultFileBusy:
        return {QT_TRANSLATE_NOOP("Engine", "файл занят другой программой"), "the file is in use by another program"};
    case MessageId::FaultOpenCode:
        return {QT_TRANSLATE_NOOP("Engine", "код ошибки %1"), "error code %1"};
    case MessageId::FaultDiskFull:
        return {QT_TRANSLATE_NOOP("Engine", "нет места на устройстве"), "no space left on the device"};
    case MessageId::FaultQuotaExceeded:
        return {QT_TRANSLATE_NOOP("Engine", "превышена дисковая квота"), "disk quota exceeded"};
    case MessageId::FaultNoWritePermission:
        return {QT_TRANSLATE_NOOP("Engine", "нет прав на запись"), "no permission to write"};
    case MessageId::FaultReadOnlyMedium:
        return {QT_TRANSLATE_NOOP("Engine", "носитель только для чтения"), "the medium is read-only"};
    case MessageId::FaultFolderMissing:
        return {QT_TRANSLATE_NOOP("Engine", "папка не существует"), "the folder does not exist"};
    case MessageId::FaultNotIntoFolder:
        return {QT_TRANSLATE_NOOP("Engine", "путь ведёт не в папку"), "the path does not lead into a folder"};
    case MessageId::FaultFolderInPlace:
        return {QT_TRANSLATE_NOOP("Engine", "на месте файла папка"), "a folder stands in the file's place"};
    case MessageId::FaultNameTooLong:
        return {QT_TRANSLATE_NOOP("Engine", "слишком длинное имя"), "the name is too long"};
    case MessageId::FaultWriteCode:
        return {QT_TRANSLATE_NOOP("Engine", "ошибка записи (код %1)"), "write error (code %1)"};
    case MessageId::FaultFolderNoReadPermission:
        return {QT_TRANSLATE_NOOP("Engine", "нет прав на чтение папки"), "no permission to read the folder"};
    case MessageId::FaultNoSuchFolder:
        return {QT_TRANSLATE_NOOP("Engine", "папки нет"), "no such folder"};
    case MessageId::FaultNotAFolder:
        return {QT_TRANSLATE_NOOP("Engine", "это не папка"), "not a folder"};
    case MessageId::FaultFolderCode:
        return {QT_TRANSLATE_NOOP("Engine", "папка не читается (код %1)"), "the folder cannot be read (code %1)"};

    case MessageId::OwnOutputNotRead:
        return {QT_TRANSLATE_NOOP("Engine", "записан этим запуском, не читается"),
                "written by this run, not read back"};
    case MessageId::EncodeFailed:
        return {QT_TRANSLATE_NOOP("Engine", "не удалось сжать в JPEG"), "could not be encoded as JPEG"};
    case MessageId::UnreadPhotoInPlace:
        return {QT_TRANSLATE_NOOP("Engine", "на этом месте исходный снимок, ещё не прочитанный"),
                "a source photo not read yet stands in its place"};
    case MessageId::NotWritten:
        return {QT_TRANSLATE_NOOP("Engine", "не записан: %1"), "not written: %1"};
    case MessageId::FolderHiddenNotEntered:
        return {QT_TRANSLATE_NOOP("Engine", "скрытая папка, не просматривается"), "a hidden folder, not entered"};
    case MessageId::FolderLinkNotEntered:
        return {QT_TRANSLATE_NOOP("Engine", "ссылка на папку, не просматривается"), "a link to a folder, not entered"};

    case MessageId::ChooseFolderPrompt:
        return {QT_TRANSLATE_NOOP("Engine", "Выберите каталог:"), "Choose a folder:"};
    case MessageId::StepUp:
        return {QT_TRANSLATE_NOOP("Engine", "Увеличить"), "Up"};
    case MessageId::CropCentre:
        return {QT_TRANSLATE_NOOP("Engine", "по центру"), "centre"};
    case MessageId::CropStart:
        return {QT_TRANSLATE_NOOP("Engine", "в начале"), "start"};
    case MessageId::CropEnd:
        return {QT_TRANSLATE_NOOP("Engine", "в конце"), "end"};
    case MessageId::CropSmart:
        return {QT_TRANSLATE_NOOP("Engine", "умный"), "smart"};
    case MessageId::CropSmartTip:
        return {QT_TRANSLATE_NOOP("Engine", "Там, где на снимке главное"), "Where the picture's subject is"};
    case MessageId::CropStartTip:
        return {QT_TRANSLATE_NOOP("Engine", "Слева или сверху"), "Left or top"};
    case MessageId::CropEndTip:
        return {QT_TRANSLATE_NOOP("Engine", "Справа или снизу"), "Right or bottom"};
    case MessageId::StepDown:
        return {QT_TRANSLATE_NOOP("Engine", "Уменьшить"), "Down"};

    case MessageId::PreviewTitle:
        return {QT_TRANSLATE_NOOP("Engine", "Кадры снимков"), "Crops of the pictures"};
    case MessageId::PreviewPictures:
        return {QT_TRANSLATE_NOOP("Engine", "Снимки и их кадры"), "Pictures and their crops"};
    case MessageId::PreviewHint:
        return {QT_TRANSLATE_NOOP("Engine", "Светлая часть снимка станет обоями. Перетащите её или двигайте "
                                            "стрелками ← и →; двойной щелчок или Backspace возвращает её на место."),
                "The light part of each picture becomes the wallpaper. Drag it or move it with the ← and → keys; "
                "a double click or Backspace puts it back."};
    case MessageId::PreviewStatus:
        return {QT_TRANSLATE_NOOP("Engine", "Снимков: %1, показано: %2"), "Pictures: %1, shown: %2"};
    case MessageId::PreviewStretched:
        return {QT_TRANSLATE_NOOP("Engine", "растягивается"), "stretched"};
    case MessageId::PreviewMoved:
        return {QT_TRANSLATE_NOOP("Engine", "%1, сдвинут"), "%1, moved"};
    case MessageId::PreviewSave:
        return {QT_TRANSLATE_NOOP("Engine", "Сохранить…"), "Save…"};
    case MessageId::PreviewClose:
        return {QT_TRANSLATE_NOOP("Engine", "Закрыть"), "Close"};
    case MessageId::PreviewSaveTitle:
        return {QT_TRANSLATE_NOOP("Engine", "Сохранить положения кадров"), "Save the crop positions"};
    case MessageId::PreviewSaveFailed:
        return {QT_TRANSLATE_NOOP("Engine", "Не удалось записать %1"), "Could not write %1"};

    case MessageId::AppUsage:
        return {QT_TRANSLATE_NOOP(
                    "Engine",
                    "Запуск: quorvane [--user-folder] [ПАПКА]\n"
                    "\n"
                    "Превращает папку фотографий в обои для мобильных телефонов (окно рабочего стола).\n"
                    "ПАПКА, если задана, ставится в поле исходной папки (для файла — папка, в которой он лежит).\n"
                    "\n"
                    "  --user-folder   работать в $XDG_DATA_HOME/quorvane (по умолчанию ~/.local/share/quorvane;\n"
                    "                  в Windows %APPDATA%\\Quorvane), созданной при первом запуске, с примером\n"
                    "                  каталога телефонов, скопированным туда, если в ней нет phone.ini; без\n"
                    "                  этого параметра программа работает в текущей папке\n"
                    "  --version       показать версию и выйти\n"
                    "  --help          показать этот текст и выйти\n"
                    "\n"
                    "В папке лежат phone.ini (каталог телефонов), source.ini и receiver.ini (использованные\n"
                    "папки) и quorvane.ini (папки, показанные при закрытии). Принимаются и параметры Qt.\n"),
                "Usage: quorvane [--user-folder] [FOLDER]\n"
                "\n"
                "Turns a folder of photographs into wallpapers for mobile phones (a desktop window).\n"
                "FOLDER, when given, is put into the source box (for a file, the folder that holds it).\n"
                "\n"
                "  --user-folder   work in $XDG_DATA_HOME/quorvane (by default ~/.local/share/quorvane;\n"
                "                  on Windows %APPDATA%\\Quorvane), created on first use, with the example\n"
                "                  phone catalogue copied there when it has no phone.ini; without it the\n"
                "                  tool works in the current folder\n"
                "  --version       print the version and exit\n"
                "  --help          show this text and exit\n"
                "\n"
                "The folder holds phone.ini (the phone catalogue), source.ini and receiver.ini (the folders\n"
                "used) and quorvane.ini (the folders shown at closing). Qt's own options are accepted too.\n"};
    case MessageId::AppNoDisplay:
        return {QT_TRANSLATE_NOOP("Engine",
                                  "не найден графический дисплей (DISPLAY и WAYLAND_DISPLAY не называют "
                                  "отвечающего); запустите программу из сеанса рабочего стола или используйте "
                                  "quorvane-cli"),
                "no graphical display found (DISPLAY and WAYLAND_DISPLAY name none that answers); start it from a "
                "desktop session, or use quorvane-cli"};
    case MessageId::AppUnknownOption:
        return {QT_TRANSLATE_NOOP("Engine", "неизвестный параметр %1\nСм. 'quorvane --help'."),
                "unknown option %1\nTry 'quorvane --help'."};
    case MessageId::AppUserFolderRefused:
        return {QT_TRANSLATE_NOOP("Engine", "не удаётся работать в %1 (%2); работа в текущей папке"),
                "cannot use %1 (%2); working in the current folder"};
    case MessageId::CliUsage:
        return {QT_TRANSLATE_NOOP(
                    "Engine",
                    "Запуск: quorvane-cli --source ТЕКСТ --receiver ТЕКСТ --width ТЕКСТ --height ТЕКСТ\n"
                    "                     [--quality ТЕКСТ] [--prefix ТЕКСТ] [--digits ТЕКСТ] [--start ТЕКСТ]\n"
                    "                     [--no-subfolders] [--formats СПИСОК | --all-formats]\n"
                    "                     [--crop ПОЛОЖЕНИЕ] [--crop-file ФАЙЛ] [--list-crops]\n"
                    "                     [--jobs N] [--memory МИБ] [--verbose]\n"
                    "\n"
                    "Переводит каждый снимок JPEG и BMP (по выбору и HEIC, AVIF, WebP, PNG) из папки-\n"
                    "источника в JPEG размером ровно ширина x высота пикселей в папке-приёмнике,\n"
                    "с именем префикс + номер + \".jpg\".\n"
                    "Каждое значение берётся так же, как тот же текст, набранный в поле окна.\n"
                    "\n"
                    "  --source ТЕКСТ      папка-источник\n"
                    "  --receiver ТЕКСТ    папка-приёмник\n"
                    "  --width ТЕКСТ       ширина в пикселях\n"
                    "  --height ТЕКСТ      высота в пикселях\n"
                    "  --quality ТЕКСТ     качество JPEG 0..100 (по умолчанию 60)\n"
                    "  --prefix ТЕКСТ      начало имени файла (по умолчанию img)\n"
                    "  --digits ТЕКСТ      цифр в номере файла, 1..8 (по умолчанию 4)\n"
                    "  --start ТЕКСТ       номер первого файла\n"
                    "  --no-subfolders     без вложенных папок\n"
                    "  --formats СПИСОК    какие снимки брать, через запятую из jpeg, bmp, heic (и heif,\n"
                    "                      hif), avif, webp, png (по умолчанию jpeg,bmp)\n"
                    "  --all-formats       брать снимки всех этих форматов\n"
                    "  --crop ПОЛОЖЕНИЕ    где оставить кадр на обрезаемой стороне: centre (посередине,\n"
                    "                      по умолчанию), start (слева или сверху), end (справа или\n"
                    "                      снизу), smart (по содержимому снимка) или число от 0 до 1\n"
                    "  --crop-file ФАЙЛ    положения отдельных снимков: в каждой строке положение,\n"
                    "                      пробел и путь к снимку так, как его пишет отчёт\n"
                    "  --list-crops        показать, какую часть каждого снимка оставит запуск, ничего\n"
                    "                      не записывая (строки годятся для --crop-file)\n"
                    "  --jobs N            сколько снимков готовить сразу (по умолчанию по одному на\n"
                    "                      ядро, не меньше 2)\n"
                    "  --memory МИБ        память для снимков сразу, в МиБ (по умолчанию 160 на\n"
                    "                      задание, не меньше 128, не больше восьмой части памяти машины)\n"
                    "  --verbose           называть в потоке ошибок каждый пропущенный файл с причиной\n"
                    "                      и каждую папку, в которую запуск не заходит\n"
                    "  --version           показать версию\n"
                    "  --help              показать этот текст\n"
                    "\n"
                    "Пример: quorvane-cli --source %1 --receiver %2 --width 1080 --height 2400\n"),
                "Usage: quorvane-cli --source TEXT --receiver TEXT --width TEXT --height TEXT\n"
                "                    [--quality TEXT] [--prefix TEXT] [--digits TEXT] [--start TEXT]\n"
                "                    [--no-subfolders] [--formats LIST | --all-formats]\n"
                "                    [--crop POSITION] [--crop-file FILE] [--list-crops]\n"
                "                    [--jobs N] [--memory MIB] [--verbose]\n"
                "\n"
                "Converts every JPEG and BMP picture (and, if asked, HEIC, AVIF, WebP, PNG) under the\n"
                "source folder into a JPEG of exactly width x height pixels in the receiver folder,\n"
                "named prefix + number + \".jpg\".\n"
                "Each value is taken as the same text typed into the window's box would be.\n"
                "\n"
                "  --source TEXT       source folder\n"
                "  --receiver TEXT     receiver folder\n"
                "  --width TEXT        target width in pixels\n"
                "  --height TEXT       target height in pixels\n"
                "  --quality TEXT      JPEG quality 0..100 (default 60)\n"
                "  --prefix TEXT       file name prefix (default img)\n"
                "  --digits TEXT       digits of the file number, 1..8 (default 4)\n"
                "  --start TEXT        number of the first file\n"
                "  --no-subfolders     do not include subfolders\n"
                "  --formats LIST      which pictures to take, separated by commas, from jpeg, bmp,\n"
                "                      heic (with heif, hif), avif, webp, png (default jpeg,bmp)\n"
                "  --all-formats       take pictures of all these formats\n"
                "  --crop POSITION     where the kept part lies along the cropped side: centre\n"
                "                      (default), start (left or top), end (right or bottom), smart\n"
                "                      (chosen from each picture's content) or a number from 0 to 1\n"
                "  --crop-file FILE    positions of single pictures: on each line a position, a space\n"
                "                      and the picture's path as the report writes it\n"
                "  --list-crops        show the part of each picture a run would keep, writing\n"
                "                      nothing (the lines serve as a --crop-file)\n"
                "  --jobs N            pictures prepared at once (default: one per core, at least 2)\n"
                "  --memory MIB        memory the pictures may hold at once, in MiB (default: 160 per\n"
                "                      job, at least 128, at most an eighth of the machine's memory)\n"
                "  --verbose           name each skipped file with its reason, and each folder the run\n"
                "                      does not enter, on standard error\n"
                "  --version           show the version\n"
                "  --help              show this text\n"
                "\n"
                "Example: quorvane-cli --source %1 --receiver %2 --width 1080 --height 2400\n"};
    case MessageId::CliUnexpectedArgument:
        return {QT_TRANSLATE_NOOP("Engine", "лишний аргумент: %1"), "unexpected argument: %1"};
    case MessageId::CliTakesNoValue:
        return {QT_TRANSLATE_NOOP("Engine", "--%1 не принимает значения"), "--%1 takes no value"};
    case MessageId::CliUnknownOption:
        return {QT_TRANSLATE_NOOP("Engine", "неизвестный параметр: --%1"), "unknown option: --%1"};
    case MessageId::CliMissingValue:
        return {QT_TRANSLATE_NOOP("Engine", "нет значения для --%1"), "missing value for --%1"};
    case MessageId::CliNumberRange:
        return {QT_TRANSLATE_NOOP("Engine", "для --%1 нужно число от %2 до %3"), "--%1 needs a number from %2 to %3"};
    case MessageId::CliUnknownFormat:
        return {QT_TRANSLATE_NOOP("Engine", "неизвестный формат для --formats: %1 (известны: %2)"),
                "unknown format for --formats: %1 (known: %2)"};
    case MessageId::CliCropValue:
        return {QT_TRANSLATE_NOOP("Engine", "для --crop нужно centre, start, end, smart или число от 0 до 1"),
                "--crop needs centre, start, end, smart or a number from 0 to 1"};
    case MessageId::CliCropFileUnreadable:
        return {QT_TRANSLATE_NOOP("Engine", "файл положений не читается: %1"), "the crop file cannot be read: %1"};
    case MessageId::CliCropFileLine:
        return {QT_TRANSLATE_NOOP("Engine", "%1, строка %2: нужно положение, пробел и путь к снимку"),
                "%1, line %2: needs a position, a space and the picture's path"};
    case MessageId::CliListedPart:
        return {QT_TRANSLATE_NOOP("Engine", "# остаётся %1,%2 %3x%4 из %5x%6"), "# kept %1,%2 %3x%4 of %5x%6"};
    case MessageId::CliSourceUnreadable:
        return {QT_TRANSLATE_NOOP("Engine", "папка-источник не читается: %1: %2"),
                "the source folder cannot be read: %1: %2"};
    case MessageId::CliReportNotWritten:
        return {QT_TRANSLATE_NOOP("Engine", "отчёт не удалось записать"), "the report could not be written"};
    }
    return {"", ""}; // only a value outside the enumeration gets here
}

// Puts the arguments in place of "%1" to "%9" in one pass, so an argument holding "%2" stays as it is.
std::string Substitute(const std::string& format, const std::vector<std::string>& arguments)
{
    std::string text;
    text.reserve(format.size());
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '9') {
            const auto index = static_cast<size_t>(format[i + 1] - '1');
            if (index < arguments.size()) {
                text += arguments[index];
                ++i;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}

} // namespace

Message::Message(MessageId id, std::string argument) : Id(id), Arguments{Plain(std::move(argument))} {}

Message Message::Plain(std::string words)
{
    Message message;
    message.Words = std::move(words);
    return message;
}

Message Message::Join(Message first, Message second)
{
    return Message(MessageId::Joined, std::vector<Message>{std::move(first), std::move(second)});
}

namespace {

// "de_DE.UTF-8" and "de-DE" are "de".
std::string LanguageCode(const std::string& language)
{
    std::string code;
    for (const char c : language) {
        if (c == '-' || c == '_' || c == '.' || c == '@') {
            break;
        }
        code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return code;
}

} // namespace

bool ReadsRussian(const std::string& language)
{
    const std::string code = LanguageCode(language);
    return code == "ru" || code == "uk" || code == "be" || code == "kk" || code == "c" || code == "posix";
}

Language LanguageFor(const std::vector<std::string>& preferred)
{
    // A language with no text of its own passes the choice on to the next one preferred.
    for (const std::string& language : preferred) {
        if (ReadsRussian(language)) {
            return Language::Russian;
        }
        if (LanguageCode(language) == "en") {
            return Language::English;
        }
    }
    return preferred.empty() ? Language::Russian : Language::English;
}

const char* MessageFormat(MessageId id, Language language)
{
    const Texts texts = TextsOf(id);
    return language == Language::Russian ? texts.Russian : texts.English;
}

std::string MessageText(const Message& message, const std::function<std::string(MessageId)>& format)
{
    if (message.Id == MessageId::Plain) {
        return message.Words;
    }
    std::vector<std::string> arguments;
    arguments.reserve(message.Arguments.size());
    for (const Message& argument : message.Arguments) {
        arguments.push_back(MessageText(argument, format));
    }
    return Substitute(format(message.Id), arguments);
}

std::string MessageText(const Message& message, Language language)
{
    return MessageText(message, [language](MessageId id) { return std::string(MessageFormat(id, language)); });
}

std::string ErrorBoxText(const std::string& text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
        return text + ".";
    }
    return text;
}

} // namespace quorvane
