<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>Engine</name>
    <message>
        <source>Ошибка открытия файла: phone.ini</source>
        <translation>Error opening file: phone.ini</translation>
    </message>
    <message>
        <source>В файле phone.ini была допущена ошибка, инструкция в ReadMe.txt</source>
        <translation>The file phone.ini contains an error, see ReadMe.txt for instructions</translation>
    </message>
    <message>
        <source>Не указан источник</source>
        <translation>No source given</translation>
    </message>
    <message>
        <source>Не указан приёмник</source>
        <translation>No receiver given</translation>
    </message>
    <message>
        <source>Не указана ширина</source>
        <translation>No width given</translation>
    </message>
    <message>
        <source>Не указана высота</source>
        <translation>No height given</translation>
    </message>
    <message>
        <source>Счётчик должен состоять из цифр</source>
        <translation>The counter must consist of digits</translation>
    </message>
    <message>
        <source>Выполнено без ошибок</source>
        <translation>Done without errors</translation>
    </message>
    <message>
        <source>В папку-приёмник уже пишет другой запуск: %1</source>
        <translation>Another run is writing into the receiver folder: %1</translation>
    </message>
    <message>
        <source>Проверьте директорию: %1</source>
        <translation>Check the folder: %1</translation>
    </message>
    <message>
        <source>Недопустимый размер: %1 (ширина и высота от 1 до %2, не более %3 пикселей)</source>
        <translation>Invalid size: %1 (width and height from 1 to %2, at most %3 pixels)</translation>
    </message>
    <message>
        <source>Непредвиденная ошибка</source>
        <translation>Unexpected error</translation>
    </message>
    <message>
        <source>Всего файлов(jpg, bmp):</source>
        <translation>Total files (jpg, bmp):</translation>
    </message>
    <message>
        <source>Обработано:</source>
        <translation>Processed:</translation>
    </message>
    <message>
        <source>Пропущено из-за ошибок:</source>
        <translation>Skipped for errors:</translation>
    </message>
    <message>
        <source>Пропущенные файлы</source>
        <translation>Skipped files</translation>
    </message>
    <message>
        <source>Прервано: не обработано файлов: %1</source>
        <translation>Interrupted: files not converted: %1</translation>
    </message>
    <message>
        <source>файл не открывается</source>
        <translation>the file cannot be opened</translation>
    </message>
    <message>
        <source>это не обычный файл</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>файл пуст</source>
        <translation>the file is empty</translation>
    </message>
    <message>
        <source>ошибка чтения файла</source>
        <translation>the file could not be read</translation>
    </message>
    <message>
        <source>не хватило памяти</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>прервано</source>
        <translation>interrupted</translation>
    </message>
    <message>
        <source>BMP: нет подписи BM</source>
        <translation>BMP: no BM signature</translation>
    </message>
    <message>
        <source>BMP: заголовок обрезан</source>
        <translation>BMP: the header is cut short</translation>
    </message>
    <message>
        <source>BMP: неизвестный вид заголовка</source>
        <translation>BMP: unknown kind of header</translation>
    </message>
    <message>
        <source>BMP: число плоскостей не 1</source>
        <translation>BMP: the number of planes is not 1</translation>
    </message>
    <message>
        <source>BMP: неподдерживаемое число бит на пиксель</source>
        <translation>BMP: unsupported number of bits per pixel</translation>
    </message>
    <message>
        <source>BMP: неподдерживаемое сжатие</source>
        <translation>BMP: unsupported compression</translation>
    </message>
    <message>
        <source>BMP: битовые маски за концом файла</source>
        <translation>BMP: the bit masks lie past the end of the file</translation>
    </message>
    <message>
        <source>BMP: неверная таблица цветов</source>
        <translation>BMP: invalid colour table</translation>
    </message>
    <message>
        <source>недопустимый размер изображения</source>
        <translation>invalid picture size</translation>
    </message>
    <message>
        <source>JPEG: это не JPEG-файл</source>
        <translation>JPEG: not a JPEG file</translation>
    </message>
    <message>
        <source>JPEG: повреждён заголовок</source>
        <translation>JPEG: the header is damaged</translation>
    </message>
    <message>
        <source>JPEG: повреждены таблицы сжатия</source>
        <translation>JPEG: the compression tables are damaged</translation>
    </message>
    <message>
        <source>JPEG: файл обрывается до данных изображения</source>
        <translation>JPEG: the file ends before its image data</translation>
    </message>
    <message>
        <source>JPEG: в файле нет изображения</source>
        <translation>JPEG: the file holds no picture</translation>
    </message>
    <message>
        <source>JPEG: слишком много сканов</source>
        <translation>JPEG: too many scans</translation>
    </message>
    <message>
        <source>JPEG: неподдерживаемый вид сжатия</source>
        <translation>JPEG: unsupported kind of compression</translation>
    </message>
    <message>
        <source>JPEG: неподдерживаемое цветовое пространство</source>
        <translation>JPEG: unsupported colour space</translation>
    </message>
    <message>
        <source>JPEG: ошибка декодирования</source>
        <translation>JPEG: decoding error</translation>
    </message>
    <message>
        <source>повреждённые данные</source>
        <translation>damaged data</translation>
    </message>
    <message>
        <source>файл больше %1 МиБ</source>
        <translation>the file is larger than %1 MiB</translation>
    </message>
    <message>
        <source>JPEG: файл обрывается внутри данных изображения, недостающая часть залита серым</source>
        <translation>JPEG: the file ends inside its image data, the missing part is filled with grey</translation>
    </message>
    <message>
        <source>цветовой профиль повреждён, цвета взяты без преобразования</source>
        <translation>the colour profile is damaged, the colours are taken unconverted</translation>
    </message>
    <message>
        <source>цветовой профиль не принят (%1), цвета взяты без преобразования</source>
        <translation>the colour profile was refused (%1), the colours are taken unconverted</translation>
    </message>
    <message>
        <source>профиль не описывает снимок</source>
        <translation>the profile does not describe a picture</translation>
    </message>
    <message>
        <source>профиль другого цветового пространства</source>
        <translation>the profile is of another colour space</translation>
    </message>
    <message>
        <source>не читается</source>
        <translation>unreadable</translation>
    </message>
    <message>
        <source>нет прав на чтение</source>
        <translation>no permission to read</translation>
    </message>
    <message>
        <source>файла нет (или ссылка никуда не ведёт)</source>
        <translation>no such file (or the link leads nowhere)</translation>
    </message>
    <message>
        <source>петля символьных ссылок</source>
        <translation>a loop of symbolic links</translation>
    </message>
    <message>
        <source>слишком длинный путь</source>
        <translation>the path is too long</translation>
    </message>
    <message>
        <source>открыто слишком много файлов</source>
        <translation>too many files are open</translation>
    </message>
    <message>
        <source>ошибка ввода-вывода</source>
        <translation>input/output error</translation>
    </message>
    <message>
        <source>файл занят другой программой</source>
        <translation>the file is in use by another program</translation>
    </message>
    <message>
        <source>код ошибки %1</source>
        <translation>error code %1</translation>
    </message>
    <message>
        <source>нет места на устройстве</source>
        <translation>no space left on the device</translation>
    </message>
    <message>
        <source>превышена дисковая квота</source>
        <translation>disk quota exceeded</translation>
    </message>
    <message>
        <source>нет прав на запись</source>
        <translation>no permission to write</translation>
    </message>
    <message>
        <source>носитель только для чтения</source>
        <translation>the medium is read-only</translation>
    </message>
    <message>
        <source>папка не существует</source>
        <translation>the folder does not exist</translation>
    </message>
    <message>
        <source>путь ведёт не в папку</source>
        <translation>the path does not lead into a folder</translation>
    </message>
    <message>
        <source>на месте файла папка</source>
        <translation>a folder stands in the file&apos;s place</translation>
    </message>
    <message>
        <source>слишком длинное имя</source>
        <translation>the name is too long</translation>
    </message>
    <message>
        <source>ошибка записи (код %1)</source>
        <translation>write error (code %1)</translation>
    </message>
    <message>
        <source>нет прав на чтение папки</source>
        <translation>no permission to read the folder</translation>
    </message>
    <message>
        <source>папки нет</source>
        <translation>no such folder</translation>
    </message>
    <message>
        <source>это не папка</source>
        <translation>not a folder</translation>
    </message>
    <message>
        <source>папка не читается (код %1)</source>
        <translation>the folder cannot be read (code %1)</translation>
    </message>
    <message>
        <source>записан этим запуском, не читается</source>
        <translation>written by this run, not read back</translation>
    </message>
    <message>
        <source>не удалось сжать в JPEG</source>
        <translation>could not be encoded as JPEG</translation>
    </message>
    <message>
        <source>на этом месте исходный снимок, ещё не прочитанный</source>
        <translation>a source photo not read yet stands in its place</translation>
    </message>
    <message>
        <source>не записан: %1</source>
        <translation>not written: %1</translation>
    </message>
    <message>
        <source>скрытая папка, не просматривается</source>
        <translation>a hidden folder, not entered</translation>
    </message>
    <message>
        <source>ссылка на папку, не просматривается</source>
        <translation>a link to a folder, not entered</translation>
    </message>
    <message>
        <source>Выберите каталог:</source>
        <translation>Choose a folder:</translation>
    </message>
    <message>
        <source>Увеличить</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>Уменьшить</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>лишний аргумент: %1</source>
        <translation>unexpected argument: %1</translation>
    </message>
    <message>
        <source>--%1 не принимает значения</source>
        <translation>--%1 takes no value</translation>
    </message>
    <message>
        <source>неизвестный параметр: --%1</source>
        <translation>unknown option: --%1</translation>
    </message>
    <message>
        <source>нет значения для --%1</source>
        <translation>missing value for --%1</translation>
    </message>
    <message>
        <source>для --%1 нужно число от %2 до %3</source>
        <translation>--%1 needs a number from %2 to %3</translation>
    </message>
    <message>
        <source>папка-источник не читается: %1: %2</source>
        <translation>the source folder cannot be read: %1: %2</translation>
    </message>
    <message>
        <source>отчёт не удалось записать</source>
        <translation>the report could not be written</translation>
    </message>
    <message>
        <source>неизвестный параметр %1
