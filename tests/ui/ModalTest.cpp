// The one place that shows message boxes and dialogs answers from the queue when tests ask it to.
#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>

#include "dialogs/Modal.h"

namespace {
using ui::MessageKind;
using ui::Modal;

class ModalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        Modal::SetUnattended(true);
    }
    void TearDown() override { Modal::Reset(); }
};

TEST_F(ModalTest, MessageBoxesTakeQueuedAnswersInOrderAndAreRecorded) {
    Modal::QueueAnswer(QMessageBox::Yes);
    Modal::QueueAnswer(QMessageBox::No);
    EXPECT_EQ(Modal::Message(nullptr, MessageKind::Confirmation, "Q", "first?",
                             QMessageBox::Yes | QMessageBox::No),
              QMessageBox::Yes);
    EXPECT_EQ(Modal::Message(nullptr, MessageKind::Warning, "W", "second?",
                             QMessageBox::Yes | QMessageBox::No),
              QMessageBox::No);
    ASSERT_EQ(Modal::Messages().size(), 2u);
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(Modal::Messages()[1].text, "second?");
    EXPECT_EQ(Modal::Unanswered(), 0);
}

TEST_F(ModalTest, UnattendedQuestionsWithoutAnAnswerAreCountedNotShown) {
    EXPECT_EQ(Modal::Message(nullptr, MessageKind::Error, "E", "failed"), QMessageBox::NoButton);
    QDialog dialog;
    Modal::Show(dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Modal::Unanswered(), 2);
    EXPECT_EQ(Modal::Messages().size(), 1u) << "still recorded";
}

TEST_F(ModalTest, AQueuedActionPlaysTheUserOnTheShownDialog) {
    QDialog dialog;
    auto* button = new QPushButton("OK", &dialog);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    bool wasVisible = false;
    Modal::QueueAction([&](QDialog& shown) {
        wasVisible = shown.isVisible();
        button->click();
    });
    Modal::Show(dialog);
    EXPECT_TRUE(wasVisible);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(dialog.isVisible()) << "left open, then closed as by its title bar";
    EXPECT_EQ(Modal::Unanswered(), 0);
}

}  // namespace
