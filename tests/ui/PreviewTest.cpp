// The crop preview: its listing of the source, the windows moved by hand, the crop file it saves and the
// positions Start then uses.

#include "ui/Preview.h"

#include "UiTestSupport.h"
#include "platform/DirList.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvane;

namespace {

// The row of the list that shows the file `name`.
QModelIndex RowOf(QListView& list, const QString& name)
{
    const QModelIndexList found = list.model()->match(list.model()->index(0, 0), Qt::DisplayRole, name);
    return found.isEmpty() ? QModelIndex() : found.front();
}

} // namespace

TEST(PreviewTest, MovedWindowsAreShownSavedAndUsedByStart)
{
    WindowFixture fixture;
    std::filesystem::create_directory(fixture.Dir() / "in");
    WriteJpeg(fixture.Dir() / "in/wide.jpg", 48, 36); // 24x32 keeps a third of its width
    WriteJpeg(fixture.Dir() / "in/tall.jpg", 36, 48); // fits exactly: nothing to move
    fixture.Write("in/bad.jpg", "not a picture");
    TForm1& form = fixture.Open();
    TypeInto(fixture.Control<QComboBox>("cbSource"), fixture.Dir() / "in");
    fixture.Control<QLineEdit>("eWidth").setText("24");
    fixture.Control<QLineEdit>("eHeight").setText("32");
    const std::string crops = fixture.Dir() / "crops.txt";
    fixture.Dialogs.SaveFileAnswer = QString::fromStdString(crops);

    QString badState;
    fixture.Dialogs.OnModal = [&](QDialog& window) {
        auto& preview = dynamic_cast<PreviewWindow&>(window);
        QTRY_VERIFY(preview.Finished());
        auto& list = WindowFixture::Find<QListView>(window, "lvPictures");
        ASSERT_EQ(list.model()->rowCount(), 3);
        EXPECT_FALSE(list.accessibleName().isEmpty());
        const auto state = [&](const char* name) { return RowOf(list, name).data(Qt::AccessibleTextRole).toString(); };
        badState = state("bad.jpg");
        // The arrow keys nudge the current picture's window by a hundredth, with Shift by a tenth; a
        // picture with nothing to cut keeps its place; Backspace gives the mode's choice back.
        const struct {
            const char* name;
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            const char* state;
        } steps[] = {
            {"wide.jpg", Qt::Key_Right, Qt::NoModifier, "wide.jpg, 0.51, сдвинут"},
            {"wide.jpg", Qt::Key_Right, Qt::ShiftModifier, "wide.jpg, 0.61, сдвинут"},
            {"wide.jpg", Qt::Key_Backspace, Qt::NoModifier, "wide.jpg, по центру"},
            {"wide.jpg", Qt::Key_Left, Qt::ShiftModifier, "wide.jpg, 0.4, сдвинут"},
            {"tall.jpg", Qt::Key_Left, Qt::NoModifier, "tall.jpg, по центру"},
        };
        for (const auto& step : steps) {
            list.setCurrentIndex(RowOf(list, step.name));
            QTest::keyClick(&list, step.key, step.modifiers);
            EXPECT_EQ(state(step.name).toStdString(), step.state);
        }
        QTest::mouseClick(&WindowFixture::Find<QPushButton>(window, "bSave"), Qt::LeftButton);
        window.accept();
    };
    QTest::mouseClick(&fixture.Control<QPushButton>("Button6"), Qt::LeftButton);

    EXPECT_TRUE(badState.startsWith("bad.jpg, ")) << badState.toStdString();
    // The paths as the run forms them (the source as typed, then the name).
    const std::string in = fixture.Dir() / "in";
    const std::string wide = JoinPath(in, "wide.jpg");
    const std::string tall = JoinPath(in, "tall.jpg");
    EXPECT_EQ(form.CropOf(wide), CropPosition{400000});
    EXPECT_EQ(form.CropOf(tall), CropPosition{});
    const std::string saved = fixture.Read("crops.txt");
    EXPECT_EQ(saved.rfind("# 24x32\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("\n0.4 " + wide + "\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\n0.5 " + tall + "\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\n# " + JoinPath(in, "bad.jpg") + ": "), std::string::npos) << saved;
}
