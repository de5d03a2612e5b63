// The window's side of the phone catalogue, the folder history and the last-used folders.

#include "UiTestSupport.h"
#include "support/SystemKit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

#include <cstddef>
#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvane;

namespace {

QStringList Items(const QComboBox& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items << box.itemText(i);
    }
    return items;
}

const char* const Catalogue = "[MakerA]\r\n"
                              "Model1 128/160\r\n"
                              "Shared 176/220\r\n"
                              "[Empty]\r\n"
                              "[MakerB]\r\n"
                              "Model3  240 / 320\r\n"
                              "Shared 1/2";

} // namespace

TEST(CatalogueWindowTest, MakersAreListedAtStartUpWithNothingChosen)
{
    WindowFixture fixture;
    fixture.Write("phone.ini", Catalogue);
    fixture.Open();
    auto& makers = fixture.Control<QComboBox>("cbFirm");
    EXPECT_EQ(Items(makers), (QStringList{"MakerA", "Empty", "MakerB"}));
    EXPECT_EQ(makers.currentIndex(), -1);
    EXPECT_TRUE(fixture.Dialogs.Events.empty());
}

TEST(CatalogueWindowTest, NamesInWindows1251AreShownAndLookedUpByTheirBytes)
{
    // "[Нокиа]", "Модель 128/160" and "[Сони]" as a Windows editor saves them, beside a UTF-8 maker.
    WindowFixture fixture;
    fixture.Write("phone.ini", "[\xcd\xee\xea\xe8\xe0]\r\n\xcc\xee\xe4\xe5\xeb\xfc 128/160\r\n[\xd1\xee\xed\xe8]\r\n"
                               "[Сони]\r\nЭкспериа 240/320");
    fixture.Open();
    auto& makers = fixture.Control<QComboBox>("cbFirm");
    auto& models = fixture.Control<QComboBox>("cbModel");
    EXPECT_EQ(Items(makers), (QStringList{"Нокиа", "Сони", "Сони"}));
    Choose(makers, 0);
    EXPECT_EQ(Items(models), QStringList{"Модель"});
    Choose(models, 0);
    EXPECT_EQ(fixture.Control<QLineEdit>("eWidth").text(), QStringLiteral("128"));
    // The two makers that look alike are two sections of different bytes.
    Choose(makers, 1);
    EXPECT_EQ(models.count(), 0);
    Choose(makers, 2);
    EXPECT_EQ(Items(models), QStringList{"Экспериа"});
}

TEST(CatalogueWindowTest, MessageOfABadCatalogueComesBeforeTheWindowAndKeepsWhatWasRead)
{
    WindowFixture fixture;
    fixture.Write("phone.ini", "[MakerA]\nModel1 128/160\n[MakerB]\nModel2 128x160\n[MakerC]\n");
    fixture.Open();
    EXPECT_EQ(fixture.Dialogs.Events,
              std::vector<std::string>{"message: В файле phone.ini была допущена ошибка, инструкция в ReadMe.txt"});
    EXPECT_EQ(fixture.Dialogs.OwnerVisible, std::vector<bool>{false});
    EXPECT_EQ(Items(fixture.Control<QComboBox>("cbFirm")), (QStringList{"MakerA", "MakerB"}));
}

TEST(CatalogueWindowTest, MakerThenModelFillsWidthAndHeight)
{
    WindowFixture fixture;
    fixture.Write("phone.ini", Catalogue);
    fixture.Open();
    auto& makers = fixture.Control<QComboBox>("cbFirm");
    auto& models = fixture.Control<QComboBox>("cbModel");
    auto& width = fixture.Control<QLineEdit>("eWidth");
    auto& height = fixture.Control<QLineEdit>("eHeight");

    Choose(makers, 0);
    EXPECT_EQ(Items(models), (QStringList{"Model1", "Shared"}));
    EXPECT_EQ(models.currentIndex(), -1);
    EXPECT_TRUE(width.text().isEmpty());

    Choose(models, 0);
    EXPECT_EQ(width.text(), QStringLiteral("128"));
    EXPECT_EQ(height.text(), QStringLiteral("160"));

    // Another maker replaces the list and leaves the size alone.
    Choose(makers, 2);
    EXPECT_EQ(Items(models), (QStringList{"Model3", "Shared"}));
    EXPECT_EQ(models.currentIndex(), -1);
    EXPECT_EQ(width.text(), QStringLiteral("128"));

    // Texts are copied as stored; a name found twice takes the size of its first line.
    Choose(models, 0);
    EXPECT_EQ(width.text(), QStringLiteral(" 240 "));
    EXPECT_EQ(height.text(), QStringLiteral(" 320"));
    Choose(models, 1);
    EXPECT_EQ(width.text(), QStringLiteral("176"));
    EXPECT_EQ(height.text(), QStringLiteral("220"));

    // Choosing the same maker again refills its list; a maker without models empties it.
    Choose(makers, 2);
    EXPECT_EQ(models.currentIndex(), -1);
    Choose(makers, 1);
    EXPECT_EQ(models.count(), 0);
}

