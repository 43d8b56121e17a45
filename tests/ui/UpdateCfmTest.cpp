// TUpdateCfm: texts and fonts in the three languages, layout, the answer flag and the keys.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QPushButton>

#include "dialogs/Frmupdatecfm.h"
#include "dialogs/Modal.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using dialogs::TUpdateCfm;
using ui_testing::RequestedCharset;
using ui_testing::RequestedFamily;
using ui_testing::Type;

struct Texts {
    int language;
    const char* caption;
    const char* label1;
    const char* label2;
    const char* label3;
    const char* label4;
    const char* label5;
    const char* ok;
    const char* cancel;
};

const Texts kEnglish = {0,
                        "Update Confirm ...",
                        "Do not open the drive while the update is running.\nClick the Update "
                        "button to start the Update.",
                        "FW Information",
                        "Current",
                        "After Updating",
                        "Version",
                        "Update",
                        "Cancel"};
const Texts kChinese = {
    1,
    "更新確認 ...",
    "您按了更新的按鈕以後 , 您所選擇的光碟機托盤會退出 , 然後這個程式將更新韌體",
    "韌體資訊",
    "目前",
    "更新後",
    "版本",
    "更新",
    "取消"};
const Texts kJapanese = {
    2,
    "ファームウェアの確認",
    "ファームウェアのアップデートを行います。\n[アップデート]ボタンをクリックす"
    "ると、対象ドライブがイジェクトされアップデートが開始されます。",
    "ファームウェアの確認",
    "現在",
    "アップデート",
    "Version",
    "アップデート",
    "キャンセル"};

void ExpectTexts(const TUpdateCfm& form, const Texts& texts) {
    SCOPED_TRACE(texts.language);
    EXPECT_EQ(form.windowTitle(), texts.caption);
    EXPECT_EQ(form.Label1->text(), texts.label1);
    EXPECT_EQ(form.Label2->text(), texts.label2);
    EXPECT_EQ(form.Label3->text(), texts.label3);
    EXPECT_EQ(form.Label4->text(), texts.label4);
    EXPECT_EQ(form.Label5->text(), texts.label5);
    EXPECT_EQ(form.cmdOK->text(), texts.ok);
    EXPECT_EQ(form.cmdCancel->text(), texts.cancel);
    EXPECT_EQ(form.Label8->text(), "-->") << "the arrow never changes";
}

TEST(UpdateCfm, EachLanguageSetsEveryTextAndOtherCodesAreEnglish) {
    for (const Texts& texts : {kEnglish, kChinese, kJapanese}) {
        TUpdateCfm form(nullptr);
        form.ApplyLanguage(texts.language);
        ExpectTexts(form, texts);
    }
    for (int other : {0, 3, 9, -1}) {
        TUpdateCfm form(nullptr);
        form.ApplyLanguage(kChinese.language);  // English overwrites whatever is there
        form.ApplyLanguage(other);
        ExpectTexts(form,
                    {other, kEnglish.caption, kEnglish.label1, kEnglish.label2, kEnglish.label3,
                     kEnglish.label4, kEnglish.label5, kEnglish.ok, kEnglish.cancel});
    }
}

TEST(UpdateCfm, JapaneseSwitchesFontsButNotTheVersionLabels) {
    TUpdateCfm form(nullptr);
    form.lblOldFW->setText("1.00");
    form.ApplyLanguage(2);
    for (QWidget* label : {static_cast<QWidget*>(form.Label1), static_cast<QWidget*>(form.Label2),
                           static_cast<QWidget*>(form.Label3), static_cast<QWidget*>(form.Label4),
                           static_cast<QWidget*>(form.Label5)}) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(RequestedFamily(label), "MS Gothic");
        EXPECT_EQ(RequestedCharset(label), 128);
        EXPECT_EQ(label->font().pointSize(), 9);
        EXPECT_FALSE(label->font().bold());
        EXPECT_FALSE(label->font().underline());
    }
    for (QPushButton* button : {form.cmdOK, form.cmdCancel}) {
        EXPECT_EQ(RequestedFamily(button), "MS Gothic");
        EXPECT_EQ(button->font().pointSize(), 8);
        EXPECT_FALSE(button->font().bold());
    }
    for (ui::Label* label : {form.lblOldFW, form.Label8, form.lblNewFW}) {
        EXPECT_EQ(RequestedFamily(label), "Tahoma");
        EXPECT_EQ(RequestedCharset(label), 0);
        EXPECT_EQ(label->font().pixelSize(), 11);
        EXPECT_TRUE(label->font().bold());
    }
    EXPECT_EQ(form.lblOldFW->text(), "1.00");
}

