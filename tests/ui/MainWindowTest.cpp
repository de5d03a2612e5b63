// The main window at a fresh start and the couplings between its controls.

#include "UiTestSupport.h"
#include "ui/CUpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

std::vector<QString> Texts(const QSignalSpy& spy)
{
    std::vector<QString> texts;
    for (const auto& arguments : spy) {
        texts.push_back(arguments.at(0).toString());
    }
    return texts;
}

// Replaces the whole text of a box keystroke by keystroke, as a person selecting it and typing would.
void Retype(QLineEdit& edit, const QString& text)
{
    edit.selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(&edit, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(&edit, text);
    }
}

class MainWindowTest : public testing::Test {
  protected:
    void SetUp() override { fixture.Open(); }

    QLineEdit& Edit(const char* name) { return fixture.Control<QLineEdit>(name); }
    QSlider& Slider() { return fixture.Control<QSlider>("TrackBar1"); }
    QString Preview() { return fixture.Control<QLabel>("Label5").text(); }

    WindowFixture fixture;
};

} // namespace

TEST_F(MainWindowTest, FreshStartShowsTheDesignedValues)
{
    TForm1& form = fixture.Form();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quorvane 2.0"));
    EXPECT_EQ(form.size(), QSize(337, 391));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Preview(), QStringLiteral("img0000"));
    EXPECT_EQ(Edit("Edit7").text(), QStringLiteral("60"));
    EXPECT_EQ(Slider().value(), 60);
    EXPECT_FALSE(Edit("Edit2").isEnabled());
    EXPECT_TRUE(fixture.Control<QCheckBox>("cbIcludeDir").isChecked());
    EXPECT_FALSE(fixture.Control<QCheckBox>("CheckBox2").isChecked());
    EXPECT_TRUE(fixture.Control<QComboBox>("cbSource").currentText().isEmpty());
    EXPECT_TRUE(fixture.Control<QComboBox>("cbReceiver").currentText().isEmpty());
    EXPECT_EQ(fixture.Control<CUpDown>("UpDown1").Position(), 4);
    EXPECT_EQ(fixture.Control<QCheckBox>("CheckBox2").toolTip(),
              QStringLiteral("Начинать отсчёт файлов с опеределённого номера"));
    // Without phone.ini the only thing said at start-up is the catalogue message, before the window shows.
    EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"message: Ошибка открытия файла: phone.ini"});
    EXPECT_EQ(fixture.Dialogs.OwnerVisible, std::vector<bool>{false});
}

TEST_F(MainWindowTest, SliderAndQualityNumberFollowEachOther)
{
    Slider().setValue(85); // a drag ends in the same change
    EXPECT_EQ(Edit("Edit7").text(), QStringLiteral("85"));

    Retype(Edit("Edit7"), QStringLiteral("35"));
    EXPECT_EQ(Slider().value(), 35);
    EXPECT_EQ(Edit("Edit7").text(), QStringLiteral("35"));
}

TEST_F(MainWindowTest, QualityAboveTheRangeFollowsTheSliderUnlessItStandsAtTheEnd)
{
    QLineEdit& quality = Edit("Edit7");
    quality.selectAll();
    // Each keystroke moves the slider; the one that passes 100 brings "100" back into the box.
    const std::vector<std::pair<Qt::Key, int>> keys = {{Qt::Key_1, 1}, {Qt::Key_5, 15}, {Qt::Key_0, 100}};
    for (const auto& [key, slider] : keys) {
        QTest::keyClick(&quality, key);
        EXPECT_EQ(Slider().value(), slider);
        EXPECT_EQ(quality.text(), QString::number(slider));
    }

    // At 100 already, a larger number stays as typed and the slider does not move.
    QSignalSpy moves(&Slider(), &QSlider::valueChanged);
    quality.end(false);
    QTest::keyClick(&quality, Qt::Key_0);
    EXPECT_EQ(quality.text(), QStringLiteral("1000"));
    EXPECT_EQ(Slider().value(), 100);
    EXPECT_TRUE(moves.isEmpty());

    // The same at the other end, for a negative number pasted in at once.
    Retype(quality, QStringLiteral("0"));
    quality.setText(QStringLiteral("-5"));
    EXPECT_EQ(quality.text(), QStringLiteral("-5"));
    EXPECT_EQ(Slider().value(), 0);
}

TEST_F(MainWindowTest, QualityThatIsNoNumberGoesBackTo60)
{
    // Emptied, letters typed, text pasted, and a sign typed on its way to a negative number.
    for (const QString& typed : {QString(), QStringLiteral("abc"), QStringLiteral("-")}) {
        Slider().setValue(35);
        Retype(Edit("Edit7"), typed);
        EXPECT_EQ(Edit("Edit7").text(), QStringLiteral("60")) << typed.toStdString();
        EXPECT_EQ(Slider().value(), 60) << typed.toStdString();
    }
    Slider().setValue(35);
    Edit("Edit7").setText(QStringLiteral("1.5"));
    EXPECT_EQ(Edit("Edit7").text(), QStringLiteral("60"));
    EXPECT_EQ(Slider().value(), 60);
}