См. &apos;quorvane --help&apos;.</source>
        <translation>unknown option %1
Try &apos;quorvane --help&apos;.</translation>
    </message>
    <message>
        <source>не удаётся работать в %1 (%2); работа в текущей папке</source>
        <translation>cannot use %1 (%2); working in the current folder</translation>
    </message>
    <message>
        <source>не найден графический дисплей (DISPLAY и WAYLAND_DISPLAY не называют отвечающего); запустите программу из сеанса рабочего стола или используйте quorvane-cli</source>
        <translation>no graphical display found (DISPLAY and WAYLAND_DISPLAY name none that answers); start it from a desktop session, or use quorvane-cli</translation>
    </message>
    <message>
        <source>Всего файлов(%1):</source>
        <translation>Total files (%1):</translation>
    </message>
    <message>
        <source>HEIF/AVIF: это не файл HEIC, HEIF или AVIF</source>
        <translation>HEIF/AVIF: not a HEIC, HEIF or AVIF file</translation>
    </message>
    <message>
        <source>HEIF/AVIF: файл повреждён</source>
        <translation>HEIF/AVIF: the file is damaged</translation>
    </message>
    <message>
        <source>HEIF/AVIF: файл обрезан</source>
        <translation>HEIF/AVIF: the file is cut short</translation>
    </message>
    <message>
        <source>HEIF/AVIF: неподдерживаемый вид сжатия</source>
        <translation>HEIF/AVIF: unsupported kind of compression</translation>
    </message>
    <message>
        <source>HEIF/AVIF: в файле нет изображения</source>
        <translation>HEIF/AVIF: the file holds no picture</translation>
    </message>
    <message>
        <source>WebP: это не файл WebP</source>
        <translation>WebP: not a WebP file</translation>
    </message>
    <message>
        <source>WebP: файл повреждён</source>
        <translation>WebP: the file is damaged</translation>
    </message>
    <message>
        <source>WebP: файл обрезан</source>
        <translation>WebP: the file is cut short</translation>
    </message>
    <message>
        <source>WebP: неподдерживаемая разновидность формата</source>
        <translation>WebP: unsupported variant of the format</translation>
    </message>
    <message>
        <source>PNG: это не файл PNG</source>
        <translation>PNG: not a PNG file</translation>
    </message>
    <message>
        <source>PNG: файл повреждён</source>
        <translation>PNG: the file is damaged</translation>
    </message>
    <message>
        <source>PNG: файл обрезан</source>
        <translation>PNG: the file is cut short</translation>
    </message>
    <message>
        <source>неподдерживаемая глубина цвета</source>
        <translation>unsupported bit depth</translation>
    </message>
    <message>
        <source>%1 бит на отсчёт</source>
        <translation>%1 bits per sample</translation>
    </message>
    <message>
        <source>неизвестный формат для --formats: %1 (известны: %2)</source>
        <translation>unknown format for --formats: %1 (known: %2)</translation>
    </message>
    <message>
        <source>файл положений не читается: %1</source>
        <translation>the crop file cannot be read: %1</translation>
    </message>
    <message>
        <source>%1, строка %2: нужно положение, пробел и путь к снимку</source>
        <translation>%1, line %2: needs a position, a space and the picture&apos;s path</translation>
    </message>
    <message>
        <source># остаётся %1,%2 %3x%4 из %5x%6</source>
        <translation># kept %1,%2 %3x%4 of %5x%6</translation>
    </message>
    <message>
        <source>по центру</source>
        <translation>centre</translation>
    </message>
    <message>
        <source>в начале</source>
        <translation>start</translation>
    </message>
    <message>
        <source>в конце</source>
        <translation>end</translation>
    </message>
    <message>
        <source>Слева или сверху</source>
        <translation>Left or top</translation>
    </message>
    <message>
        <source>Справа или снизу</source>
        <translation>Right or bottom</translation>
    </message>
    <message>
        <source>Открыть папку</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>Открыть папку с обоями</source>
        <translation>Open the folder of the wallpapers</translation>
    </message>
    <message>
        <source>умный</source>
        <translation>smart</translation>
    </message>
    <message>
        <source>Там, где на снимке главное</source>
        <translation>Where the picture&apos;s subject is</translation>
    </message>
    <message>
        <source>Запуск: quorvane [--user-folder] [ПАПКА]

