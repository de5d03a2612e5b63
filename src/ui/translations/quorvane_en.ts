<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>CUpDown</name>
    <message>
        <source>Увеличить</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>Уменьшить</source>
        <translation>Down</translation>
    </message>
</context>
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
        <source>Недопустимый размер: %1 (ширина и высота от 1 до 65500, не более 268435456 пикселей)</source>
        <translation>Invalid size: %1 (width and height from 1 to 65500, at most 268435456 pixels)</translation>
    </message>
    <message>
        <source>Прервано: остальные файлы не обработаны</source>
        <translation>Interrupted: the remaining files were not converted</translation>
    </message>
    <message>
        <source>В папку-приёмник уже пишет другой запуск: %1</source>
        <translation>Another run is writing into the receiver folder: %1</translation>
    </message>
    <message>
        <source>Проверьте директорию: %1</source>
        <translation>Check the folder: %1</translation>
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
        <source>Выберите каталог:</source>
        <translation>Choose a folder:</translation>
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
        <source>ОК</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