TEST(FolderBoxTest, HistoryListsAndLastFoldersComeBackAtStartUp)
{
    WindowFixture fixture;
    fixture.Write("source.ini", "/photos/2024\r\n\r\n/photos/old\n/photos/2024");
    fixture.Write("receiver.ini", "/walls\r\n");
    fixture.Write("quorvane.ini", "/typed but never used\r\n/walls");
    fixture.Open();
    auto& source = fixture.Control<QComboBox>("cbSource");
    auto& receiver = fixture.Control<QComboBox>("cbReceiver");
    EXPECT_EQ(Items(source), (QStringList{"/photos/2024", "/photos/old", "/photos/2024"}));
    EXPECT_EQ(Items(receiver), (QStringList{"/walls"}));
    EXPECT_EQ(source.currentText(), QStringLiteral("/typed but never used"));
    EXPECT_EQ(receiver.currentText(), QStringLiteral("/walls"));
}

TEST(FolderBoxTest, DeleteInTheOpenListRemovesTheHighlightedFolderFromListAndFile)
{
    WindowFixture fixture;
    fixture.Write("source.ini", "/photos/typo\r\n/photos/2024\r\n/photos/typo\r\n");
    fixture.Write("quorvane.ini", "/photos/2024\r\n");
    fixture.Open();
    auto& source = fixture.Control<QComboBox>("cbSource");
    source.showPopup();
    source.view()->setCurrentIndex(source.model()->index(0, 0));
    QTest::keyClick(source.view(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(Items(source), (QStringList{"/photos/2024"}));
    EXPECT_EQ(fixture.Read("source.ini"), "/photos/2024\r\n");
    EXPECT_EQ(source.currentText(), QStringLiteral("/photos/2024"));
    source.hidePopup();

    // Delete in the closed box's text edits the text as usual.
    QTest::keyClick(&source, Qt::Key_Home);
    QTest::keyClick(&source, Qt::Key_Delete);
    EXPECT_EQ(source.currentText(), QStringLiteral("photos/2024"));
    EXPECT_EQ(fixture.Read("source.ini"), "/photos/2024\r\n");
}

TEST(FolderBoxTest, StartRecordsBothFoldersAndKeepsTheTypedTexts)
{
    WindowFixture fixture;
    std::filesystem::create_directory(fixture.Dir() / "in");
    std::filesystem::create_directory(fixture.Dir() / "out");
    fixture.Write("source.ini", "/older\r\n");
    fixture.Open();
    fixture.Dialogs.OnModal = [](QDialog&) {};
    auto& source = fixture.Control<QComboBox>("cbSource");
    auto& receiver = fixture.Control<QComboBox>("cbReceiver");
    const std::string in = fixture.Dir() / "in";
    const std::string out = fixture.Dir() / "out";
    TypeInto(source, in);
    TypeInto(receiver, out);
    fixture.Control<QLineEdit>("eWidth").setText(QStringLiteral("24"));
    fixture.Control<QLineEdit>("eHeight").setText(QStringLiteral("32"));
    QTest::mouseClick(&fixture.Control<QPushButton>("Button4"), Qt::LeftButton);

    EXPECT_EQ(fixture.Read("source.ini"), "/older\r\n" + in + "\r\n");
    EXPECT_EQ(fixture.Read("receiver.ini"), out + "\r\n");
    EXPECT_EQ(Items(source), (QStringList{"/older", QString::fromStdString(in)}));
    EXPECT_EQ(Items(receiver), (QStringList{QString::fromStdString(out)}));
    EXPECT_EQ(source.currentText().toStdString(), in);
    EXPECT_EQ(receiver.currentText().toStdString(), out);

    // The same folders again: the files stay as they are.
    QTest::mouseClick(&fixture.Control<QPushButton>("Button4"), Qt::LeftButton);
    EXPECT_EQ(fixture.Read("source.ini"), "/older\r\n" + in + "\r\n");
    EXPECT_EQ(fixture.Read("receiver.ini"), out + "\r\n");
}

TEST(FolderBoxTest, FolderChooserReplacesTheTextOnlyWhenConfirmed)
{
    WindowFixture fixture;
    fixture.Open();
    fixture.Dialogs.Events.clear();
    auto& source = fixture.Control<QComboBox>("cbSource");
    auto& receiver = fixture.Control<QComboBox>("cbReceiver");
    TypeInto(source, "typed");

    fixture.Dialogs.FolderAnswers = {QString(), QStringLiteral("/chosen/source"), QStringLiteral("/chosen/out")};
    QTest::mouseClick(&fixture.Control<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(source.currentText(), QStringLiteral("typed"));
    QTest::mouseClick(&fixture.Control<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(source.currentText(), QStringLiteral("/chosen/source"));
    QTest::mouseClick(&fixture.Control<QPushButton>("Button2"), Qt::LeftButton);
    EXPECT_EQ(receiver.currentText(), QStringLiteral("/chosen/out"));

    EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>(3, "folder: Выберите каталог:"));
    EXPECT_EQ(source.count(), 0);
    EXPECT_FALSE(fixture.Exists("source.ini"));
}

namespace {

// Qt offers no public way to make the session manager it hands out, so the ending session is announced
// the way Qt announces it, through the application's commitDataRequest signal; the window reads no
// argument of it.
void EndSession()
{
    const int signal = QMetaMethod::fromSignal(&QGuiApplication::commitDataRequest).methodIndex() -
                       QGuiApplication::staticMetaObject.methodOffset();
    alignas(std::max_align_t) char manager[256] = {};
    void* arguments[] = {nullptr, manager};
    QMetaObject::activate(qApp, &QGuiApplication::staticMetaObject, signal, arguments);
}

} // namespace

// A folder dragged onto the window goes into the source box, onto the receiver box into that one; a file
// stands for its folder; a drag of anything else is refused. Nothing is recorded by a drop.
TEST(FolderBoxTest, DroppedFolderFillsTheBoxItLandsOn)
{
    WindowFixture fixture;
    const TempDir place;
    std::filesystem::create_directories(place.Path() / "photos");
    WriteFileBytes(place / "photos/a.jpg", "x");
    TForm1& form = fixture.Open();
    auto& source = fixture.Control<QComboBox>("cbSource");
    auto& receiver = fixture.Control<QComboBox>("cbReceiver");
    const QString photos = QDir::toNativeSeparators(QString::fromStdString(place / "photos"));
    const auto local = [&place](const char* name) {
        return QUrl::fromLocalFile(QDir::fromNativeSeparators(QString::fromStdString(place / name)));
    };
    const QPoint onReceiverArrow = receiver.mapTo(&form, QPoint(receiver.width() - 4, receiver.height() / 2));
    const struct {
        QWidget* target;
        QPoint at;
        QList<QUrl> urls;
        QComboBox* filled; // nullptr: refused
    } drops[] = {
        {&form, {2, 2}, {local("photos")}, &source},
        {&form, onReceiverArrow, {local("photos/a.jpg")}, &receiver},
        {receiver.lineEdit(), {4, 4}, {QUrl("https://example.org/a.jpg"), local("photos/")}, &receiver},
        {source.lineEdit(), {4, 4}, {QUrl("https://example.org/a.jpg")}, nullptr},
    };
    for (const auto& drop : drops) {
        source.setEditText("before");
        receiver.setEditText("before");
        QMimeData data;
        data.setUrls(drop.urls);
        QDragEnterEvent enter(drop.at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(drop.target, &enter);
        EXPECT_EQ(enter.isAccepted(), drop.filled != nullptr);
        QDropEvent dropped(QPointF(drop.at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(drop.target, &dropped);
        for (QComboBox* box : {&source, &receiver}) {
            EXPECT_EQ(box->currentText(), box == drop.filled ? photos : QString("before"))
                << box->objectName().toStdString();
        }
    }
    for (const char* name : {"source.ini", "receiver.ini", "quorvane.ini"}) {
        EXPECT_FALSE(fixture.Exists(name)) << name;
    }
}

TEST(FolderBoxTest, ExitWritesTheLastFoldersTwiceAndTheCloseBoxOrTheSessionEndOnce)
{
    if (WhyNot why = WhyNoWriteCounts()) {
        GTEST_SKIP() << why;
    }
    {
        WindowFixture fixture;
        fixture.Open();
        WriteCounter writes(fixture.Dir().Str(), "quorvane.ini");
        ASSERT_TRUE(writes.Works());
        TypeInto(fixture.Control<QComboBox>("cbReceiver"), "/walls");
        QTest::mouseClick(&fixture.Control<QPushButton>("Button3"), Qt::LeftButton);
        EXPECT_FALSE(fixture.Form().isVisible());
        EXPECT_EQ(writes.Count(), 2);
        EXPECT_EQ(fixture.Read("quorvane.ini"), "\r\n/walls");
    }
    {
        WindowFixture fixture;
        fixture.Open();
        WriteCounter writes(fixture.Dir().Str(), "quorvane.ini");
        fixture.Form().close();
        EXPECT_FALSE(fixture.Form().isVisible());
        EXPECT_EQ(writes.Count(), 1);
        EXPECT_EQ(fixture.Read("quorvane.ini"), "\r\n");
    }
    {
        WindowFixture fixture;
        fixture.Open();
        WriteCounter writes(fixture.Dir().Str(), "quorvane.ini");
        TypeInto(fixture.Control<QComboBox>("cbSource"), "/photos");
        EndSession();
        EXPECT_EQ(writes.Count(), 1);
        EXPECT_EQ(fixture.Read("quorvane.ini"), "/photos\r\n");
    }
}

// The formats box is remembered in options.ini, which only a click on it writes; the four files are not
// touched, and other lines of the options file stay.
TEST(OptionsFileTest, FormatsBoxIsRememberedOnlyOnceClicked)
{
    WindowFixture fixture;
    TForm1& form = fixture.Open();
    auto& box = fixture.Control<QCheckBox>("cbAllFormats");
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(form.Formats(), FormatSet::Defined());
    EXPECT_FALSE(fixture.Exists("options.ini"));
    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_EQ(fixture.Read("options.ini"), "formats=jpeg,bmp,heic,avif,webp,png\r\n");
    EXPECT_EQ(form.Formats(), FormatSet::All());
    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_EQ(fixture.Read("options.ini"), "formats=jpeg,bmp\r\n");
    EXPECT_EQ(form.Formats(), FormatSet::Defined());
    for (const char* name : {"source.ini", "receiver.ini", "quorvane.ini"}) {
        EXPECT_FALSE(fixture.Exists(name)) << name;
    }

    WindowFixture again;
    again.Write("options.ini", "crop=0.3\r\nformats=PNG\r\n");
    TForm1& reopened = again.Open();
    auto& ticked = again.Control<QCheckBox>("cbAllFormats");
    EXPECT_TRUE(ticked.isChecked());
    EXPECT_EQ(reopened.Formats(), FormatSet().With(PictureFormat::Png));
    QTest::mouseClick(&ticked, Qt::LeftButton);
    EXPECT_EQ(again.Read("options.ini"), "crop=0.3\r\nformats=jpeg,bmp\r\n");
}

// The crop box, like the formats box, is remembered in options.ini once the user chooses; a position the
// file names that is none of the box's own shows as its number and is used.
TEST(OptionsFileTest, CropBoxIsRememberedOnlyOnceChosen)
{
    WindowFixture fixture;
    TForm1& form = fixture.Open();
    auto& box = fixture.Control<QComboBox>("cbCrop");
    EXPECT_EQ(form.CropOf("a.jpg"), CropPosition{});
    EXPECT_FALSE(fixture.Exists("options.ini"));
    box.setCurrentIndex(2);
    emit box.activated(2);
    EXPECT_EQ(fixture.Read("options.ini"), "crop=1\r\n");
    EXPECT_EQ(form.CropOf("a.jpg"), CropPosition{CropPosition::Whole});

    WindowFixture again;
    again.Write("options.ini", "crop=0,3\r\n");
    TForm1& reopened = again.Open();
    EXPECT_EQ(again.Control<QComboBox>("cbCrop").currentText(), "0.3");
    EXPECT_EQ(reopened.CropOf("a.jpg"), CropPosition{300000});
    auto& crops = again.Control<QComboBox>("cbCrop");
    crops.setCurrentIndex(3);
    emit crops.activated(3);
    EXPECT_EQ(again.Read("options.ini"), "crop=smart\r\n");
    EXPECT_TRUE(reopened.CropOf("a.jpg").Smart);
}
