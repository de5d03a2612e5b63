// The gauge's drawing, the report and About windows, and captions that fit their controls.

#include "UiTestSupport.h"
#include "ui/About.h"
#include "ui/Appearance.h"
#include "ui/CGauge.h"
#include "ui/CLinkLabel.h"
#include "ui/Finish.h"
#include "ui/Language.h"
#include "ui/Preview.h"
#include "ui/WindowHelpers.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QEnterEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTranslator>

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

using namespace quorvane;

namespace {

QImage Picture(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Contains(const QImage& image, QColor colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

QColor Inverse(QColor colour)
{
    return QColor(255 - colour.red(), 255 - colour.green(), 255 - colour.blue());
}

} // namespace

TEST(GaugeTest, DrawsFrameBarAndInvertedPercentage)
{
    CGauge gauge;
    gauge.resize(337, 17);
    const QColor background = gauge.palette().color(QPalette::Button);

    gauge.SetProgress(50);
    QImage image = Picture(gauge);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(336, 16), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(3, 8), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(333, 8), background);

    // The text shows inverted: yellow over the blue bar, the background's inverse elsewhere.
    gauge.SetProgress(100);
    image = Picture(gauge);
    EXPECT_TRUE(Contains(image, QColor(255, 255, 0)));
    gauge.SetProgress(0);
    image = Picture(gauge);
    EXPECT_TRUE(Contains(image, Inverse(background)));
    EXPECT_FALSE(Contains(image, QColor(0, 0, 255)));
}

TEST(GaugeTest, KeepsWithinTheRangeAndRepaintsAtOnceOnlyOnChange)
{
    QWidget window;
    window.resize(337, 40);
    auto* gauge = new CGauge(&window);
    gauge->setGeometry(0, 20, 337, 17);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();

    int paints = 0;
    class Counter : public QObject {
      public:
        explicit Counter(int& count) : count_(count) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            count_ += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }

      private:
        int& count_;
    } counter(paints);
    gauge->installEventFilter(&counter);

    gauge->SetProgress(150);
    EXPECT_EQ(gauge->Progress(), 100);
    EXPECT_EQ(paints, 1); // painted before SetProgress returned, without the event loop
    gauge->SetProgress(100);
    EXPECT_EQ(paints, 1);
    gauge->SetProgress(-5);
    EXPECT_EQ(gauge->Progress(), 0);
    EXPECT_EQ(paints, 2);
    gauge->removeEventFilter(&counter);
}

// On a display scaled by two or more, the percentage is drawn at the display's size: an enlarged drawing
// would show every glyph in blocks of two pixels.
TEST(GaugeTest, PercentageIsDrawnInTheDisplaysPixels)
{
    CGauge gauge;
    gauge.resize(337, 17);
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    const QImage image = Picture(gauge);
    if (image.devicePixelRatio() < 2) {
        GTEST_SKIP() << "the display is not scaled";
    }
    bool fine = false;
    for (int y = 2; y + 2 < image.height() && !fine; ++y) {
        for (int x = 2; x + 3 < image.width() && !fine; x += 2) {
            fine = image.pixel(x, y) != image.pixel(x + 1, y);
        }
    }
    EXPECT_TRUE(fine);
}