TEST_F(MainWindowTest, DigitCountDrivesThePreview)
{
    Retype(Edit("Edit3"), QStringLiteral("7"));
    EXPECT_EQ(Preview(), QStringLiteral("img0000000"));
    Retype(Edit("Edit6"), QStringLiteral("photo"));
    EXPECT_EQ(Preview(), QStringLiteral("photo0000000"));

    struct Case {
        QString typed, shown, preview;
    };
    for (const Case& c : {Case{"", "4", "photo0000"}, Case{"x", "4", "photo0000"}, Case{"0", "1", "photo0"},
                          Case{"9", "1", "photo0"}, Case{"-3", "1", "photo0"}, Case{"8", "8", "photo00000000"}}) {
        Retype(Edit("Edit3"), c.typed);
        EXPECT_EQ(Edit("Edit3").text(), c.shown) << c.typed.toStdString();
        EXPECT_EQ(Preview(), c.preview) << c.typed.toStdString();
    }
}

TEST_F(MainWindowTest, ReplacedDigitCountRunsTheChainOnceMore)
{
    QSignalSpy texts(&Edit("Edit3"), &QLineEdit::textChanged);
    Retype(Edit("Edit3"), QStringLiteral("0"));
    // "0" is replaced by "1" inside its own change, and the second change finds nothing to replace: two
    // changes in all (the spy hears the inner one first).
    EXPECT_EQ(Texts(texts), (std::vector<QString>{"1", "0"}));
    EXPECT_EQ(Edit("Edit3").text(), QStringLiteral("1"));
}

TEST_F(MainWindowTest, UpDownStepsFromTheShownNumberWithinItsRange)
{
    auto& upDown = fixture.Control<CUpDown>("UpDown1");
    QLineEdit& digits = Edit("Edit3");

    Retype(digits, QStringLiteral("8"));
    upDown.Step(1); // 9 is more than the preview takes
    EXPECT_EQ(digits.text(), QStringLiteral("1"));
    EXPECT_EQ(Preview(), QStringLiteral("img0"));

    upDown.Step(-1); // 0 is fewer than the preview takes
    EXPECT_EQ(digits.text(), QStringLiteral("1"));
    EXPECT_EQ(Preview(), QStringLiteral("img0"));

    // The arrow keys step it while the digit box has the focus; the box keeps its own text otherwise.
    QTest::keyClick(&digits, Qt::Key_Up);
    QTest::keyClick(&digits, Qt::Key_Up);
    EXPECT_EQ(digits.text(), QStringLiteral("3"));
    QTest::keyClick(&digits, Qt::Key_Down);
    EXPECT_EQ(digits.text(), QStringLiteral("2"));
    EXPECT_EQ(Preview(), QStringLiteral("img00"));

    // A click on the arrow buttons does the same.
    auto buttons = upDown.findChildren<QWidget*>();
    ASSERT_EQ(buttons.size(), 2);
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(digits.text(), QStringLiteral("3"));
}

TEST(UpDownTest, StopsAtTheEndsWithoutWrapping)
{
    QLineEdit buddy;
    CUpDown upDown;
    upDown.SetBuddy(&buddy);
    upDown.SetMinimum(0);
    upDown.SetMaximum(100);

    buddy.setText(QStringLiteral("100"));
    QSignalSpy changes(&buddy, &QLineEdit::textChanged);
    upDown.Step(1);
    EXPECT_EQ(buddy.text(), QStringLiteral("100"));
    EXPECT_TRUE(changes.isEmpty());

    buddy.setText(QStringLiteral("0"));
    upDown.Step(-1);
    EXPECT_EQ(buddy.text(), QStringLiteral("0"));

    // Out of range or no number: the step starts from the nearest end, or from the last position.
    buddy.setText(QStringLiteral("250"));
    upDown.Step(-1);
    EXPECT_EQ(buddy.text(), QStringLiteral("99"));
    buddy.setText(QStringLiteral("abc"));
    upDown.Step(1);
    EXPECT_EQ(buddy.text(), QStringLiteral("100"));
}

TEST_F(MainWindowTest, StartNumberSwitchEnablesItsBoxAndKeepsTheText)
{
    auto& tick = fixture.Control<QCheckBox>("CheckBox2");
    QTest::mouseClick(&tick, Qt::LeftButton);
    EXPECT_TRUE(Edit("Edit2").isEnabled());
    QTest::keyClicks(&Edit("Edit2"), QStringLiteral("25"));
    QTest::mouseClick(&tick, Qt::LeftButton);
    EXPECT_FALSE(Edit("Edit2").isEnabled());
    EXPECT_EQ(Edit("Edit2").text(), QStringLiteral("25"));
}