Превращает папку фотографий в обои для мобильных телефонов (окно рабочего стола).
ПАПКА, если задана, ставится в поле исходной папки (для файла — папка, в которой он лежит).

  --user-folder   работать в $XDG_DATA_HOME/quorvane (по умолчанию ~/.local/share/quorvane;
                  в Windows %APPDATA%\Quorvane), созданной при первом запуске, с примером
                  каталога телефонов, скопированным туда, если в ней нет phone.ini; без
                  этого параметра программа работает в текущей папке
  --version       показать версию и выйти
  --help          показать этот текст и выйти

В папке лежат phone.ini (каталог телефонов), source.ini и receiver.ini (использованные
папки) и quorvane.ini (папки, показанные при закрытии). Принимаются и параметры Qt.
</source>
        <translation>Usage: quorvane [--user-folder] [FOLDER]

Turns a folder of photographs into wallpapers for mobile phones (a desktop window).
FOLDER, when given, is put into the source box (for a file, the folder that holds it).

  --user-folder   work in $XDG_DATA_HOME/quorvane (by default ~/.local/share/quorvane;
                  on Windows %APPDATA%\Quorvane), created on first use, with the example
                  phone catalogue copied there when it has no phone.ini; without it the
                  tool works in the current folder
  --version       print the version and exit
  --help          show this text and exit

