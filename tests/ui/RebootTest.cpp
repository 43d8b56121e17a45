// The reboot dialogs: texts per language, the restart through the system services on an emulated
// PC, a refused restart, and the keys.
#include <gtest/gtest.h>

#include <QPushButton>

#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Modal.h"
#include "tests/TestMachine.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using dialogs::TReboot;
using dialogs::TRebootZULK;
using platform::emulated::Machine;
using testing_support::TestMachine;
using ui_testing::RequestedFamily;
using ui_testing::Type;

void NoShutdownPrivilege(Machine& m) {
    m.shutdown.shutdownPrivilege = false;
}

TEST(Reboot, TextsPerLanguage) {
    TReboot english(nullptr);
    english.ApplyLanguage(4);
    EXPECT_EQ(english.windowTitle(), "Reboot?");
    EXPECT_EQ(english.Label1->text(), "Do you wish to reboot your system?");
    EXPECT_EQ(english.Label2->text(), "(A reboot is recommended, but not absolutely necessary.)");
    EXPECT_EQ(english.cmdRebootLater->text(), "Later");
    EXPECT_EQ(english.cmdRebootNow->text(), "Now");

    TReboot chinese(nullptr);
    chinese.ApplyLanguage(1);
    EXPECT_EQ(chinese.windowTitle(), "重新啟動警告");
    EXPECT_EQ(chinese.Label1->text(), "您的電腦必須重新啟動 !");
    EXPECT_EQ(chinese.Label2->text(), "      您需要重新啟動電腦,請先儲存目前所有的資料!");
    EXPECT_EQ(chinese.cmdRebootLater->text(), "稍後");
    EXPECT_EQ(chinese.cmdRebootNow->text(), "立即");

    TReboot japanese(nullptr);
    japanese.ApplyLanguage(2);
    EXPECT_EQ(japanese.windowTitle(), "再起動警告");
    EXPECT_EQ(japanese.Label1->text(), "システムを再起動する必要があります。 !");
    EXPECT_EQ(japanese.Label2->text(), "A reboot is necesarry, and that all data should be saved. ")
        << "no Japanese second line: the design text stays";
    EXPECT_EQ(RequestedFamily(japanese.Label2), "Tahoma");
    EXPECT_EQ(japanese.cmdRebootLater->text(), "あとで");
    EXPECT_EQ(japanese.cmdRebootNow->text(), "いま");
    EXPECT_EQ(RequestedFamily(japanese.Label1), "MS Gothic");
    EXPECT_EQ(japanese.Label1->font().pointSize(), 9);
    for (QPushButton* button : {japanese.cmdRebootLater, japanese.cmdRebootNow}) {
        EXPECT_EQ(RequestedFamily(button), "MS Gothic");
        EXPECT_EQ(button->font().pointSize(), 8);
        EXPECT_FALSE(button->font().bold());
    }
}

TEST(Reboot, NowRestartsTheComputerLaterDoesNot) {
    {
        TestMachine pc;
        TReboot form(nullptr);
        form.show();
        form.cmdRebootLater->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(pc.machine().restart.requests, 0);
    }
    {
        TestMachine pc;
        TReboot form(nullptr);
        form.show();
        form.cmdRebootNow->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(pc.machine().restart.requests, 1);
        EXPECT_TRUE(pc.machine().restart.pending);
        EXPECT_EQ(pc.machine().restart.lastFlags, 6u) << "EWX_REBOOT | EWX_FORCE";
    }
}

TEST(Reboot, ARefusedRestartClosesTheFormWithoutAWord) {
    ui::Modal::Reset();
    ui::Modal::SetUnattended(true);
    TestMachine pc(NoShutdownPrivilege);
    TReboot form(nullptr);
    form.show();
    form.cmdRebootNow->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(pc.machine().restart.pending);
    EXPECT_TRUE(ui::Modal::Messages().empty());
    EXPECT_EQ(ui::Modal::Unanswered(), 0);
    ui::Modal::Reset();
}

