// The Windows families the forms ask for land on faces this machine has, and the CJK texts are
// drawn with the face of their own script.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QLabel>

#include "dialogs/UiFonts.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using ui_testing::DrawnWith;

QString Resolved(const QString& family) {
    QFont font;
    font.setFamilies({family});
    return QFontInfo(font).family();
}

TEST(FontSubstitutes, EveryRequestedFamilyLandsOnAnInstalledFace) {
    EXPECT_EQ(Resolved("MS Gothic"), "Noto Sans CJK JP");
    EXPECT_TRUE(Resolved("Tahoma").startsWith("DejaVu Sans")) << Resolved("Tahoma").toStdString();
    EXPECT_TRUE(Resolved("MS Sans Serif").startsWith("DejaVu Sans"));
    EXPECT_TRUE(Resolved("Arial").startsWith("DejaVu Sans"));

    QFont courier;
    courier.setFamilies({"Courier New"});
    EXPECT_TRUE(QFontInfo(courier).fixedPitch()) << QFontInfo(courier).family().toStdString();
}

TEST(FontSubstitutes, ChineseInALatinFamilyIsDrawnWithTheTraditionalChineseFace) {
    QLabel control;
    ui::DesignFont(control, "Tahoma", 11, true);
    auto drawn = DrawnWith("韌體資訊 FW", control.font());
    EXPECT_FALSE(drawn.missingGlyph);
    EXPECT_TRUE(drawn.families.contains("noto sans cjk tc"))
        << drawn.families.join(",").toStdString();
    EXPECT_FALSE(drawn.families.contains("noto sans cjk jp"));
}

TEST(FontSubstitutes, JapaneseTextIsDrawnWithTheJapaneseFace) {
    QLabel control;
    ui::JapaneseFont(control, 9);
    auto drawn = DrawnWith("「OK」をクリックしてください。", control.font());
    EXPECT_FALSE(drawn.missingGlyph);
    EXPECT_EQ(drawn.families, QStringList{"noto sans cjk jp"});
}

}  // namespace