The folder holds phone.ini (the phone catalogue), source.ini and receiver.ini (the folders
used) and quorvane.ini (the folders shown at closing). Qt&apos;s own options are accepted too.
</translation>
    </message>
    <message>
        <source>Запуск: quorvane-cli --source ТЕКСТ --receiver ТЕКСТ --width ТЕКСТ --height ТЕКСТ
                     [--quality ТЕКСТ] [--prefix ТЕКСТ] [--digits ТЕКСТ] [--start ТЕКСТ]
                     [--no-subfolders] [--formats СПИСОК | --all-formats]
                     [--crop ПОЛОЖЕНИЕ] [--crop-file ФАЙЛ] [--list-crops]
                     [--jobs N] [--memory МИБ] [--verbose]

Переводит каждый снимок JPEG и BMP (по выбору и HEIC, AVIF, WebP, PNG) из папки-
источника в JPEG размером ровно ширина x высота пикселей в папке-приёмнике,
с именем префикс + номер + &quot;.jpg&quot;.
Каждое значение берётся так же, как тот же текст, набранный в поле окна.

  --source ТЕКСТ      папка-источник
  --receiver ТЕКСТ    папка-приёмник
  --width ТЕКСТ       ширина в пикселях
  --height ТЕКСТ      высота в пикселях
  --quality ТЕКСТ     качество JPEG 0..100 (по умолчанию 60)
  --prefix ТЕКСТ      начало имени файла (по умолчанию img)
  --digits ТЕКСТ      цифр в номере файла, 1..8 (по умолчанию 4)
  --start ТЕКСТ       номер первого файла
  --no-subfolders     без вложенных папок
  --formats СПИСОК    какие снимки брать, через запятую из jpeg, bmp, heic (и heif,
                      hif), avif, webp, png (по умолчанию jpeg,bmp)
  --all-formats       брать снимки всех этих форматов
  --crop ПОЛОЖЕНИЕ    где оставить кадр на обрезаемой стороне: centre (посередине,
                      по умолчанию), start (слева или сверху), end (справа или
                      снизу), smart (по содержимому снимка) или число от 0 до 1
  --crop-file ФАЙЛ    положения отдельных снимков: в каждой строке положение,
                      пробел и путь к снимку так, как его пишет отчёт
  --list-crops        показать, какую часть каждого снимка оставит запуск, ничего
                      не записывая (строки годятся для --crop-file)
  --jobs N            сколько снимков готовить сразу (по умолчанию по одному на
                      ядро, не меньше 2)
  --memory МИБ        память для снимков сразу, в МиБ (по умолчанию 160 на
                      задание, не меньше 128, не больше восьмой части памяти машины)
  --verbose           называть в потоке ошибок каждый пропущенный файл с причиной
                      и каждую папку, в которую запуск не заходит
  --version           показать версию
  --help              показать этот текст

