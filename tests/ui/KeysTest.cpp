// Enter and Escape in every window: Enter presses the button that has the focus, and the default
// button only where no button has it; each form's first focus follows its tab order; Escape
// keeps its cancel meaning. scripts/x11-test.sh runs these on a real X server as well.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "app/Frmbrenvo.h"
#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "dialogs/Modal.h"
#include "tests/TestMachine.h"
#include "tests/ui/MainWindowSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "wizard/Frmmainqv.h"

namespace {
using ui_testing::ShowActive;
using ui_testing::Type;

QWidget* Focus() {
    return QApplication::focusWidget();
}

TEST(Keys, TheUpdateConfirmationStartsOnCancelAndEnterTakesTheFocusedButton) {
    {
        std::uint8_t answer = 1;
        dialogs::TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        ShowActive(form);
        EXPECT_EQ(Focus(), form.cmdCancel) << "first in the tab order";
        Type(form, Qt::Key_Return);
        EXPECT_EQ(answer, 0) << "Enter on Cancel cancels: nothing is flashed";
        EXPECT_FALSE(form.isVisible());
    }
    {
        std::uint8_t answer = 0;
        dialogs::TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        Type(form, Qt::Key_Tab);
        ASSERT_EQ(Focus(), form.cmdOK);
        Type(form, Qt::Key_Return);
        EXPECT_EQ(answer, 1);
    }
    {
        std::uint8_t answer = 1;
        dialogs::TUpdateCfm form(nullptr);
        form.SetAnswerFlag(&answer);
        Type(form, Qt::Key_Tab);
        Type(form, Qt::Key_Escape);
        EXPECT_EQ(answer, 0) << "Escape cancels, wherever the focus is";
    }
}

TEST(Keys, TheRebootQuestionStartsOnLaterAndEnterTakesTheFocusedButton) {
    {
        testing_support::TestMachine pc;
        dialogs::TReboot form(nullptr);
        ShowActive(form);
        EXPECT_EQ(Focus(), form.cmdRebootLater) << "first in the tab order";
        Type(form, Qt::Key_Return);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(pc.machine().restart.requests, 0) << "Enter on Later does not restart";
    }
    {
        testing_support::TestMachine pc;
        dialogs::TReboot form(nullptr);
        Type(form, Qt::Key_Tab);
        ASSERT_EQ(Focus(), form.cmdRebootNow);
        Type(form, Qt::Key_Return);
        EXPECT_EQ(pc.machine().restart.requests, 1);
    }
}

TEST(Keys, TheQuestionsOfTheRunTakeEnterOnTheFocusedButton) {
    std::uint8_t answer = 0;
    dialogs::TShowMsg yes(nullptr);
    yes.SetAnswerFlag(&answer);
    Type(yes, Qt::Key_Return);
    EXPECT_EQ(answer, 1) << "Yes comes first in the tab order";

    dialogs::TShowMsg no(nullptr);
    no.SetAnswerFlag(&answer);
    Type(no, Qt::Key_Tab);
    ASSERT_EQ(Focus(), no.cmdNo);
    Type(no, Qt::Key_Return);
    EXPECT_EQ(answer, 0);

    answer = 1;
    dialogs::TEjectDisc eject(nullptr);
    eject.SetAnswerFlag(&answer);
    Type(eject, Qt::Key_Tab);
    ASSERT_EQ(Focus(), eject.cmdCancel);
    Type(eject, Qt::Key_Return);
    EXPECT_EQ(answer, 0) << "Enter on Cancel leaves the tray closed";
}

TEST(Keys, AMessageBoxTakesEnterOnTheFocusedButton) {
    ui::Modal::Reset();
    QMessageBox::StandardButton firstFocus = QMessageBox::NoButton;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QApplication::setActiveWindow(box);
        firstFocus = box->standardButton(qobject_cast<QAbstractButton*>(Focus()));
        Type(*box, Qt::Key_Tab);
        Type(*box, Qt::Key_Return);
    });
    QMessageBox::StandardButton pressed = ui::Modal::Message(
        nullptr, ui::MessageKind::Confirmation, "Brenvo", "Continue with the update ?",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    EXPECT_EQ(firstFocus, QMessageBox::Yes) << "the default button has the first focus";
    EXPECT_EQ(pressed, QMessageBox::No) << "Enter pressed the button Tab moved to";
}

class WindowKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::Modal::Reset();
        ui::Modal::SetUnattended(true);
    }
    void TearDown() override {
        window_.reset();
        ui::Modal::Reset();
    }
    app::TBrenvoMain& Start(const std::string& options) {
        block_ =
            std::make_unique<main_testing::PackagedBlock>(main_testing::QuorvantManifest(options));
        window_ = std::make_unique<app::TBrenvoMain>(block_->package);
        EXPECT_EQ(window_->StartResult(), engine::StartEnd::Ready);
        return *window_;
    }

    std::unique_ptr<testing_support::TestMachine> machine_ = main_testing::PresetMachine("typical");
    std::unique_ptr<main_testing::PackagedBlock> block_;
    std::unique_ptr<app::TBrenvoMain> window_;
};

TEST_F(WindowKeys, TheMainWindowTakesEnterOnTheFocusedButton) {
    app::TBrenvoMain& window = Start(main_testing::kShippedOptions);
    ShowActive(window);
    EXPECT_EQ(Focus(), static_cast<QWidget*>(window.cboDrives)) << "first in the tab order";
    Type(window, Qt::Key_Return);
    EXPECT_FALSE(window.TerminateRequested()) << "the list has the focus: Enter presses nothing";
    EXPECT_EQ(window.Engine().LastRun().end, engine::RunEnd::None);
    Type(window, Qt::Key_Tab);
    Type(window, Qt::Key_Tab);
    ASSERT_EQ(Focus(), window.cmdClose);
    Type(window, Qt::Key_Return);
    EXPECT_TRUE(window.TerminateRequested()) << "Enter on Close closes";
}

TEST_F(WindowKeys, TheWizardTakesEnterOnTheFocusedButton) {
    // The OEM variant, staying on the complete page after success.
    app::TBrenvoMain& window = Start(main_testing::WithDigit(
        main_testing::WithDigit(main_testing::kShippedOptions, 1, '2'), 7, '0'));
    auto* wizard = new wizard::TMainQV(window.Session(), &window, {"brenvo.exe"});
    Type(*wizard, Qt::Key_Return);
    EXPECT_EQ(wizard->Page(), engine::kDrivePage) << "Enter on Next, first in the tab order";
    Type(*wizard, Qt::Key_Tab);
    ASSERT_EQ(Focus(), wizard->btnBack);
    Type(*wizard, Qt::Key_Return);
    EXPECT_EQ(wizard->Page(), engine::kWelcomePage) << "Enter on Back goes back";
}

}  // namespace
