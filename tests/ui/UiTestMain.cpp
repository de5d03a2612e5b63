// The window tests need one QApplication for the whole process.

#include "ui/Appearance.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs this program at build time, where no display may exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The display scale of a run, under a name that Wine passes on to the program (it keeps QT_ ones back).
    if (const QByteArray scale = qgetenv("QUORVANE_TEST_SCALE"); !scale.isEmpty()) {
        qputenv("QT_SCALE_FACTOR", scale);
    }
    QApplication app(argc, argv);
    SetUpAppearance(app);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
