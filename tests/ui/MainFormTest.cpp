// The main window's widgets: where they sit, their texts and fonts in each language, the
// revision line and the drive list's fixed-pitch face.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/MainForm.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using app::MainForm;
using ui_testing::RequestedCharset;
using ui_testing::RequestedFamily;

struct Localised {
    int language;
    const char* label1;
    const char* updateMsg;
    const char* to;
    const char* msg;
    const char* update;
    const char* close;
};

const Localised kTexts[] = {
    {0, "Please select target drive", "it will be updated from", "To", "Message", "Update",
     "Close"},
    {7, "Please select target drive", "it will be updated from", "To", "Message", "Update",
     "Close"},
    {1, "請選擇您要更新的光碟機", "光碟機韌體將被更新 , 從", "到", "狀態訊息", "更新", "關閉"},
    {2, "対象ドライブを選択して下さい。", "ファームウェアをアップデートします。", "->",
     "メッセージ", "アップデート", "クローズ"},
};

TEST(MainForm, ControlsSitWhereTheyWereDrawn) {
    MainForm form;
    EXPECT_EQ(form.size(), QSize(494, 140));
    EXPECT_EQ(form.cboDrives->geometry(), QRect(8, 24, 374, 24));
    EXPECT_EQ(form.cmdUpdate->geometry(), QRect(386, 24, 106, 25));
    EXPECT_EQ(form.cmdClose->geometry(), QRect(386, 52, 106, 25));
    EXPECT_EQ(form.Bevel1->geometry(), QRect(8, 84, 484, 49));
    EXPECT_EQ(form.pbar->geometry(), QRect(16, 112, 429, 13));
    EXPECT_EQ(form.Label1->pos(), QPoint(12, 4));
    EXPECT_EQ(form.lblMsg->pos(), QPoint(16, 92));
    EXPECT_EQ(form.lblPercent->pos(), QPoint(448, 112));
    EXPECT_FALSE(form.cboDrives->isEditable());
    EXPECT_EQ(form.pbar->minimum(), 0);
    EXPECT_EQ(form.pbar->maximum(), 100);
    EXPECT_FALSE(form.tmr->isActive());
    EXPECT_EQ(form.tmr->interval(), 100);
    EXPECT_EQ(form.cmdUpdate->text(), "&Update") << "the design text, before localisation";
    EXPECT_FALSE(form.cmdUpdate->icon().isNull()) << "the button carries a glyph";
}

TEST(MainForm, TextsInEachLanguage) {
    for (const Localised& l : kTexts) {
        SCOPED_TRACE(l.language);
        MainForm form;
        form.Localise(l.language);
        EXPECT_EQ(form.Label1->text(), QString(l.label1));
        EXPECT_EQ(form.lblUpdateMsg->text(), QString(l.updateMsg));
        EXPECT_EQ(form.lblTo->text(), QString(l.to));
        EXPECT_EQ(form.lblMsg->text(), QString(l.msg));
        EXPECT_EQ(form.cmdUpdate->text(), QString(l.update));
        EXPECT_EQ(form.cmdClose->text(), QString(l.close));
    }
}

TEST(MainForm, OnlyJapaneseChangesFonts) {
    for (int language : {0, 1}) {
        MainForm form;
        form.Localise(language);
        EXPECT_EQ(RequestedFamily(form.Label1), "Arial");
        EXPECT_EQ(RequestedFamily(form.lblTo), "Arial");
        EXPECT_EQ(RequestedFamily(form.lblMsg), "Tahoma");
        EXPECT_TRUE(form.lblMsg->font().bold());
        EXPECT_EQ(RequestedFamily(form.cmdUpdate), "Tahoma");
        EXPECT_TRUE(form.cmdClose->font().bold());
        EXPECT_EQ(RequestedCharset(form.lblUpdateMsg), 0);
    }
    MainForm form;
    form.Localise(2);
    for (QWidget* label : {static_cast<QWidget*>(form.Label1), static_cast<QWidget*>(form.lblTo),
                           static_cast<QWidget*>(form.lblUpdateMsg)}) {
        EXPECT_EQ(RequestedFamily(label), "MS Gothic");
        EXPECT_EQ(RequestedCharset(label), 128);
        EXPECT_EQ(label->font().pixelSize(), 11) << "labels keep their size";
    }
    EXPECT_EQ(RequestedFamily(form.lblMsg), "MS Gothic");
    EXPECT_EQ(RequestedCharset(form.lblMsg), 128);
    EXPECT_FALSE(form.lblMsg->font().bold());
    for (QPushButton* button : {form.cmdUpdate, form.cmdClose}) {
        EXPECT_EQ(RequestedFamily(button), "MS Gothic");
        EXPECT_EQ(RequestedCharset(button), 128);
        EXPECT_FALSE(button->font().bold());
        EXPECT_EQ(button->font().pointSize(), 8);
    }
    EXPECT_EQ(RequestedFamily(form.lblOldFW), "Tahoma") << "the revisions keep their font";
    EXPECT_EQ(RequestedFamily(form.cboDrives), "Courier New");
}