TEST(ReportWindowTest, ListGrowsWithTheWindowAndOkKeepsTheCorner)
{
    TForm3 report;
    EXPECT_EQ(report.size(), QSize(253, 217));
    EXPECT_EQ(report.windowTitle(), QStringLiteral("Выполнено"));
    report.Fill(ReportOf("2", "1", "1", {"/in/x.jpg"}));
    report.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&report));
    auto& memo = WindowFixture::Find<QPlainTextEdit>(report, "Memo1");
    auto& ok = WindowFixture::Find<QPushButton>(report, "Button1");
    auto& found = WindowFixture::Find<QLabel>(report, "Label4");
    EXPECT_TRUE(memo.isReadOnly());
    const QPoint labelAt = found.pos();

    report.resize(400, 300);
    QApplication::processEvents();
    EXPECT_EQ(memo.geometry(), QRect(2, 73, 400 - 2 - 4, 300 - 73 - 39));
    EXPECT_EQ(ok.geometry(), QRect(400 - 3 - 85, 300 - 6 - 26, 85, 26));
    EXPECT_EQ(found.pos(), labelAt);

    // Each skipped file is one readable line, whatever its name holds.
    report.Fill(ReportOf("2", "0", "2", {"/in/a\nb\x1b.jpg", "/in/caf\xe9.jpg"}));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("/in/a\\nb\\x1b.jpg\n/in/cafй.jpg"));

    // Outputs not written and pictures converted with a warning follow the skipped files, in the user's
    // language.
    RunReport withNotes = ReportOf("2", "2", "0", {});
    withNotes.Unwritten.push_back({"img0002.jpg", MessageId::FaultDiskFull});
    withNotes.Warnings.push_back({"/in/p.jpg", MessageId::ColourProfileDamaged});
    report.Fill(withNotes);
    EXPECT_EQ(memo.toPlainText(),
              QStringLiteral("img0002.jpg: не записан: нет места на устройстве\n/in/p.jpg: цветовой "
                             "профиль повреждён, цвета взяты без преобразования"));

    // A second run's report replaces the first one's.
    report.Fill(ReportOf("0", "0", "0", {}));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("Выполнено без ошибок"));
    EXPECT_EQ(found.text(), QStringLiteral("0"));

    QTest::mouseClick(&ok, Qt::LeftButton);
    EXPECT_FALSE(report.isVisible());
}

TEST(AboutWindowTest, EmailLinkLooksLikeALinkAndOpensMail)
{
    RecordingDialogs dialogs;
    QCursor::setPos(0, 0); // on a real screen the pointer could rest where the link appears
    TForm2 about(dialogs);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе"));
    EXPECT_EQ(about.size(), QSize(235, 140));
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    auto& link = WindowFixture::Find<CLinkLabel>(about, "EmailLink");
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(0, 0, 255));

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&link, &enter);
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(0, 0, 255));

    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_EQ(dialogs.Events, std::vector<std::string>{"link: mailto:quorvane@example.org"});

    QTest::mouseClick(&WindowFixture::Find<QPushButton>(about, "Button1"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutWindowTest, OpensWithTheFocusOnOkAndTheLinkIsReachedAndOpenedByKeyboard)
{
    RecordingDialogs dialogs;
    QWidget owner;
    TForm2 about(dialogs, &owner);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    auto& ok = WindowFixture::Find<QPushButton>(about, "Button1");
    EXPECT_TRUE(ok.hasFocus());
    QTest::keyClick(&ok, Qt::Key_Tab);
    auto& link = WindowFixture::Find<CLinkLabel>(about, "EmailLink");
    ASSERT_TRUE(link.hasFocus());
    QTest::keyClick(&link, Qt::Key_Return);
    QTest::keyClick(&link, Qt::Key_Space);
    EXPECT_EQ(dialogs.Events,
              (std::vector<std::string>{"link: mailto:quorvane@example.org", "link: mailto:quorvane@example.org"}));
    EXPECT_TRUE(about.isVisible());
    about.close();

    // Shown again after the focus moved: OK has it once more.
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.focusWidget(), &ok);
    QTest::keyClick(&ok, Qt::Key_Return);
    EXPECT_FALSE(about.isVisible());
}

