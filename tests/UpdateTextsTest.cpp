// The progress animation and the procedure's texts.
#include <gtest/gtest.h>

#include "engine/UpdateTexts.h"

namespace {
using engine::ProgressAnimation;
using engine::Text;
using engine::UpdateText;

TEST(ProgressAnimation, FillsIn36SecondsAndThenOnlyShowsTheFullText) {
    ProgressAnimation bar;
    ProgressAnimation::Frame frame;
    for (int tick = 0; tick < 15; ++tick)
        frame = bar.Tick(0);  // 1.5 seconds
    EXPECT_EQ(frame.status, "Programming .....");
    EXPECT_EQ(frame.percent, "4 %");
    for (int tick = 15; tick < 360; ++tick)
        frame = bar.Tick(0);
    EXPECT_TRUE(frame.stepped);
    EXPECT_EQ(frame.percent, "100 %");
    EXPECT_EQ(frame.status, "Programming ");  // 360 mod 10 full stops
    frame = bar.Tick(2);
    EXPECT_FALSE(frame.stepped);
    EXPECT_EQ(bar.position, 360);
    EXPECT_EQ(frame.status, "ファームウェアのアップデートが実行中 ..........");
}

TEST(UpdateTexts, ChooseByLanguageWithEnglishForAnyOtherValue) {
    EXPECT_EQ(Text(UpdateText::Done, 1), "完成");
    EXPECT_EQ(Text(UpdateText::Done, 2), "終了しました。");
    EXPECT_EQ(Text(UpdateText::Done, 0), "Done.");
    EXPECT_EQ(Text(UpdateText::Done, 7), "Done.");
    EXPECT_EQ(Text(UpdateText::CannotEject, 0),
              "Disc detected in drive. Unable to eject the disc , maybe locked by other "
              "program\n\nPlease remove the disc manually.");
    EXPECT_EQ(Text(UpdateText::WaitingReady, 2),
              "ドライブが用意できるまで暫くお待ちください。 ...");
}

}  // namespace