TEST(MainForm, EveryTextHasItsGlyphsAndFitsTheWindow) {
    for (const Localised& l : kTexts) {
        SCOPED_TRACE(l.language);
        MainForm form;
        form.Localise(l.language);
        form.lblOldFW->setText("QV11-03");
        form.lblNewFW->setText("QV13");
        form.show();
        form.LayoutRevisionLine();
        for (ui::Label* label : form.findChildren<ui::Label*>()) {
            SCOPED_TRACE(label->objectName().toStdString());
            EXPECT_FALSE(ui_testing::DrawnWith(label->text(), label->font()).missingGlyph);
            EXPECT_LE(label->geometry().right(), form.width() - 1);
        }
        for (QPushButton* button : {form.cmdUpdate, form.cmdClose}) {
            EXPECT_FALSE(ui_testing::DrawnWith(button->text(), button->font()).missingGlyph);
            QFontMetrics metrics(button->font());
            EXPECT_LE(metrics.horizontalAdvance(button->text()) + button->iconSize().width(),
                      button->width() - 8)
                << button->text().toStdString();
        }
        EXPECT_LT(form.lblNewFW->geometry().right(), form.cmdUpdate->x())
            << "the revision line stays clear of the buttons";
    }
}

TEST(MainForm, RevisionLineFollowsTheTextsTenPixelsApartAndCentred) {
    for (int language : {0, 2}) {
        SCOPED_TRACE(language);
        MainForm form;
        form.Localise(language);
        form.lblOldFW->setText("QV11-03");
        form.lblNewFW->setText("QV13");
        form.LayoutRevisionLine();
        QRect message = form.lblUpdateMsg->geometry();
        EXPECT_EQ(form.lblOldFW->x(), message.x() + message.width() + 10);
        EXPECT_EQ(form.lblTo->x(), form.lblOldFW->x() + form.lblOldFW->width() + 10);
        EXPECT_EQ(form.lblNewFW->x(), form.lblTo->x() + form.lblTo->width() + 10);
        for (QLabel* label : {static_cast<QLabel*>(form.lblOldFW), static_cast<QLabel*>(form.lblTo),
                              static_cast<QLabel*>(form.lblNewFW)})
            EXPECT_EQ(label->y(), message.y() + message.height() / 2 - label->height() / 2);
    }
    // A wider revision moves what follows it.
    MainForm form;
    form.lblOldFW->setText("QV11");
    form.LayoutRevisionLine();
    int narrow = form.lblTo->x();
    form.lblOldFW->setText("QV11-03");
    form.LayoutRevisionLine();
    EXPECT_GT(form.lblTo->x(), narrow);
}

TEST(MainForm, TheDriveListLinesUpItsColumns) {
    MainForm form;
    QFontMetrics metrics(form.cboDrives->font());
    EXPECT_TRUE(QFontInfo(form.cboDrives->font()).fixedPitch());
    // Two lines of the same length end in the same column whatever their letters.
    EXPECT_EQ(metrics.horizontalAdvance(" 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11"),
              metrics.horizontalAdvance(" 1-0-1-0 F:   OTHERCOCD-ROM XJ-52   1.00"));
    EXPECT_EQ(metrics.horizontalAdvance("iiiiiiii"), metrics.horizontalAdvance("WWWWWWWW"));
    // The longest line, with an 8-character drive tag, fits beside the drop-down arrow.
    form.cboDrives->addItem(" 1-0-0-0 E:QUORVANTDVD-RW QV-1600  QV11-03");
    EXPECT_LE(metrics.horizontalAdvance(form.cboDrives->itemText(0)), form.cboDrives->width() - 24);
}

}  // namespace