// Esc closes the About window and the report as OK does; a click on the e-mail link leaves Return to OK.
TEST(AboutWindowTest, EscClosesAndReturnStillClosesAfterTheLinkIsClicked)
{
    RecordingDialogs dialogs;
    QWidget owner;
    TForm2 about(dialogs, &owner);
    TForm3 report(&owner);
    for (QDialog* window : {static_cast<QDialog*>(&about), static_cast<QDialog*>(&report)}) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QTest::keyClick(window, Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
    }
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(&WindowFixture::Find<CLinkLabel>(about, "EmailLink"), Qt::LeftButton);
    EXPECT_EQ(dialogs.Events, std::vector<std::string>{"link: mailto:quorvane@example.org"});
    QTest::keyClick(about.focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(about.isVisible());
}

// What a screen reader is told: every control by a name of its own, the gauge as a progress bar with its
// value.
TEST(AccessibilityTest, EveryControlHasItsOwnNameAndTheGaugeItsValue)
{
    WindowFixture fixture;
    fixture.Open();
    for (QWidget* window :
         std::initializer_list<QWidget*>{&fixture.Form(), &fixture.Form().Form2(), &fixture.Form().Form3()}) {
        std::set<QString> names;
        for (QWidget* control : window->findChildren<QWidget*>()) {
            // The window's own controls; not the parts Qt builds inside them.
            const QString object = control->objectName();
            if (object.isEmpty() || object.startsWith(QLatin1String("qt_")) || control->window() != window ||
                (control->focusPolicy() == Qt::NoFocus && !qobject_cast<CGauge*>(control))) {
                continue;
            }
            const QString name = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty()) << object.toStdString();
            EXPECT_TRUE(names.insert(name).second) << name.toStdString();
        }
    }
    auto& gauge = fixture.Control<CGauge>("CGauge1");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&gauge);
    EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
    ASSERT_NE(accessible->valueInterface(), nullptr);
    gauge.SetProgress(42);
    EXPECT_EQ(accessible->valueInterface()->currentValue().toInt(), 42);
    EXPECT_EQ(accessible->valueInterface()->maximumValue().toInt(), 100);
    gauge.SetProgress(0);
}

TEST(AboutWindowTest, OpensModallyFromTheMainWindow)
{
    WindowFixture fixture;
    fixture.Open();
    fixture.Dialogs.Events.clear();
    QTest::mouseClick(&fixture.Control<QPushButton>("Button5"), Qt::LeftButton);
    EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"modal: TForm2"});
    // Both secondary windows belong to the main window: no taskbar entries of their own.
    for (QWidget* window :
         {static_cast<QWidget*>(&fixture.Form().Form2()), static_cast<QWidget*>(&fixture.Form().Form3())}) {
        EXPECT_EQ(window->windowType(), Qt::Dialog) << window->objectName().toStdString();
        EXPECT_EQ(window->parentWidget(), &fixture.Form()) << window->objectName().toStdString();
    }
}

TEST(LanguageTest, RussianForItsReadersAndTheMachineDefaultEnglishForEveryOtherLanguage)
{
    const QStringList available{QStringLiteral("en")};
    struct Case {
        QStringList preferred;
        QString shown;
    };
    for (const Case& c : {Case{{"en-US", "en"}, "en"}, Case{{"en_GB"}, "en"}, Case{{"de-DE", "en-GB"}, "en"},
                          Case{{"ru-RU", "en-US"}, ""}, Case{{"C"}, ""}, Case{{"POSIX"}, ""}, Case{{"de-DE"}, "en"},
                          Case{{}, ""}, Case{{"uk-UA"}, ""}, Case{{"be_BY"}, ""}, Case{{"kk-KZ", "en-US"}, ""},
                          Case{{"fr-FR", "fr"}, "en"}, Case{{"de-DE", "ru-RU"}, ""}}) {
        EXPECT_EQ(ChooseTranslation(c.preferred, available), c.shown) << c.preferred.join(',').toStdString();
    }
}

// The window's English is the catalogue's: a Russian text edited without its translation, or a translation
// that lost an argument, shows here.
TEST(LanguageTest, EveryEngineMessageHasARussianAndAnEnglishText)
{
    QTranslator english;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/quorvane_en.qm")));
    for (int i = static_cast<int>(MessageId::Joined) + 1; i < MessageIdCount; ++i) {
        const auto id = static_cast<MessageId>(i);
        Message message(id, std::vector<Message>{});
        for (int k = 1; k <= 3; ++k) {
            message.Arguments.push_back(Message::Plain("/out/папка" + std::to_string(k)));
        }
        const std::string russian = MessageText(message);
        const std::string catalogueEnglish = MessageText(message, Language::English);
        EXPECT_FALSE(russian.empty()) << i;
        EXPECT_EQ(ShownMessage(message).toStdString(), russian) << i;
        QApplication::installTranslator(&english);
        const std::string shown = ShownMessage(message).toStdString();
        QApplication::removeTranslator(&english);
        EXPECT_EQ(shown, catalogueEnglish) << i;
        EXPECT_NE(shown, russian) << i;
        for (int k = 1; k <= 3; ++k) {
            const std::string argument = "/out/папка" + std::to_string(k);
            EXPECT_EQ(shown.find(argument) != std::string::npos, russian.find(argument) != std::string::npos)
                << i << " argument " << k;
        }
    }
}

