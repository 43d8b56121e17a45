// The behaviour every form shares: frames, keys, fitting, and the labels' sizing rules.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "dialogs/Form.h"
#include "dialogs/UiFonts.h"
#include "tests/ui/UiTestSupport.h"

namespace {

// A form with one default button, a field that takes the focus without being a button and, when
// asked, an Escape button.
class KeyForm : public ui::Form {
  public:
    explicit KeyForm(bool withEscape)
        : ui::Form(nullptr, "KeyForm", ui::TitleButtons::None, ui::Placement::Screen) {
        field = new QLineEdit(this);
        field->setGeometry(10, 40, 170, 20);
        first = ui::MakeButton(this, "first", {10, 10, 80, 25}, "First");
        second = ui::MakeButton(this, "second", {100, 10, 80, 25}, "Second");
        second->setDefault(true);
        if (withEscape) SetEscapeButton(first);
        first->setFocus();
        connect(first, &QPushButton::clicked, [this] { ++firstClicks; });
        connect(second, &QPushButton::clicked, [this] { ++secondClicks; });
    }
    QLineEdit* field;
    QPushButton* first;
    QPushButton* second;
    int firstClicks = 0;
    int secondClicks = 0;
};

TEST(FormKeys, EnterPressesTheFocusedButtonAndTheDefaultOnlyWhereNoButtonHasTheFocus) {
    KeyForm form(false);
    ui_testing::Type(form, Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), form.first);
    EXPECT_EQ(form.firstClicks, 1) << "the focused button, not the default one";
    EXPECT_EQ(form.secondClicks, 0);
    ui_testing::Type(form, Qt::Key_Enter);  // the keypad's Enter alike
    EXPECT_EQ(form.firstClicks, 2);

    form.field->setFocus();
    ui_testing::Type(form, Qt::Key_Return);
    EXPECT_EQ(form.secondClicks, 1) << "no button has the focus: the default button";
    EXPECT_EQ(form.firstClicks, 2);

    form.second->setEnabled(false);
    ui_testing::Type(form, Qt::Key_Return);
    EXPECT_EQ(form.secondClicks, 1) << "a disabled default button is not pressed";
}

TEST(FormKeys, EscapeStaysTheCancelButtonWhereverTheFocusIs) {
    KeyForm form(true);
    form.second->setFocus();
    ui_testing::Type(form, Qt::Key_Escape);
    EXPECT_EQ(form.firstClicks, 1);
    EXPECT_EQ(form.secondClicks, 0);
}

TEST(FormKeys, EscapeIsTheEscapeButtonOrNothing) {
    KeyForm without(false);
    ui_testing::Type(without, Qt::Key_Escape);
    EXPECT_TRUE(without.isVisible()) << "a form without an Escape button ignores Escape";
    EXPECT_EQ(without.firstClicks + without.secondClicks, 0);

    KeyForm with(true);
    ui_testing::Type(with, Qt::Key_Escape);
    EXPECT_EQ(with.firstClicks, 1);
    EXPECT_EQ(with.secondClicks, 0);
}

TEST(FormFit, AFormWidensToKeepAMarginRightOfItsWidestControl) {
    KeyForm form(false);
    form.resize(150, 50);
    form.show();
    EXPECT_EQ(form.width(), 180 + ui::kRightMargin);
    form.close();

    KeyForm roomy(false);
    roomy.resize(300, 50);
    roomy.show();
    EXPECT_EQ(roomy.width(), 300) << "never narrower";
}

TEST(FormLabel, AutoSizedFollowsItsTextFixedKeepsItsBoxAndGrowsOnlyInHeight) {
    QWidget parent;
    ui::Label automatic(&parent, "automatic", {10, 10, 0, 0}, true);
    ui::DesignFont(automatic, "Tahoma", 11);
    automatic.setText("short");
    int shortWidth = automatic.width();
    automatic.setText("a rather longer text");
    EXPECT_GT(automatic.width(), shortWidth);
    automatic.setText("one\ntwo");
    EXPECT_EQ(automatic.height(), 2 * automatic.LinePitch());

    ui::Label fixed(&parent, "fixed", {10, 10, 100, 40}, false, true);
    ui::DesignFont(fixed, "Tahoma", 11);
    fixed.setText("x");
    EXPECT_EQ(fixed.geometry(), QRect(10, 10, 100, 40)) << "never shrinks below its box";
    fixed.setText("many words that cannot possibly fit on two lines of a hundred pixels each");
    EXPECT_EQ(fixed.width(), 100);
    EXPECT_GT(fixed.height(), 40);
    EXPECT_EQ(fixed.height(), fixed.heightForWidth(100));
}

TEST(FormLabel, AlignedLabelsTheirTextOutgrowsWidenAboutTheirAnchor) {
    QWidget parent;
    ui::Label centred(&parent, "centred", {100, 0, 20, 0}, false, false, Qt::AlignHCenter);
    ui::Label right(&parent, "right", {100, 0, 20, 0}, false, false, Qt::AlignRight);
    for (ui::Label* label : {&centred, &right}) {
        ui::DesignFont(*label, "Tahoma", 11);
        label->setText("After Updating");
    }
    int grow = centred.width() - 20;
    ASSERT_GT(grow, 0);
    EXPECT_EQ(centred.x(), 100 - grow / 2);
    EXPECT_EQ(right.x() + right.width(), 120) << "keeps its right edge";

    centred.setText("ok");
    EXPECT_EQ(centred.geometry().left(), 100);
    EXPECT_EQ(centred.width(), 20) << "back to its box when the text fits again";
}

TEST(FormLabel, CjkLinesAreSetAtMostOnePointTwoEmsApart) {
    QWidget parent;
    ui::Label label(&parent, "label", {0, 0, 0, 0}, true);
    ui::JapaneseFont(label, 9);  // 12 pixels at 96 dpi
    EXPECT_LE(label.LinePitch(), 14);
    EXPECT_GE(label.LinePitch(), 12);
    ui::DesignFont(label, "Tahoma", 11);
    EXPECT_EQ(label.LinePitch(), QFontMetrics(label.font()).lineSpacing())
        << "a Latin face keeps its own spacing";
}

}  // namespace
