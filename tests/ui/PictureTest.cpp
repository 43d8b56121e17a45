// The screenshot program's pictures are drawn whole at the screen's scale; the program runs
// these at twice the scale as well (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "tools/screenshots/Picture.h"

namespace {

TEST(ScreenshotPicture, IsDrawnWholeAtTheScreensScale) {
    const QColor face(0x12, 0x34, 0x56);
    const QColor bar(0x0a, 0x24, 0x6a);
    QWidget form;
    form.setWindowTitle("Picture");
    form.setFixedSize(120, 40);
    QPalette colours = form.palette();
    colours.setColor(QPalette::Window, face);
    form.setPalette(colours);
    form.setAutoFillBackground(true);
    form.show();

    const QPixmap shot = screenshots::WithTitleBar(form);
    const qreal ratio = form.devicePixelRatioF();
    EXPECT_EQ(shot.devicePixelRatio(), ratio);
    EXPECT_EQ(shot.size(), QSize(120, 40 + screenshots::kCaption) * ratio);
    // Every corner is drawn: the title bar at the top, the form at the bottom.
    const QImage image = shot.toImage();
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    EXPECT_EQ(image.pixelColor(0, 0), bar);
    EXPECT_EQ(image.pixelColor(right, 0), bar);
    EXPECT_EQ(image.pixelColor(0, bottom), face);
    EXPECT_EQ(image.pixelColor(right, bottom), face);
}

}  // namespace
