// TEjectDisc: texts and fonts per language, the owner's caption in Chinese, the flag and keys.
#include <gtest/gtest.h>

#include <QPushButton>

#include "dialogs/Frmejectdisc.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using dialogs::TEjectDisc;
using ui_testing::RequestedCharset;
using ui_testing::RequestedFamily;
using ui_testing::Type;

TEST(EjectDisc, TextsPerLanguage) {
    QWidget owner;
    owner.setWindowTitle("Package Title 2.01");
    {
        TEjectDisc form(&owner);
        form.ApplyLanguage(0);
        EXPECT_EQ(form.windowTitle(), "Firmware Updater");
        EXPECT_EQ(form.Label1->text(), "Under insert disk");
        EXPECT_EQ(form.Label2->text(), "Please click \"OK\" button and eject the disk.");
        EXPECT_EQ(form.cmdOK->text(), "OK");
        EXPECT_EQ(form.cmdCancel->text(), "Cancel");
    }
    {
        TEjectDisc form(&owner);
        form.ApplyLanguage(1);
        EXPECT_EQ(form.windowTitle(), "Package Title 2.01") << "the main window's caption";
        EXPECT_EQ(form.Label1->text(), "光碟機內有碟片 !");
        EXPECT_EQ(form.Label2->text(), "請按下 OK 按鍵退出光碟片");
        EXPECT_EQ(form.cmdOK->text(), "確定");
        EXPECT_EQ(form.cmdCancel->text(), "取消");
        EXPECT_EQ(RequestedFamily(form.Label1), "Tahoma");
    }
    {
        TEjectDisc form(&owner);
        form.ApplyLanguage(2);
        EXPECT_EQ(form.windowTitle(), "ファームウェア\u3000アップデータ");
        EXPECT_EQ(form.Label1->text(), "ディスクが挿入されています。");
        EXPECT_EQ(form.Label2->text(), "「OK」をクリックしてディスクを取り出してください。");
        EXPECT_EQ(form.cmdOK->text(), "OK");
        EXPECT_EQ(form.cmdCancel->text(), "キャンセル");
        for (QWidget* control :
             {static_cast<QWidget*>(form.Label1), static_cast<QWidget*>(form.Label2),
              static_cast<QWidget*>(form.cmdCancel)}) {
            EXPECT_EQ(RequestedFamily(control), "MS Gothic");
            EXPECT_EQ(RequestedCharset(control), 128);
            EXPECT_EQ(control->font().pointSize(), 9);
            EXPECT_FALSE(control->font().bold());
        }
        EXPECT_EQ(RequestedFamily(form.cmdOK), "MS Gothic");
        EXPECT_EQ(form.cmdOK->font().pointSize(), 10);
    }
}

TEST(EjectDisc, WithoutAnOwnerTheChineseCaptionStaysAsDesigned) {
    TEjectDisc form(nullptr);
    form.ApplyLanguage(1);
    EXPECT_EQ(form.windowTitle(), "Firmware Updater");
}

TEST(EjectDisc, LayoutAndTitleBar) {
    TEjectDisc form(nullptr);
    EXPECT_EQ(form.size(), QSize(383, 119)) << "391 x 146 less the classic sizeable frame";
    EXPECT_EQ(form.Label1->geometry(), QRect(56, 16, 317, 13));
    EXPECT_EQ(form.Label2->geometry(), QRect(56, 36, 317, 26));
    EXPECT_EQ(form.cmdOK->geometry(), QRect(60, 80, 101, 25));
    EXPECT_EQ(form.cmdCancel->geometry(), QRect(204, 80, 101, 25));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(EjectDisc, ButtonsAnswerEnterIsOkEscapeDoesNothing) {
    std::uint8_t answer = 1;
    TEjectDisc cancel(nullptr);
    cancel.SetAnswerFlag(&answer);
    cancel.show();
    cancel.cmdCancel->click();
    EXPECT_EQ(answer, 0);
    EXPECT_FALSE(cancel.isVisible());

    TEjectDisc enter(nullptr);
    enter.SetAnswerFlag(&answer);
    Type(enter, Qt::Key_Return);
    EXPECT_EQ(answer, 1);
    EXPECT_FALSE(enter.isVisible());

    answer = 1;
    TEjectDisc escape(nullptr);
    escape.SetAnswerFlag(&answer);
    Type(escape, Qt::Key_Escape);
    EXPECT_TRUE(escape.isVisible());
    EXPECT_EQ(answer, 1);
    escape.close();  // the title bar: the caller's 1 stands, so the tray will open
    EXPECT_EQ(answer, 1);
}

}  // namespace
