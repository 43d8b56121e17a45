// TShowMsg: texts per language and variant, the width that follows the message, the flag, keys.
#include <gtest/gtest.h>

#include <QPushButton>

#include "dialogs/Frmshowmsg.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using dialogs::TShowMsg;
using ui_testing::RequestedCharset;
using ui_testing::RequestedFamily;
using ui_testing::Type;

const char kEnglish[] = "You are about to flash to an older firmware.\nDo you wish to proceed?";
const char kChinese[] = "您的光碟機韌體已經是最新版本 !\n您確定要繼續嗎 ?";
const char kJapanese[] =
    "お客様のドライブのファームウェアはすでに最新バージョンになっています。 \n継続しますか？";
const char kDesign[] = "Your drive's Firmware is already the most updated ! ";

// The width rule and the centred buttons, whatever the texts.
void ExpectLaidOut(const TShowMsg& form) {
    int width = form.Image1->width() + form.lblShowMsg->width() + 34;
    EXPECT_EQ(form.width(), width);
    EXPECT_EQ(form.height(), 104) << "the height never changes";
    EXPECT_EQ(form.cmdYes->x(), width / 2 - 77 - 5);
    EXPECT_EQ(form.cmdNo->x(), width / 2 + 5);
    EXPECT_EQ(form.cmdNo->x() - (form.cmdYes->x() + form.cmdYes->width()), 10);
    EXPECT_LE(form.lblShowMsg->geometry().right(), form.width() - 1) << "the message is inside";
}

TEST(ShowMsg, TextsForEachLanguageInTheThreeVariants) {
    struct Case {
        int language;
        const char* caption;
        const char* message;
        const char* yes;
        const char* no;
    };
    const Case cases[] = {{0, "Note", kEnglish, "&Yes", "&No"},
                          {9, "Note", kEnglish, "&Yes", "&No"},
                          {1, "Warning", kChinese, "確定", "取消"},
                          {2, "Warning", kJapanese, "はい", "いいえ"}};
    for (const Case& c : cases) {
        for (int variant : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "language " << c.language << " variant " << variant);
            TShowMsg form(nullptr);
            form.ApplyLanguage(c.language, variant);
            EXPECT_EQ(form.windowTitle(), c.caption);
            EXPECT_EQ(form.lblShowMsg->text(), c.message);
            EXPECT_EQ(form.cmdYes->text(), c.yes);
            EXPECT_EQ(form.cmdNo->text(), c.no);
            ExpectLaidOut(form);
        }
    }
}

TEST(ShowMsg, AnUnknownVariantKeepsTheDesignTextsButIsStillResized) {
    TShowMsg form(nullptr);
    EXPECT_EQ(form.width(), 362);
    form.ApplyLanguage(1, 3);
    EXPECT_EQ(form.windowTitle(), "ShowMsg");
    EXPECT_EQ(form.lblShowMsg->text(), kDesign);
    EXPECT_EQ(form.cmdYes->text(), "&Yes");
    EXPECT_EQ(form.cmdNo->text(), "&No");
    EXPECT_NE(form.width(), 362);
    ExpectLaidOut(form);
}

TEST(ShowMsg, ALongMessageWidensTheFormAndTheButtonsStayCentred) {
    TShowMsg form(nullptr);
    form.ApplyLanguage(0, 0);
    int englishWidth = form.width();
    form.lblShowMsg->setText(QString(kEnglish) + " And a great deal more text on this line.");
    form.ApplyLanguage(7, 4);  // an unknown variant changes no text, only the layout
    EXPECT_GT(form.width(), englishWidth);
    EXPECT_GT(form.width(), 362) << "wider than designed";
    ExpectLaidOut(form);
}

TEST(ShowMsg, FontsFollowLanguageAndVariant) {
    {
        TShowMsg form(nullptr);
        form.ApplyLanguage(0, 2);
        EXPECT_EQ(RequestedCharset(form.lblShowMsg), 136) << "English in the OEM variant";
        EXPECT_EQ(form.lblShowMsg->font().pointSize(), 9);
        EXPECT_EQ(RequestedFamily(form.lblShowMsg), "Tahoma");
    }
    for (int variant : {0, 1}) {
        TShowMsg form(nullptr);
        form.ApplyLanguage(0, variant);
        EXPECT_EQ(RequestedCharset(form.lblShowMsg), 0);
        EXPECT_EQ(form.lblShowMsg->font().pixelSize(), 11);
    }
    {
        TShowMsg form(nullptr);
        form.ApplyLanguage(2, 0);
        for (QWidget* control :
             {static_cast<QWidget*>(form.lblShowMsg), static_cast<QWidget*>(form.cmdYes),
              static_cast<QWidget*>(form.cmdNo)}) {
            EXPECT_EQ(RequestedFamily(control), "MS Gothic");
            EXPECT_EQ(RequestedCharset(control), 128);
            EXPECT_EQ(control->font().pixelSize(), 11) << "sizes stay as designed";
        }
    }
    {
        TShowMsg form(nullptr);
        form.ApplyLanguage(1, 2);
        EXPECT_EQ(RequestedFamily(form.lblShowMsg), "Tahoma");
        EXPECT_EQ(RequestedCharset(form.lblShowMsg), 0);
    }
}

TEST(ShowMsg, TheButtonsAnswerAndAnyOtherCloseLeavesTheFlag) {
    for (std::uint8_t before : {0, 1}) {
        std::uint8_t answer = before;
        TShowMsg form(nullptr);
        form.SetAnswerFlag(&answer);
        form.show();
        form.close();  // the title bar's close button
        EXPECT_EQ(answer, before);
    }
    std::uint8_t answer = 0;
    TShowMsg yes(nullptr);
    yes.SetAnswerFlag(&answer);
    yes.show();
    yes.cmdYes->click();
    EXPECT_EQ(answer, 1);
    EXPECT_FALSE(yes.isVisible());
    TShowMsg no(nullptr);
    no.SetAnswerFlag(&answer);
    no.show();
    no.cmdNo->click();
    EXPECT_EQ(answer, 0);
}

TEST(ShowMsg, EnterIsYesEscapeIsNoAndTheTitleBarHasOnlyClose) {
    std::uint8_t answer = 0;
    TShowMsg yes(nullptr);
    yes.SetAnswerFlag(&answer);
    Type(yes, Qt::Key_Return);
    EXPECT_EQ(answer, 1);

    TShowMsg no(nullptr);
    no.SetAnswerFlag(&answer);
    Type(no, Qt::Key_Escape);
    EXPECT_EQ(answer, 0);
    EXPECT_FALSE(no.isVisible());

    EXPECT_TRUE(no.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(no.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(no.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(no.cmdYes->toolTip(), "Yes");
    EXPECT_EQ(no.cmdNo->toolTip(), "No");
}

}  // namespace