TEST(Reboot, EscapeDoesNothingEnterIsTheFocusedLaterAndThereIsNoCloseButton) {
    {
        TestMachine pc;
        TReboot form(nullptr);
        Type(form, Qt::Key_Escape);
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(QApplication::focusWidget(), form.cmdRebootLater) << "first in the tab order";
        Type(form, Qt::Key_Return);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(pc.machine().restart.requests, 0);
    }
    TReboot form(nullptr);
    EXPECT_EQ(form.objectName(), "Reboot");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.size(), ui::ClientSizeFor({310, 131}, ui::Border::Sizeable));
    EXPECT_EQ(form.cmdRebootLater->geometry(), QRect(71, 68, 77, 25));
    EXPECT_EQ(form.cmdRebootNow->geometry(), QRect(163, 68, 77, 25));
    EXPECT_EQ(form.cmdRebootLater->toolTip(), "Reboot Later");
    EXPECT_EQ(form.cmdRebootNow->toolTip(), "Reboot Now");
    EXPECT_EQ(form.Label1->pos(), QPoint(56, 20));
    EXPECT_EQ(form.Label2->pos(), QPoint(16, 40));
}

TEST(RebootZULK, TextsPerLanguage) {
    TRebootZULK english(nullptr);
    english.ApplyLanguage(0);
    EXPECT_EQ(english.windowTitle(), "Reboot Warning");
    EXPECT_EQ(english.Label1->text(), "The firmware has been successfully updated.");
    EXPECT_EQ(english.Label2->text(), "Please restart your computer to complete the installation.");
    EXPECT_EQ(english.cmdRebootZULKNow->text(), "Reboot");

    TRebootZULK chinese(nullptr);
    chinese.ApplyLanguage(1);
    EXPECT_EQ(chinese.windowTitle(), "重新啟動警告");
    EXPECT_EQ(chinese.Label1->text(), "韌體更新已經完全成功 !");
    EXPECT_EQ(chinese.Label2->text(),
              "新的韌體在重新啟動之後才能正常運作.\n請關閉視窗作業系統並重新啟動.");
    EXPECT_EQ(chinese.cmdRebootZULKNow->text(), "重新啟動");

    TRebootZULK japanese(nullptr);
    japanese.ApplyLanguage(2);
    EXPECT_EQ(japanese.windowTitle(), "再起動警告");
    EXPECT_EQ(japanese.Label1->text(), "ファームウェアのアップデートは、正常に終了しました。");
    EXPECT_EQ(japanese.Label2->text(),
              "更新された内容は、コンピュータの再起動後有効になります。\nWindowsを終了し、"
              "コンピュータを再起動してください。");
    EXPECT_EQ(japanese.cmdRebootZULKNow->text(), "再起動");
    for (ui::Label* label : {japanese.Label1, japanese.Label2}) {
        EXPECT_EQ(RequestedFamily(label), "MS Gothic");
        EXPECT_EQ(label->font().pointSize(), 9);
    }
    EXPECT_EQ(japanese.cmdRebootZULKNow->font().pointSize(), 8);
}

TEST(RebootZULK, ItsOnlyButtonRestartsAndEnterPressesIt) {
    {
        TestMachine pc;
        TRebootZULK form(nullptr);
        Type(form, Qt::Key_Escape);
        EXPECT_TRUE(form.isVisible()) << "no way to decline";
        Type(form, Qt::Key_Return);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(pc.machine().restart.requests, 1);
    }
    {
        TestMachine pc(NoShutdownPrivilege);
        TRebootZULK form(nullptr);
        form.show();
        form.cmdRebootZULKNow->click();
        EXPECT_FALSE(form.isVisible()) << "closes even when the system refuses";
        EXPECT_FALSE(pc.machine().restart.pending);
    }
    TRebootZULK form(nullptr);
    EXPECT_EQ(form.objectName(), "RebootZULK");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.size(), ui::ClientSizeFor({456, 174}, ui::Border::Sizeable));
    EXPECT_EQ(form.Label1->geometry().topLeft(), QPoint(52, 12));
    EXPECT_EQ(form.Label2->geometry(), QRect(52, 52, 385, 45));
    EXPECT_EQ(form.cmdRebootZULKNow->geometry(), QRect(167, 112, 102, 25));
    EXPECT_EQ(form.cmdRebootZULKNow->toolTip(), "RebootZULK Now");
}

}  // namespace
