// The Qt drawing of the OEM wizard in front of the main window on emulated PCs: each page's look,
// texts, fonts and places, the progress bar and the cursor during the run, the result page's mark
// and details, its message boxes, and the close and hand-over of the window. Where each button
// leads is the core's walk, tested once for both windows (WizardFlowTest).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "app/Frmbrenvo.h"
#include "dialogs/Modal.h"
#include "dialogs/UiFonts.h"
#include "tests/ui/MainWindowSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "wizard/Frmmainqv.h"

namespace {
using app::TBrenvoMain;
using main_testing::kShippedOptions;
using main_testing::PackagedBlock;
using main_testing::PresetMachine;
using main_testing::QuorvantManifest;
using main_testing::WithDigit;
using ui::MessageKind;
using ui::Modal;
using wizard::TMainQV;

// The OEM variant, staying on the complete page after success (no restart, no exit).
const std::string kOemOptions = WithDigit(WithDigit(kShippedOptions, 1, '2'), 7, '0');

const QString kDriveText =
    "Select the supported Quorvant drive to be updated.\n    \n    \n    \n    \nThe firmware of "
    "the selected drive will be changed from\nversion             to version";
const QString kFailureText =
    "Firmware update failed.\n    \nThe firmware update program could not verify that\nthe "
    "selected drive has been properly updated.";

class Wizard : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        Modal::SetUnattended(true);
    }
    void TearDown() override {
        window_.reset();
        Modal::Reset();
    }

    // The main window of the OEM package and, in front of it, the wizard started with
    // `commandLine`; the window owns the wizard.
    TMainQV& Start(const std::vector<std::string>& commandLine = {"brenvo.exe"}) {
        block_ = std::make_unique<PackagedBlock>(QuorvantManifest(kOemOptions));
        window_ = std::make_unique<TBrenvoMain>(block_->package);
        EXPECT_EQ(window_->StartResult(), engine::StartEnd::Ready);
        wizard_ = new TMainQV(window_->Session(), window_.get(), commandLine);
        return *wizard_;
    }
    TMainQV& Check(const std::string& index, const std::string& revision) {
        return Start({"brenvo.exe", "/QVCHECK", index, revision});
    }

    // Visible and enabled, visible and disabled, hidden and disabled.
    static void ExpectShown(const QWidget* control) {
        EXPECT_TRUE(control->isVisibleTo(control->parentWidget()))
            << control->objectName().toStdString();
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    static void ExpectDisabled(const QWidget* control) {
        EXPECT_TRUE(control->isVisibleTo(control->parentWidget()))
            << control->objectName().toStdString();
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    static void ExpectHidden(const QWidget* control) {
        EXPECT_FALSE(control->isVisibleTo(control->parentWidget()))
            << control->objectName().toStdString();
    }
    static void ExpectButtonsHiddenAndOff(const QPushButton* button) {
        ExpectHidden(button);
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }

    // Lets the loop turn until the update run has ended: the worker runs on its own thread and
    // the emulated PC's clock is virtual, so this is as long as the computing takes.
    void WaitForRun() {
        bool ended = QTest::qWaitFor(
            [&] {
                return window_->Engine().Running() == 0 &&
                       window_->Engine().LastRun().end != engine::RunEnd::None;
            },
            60000);
        ASSERT_TRUE(ended) << "the update run did not end";
    }

    // From the welcome page through the question to the progress page.
    void StartUpdate(TMainQV& wizard) {
        wizard.btnNext->click();
        Modal::QueueAnswer(QMessageBox::Yes);
        wizard.btnNext->click();
    }

    std::unique_ptr<testing_support::TestMachine> machine_ = PresetMachine("typical");
    std::unique_ptr<PackagedBlock> block_;
    std::unique_ptr<TBrenvoMain> window_;
    QPointer<TMainQV> wizard_;
};

TEST_F(Wizard, OpensOnTheWelcomePageWithTheMainWindowsCaption) {
    TMainQV& wizard = Start();
    EXPECT_EQ(wizard.Page(), engine::kWelcomePage);
    EXPECT_EQ(wizard.windowTitle(), "Firmware Flasher - QV13 - DVD-RW QV-1600");
    EXPECT_EQ(wizard.lblMessage->text(),
              "Welcome to the Quorvant firmware update program.\n\nThis program will update the "
              "firmware for the\nQuorvant drive you select.\n\nIt is strongly recommended that "
              "you close all files and exit any\nWindows applications before you continue with "
              "this update.\nAt the end of the update you will be required to restart your\n"
              "computer; any files left open may result in lose of data.\nRemove any disc from "
              "the drive that you will be updating.");
    EXPECT_EQ(wizard.lblMessage->pos(), QPoint(146, 55));
    ExpectShown(wizard.lblVersion);
    EXPECT_EQ(wizard.lblVersion->text(), "v2.1.2d Aug 18 2004");
    for (QWidget* control :
         {static_cast<QWidget*>(wizard.lblOldFW), static_cast<QWidget*>(wizard.lblNewFW),
          static_cast<QWidget*>(wizard.cboDrives), static_cast<QWidget*>(wizard.pbar),
          static_cast<QWidget*>(wizard.memShowMsg), static_cast<QWidget*>(wizard.imgRedx),
          static_cast<QWidget*>(wizard.imgCheck)})
        ExpectHidden(control);
    ExpectDisabled(wizard.btnBack);
    EXPECT_EQ(wizard.btnBack->text(), "<&Back");
    ExpectShown(wizard.btnNext);
    EXPECT_EQ(wizard.btnNext->text(), "&Next>");
    ExpectShown(wizard.btnCancel);
    EXPECT_EQ(wizard.btnCancel->text(), "Cancel");
    EXPECT_TRUE(wizard.tmrT1->isActive()) << "the timer runs from the start";
    EXPECT_EQ(wizard.tmrT1->interval(), 1000);
    EXPECT_FALSE(wizard.windowFlags() & Qt::WindowCloseButtonHint) << "no title-bar buttons";
    EXPECT_EQ(wizard.focusWidget(), wizard.btnNext) << "Next comes first in the tab order";
    EXPECT_EQ(wizard.btnNext->nextInFocusChain(), wizard.btnBack);
}

TEST_F(Wizard, AsksForItsDesignFontsAndFitsEveryPageText) {
    TMainQV& wizard = Start();
    EXPECT_EQ(ui_testing::RequestedFamily(wizard.lblMessage), "MS Sans Serif");
    EXPECT_EQ(ui_testing::RequestedCharset(wizard.lblMessage), ui::kBig5Charset);
    EXPECT_EQ(wizard.lblMessage->font().pixelSize(), 12);
    EXPECT_EQ(ui_testing::RequestedFamily(wizard.cboDrives), "Courier New");
    EXPECT_EQ(wizard.height(), engine::kWizardClientHeight);
    EXPECT_GE(wizard.width(), engine::kWizardClientWidth);
    // The faces standing in for MS Sans Serif are wider: no page's text may run off the form
    // or under the buttons, and the buttons stay at the right edge.
    auto fits = [&](const char* page) {
        QRect text(wizard.lblMessage->pos(), wizard.lblMessage->sizeHint());
        EXPECT_LE(text.right(), wizard.width() - ui::kRightMargin) << page;
        EXPECT_LT(text.bottom(), wizard.btnNext->y()) << page;
    };
    fits("welcome");
    wizard.btnNext->click();
    fits("drive");
    EXPECT_EQ(wizard.btnCancel->geometry().right(), wizard.width() - 10);
    EXPECT_LE(wizard.lblNewFW->x() + wizard.lblNewFW->sizeHint().width(),
              wizard.width() - ui::kRightMargin);
    wizard.Flow().ShowCompletePage();
    fits("complete");
    ASSERT_TRUE(wizard.pbar->isVisibleTo(&wizard));
    TMainQV& result = Check("0", "QV12");
    QRect text(result.lblMessage->pos(), result.lblMessage->sizeHint());
    EXPECT_LT(text.bottom(), result.memShowMsg->y()) << "the failure text above the details";
}

TEST_F(Wizard, TheDrivePageListsTheMainWindowsDrivesWithTheRevisionsInTheGaps) {
    TMainQV& wizard = Start();
    wizard.btnNext->click();
    EXPECT_EQ(wizard.Page(), engine::kDrivePage);
    EXPECT_EQ(wizard.lblMessage->text(), kDriveText);
    EXPECT_EQ(wizard.lblMessage->pos(), QPoint(146, 30));
    ASSERT_EQ(wizard.cboDrives->count(), 2);
    for (int item = 0; item < 2; ++item)
        EXPECT_EQ(wizard.cboDrives->itemText(item), window_->cboDrives->itemText(item));
    EXPECT_EQ(wizard.cboDrives->currentIndex(), 0);
    EXPECT_EQ(wizard.lblOldFW->text(), "QV11");
    EXPECT_EQ(wizard.lblNewFW->text(), "QV13");
    ExpectShown(wizard.cboDrives);
    ExpectShown(wizard.lblOldFW);
    ExpectShown(wizard.lblNewFW);
    ExpectHidden(wizard.lblVersion);
    ExpectHidden(wizard.pbar);
    ExpectShown(wizard.btnBack);
    ExpectShown(wizard.btnNext);
    ExpectShown(wizard.btnCancel);
    // The revisions sit in the gaps of the last line, whatever face draws it: below the line
    // before, the old one between "version" and "to version", the new one after it.
    const QFontMetrics metrics(wizard.lblMessage->font());
    const int pitch = wizard.lblMessage->LinePitch();
    const int lastLine = wizard.lblMessage->y() + 6 * pitch;
    for (const ui::Label* label : {wizard.lblOldFW, wizard.lblNewFW}) {
        EXPECT_GE(label->y(), lastLine - 1) << label->objectName().toStdString();
        EXPECT_LT(label->y(), lastLine + pitch) << label->objectName().toStdString();
    }
    const int left = wizard.lblMessage->x();
    EXPECT_GE(wizard.lblOldFW->x(), left + metrics.horizontalAdvance("version"));
    EXPECT_LE(wizard.lblOldFW->x() + wizard.lblOldFW->sizeHint().width(),
              left + metrics.horizontalAdvance("version             "));
    EXPECT_GE(wizard.lblNewFW->x(),
              left + metrics.horizontalAdvance("version             to version"));

    // A choice in the list reaches the main window, and Next follows what it may update.
    wizard.cboDrives->setCurrentIndex(1);
    emit wizard.cboDrives->activated(1);
    EXPECT_EQ(window_->cboDrives->currentIndex(), 1) << "the main window follows the choice";
    ExpectDisabled(wizard.btnNext);
    wizard.cboDrives->setCurrentIndex(0);
    emit wizard.cboDrives->activated(0);
    ExpectShown(wizard.btnNext);

    wizard.btnBack->click();
    EXPECT_EQ(wizard.Page(), engine::kWelcomePage);
    ExpectHidden(wizard.cboDrives);
    ExpectShown(wizard.lblVersion);
}

TEST_F(Wizard, TheRunShowsTheWaitCursorAndTheMainWindowsProgress) {
    TMainQV& wizard = Start();
    StartUpdate(wizard);
    EXPECT_EQ(wizard.Page(), engine::kProgressPage);
    EXPECT_EQ(window_->Engine().Running(), 1) << "the main window's update runs";
    EXPECT_EQ(wizard.lblMessage->text(),
              "Waiting for the update operation to complete.\n    \nWARNING: DO not turn off "
              "the computer while the firmware\nis being updated. However,if the progress "
              "indicator stops for\nmore than a minute you will need to restart your computer."
              "\nThe firmware update program will then continue\nautomatically after the "
              "restart.");
    EXPECT_EQ(wizard.lblMessage->pos(), QPoint(146, 55));
    ExpectShown(wizard.pbar);
    ExpectHidden(wizard.cboDrives);
    for (QPushButton* button : {wizard.btnBack, wizard.btnNext, wizard.btnCancel})
        ExpectButtonsHiddenAndOff(button);
    EXPECT_EQ(wizard.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(wizard.pbar->maximum(), window_->pbar->maximum());

    for (int tick = 0; tick < 15; ++tick)
        window_->tmrTimer();
    ASSERT_GT(window_->pbar->value(), 0);
    QMetaObject::invokeMethod(wizard.tmrT1, "timeout", Qt::DirectConnection);
    EXPECT_EQ(wizard.pbar->value(), window_->pbar->value());

    WaitForRun();
    QMetaObject::invokeMethod(wizard.tmrT1, "timeout", Qt::DirectConnection);
    EXPECT_EQ(wizard.Page(), engine::kCompletePage);
    EXPECT_EQ(wizard.lblMessage->text(),
              "Firmware update complete.\n    \nRemove all flopies, click the Shut Down button, "
              "and then\nTURN OFF your computer. When you restart your computer\nthe firmware "
              "update will be in effect.");
    ExpectShown(wizard.btnCancel);
    EXPECT_EQ(wizard.btnCancel->text(), "&Shut Down");
    ExpectButtonsHiddenAndOff(wizard.btnBack);
    ExpectButtonsHiddenAndOff(wizard.btnNext);
    ExpectShown(wizard.pbar);
    EXPECT_EQ(wizard.pbar->value(), wizard.pbar->maximum());
    EXPECT_EQ(wizard.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Wizard, SpeaksEnglishWhateverThePackagesLanguage) {
    block_ = std::make_unique<PackagedBlock>(QuorvantManifest(WithDigit(kOemOptions, 2, '2')));
    window_ = std::make_unique<TBrenvoMain>(block_->package);
    ASSERT_EQ(window_->Label1->text(), "対象ドライブを選択して下さい。") << "a Japanese package";
    machine_->machine().shutdown.exitWindowsFails = true;
    auto* wizard = new TMainQV(window_->Session(), window_.get(), {"brenvo.exe"});
    EXPECT_TRUE(wizard->lblMessage->text().startsWith("Welcome to the Quorvant firmware"));
    EXPECT_EQ(wizard->btnCancel->text(), "Cancel");
    wizard->btnNext->click();
    EXPECT_EQ(wizard->lblMessage->text(), kDriveText);
    Modal::QueueAnswer(QMessageBox::No);
    wizard->btnNext->click();
    wizard->Flow().ShowCompletePage();
    wizard->btnCancel->click();
    ASSERT_EQ(Modal::Messages().size(), 2u);
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(Modal::Messages()[0].text,
              "The firmware of the selected drive will now be updated to version QV13.\n\n"
              "Continue with the update ?");
    EXPECT_EQ(Modal::Messages()[1].kind, MessageKind::Warning);
    EXPECT_EQ(Modal::Messages()[1].text,
              "The application was unable to reboot the computer. Please reboot your computer "
              "manually.");
}

TEST_F(Wizard, TheResultPageShowsTheMarkOrTheCrossWithItsDetails) {
    TMainQV& matches = Check("0", " QV11 ");
    EXPECT_EQ(matches.Page(), engine::kResultPage);
    EXPECT_EQ(matches.lblMessage->text(), "The firmware update was successful.");
    EXPECT_EQ(matches.lblMessage->pos(), QPoint(195, 30));
    ExpectShown(matches.imgCheck);
    ExpectHidden(matches.imgRedx);
    ExpectHidden(matches.memShowMsg);
    ExpectShown(matches.btnBack);
    ExpectShown(matches.btnNext);
    EXPECT_EQ(matches.btnNext->text(), "&Finished");
    ExpectDisabled(matches.btnCancel);

    TMainQV& differs = Check("0", "qv11");
    EXPECT_EQ(differs.lblMessage->text(), kFailureText);
    ExpectShown(differs.imgRedx);
    ExpectHidden(differs.imgCheck);
    ExpectShown(differs.memShowMsg);
    EXPECT_EQ(differs.memShowMsg->toPlainText(),
              "The firmware version reported by the drive QV11 does\nnot match the expected "
              "version(qv11).");
    EXPECT_TRUE(differs.memShowMsg->isReadOnly());

    differs.btnBack->click();
    EXPECT_EQ(differs.Page(), engine::kDrivePage);
    ExpectHidden(differs.memShowMsg);
    ExpectHidden(differs.imgRedx);
}

TEST_F(Wizard, ClosingTheWizardEndsTheProgram) {
    TMainQV& wizard = Start();
    wizard.show();
    wizard.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard_.isNull()) << "the form is freed on close";
    EXPECT_TRUE(window_->TerminateRequested());
}

TEST_F(Wizard, AClosedWizardStaysWhileItsFlashRuns) {
    TMainQV& wizard = Start();
    wizard.show();
    StartUpdate(wizard);
    ASSERT_EQ(window_->Engine().Running(), 1);
    // The title bar's close (Alt+F4) during the flash: refused, asked nothing.
    const size_t asked = Modal::Messages().size();
    wizard.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(wizard_.isNull()) << "the wizard stays";
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_FALSE(window_->TerminateRequested());
    EXPECT_EQ(Modal::Messages().size(), asked) << "no question while the flash runs";
    WaitForRun();
}

TEST_F(Wizard, TheOemMainWindowHandsOverToTheWizardAtItsFirstPaint) {
    block_ = std::make_unique<PackagedBlock>(QuorvantManifest(kOemOptions));
    window_ = std::make_unique<TBrenvoMain>(block_->package);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    TMainQV* wizard = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        wizard = window_->findChild<TMainQV*>();
        return wizard != nullptr;
    }));
    EXPECT_TRUE(window_->isHidden());
    EXPECT_TRUE(wizard->isVisible()) << "shown without waiting";
    EXPECT_TRUE(wizard->isWindow());
    EXPECT_EQ(wizard->Page(), engine::kWelcomePage);
}

}  // namespace