// The windows are laid out in fixed pixels: a font that is missing or too wide clips the captions, in
// Russian as in English.
class CaptionFitTest : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override
    {
        const QString language = QString::fromLatin1(GetParam());
        if (!language.isEmpty()) {
            ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/quorvane_%1.qm").arg(language)));
            QApplication::installTranslator(&translator);
        }
        fixture.Open();
    }
    void TearDown() override { QApplication::removeTranslator(&translator); }

    static void ExpectCaptionsFit(QWidget& window)
    {
        // A run at a display scale (QT_SCALE_FACTOR, or QUORVANE_TEST_SCALE) lays the window out at that scale.
        if (const QByteArray scale = qgetenv("QT_SCALE_FACTOR"); !scale.isEmpty()) {
            EXPECT_DOUBLE_EQ(window.devicePixelRatioF(), scale.toDouble());
        }
        // No control covers another.
        QList<QWidget*> parents = window.findChildren<QWidget*>();
        parents.append(&window);
        for (auto* parent : parents) {
            QList<QWidget*> shown;
            for (auto* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (!child->isWindow() && child->isVisibleTo(&window) && !child->objectName().isEmpty()) {
                    shown.append(child);
                }
            }
            for (qsizetype i = 0; i < shown.size(); ++i) {
                for (qsizetype k = i + 1; k < shown.size(); ++k) {
                    EXPECT_FALSE(shown[i]->geometry().intersects(shown[k]->geometry()))
                        << shown[i]->objectName().toStdString() << " overlaps " << shown[k]->objectName().toStdString();
                }
            }
        }
        // Check boxes and buttons: the room the style leaves for the caption.
        for (auto* box : window.findChildren<QCheckBox*>()) {
            QStyleOptionButton option;
            option.initFrom(box);
            const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            EXPECT_LE(box->fontMetrics().horizontalAdvance(box->text()), room.width())
                << box->objectName().toStdString();
            EXPECT_LE(box->fontMetrics().height(), room.height()) << box->objectName().toStdString();
        }
        // A button's caption keeps clear of its edges.
        for (auto* button : window.findChildren<QPushButton*>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 2 * ButtonCaptionPadding, room.width())
                << button->objectName().toStdString();
        }
        for (auto* group : window.findChildren<QGroupBox*>()) {
            EXPECT_LE(group->fontMetrics().horizontalAdvance(group->title()) + 16, group->width())
                << group->objectName().toStdString();
        }
        // A label takes the size of its text: it must stay inside its parent and off its neighbours.
        for (auto* label : window.findChildren<QLabel*>()) {
            if (label->text().isEmpty() || label->window() != &window) {
                continue;
            }
            const QString name = label->objectName();
            if (label->wordWrap()) {
                EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name.toStdString();
            } else {
                EXPECT_LE(label->sizeHint().width(), label->width()) << name.toStdString();
                EXPECT_LE(label->sizeHint().height(), label->height()) << name.toStdString();
            }
            EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry())) << name.toStdString();
            for (auto* other : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (other != label && other->isWindow() == false && other->isVisibleTo(&window)) {
                    EXPECT_FALSE(label->geometry().intersects(other->geometry()))
                        << name.toStdString() << " overlaps " << other->objectName().toStdString();
                }
            }
        }
    }

    QTranslator translator;
    WindowFixture fixture;
};

INSTANTIATE_TEST_SUITE_P(Languages, CaptionFitTest, testing::Values("", "en"),
                         [](const auto& info) { return std::string(info.param[0] ? "English" : "Russian"); });

TEST_P(CaptionFitTest, ApplicationFontIsInstalled)
{
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), QString::fromUtf8(ApplicationFontFamily));
    EXPECT_EQ(QFontInfo(QApplication::font()).pixelSize(), ApplicationFontPixels);
}

