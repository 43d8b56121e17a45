// The three refusal dialogs: texts and fonts per language, layout, and the OK button and keys.
#include <gtest/gtest.h>

#include <QPushButton>
#include <functional>
#include <memory>

#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmmostupdate.h"
#include "dialogs/Frmnoproperdrive.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using dialogs::RefusalForm;
using ui_testing::RequestedCharset;
using ui_testing::RequestedFamily;
using ui_testing::Type;

const char kOwnerCaption[] = "Drive Maker DVD Writer Update";
const char kJapaneseCaption[] = "ファームウェア\u3000アップデータ";

struct Member {
    const char* name;
    std::function<std::unique_ptr<RefusalForm>(QWidget*, int language)> make;
    QSize outer;
    QRect label1;
    QPoint ok;
    const char* english;
    const char* chinese;
    const char* japanese;
};

template <typename Form>
std::unique_ptr<RefusalForm> Make(QWidget* owner, int language) {
    auto form = std::make_unique<Form>(owner);
    form->ApplyLanguage(language);
    return form;
}

const Member kMembers[] = {
    {"TInvalidUser",
     Make<dialogs::TInvalidUser>,
     {416, 155},
     {56, 20, 337, 13},
     {156, 84},
     "Logined by non-permission user .",
     "存取遭拒 ! 您必須具有管理者權限才能更新光碟機韌體 !",
     "制限ユーザーでログインしています。"},
    {"TNoProperDrive",
     Make<dialogs::TNoProperDrive>,
     {444, 131},
     {56, 20, 365, 29},
     {160, 64},
     "No supported drive detected.",
     "您所使用的光碟機並不適用於這個韌體更新程式 !",
     "このプログラムに対応したDVDドライプが見つかりません。"},
    {"TMostUpdate",
     Make<dialogs::TMostUpdate>,
     {415, 132},
     {56, 20, 337, 33},
     {148, 68},
     "This DVD drive does not need update.",
     "您的光碟機韌體已經是最新版本 !",
     "DVDドライブのファームウェアは書き換え不要です。"},
};

TEST(Refusal, EachMemberInTheThreeLanguages) {
    QWidget owner;
    owner.setWindowTitle(kOwnerCaption);
    for (const Member& m : kMembers) {
        SCOPED_TRACE(m.name);
        for (int english : {0, 5}) {
            auto form = m.make(&owner, english);
            EXPECT_EQ(form->windowTitle(), "Firmware Updater");
            EXPECT_EQ(form->Label1->text(), m.english) << "English keeps the design text";
            EXPECT_EQ(form->cmdOK->text(), "OK");
            EXPECT_EQ(RequestedFamily(form->Label1), "Tahoma");
        }
        auto chinese = m.make(&owner, 1);
        EXPECT_EQ(chinese->windowTitle(), kOwnerCaption);
        EXPECT_EQ(chinese->Label1->text(), m.chinese);
        EXPECT_EQ(chinese->cmdOK->text(), "確定");
        EXPECT_EQ(RequestedFamily(chinese->Label1), "Tahoma");

        auto japanese = m.make(&owner, 2);
        EXPECT_EQ(japanese->windowTitle(), kJapaneseCaption);
        EXPECT_EQ(japanese->Label1->text(), m.japanese);
        EXPECT_EQ(japanese->cmdOK->text(), "OK");
        EXPECT_EQ(RequestedFamily(japanese->Label1), "MS Gothic");
        EXPECT_EQ(RequestedCharset(japanese->Label1), 128);
        EXPECT_EQ(japanese->Label1->font().pointSize(), 9);
        EXPECT_FALSE(japanese->Label1->font().bold());
        EXPECT_EQ(RequestedFamily(japanese->cmdOK), "MS Gothic");
        EXPECT_EQ(japanese->cmdOK->font().pointSize(), 10);
    }
}

TEST(Refusal, InvalidUserHasASecondLineExceptInChinese) {
    QWidget owner;
    owner.setWindowTitle(kOwnerCaption);
    dialogs::TInvalidUser english(&owner);
    english.ApplyLanguage(0);
    english.show();
    EXPECT_TRUE(english.Label2->isVisible());
    EXPECT_EQ(english.Label2->text(), "Please login again by administrator user.");
    EXPECT_EQ(english.Label2->geometry(), QRect(56, 44, 333, 26));

    dialogs::TInvalidUser chinese(&owner);
    chinese.ApplyLanguage(1);
    chinese.show();
    EXPECT_FALSE(chinese.Label2->isVisible()) << "one line only";

    dialogs::TInvalidUser japanese(&owner);
    japanese.ApplyLanguage(2);
    EXPECT_EQ(japanese.Label2->text(),
              "このプログラムは管理者ユーザーでログインして\n実行してください。");
    EXPECT_EQ(RequestedFamily(japanese.Label2), "MS Gothic");
    EXPECT_EQ(japanese.Label2->font().pointSize(), 9);
}

TEST(Refusal, LayoutTitleBarAndKeys) {
    for (const Member& m : kMembers) {
        SCOPED_TRACE(m.name);
        auto form = m.make(nullptr, 0);
        EXPECT_EQ(form->size(), ui::ClientSizeFor(m.outer, ui::Border::Sizeable));
        EXPECT_EQ(form->Label1->geometry(), m.label1);
        EXPECT_EQ(form->cmdOK->geometry(), QRect(m.ok, QSize(101, 25)));
        EXPECT_EQ(form->Image1->geometry(), QRect(8, 8, 37, 33));
        EXPECT_FALSE(form->cmdOK->font().bold());
        EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);

        Type(*form, Qt::Key_Escape);
        EXPECT_TRUE(form->isVisible()) << "no button takes Escape";
        Type(*form, Qt::Key_Return);
        EXPECT_FALSE(form->isVisible()) << "Enter is OK";

        auto clicked = m.make(nullptr, 1);
        clicked->show();
        clicked->cmdOK->click();
        EXPECT_FALSE(clicked->isVisible());
    }
}

}  // namespace
