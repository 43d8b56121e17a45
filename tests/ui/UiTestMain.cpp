// The windows' test program: one application object for every test, drawn off screen, with the
// program's font substitutes in place.
#include <gtest/gtest.h>

#include <QApplication>

#include "dialogs/UiFonts.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::InstallFontSubstitutes();
    return RUN_ALL_TESTS();
}
