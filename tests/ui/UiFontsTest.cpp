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

TEST(FontSubstitutes, JapaneseSwitchDrawsWithTheJapaneseFaceAndRecordsTheRequest) {
    QLabel control;
    ui::DesignFont(control, "Tahoma", 11, true, true);
    ui::JapaneseFont(control, 9);
    EXPECT_EQ(control.property(ui::kRequestedFamily).toString(), "MS Gothic");
    EXPECT_EQ(control.property(ui::kRequestedCharset).toInt(), ui::kShiftJisCharset);
    EXPECT_EQ(control.font().pointSize(), 9);
    EXPECT_FALSE(control.font().bold());
    EXPECT_FALSE(control.font().underline());
    auto drawn = DrawnWith("「OK」をクリックしてください。", control.font());
    EXPECT_FALSE(drawn.missingGlyph);
    EXPECT_EQ(drawn.families, QStringList{"noto sans cjk jp"});
}

TEST(FontSubstitutes, PartialSwitchesKeepWhatTheyDoNotChange) {
    QLabel control;
    ui::DesignFont(control, "Tahoma", 11, true);
    ui::SwitchFamily(control, "MS Gothic", ui::kShiftJisCharset);
    EXPECT_EQ(control.font().pixelSize(), 11);
    EXPECT_TRUE(control.font().bold());
    EXPECT_EQ(QFontInfo(control.font()).family(), "Noto Sans CJK JP");

    QLabel other;
    ui::DesignFont(other, "Tahoma", 11, true);
    ui::SwitchCharset(other, ui::kBig5Charset, 9);
    EXPECT_EQ(other.property(ui::kRequestedFamily).toString(), "Tahoma");
    EXPECT_EQ(other.property(ui::kRequestedCharset).toInt(), ui::kBig5Charset);
    EXPECT_EQ(other.font().pointSize(), 9);
    EXPECT_TRUE(other.font().bold());
}

}  // namespace