Пример: quorvane-cli --source %1 --receiver %2 --width 1080 --height 2400
</source>
        <translation>Usage: quorvane-cli --source TEXT --receiver TEXT --width TEXT --height TEXT
                    [--quality TEXT] [--prefix TEXT] [--digits TEXT] [--start TEXT]
                    [--no-subfolders] [--formats LIST | --all-formats]
                    [--crop POSITION] [--crop-file FILE] [--list-crops]
                    [--jobs N] [--memory MIB] [--verbose]

Converts every JPEG and BMP picture (and, if asked, HEIC, AVIF, WebP, PNG) under the
source folder into a JPEG of exactly width x height pixels in the receiver folder,
named prefix + number + &quot;.jpg&quot;.
Each value is taken as the same text typed into the window&apos;s box would be.

  --source TEXT       source folder
  --receiver TEXT     receiver folder
  --width TEXT        target width in pixels
  --height TEXT       target height in pixels
  --quality TEXT      JPEG quality 0..100 (default 60)
  --prefix TEXT       file name prefix (default img)
  --digits TEXT       digits of the file number, 1..8 (default 4)
  --start TEXT        number of the first file
  --no-subfolders     do not include subfolders
  --formats LIST      which pictures to take, separated by commas, from jpeg, bmp,
                      heic (with heif, hif), avif, webp, png (default jpeg,bmp)
  --all-formats       take pictures of all these formats
  --crop POSITION     where the kept part lies along the cropped side: centre
                      (default), start (left or top), end (right or bottom), smart
                      (chosen from each picture&apos;s content) or a number from 0 to 1
  --crop-file FILE    positions of single pictures: on each line a position, a space
                      and the picture&apos;s path as the report writes it
  --list-crops        show the part of each picture a run would keep, writing
                      nothing (the lines serve as a --crop-file)
  --jobs N            pictures prepared at once (default: one per core, at least 2)
  --memory MIB        memory the pictures may hold at once, in MiB (default: 160 per
                      job, at least 128, at most an eighth of the machine&apos;s memory)
  --verbose           name each skipped file with its reason, and each folder the run
                      does not enter, on standard error
  --version           show the version
  --help              show this text

