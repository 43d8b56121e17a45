// The dialogs' words as the console prints them: the same texts the Qt dialogs show (the
// expectations are those of the dialog tests in tests/ui), in reading order, English for any
// language value other than 1 and 2.
#include <gtest/gtest.h>

#include <string>

#include "engine/DialogTexts.h"

namespace {
using engine::ConsoleText;
using engine::DialogId;

const DialogId kAll[] = {DialogId::ShowMsg,   DialogId::MostUpdate,  DialogId::UpdateCfm,
                         DialogId::EjectDisc, DialogId::InvalidUser, DialogId::NoProperDrive,
                         DialogId::Reboot,    DialogId::RebootZulk};

TEST(DialogTexts, EnglishConsoleTextOfEveryDialog) {
    EXPECT_EQ(ConsoleText(DialogId::ShowMsg, 0),
              "You are about to flash to an older firmware.\nDo you wish to proceed?");
    EXPECT_EQ(ConsoleText(DialogId::MostUpdate, 0), "This DVD drive does not need update.");
    EXPECT_EQ(ConsoleText(DialogId::UpdateCfm, 0, "1.00", "1.02"),
              "Do not open the drive while the update is running.\nClick the Update button to "
              "start the Update.\nFW Information\nCurrent\nAfter Updating\nVersion\n1.00\n-->\n"
              "1.02");
    EXPECT_EQ(ConsoleText(DialogId::EjectDisc, 0),
              "Under insert disk\nPlease click \"OK\" button and eject the disk.");
    EXPECT_EQ(ConsoleText(DialogId::InvalidUser, 0),
              "Logined by non-permission user .\nPlease login again by administrator user.");
    EXPECT_EQ(ConsoleText(DialogId::NoProperDrive, 0), "No supported drive detected.");
    EXPECT_EQ(ConsoleText(DialogId::Reboot, 0),
              "Do you wish to reboot your system?\n(A reboot is recommended, but not absolutely "
              "necessary.)");
    EXPECT_EQ(ConsoleText(DialogId::RebootZulk, 0),
              "The firmware has been successfully updated.\nPlease restart your computer to "
              "complete the installation.");
}

TEST(DialogTexts, ChineseAndJapaneseConsoleTextsAreTheDialogs) {
    EXPECT_EQ(ConsoleText(DialogId::ShowMsg, 1),
              "您的光碟機韌體已經是最新版本 !\n您確定要繼續嗎 ?");
    EXPECT_EQ(ConsoleText(DialogId::ShowMsg, 2),
              "お客様のドライブのファームウェアはすでに最新バージョンになっています。 \n継続しま"
              "すか？");
    EXPECT_EQ(ConsoleText(DialogId::UpdateCfm, 2, "1.00", "1.02"),
              "ファームウェアのアップデートを行います。\n[アップデート]ボタンをクリックす"
              "ると、対象ドライブがイジェクトされアップデートが開始されます。\n"
              "ファームウェアの確認\n現在\nアップデート\nVersion\n1.00\n-->\n1.02");
    EXPECT_EQ(ConsoleText(DialogId::EjectDisc, 2),
              "ディスクが挿入されています。\n「OK」をクリックしてディスクを取り出してください。");
    EXPECT_EQ(ConsoleText(DialogId::MostUpdate, 1), "您的光碟機韌體已經是最新版本 !");
    EXPECT_EQ(ConsoleText(DialogId::NoProperDrive, 2),
              "このプログラムに対応したDVDドライプが見つかりません。");
    EXPECT_EQ(ConsoleText(DialogId::RebootZulk, 1),
              "韌體更新已經完全成功 !\n新的韌體在重新啟動之後才能正常運作.\n"
              "請關閉視窗作業系統並重新啟動.");
}

TEST(DialogTexts, TheConsoleSaysOnlyWhatTheWindowShows) {
    // The Chinese form hides its second line.
    EXPECT_EQ(ConsoleText(DialogId::InvalidUser, 1),
              "存取遭拒 ! 您必須具有管理者權限才能更新光碟機韌體 !");
    EXPECT_EQ(ConsoleText(DialogId::InvalidUser, 2),
              "制限ユーザーでログインしています。\nこのプログラムは管理者ユーザーでログインして\n"
              "実行してください。");
    // The Japanese form has no second line of its own and keeps the design one.
    EXPECT_EQ(ConsoleText(DialogId::Reboot, 2),
              "システムを再起動する必要があります。 !\nA reboot is necesarry, and that all data "
              "should be saved. ");
}

TEST(DialogTexts, UpdateCfmShowsTheRevisionsOldThenNew) {
    std::string text = ConsoleText(DialogId::UpdateCfm, 1, "A100", "B200");
    EXPECT_EQ(text.substr(text.find("版本")), "版本\nA100\n-->\nB200");
}

TEST(DialogTexts, AnyOtherLanguageValueIsEnglish) {
    for (DialogId id : kAll) {
        SCOPED_TRACE(static_cast<int>(id));
        std::string english = ConsoleText(id, 0, "1.00", "1.02");
        for (int other : {-1, 3, 4, 9, 1000})
            EXPECT_EQ(ConsoleText(id, other, "1.00", "1.02"), english) << other;
        EXPECT_NE(ConsoleText(id, 1, "1.00", "1.02"), english);
        EXPECT_NE(ConsoleText(id, 2, "1.00", "1.02"), english);
    }
}

TEST(DialogTexts, TheFormsWordsBeyondTheLabels) {
    engine::UpdateCfmTexts cfm = engine::UpdateCfmWords(7);
    EXPECT_EQ(cfm.caption, "Update Confirm ...");
    EXPECT_EQ(cfm.ok, "Update");
    EXPECT_EQ(cfm.cancel, "Cancel");
    EXPECT_EQ(engine::UpdateCfmDesignWords().ok, "OK");

    engine::RefusalTexts chinese = engine::RefusalWords(DialogId::NoProperDrive, 1);
    EXPECT_TRUE(chinese.captionFromOwner);
    EXPECT_EQ(chinese.ok, "確定");
    engine::RefusalTexts japanese = engine::RefusalWords(DialogId::MostUpdate, 2);
    EXPECT_FALSE(japanese.captionFromOwner);
    EXPECT_EQ(japanese.caption, "ファームウェア\u3000アップデータ");
    EXPECT_EQ(japanese.ok, "OK");
    EXPECT_TRUE(engine::RefusalWords(DialogId::Reboot, 0).label1.empty()) << "not a refusal";

    EXPECT_EQ(engine::ShowMsgWords(2).yes, "はい");
    EXPECT_EQ(engine::ShowMsgDesignWords().caption, "ShowMsg");
    EXPECT_EQ(engine::RebootWords(1).later, "稍後");
    EXPECT_EQ(engine::RebootWords(0).nowTip, "Reboot Now");
    EXPECT_EQ(engine::RebootZulkWords(2).reboot, "再起動");
}

}  // namespace