TEST_P(CaptionFitTest, MainWindowCaptionsFit)
{
    const char* start = GetParam()[0] ? "Start" : "Старт";
    EXPECT_EQ(fixture.Control<QPushButton>("Button4").text(), QString::fromUtf8(start));
    ExpectCaptionsFit(fixture.Form());
}

TEST_P(CaptionFitTest, ReportCaptionsFit)
{
    TForm3& report = fixture.Form().Form3();
    report.Fill(ReportOf("12345", "12345", "12345", {}));
    ExpectCaptionsFit(report);
}

TEST_P(CaptionFitTest, AboutCaptionsFit)
{
    ExpectCaptionsFit(fixture.Form().Form2());
}

// The preview lays itself out; its thumbnails are made in the screen's pixels, so a scaled display shows
// them sharp rather than stretched.
TEST_P(CaptionFitTest, PreviewCaptionsFitAndItsThumbnailsAreSharp)
{
    std::filesystem::create_directory(fixture.Dir() / "in");
    WriteJpeg(fixture.Dir() / "in/wide.jpg", 400, 300);
    TypeInto(fixture.Control<QComboBox>("cbSource"), fixture.Dir() / "in");
    fixture.Control<QLineEdit>("eWidth").setText("24");
    fixture.Control<QLineEdit>("eHeight").setText("32");
    bool shown = false;
    fixture.Dialogs.OnModal = [&](QDialog& window) {
        auto& preview = dynamic_cast<PreviewWindow&>(window);
        QTRY_VERIFY(preview.Finished());
        preview.show();
        ExpectCaptionsFit(preview);
        auto& list = WindowFixture::Find<QListView>(window, "lvPictures");
        const auto thumbnail = list.model()->index(0, 0).data(Qt::DecorationRole).value<QImage>();
        EXPECT_EQ(thumbnail.devicePixelRatio(), window.devicePixelRatioF());
        EXPECT_EQ(thumbnail.deviceIndependentSize(), QSizeF(128, 96));
        shown = true;
        window.accept();
    };
    QTest::mouseClick(&fixture.Control<QPushButton>("Button6"), Qt::LeftButton);
    EXPECT_TRUE(shown);
}

// Phone model names: the open list shows each whole, the closed box the common lengths; a longer one
// ends there in an ellipsis, and shows whole as the box's tooltip.
TEST(PhoneBoxTest, OpenListShowsEveryModelNameWholeAndTheBoxTheCommonLengths)
{
    struct Case {
        const char* name;
        bool wholeInBox;
    };
    const std::vector<Case> cases{{"Pixel-8", true},
                                  {"Galaxy-S24-Ultra", true},
                                  {"iPhone-16-Pro-Max", false},
                                  {"Xiaomi-Mi-11-Lite-5G", false},
                                  {"Moto-G-Stylus-5G-2022", false}};
    WindowFixture fixture;
    std::string catalogue = "[Maker]\n";
    for (const Case& c : cases) {
        catalogue += std::string(c.name) + " 1080/2400\n";
    }
    fixture.Write("phone.ini", catalogue);
    fixture.Open();
    auto& models = fixture.Control<QComboBox>("cbModel");
    Choose(fixture.Control<QComboBox>("cbFirm"), 0);
    ASSERT_EQ(models.count(), static_cast<int>(cases.size()));
    QStyleOptionComboBox option;
    option.initFrom(&models);
    const QRect field =
        models.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &models);
    models.showPopup();
    QAbstractItemView& list = *models.view();
    for (int i = 0; i < models.count(); ++i) {
        const QString name = QString::fromLatin1(cases[static_cast<size_t>(i)].name);
        ASSERT_EQ(models.itemText(i), name);
        EXPECT_LE(list.sizeHintForIndex(models.model()->index(i, 0)).width(), list.viewport()->width())
            << name.toStdString();
        if (cases[static_cast<size_t>(i)].wholeInBox) {
            EXPECT_LE(models.fontMetrics().horizontalAdvance(name), field.width() - 2) << name.toStdString();
        }
    }
    models.hidePopup();
    Choose(models, static_cast<int>(cases.size()) - 1);
    EXPECT_EQ(models.toolTip(), QString::fromLatin1(cases.back().name));
}