Example: quorvane-cli --source %1 --receiver %2 --width 1080 --height 2400
</translation>
    </message>
    <message>
        <source>для --crop нужно centre, start, end, smart или число от 0 до 1</source>
        <translation>--crop needs centre, start, end, smart or a number from 0 to 1</translation>
    </message>
    <message>
        <source>Кадры снимков</source>
        <translation>Crops of the pictures</translation>
    </message>
    <message>
        <source>Снимки и их кадры</source>
        <translation>Pictures and their crops</translation>
    </message>
    <message>
        <source>Светлая часть снимка станет обоями. Перетащите её или двигайте стрелками ← и →; двойной щелчок или Backspace возвращает её на место.</source>
        <translation>The light part of each picture becomes the wallpaper. Drag it or move it with the ← and → keys; a double click or Backspace puts it back.</translation>
    </message>
    <message>
        <source>Снимков: %1, показано: %2</source>
        <translation>Pictures: %1, shown: %2</translation>
    </message>
    <message>
        <source>растягивается</source>
        <translation>stretched</translation>
    </message>
    <message>
        <source>%1, сдвинут</source>
        <translation>%1, moved</translation>
    </message>
    <message>
        <source>Сохранить…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Сохранить положения кадров</source>
        <translation>Save the crop positions</translation>
    </message>
    <message>
        <source>Не удалось записать %1</source>
        <translation>Could not write %1</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>Источник</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>Включать вложенные папки</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>Приёмник</source>
        <translation>Receiver</translation>
    </message>
    <message>
        <source>Разрешение</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>Ширина</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>Высота</source>
        <translation>Height</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Phone</translation>
    </message>
    <message>
        <source>Фирма</source>
        <translation>Maker</translation>
    </message>
    <message>
        <source>Модель</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>Начинать отсчёт файлов с опеределённого номера</source>
        <translation>Start numbering the files from a given number</translation>
    </message>
    <message>
        <source>Начать с:</source>
        <translation>Start at:</translation>
    </message>
    <message>
        <source>Имя файла:</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>Высокое сжатие</source>
        <translation>High compression</translation>
    </message>
    <message>
        <source>Высокое качество</source>
        <translation>High quality</translation>
    </message>
    <message>
        <source>Старт</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Папка-источник</source>
        <translation>Source folder</translation>
    </message>
    <message>
        <source>Выбрать папку-источник</source>
        <translation>Choose the source folder</translation>
    </message>
    <message>
        <source>Папка-приёмник</source>
        <translation>Receiver folder</translation>
    </message>
    <message>
        <source>Выбрать папку-приёмник</source>
        <translation>Choose the receiver folder</translation>
    </message>
    <message>
        <source>Производитель</source>
        <translation>Maker</translation>
    </message>
    <message>
        <source>Префикс имени</source>
        <translation>Name prefix</translation>
    </message>
    <message>
        <source>Число цифр</source>
        <translation>Digit count</translation>
    </message>
    <message>
        <source>Шаг числа цифр</source>
        <translation>Digit count step</translation>
    </message>
    <message>
        <source>Начальный номер</source>
        <translation>Start number</translation>
    </message>
    <message>
        <source>Качество</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>Ползунок качества</source>
        <translation>Quality slider</translation>
    </message>
    <message>
        <source>Ход работы</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Брать также снимки HEIC, HEIF, AVIF, WebP и PNG</source>
        <translation>Also take HEIC, HEIF, AVIF, WebP and PNG pictures</translation>
    </message>
    <message>
        <source>Кадр:</source>
        <translation>Crop:</translation>
    </message>
    <message>
        <source>Какую часть снимка оставить, когда он шире или выше экрана</source>
        <translation>Which part of a picture to keep when it is wider or taller than the screen</translation>
    </message>
    <message>
        <source>Положение кадра</source>
        <translation>Crop position</translation>
    </message>
    <message>
        <source>Посмотреть и поправить кадры всех снимков</source>
        <translation>See and adjust the crops of all pictures</translation>
    </message>
    <message>
        <source>Кадры снимков</source>
        <translation>Crops of the pictures</translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Июль 2005</source>
        <translation>July 2005</translation>
    </message>
    <message>
        <source>Автор:</source>
        <translation>Author:</translation>
    </message>
    <message>
        <source>Email:</source>
        <translation>Email:</translation>
    </message>
    <message>
        <source>ICQ:</source>
        <translation>ICQ:</translation>
    </message>
    <message>
        <source>ОкЕй</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TForm3</name>
    <message>
        <source>Выполнено</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