TEST(UpdateCfm, EnglishAndChineseKeepTheDesignFonts) {
    for (int language : {0, 1}) {
        TUpdateCfm form(nullptr);
        form.ApplyLanguage(language);
        EXPECT_EQ(RequestedFamily(form.Label2), "Tahoma");
        EXPECT_EQ(form.Label2->font().pixelSize(), 11);
        EXPECT_TRUE(form.Label2->font().bold());
        EXPECT_TRUE(form.Label2->font().underline());
        EXPECT_TRUE(form.cmdOK->font().bold());
        EXPECT_EQ(RequestedFamily(&form), "MS Sans Serif");
    }
}

TEST(UpdateCfm, LayoutAndTitleBar) {
    TUpdateCfm form(nullptr);
    form.ApplyLanguage(0);
    EXPECT_EQ(form.size(), QSize(462, 212));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "a fixed border";
    EXPECT_EQ(form.Image1->geometry(), QRect(8, 8, 33, 33));
    EXPECT_EQ(form.GroupBox1->geometry(), QRect(48, 56, 389, 109));
    EXPECT_TRUE(form.GroupBox1->title().isEmpty());
    EXPECT_EQ(form.Label2->parentWidget(), form.GroupBox1);
    EXPECT_EQ(form.Label2->pos(), QPoint(13, 16));
    EXPECT_EQ(form.lblOldFW->pos(), QPoint(121, 64));
    EXPECT_EQ(form.Label8->pos(), QPoint(185, 64));
    EXPECT_EQ(form.lblNewFW->pos(), QPoint(245, 64));
    EXPECT_EQ(form.cmdOK->geometry(), QRect(119, 177, 96, 25));
    EXPECT_EQ(form.cmdCancel->geometry(), QRect(271, 177, 96, 25));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(form.lblOldFW->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
}

TEST(UpdateCfm, ButtonsWriteTheAnswerAndClose) {
    {
        std::uint8_t answer = 0;
        TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        form.show();
        form.cmdOK->click();
        EXPECT_EQ(answer, 1);
        EXPECT_FALSE(form.isVisible());
    }
    {
        std::uint8_t answer = 7;
        TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        form.show();
        form.cmdCancel->click();
        EXPECT_EQ(answer, 0);
        EXPECT_FALSE(form.isVisible());
    }
    {
        TUpdateCfm form(nullptr);  // no answer target: the buttons only close
        form.show();
        form.cmdOK->click();
        EXPECT_FALSE(form.isVisible());
    }
}

TEST(UpdateCfm, EnterUpdatesFromUpdateEscapeCancelsAndAnyOtherCloseLeavesTheFlag) {
    {
        std::uint8_t answer = 0;
        TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        Type(form, Qt::Key_Tab);
        Type(form, Qt::Key_Return);
        EXPECT_EQ(answer, 1) << "Cancel comes first in the tab order; Tab, then Enter on Update";
    }
    {
        std::uint8_t answer = 1;
        TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        Type(form, Qt::Key_Escape);
        EXPECT_EQ(answer, 0);
        EXPECT_FALSE(form.isVisible());
    }
    {
        std::uint8_t answer = 0;
        TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        form.show();
        form.close();
        EXPECT_EQ(answer, 0);
    }
}

TEST(UpdateCfm, TabOrderStartsOnCancel) {
    TUpdateCfm form(nullptr);
    ui_testing::ShowActive(form);
    EXPECT_EQ(QApplication::focusWidget(), form.cmdCancel);
    Type(form, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form.cmdOK);
}

TEST(UpdateCfm, TheUpdateProceduresSequenceThroughTheModalQueue) {
    ui::Modal::Reset();
    QWidget mainWindow;
    std::uint8_t answer = 0;
    TUpdateCfm form(&mainWindow);
    form.SetAnswerFlag(&answer);
    form.lblNewFW->setText("1.02");
    form.lblOldFW->setText("1.00");
    form.ApplyLanguage(1);
    QString shownOld;
    ui::Modal::QueueAction([&](QDialog& shown) {
        shownOld = static_cast<TUpdateCfm&>(shown).lblOldFW->text();
        Type(shown, Qt::Key_Tab);
        Type(shown, Qt::Key_Return);
    });
    ui::Modal::Show(form);
    EXPECT_EQ(shownOld, "1.00");
    EXPECT_EQ(answer, 1);
    EXPECT_FALSE(form.isVisible());
    ui::Modal::Reset();
}

}  // namespace
