// The Win32 main window and the OEM wizard on emulated PCs: start-up in each language with its
// words, fonts and places, the Close button as the only way out, a whole update through the
// window with its dialogs answered by keys, and the wizard's pages from welcome to the check after
// the restart.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>

#include "common/Text.h"
#include "engine/StartupTexts.h"
#include "engine/WindowTexts.h"
#include "tests/ui/MainWindowSupport.h"
#include "win32/Dialogs.h"
#include "win32/MainWindow.h"
#include "win32/Modal.h"
#include "win32/Wizard.h"
#include "win32/tests/Win32TestSupport.h"

namespace {
using namespace win32ui;
using engine::StartEnd;
using main_testing::kShippedOptions;
using main_testing::PackagedBlock;
using main_testing::PresetMachine;
using main_testing::QuorvantManifest;
using main_testing::WithDigit;
using win32_testing::At;
using win32_testing::ClientOf;
using win32_testing::DrawnFace;
using win32_testing::DrawnFaceOf;
using win32_testing::FontOf;
using win32_testing::LanguageName;
using win32_testing::Picture;
using win32_testing::PostKey;
using win32_testing::Text;

const std::string kCustomDialogOptions = package::OptionsWith({{"uiVariant", 1}});
const std::string kOemOptions = package::OptionsWith({{"uiVariant", 2}});

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        Modal::SetUnattended(true);
        ResetQuit();
    }
    void TearDown() override {
        window_.reset();
        Modal::Reset();
        ResetQuit();
    }

    TBrenvoMain& Start(const std::string& options = kShippedOptions,
                       std::vector<std::string> commandLine = {}) {
        window_.reset();
        ResetQuit();
        block_ = std::make_unique<PackagedBlock>(QuorvantManifest(options));
        window_ = std::make_unique<TBrenvoMain>(block_->package, std::move(commandLine));
        return *window_;
    }

    // Lets the loop turn until `done` holds (at most 20 seconds of real time).
    template <typename Done>
    void Until(Done done) {
        const DWORD start = GetTickCount();
        while (!done() && GetTickCount() - start < 20000) {
            ResetQuit();
            PumpPending();
            if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
        ASSERT_TRUE(done());
    }

    // The OEM variant's wizard, once the main window has handed over at its first paint.
    TMainQV& Wizard(std::vector<std::string> commandLine = {}) {
        TBrenvoMain& window = Start(kOemOptions, std::move(commandLine));
        window.FormShow();
        Until([&] { return window.Wizard() != nullptr; });
        return *window.Wizard();
    }

    std::unique_ptr<testing_support::TestMachine> machine_ = PresetMachine("typical");
    std::unique_ptr<PackagedBlock> block_;
    std::unique_ptr<TBrenvoMain> window_;
};

TEST_F(MainWindow, StartsInEachLanguageWithItsWordsFontsAndPlaces) {
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        TBrenvoMain& window =
            Start(WithDigit(kShippedOptions, 2, static_cast<char>('0' + language)));
        ASSERT_EQ(window.StartResult(), StartEnd::Ready);
        window.FormShow();
        const engine::MainWindowTexts words = engine::MainWindowWords(language);
        EXPECT_EQ(window.Caption(), "Firmware Flasher - QV13 - DVD-RW QV-1600");
        EXPECT_EQ(Text(window.Label1), words.prompt);
        EXPECT_EQ(Text(window.lblTo), words.to);
        EXPECT_EQ(Text(window.cmdUpdate), words.update);
        EXPECT_EQ(Text(window.cmdClose), words.close);
        EXPECT_EQ(Text(window.lblOldFW), "QV11");
        EXPECT_EQ(Text(window.lblNewFW), "QV13");
        EXPECT_EQ(Text(window.lblPercent), "0 %") << "not the layout's 100%";
        EXPECT_TRUE(IsWindowEnabled(window.cmdUpdate));

        SIZE client = ClientOf(window.Handle());
        EXPECT_EQ(client.cx, kMainClientWidth);
        EXPECT_EQ(client.cy, kMainClientHeight);
        RECT list = At(window.cboDrives), update = At(window.cmdUpdate), bar = At(window.pbar);
        EXPECT_EQ(list.left, 8);
        EXPECT_EQ(list.top, 24);
        EXPECT_EQ(list.right, 374);
        EXPECT_EQ(update.left, 386);
        EXPECT_EQ(update.right, 106);
        EXPECT_EQ(update.bottom, 25);
        EXPECT_EQ(At(window.cmdClose).top, 52);
        EXPECT_EQ(bar.left, 16);
        EXPECT_EQ(bar.top, 112);
        EXPECT_EQ(bar.right, 429);
        // Old revision, "to" and new revision follow the message 10 pixels apart.
        RECT message = At(window.lblUpdateMsg), from = At(window.lblOldFW), to = At(window.lblTo);
        EXPECT_EQ(from.left, message.left + message.right + 10);
        EXPECT_EQ(to.left, from.left + from.right + 10);
        EXPECT_EQ(At(window.lblNewFW).left, to.left + to.right + 10);
        EXPECT_EQ(from.top, message.top + message.bottom / 2 - from.bottom / 2);

        EXPECT_EQ(FontOf(window.cboDrives).face, "Courier New");
        EXPECT_EQ(FontOf(window.cboDrives).height, -13);
        // The list's columns line up only in a fixed-pitch face: the one drawn, whatever was asked.
        const DrawnFace drawn = DrawnFaceOf(window.cboDrives);
        EXPECT_FALSE(drawn.face.empty());
        EXPECT_TRUE(drawn.fixedPitch) << drawn.face;
        EXPECT_EQ(drawn.narrowWidth, drawn.wideWidth) << drawn.face;
        if (language == 0) RecordProperty("list_face", drawn.face);
        if (language == kLanguageJapanese) {
            EXPECT_EQ(FontOf(window.Label1).face, "MS Gothic");
            EXPECT_EQ(FontOf(window.Label1).charset, kShiftJisCharset);
            EXPECT_FALSE(FontOf(window.lblMsg).bold);
            EXPECT_EQ(FontOf(window.cmdUpdate).height, HeightOfPoints(8));
            EXPECT_FALSE(FontOf(window.cmdUpdate).bold);
        } else {
            EXPECT_EQ(FontOf(window.Label1).face, "Arial");
            EXPECT_TRUE(FontOf(window.lblMsg).bold);
            EXPECT_EQ(FontOf(window.cmdUpdate).face, "Tahoma");
            EXPECT_TRUE(FontOf(window.cmdUpdate).bold);
        }
        Picture(window.Handle(), std::string("main-") + LanguageName(language));
    }
}

TEST_F(MainWindow, TheIdleWindowClosesFromItsTitleBarAndFromItsCloseButton) {
    TBrenvoMain& window = Start();
    window.FormShow();
    HMENU menu = GetSystemMenu(window.Handle(), FALSE);
    EXPECT_NE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1))
        << "Close stays in the system menu";
    SendMessageW(window.Handle(), WM_CLOSE, 0, 0);  // as Alt+F4 would
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    EXPECT_TRUE(window.TerminateRequested());

    TBrenvoMain& pressed = Start();
    pressed.FormShow();
    SendMessageW(pressed.cmdClose, BM_CLICK, 0, 0);
    EXPECT_TRUE(pressed.TerminateRequested());
    EXPECT_FALSE(IsWindowVisible(pressed.Handle()));
}

TEST_F(MainWindow, EnterPressesTheFocusedButtonAndNothingElse) {
    TBrenvoMain& window = Start();
    window.FormShow();
    PostKey(window.cboDrives, VK_RETURN);
    PumpPending();
    EXPECT_FALSE(window.TerminateRequested()) << "the list has the focus: Enter presses nothing";
    EXPECT_EQ(window.Engine().LastRun().end, engine::RunEnd::None);
    PostKey(window.cmdClose, VK_RETURN);
    Until([&] { return window.TerminateRequested(); });
}

TEST_F(MainWindow, ClosedInTheTrayLoopWhileAWorkerFlashesTheWindowStaysUntilTheVerdict) {
    // A person at an unattended run with the tray check: E: is empty and its worker starts,
    // F: holds a disc nobody can eject, and Close is pressed during F:'s tray loop.
    machine_.reset();
    machine_ = PresetMachine("typical", main_testing::EmptyEAndLockedDiscInF);
    Modal::SetUnattended(false);
    for (int i = 0; i < 20; ++i)
        Modal::QueueAnswer(IDOK);  // the tray loop's warnings, the verdict
    TBrenvoMain& window = Start(WithDigit(WithDigit(kShippedOptions, 5, '1'), 8, '1'));
    ASSERT_EQ(window.StartResult(), StartEnd::Ready);
    // Close is pressed at the first turn of the loop inside the run: the tray loop's repaint.
    Form clicker("Clicker", WS_POPUP);
    bool clicked = false, visibleAfterClose = false, endingAfterClose = true;
    clicker.OnTimer(1, [&] {
        KillTimer(clicker.Handle(), 1);
        if (!window.Engine().InRun()) return;
        clicked = true;
        SendMessageW(window.cmdClose, BM_CLICK, 0, 0);
        SendMessageW(window.Handle(), WM_CLOSE, 0, 0);  // as Alt+F4 would
        visibleAfterClose = IsWindowVisible(window.Handle()) != FALSE;
        endingAfterClose = window.TerminateRequested();
    });
    window.FormShow();  // starts the run
    SetTimer(clicker.Handle(), 1, 0, nullptr);
    Until([&] { return window.Engine().LastRun().end != engine::RunEnd::None; });
    Until([&] { return !window.Engine().InRun() && window.Engine().Running() == 0; });
    ASSERT_TRUE(clicked) << "Close came during the run";
    EXPECT_TRUE(visibleAfterClose) << "the window does not vanish during the run";
    EXPECT_FALSE(endingAfterClose) << "the program does not end before the run";
    EXPECT_EQ(window.Engine().LastRun().end, engine::RunEnd::Stopped);
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(),
              platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20))
        << "the flash that had begun ran to its end";
    EXPECT_EQ(machine_->machine().FindDrive("F:")->Settings().revision, "QV11");
    ASSERT_FALSE(Modal::Messages().empty());
    EXPECT_EQ(Modal::Messages().back().text, "Unable to flash firmware.") << "the true verdict";
    EXPECT_TRUE(window.TerminateRequested()) << "then the program ends, as asked";
}

TEST_F(MainWindow, AccessDeniedInJapaneseShowsTheRefusalForm) {
    machine_.reset();
    machine_ = PresetMachine("typical", [](auto& m) { m.security.administrator = false; });
    std::string shown;
    Modal::QueueAction([&](Form& form) {
        shown = form.Name();
        PostKey(form.Handle(), VK_RETURN);
    });
    TBrenvoMain& window = Start(WithDigit(kShippedOptions, 2, '2'));
    EXPECT_EQ(window.StartResult(), StartEnd::AccessDenied);
    EXPECT_TRUE(window.TerminateRequested());
    EXPECT_EQ(shown, "InvalidUser");
}

TEST_F(MainWindow, ADirectIdePackageOnA64BitWindowsIsRefusedBeforeItsDriverIsInstalled) {
    const std::string directIde = WithDigit(kShippedOptions, 12, '1');
    for (char language : {'0', '1', '2'}) {
        SCOPED_TRACE(std::string("language ") + language);
        Modal::Reset();
        Modal::SetUnattended(true);
        window_.reset();
        machine_.reset();
        machine_ = PresetMachine("ide");
        block_ =
            std::make_unique<PackagedBlock>(QuorvantManifest(WithDigit(directIde, 2, language)));
        window_ = std::make_unique<TBrenvoMain>(block_->package, std::vector<std::string>{},
                                                TBrenvoMain::DirectIde::SixtyFourBitWindows);
        EXPECT_TRUE(window_->DirectIdeRefused());
        EXPECT_TRUE(window_->TerminateRequested()) << "the window is never shown";
        EXPECT_EQ(window_->ExitStatus(), engine::kExitNo64BitDriver) << "a failure, not a success";
        ASSERT_EQ(Modal::Messages().size(), 1u);
        EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Error);
        EXPECT_EQ(Modal::Messages()[0].text, engine::SixtyFourBitWindowsText(language - '0'));
        EXPECT_TRUE(machine_->machine().ide.services.empty()) << "no driver installed";
    }
    // On a 32-bit Windows the same package installs its driver as ever.
    window_.reset();
    Start(directIde);
    EXPECT_FALSE(window_->DirectIdeRefused());
    EXPECT_EQ(machine_->machine().ide.services.count("RUR"), 1u);
}

TEST_F(MainWindow, UpdateFlashesTheDriveThroughTheWindowWithItsFormsAnsweredByKeys) {
    Modal::QueueAnswer(IDOK);  // the checklist
    std::string fromTo;
    Modal::QueueAction([&](Form& form) {
        auto& confirm = static_cast<TUpdateCfm&>(form);
        fromTo = form.Name() + ":" + Text(confirm.lblOldFW) + "->" + Text(confirm.lblNewFW);
        PostKey(confirm.cmdOK, VK_RETURN);  // Enter on Update
    });
    std::string reboot;
    Modal::QueueAction([&](Form& form) {
        reboot = form.Name();
        PostKey(form.Handle(), VK_ESCAPE);  // no cancel button: left as it is, then closed
    });
    TBrenvoMain& window = Start(kCustomDialogOptions);
    ASSERT_EQ(window.StartResult(), StartEnd::Ready);
    window.FormShow();
    SendMessageW(window.cmdUpdate, BM_CLICK, 0, 0);
    EXPECT_EQ(fromTo, "UpdateCfm:QV11->QV13");
    EXPECT_FALSE(IsWindowEnabled(window.cmdUpdate)) << "both buttons rest while the worker runs";
    EXPECT_FALSE(IsWindowEnabled(window.cmdClose));
    Until([&] { return window.Engine().LastRun().end != engine::RunEnd::None; });
    EXPECT_EQ(window.Engine().LastRun().end, engine::RunEnd::Succeeded);
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(),
              platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20))
        << "the drive holds the package's image, unscrambled";
    EXPECT_EQ(reboot, "RebootZULK");
    EXPECT_EQ(Text(window.lblOldFW), "QV13") << "the list was read again";
    EXPECT_EQ(Text(window.lblPercent), "0 %");
}

TEST_F(MainWindow, WhileTheDriveIsFlashedTheWindowHoldsOffAShutdown) {
    TBrenvoMain& window = Start();
    ASSERT_EQ(window.StartResult(), StartEnd::Ready);
    window.FormShow();
    EXPECT_EQ(SendMessageW(window.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageW(window.cmdUpdate, BM_CLICK, 0, 0);
    // The worker's end reaches the window only through its loop, which has not turned yet.
    EXPECT_TRUE(window.Flashing());
    EXPECT_EQ(SendMessageW(window.Handle(), WM_QUERYENDSESSION, 0, 0), FALSE);
    EXPECT_TRUE(machine_->machine().shutdownBlock.held) << "and the system's own block";
    Until([&] { return window.Engine().LastRun().end != engine::RunEnd::None; });
    EXPECT_EQ(window.Engine().LastRun().end, engine::RunEnd::Succeeded);
    EXPECT_FALSE(window.Flashing());
    EXPECT_FALSE(machine_->machine().shutdownBlock.held);
    EXPECT_EQ(SendMessageW(window.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
}

TEST_F(MainWindow, ProgressFromTheWorkerArrivesInOrderOnTheWindowsThread) {
    TBrenvoMain& window = Start();
    std::thread worker([&] {
        for (int percent = 1; percent <= 50; ++percent)
            window.showProgress(percent);
        window.showStatus("Erasing");
    });
    worker.join();
    EXPECT_EQ(Text(window.lblPercent), "0 %") << "nothing before the window's loop turns";
    Until([&] { return Text(window.lblMsg) == "Erasing"; });
    EXPECT_EQ(Text(window.lblPercent), "50 %");
    EXPECT_EQ(SendMessageW(window.pbar, PBM_GETPOS, 0, 0), 50);
}

TEST_F(MainWindow, TheWizardDrawsEachPageFromWelcomeToComplete) {
    TMainQV& wizard = Wizard();
    EXPECT_FALSE(IsWindowVisible(window_->Handle())) << "the main window hides behind it";
    EXPECT_EQ(wizard.Page(), engine::kWelcomePage);
    EXPECT_EQ(wizard.Caption(), window_->Caption());
    EXPECT_EQ(Text(wizard.lblMessage).substr(0, 48),
              "Welcome to the Quorvant firmware update program.");
    EXPECT_EQ(Text(wizard.lblVersion), engine::kWizardVersionText);
    EXPECT_EQ(Text(wizard.btnNext), engine::kWizardNext);
    EXPECT_FALSE(IsWindowEnabled(wizard.btnBack));
    // The wizard's list asks for the face in Big5, which a Chinese system (and this prefix) maps
    // to a monospaced CJK face: its Chinese glyphs are twice as wide as its Latin ones, so Wine
    // reports it as not of fixed pitch. Its Latin letters line up, and each Big5 character, two
    // bytes of a line, takes exactly two letters' room, measured in the face drawn.
    const DrawnFace list = DrawnFaceOf(wizard.cboDrives);
    EXPECT_EQ(list.narrowWidth, list.wideWidth) << list.face;
    EXPECT_EQ(list.big5Width, 2 * list.wideWidth) << list.face;
    RecordProperty("wizard_list_face",
                   list.face + (list.fixedPitch ? " (fixed)" : " (dual width)"));
    EXPECT_EQ(FontOf(wizard.lblMessage).face, "MS Sans Serif");
    EXPECT_EQ(FontOf(wizard.lblMessage).height, -12);
    EXPECT_EQ(FontOf(wizard.lblMessage).charset, kBig5Charset);
    EXPECT_EQ(At(wizard.lblMessage).left, 146);
    EXPECT_EQ(At(wizard.lblMessage).top, 55);
    EXPECT_GE(ClientOf(wizard.Handle()).cx, engine::kWizardClientWidth);
    EXPECT_EQ(ClientOf(wizard.Handle()).cy, engine::kWizardClientHeight);
    // Every line of every page fits: the form grew to the widest.
    EXPECT_LE(At(wizard.lblMessage).left + At(wizard.lblMessage).right,
              ClientOf(wizard.Handle()).cx);
    Picture(wizard.Handle(), "wizard-1-welcome");

    PostKey(wizard.btnNext, VK_RETURN);
    Until([&] { return wizard.Page() == engine::kDrivePage; });
    EXPECT_EQ(SendMessageW(wizard.cboDrives, CB_GETCOUNT, 0, 0),
              SendMessageW(window_->cboDrives, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(Text(wizard.lblOldFW), "QV11");
    EXPECT_EQ(Text(wizard.lblNewFW), "QV13");
    EXPECT_EQ(At(wizard.lblMessage).top, 30);
    EXPECT_TRUE(IsWindowEnabled(wizard.btnNext));
    Picture(wizard.Handle(), "wizard-2-drive");

    // The question is the system's Yes/No box, with the wizard's caption.
    Modal::QueueAnswer(IDYES);
    wizard.Click(wizard.btnNext);
    ASSERT_FALSE(Modal::Messages().empty());
    EXPECT_EQ(Modal::Messages().back().kind, MessageKind::Confirmation);
    EXPECT_EQ(Modal::Messages().back().title, window_->Caption());
    EXPECT_EQ(Modal::Messages().back().buttons, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(wizard.Page(), engine::kProgressPage);
    EXPECT_FALSE(IsWindowVisible(wizard.btnNext));
    Picture(wizard.Handle(), "wizard-3-progress");
    Until([&] { return wizard.Page() == engine::kCompletePage; });
    EXPECT_EQ(Text(wizard.btnCancel), engine::kWizardShutDown);
    EXPECT_EQ(SendMessageW(wizard.pbar, PBM_GETPOS, 0, 0),
              SendMessageW(wizard.pbar, PBM_GETRANGE, FALSE, 0))
        << "the bar drawn full";
    Picture(wizard.Handle(), "wizard-4-complete");
    wizard.Click(wizard.btnCancel);
    EXPECT_TRUE(machine_->machine().restart.pending) << "Shut Down restarts the computer";
    EXPECT_TRUE(window_->TerminateRequested());
}

TEST_F(MainWindow, TheWizardTakesEnterOnTheFocusedButton) {
    TMainQV& wizard = Wizard();
    PostKey(wizard.btnNext, VK_RETURN);
    Until([&] { return wizard.Page() == engine::kDrivePage; });
    PostKey(wizard.btnBack, VK_RETURN);
    Until([&] { return wizard.Page() == engine::kWelcomePage; });
    PostKey(wizard.cboDrives, VK_RETURN);
    PumpPending();
    EXPECT_EQ(wizard.Page(), engine::kWelcomePage)
        << "no default button: Enter on the list presses nothing";
}

TEST_F(MainWindow, TheWizardChecksTheRevisionAfterTheRestart) {
    struct Case {
        const char* expected;
        const char* index;
        engine::CheckOutcome outcome;
    } cases[] = {{" QV11 ", "0", engine::CheckOutcome::Matches},
                 {"QV13", "0", engine::CheckOutcome::Differs},
                 {"QV11", "9", engine::CheckOutcome::NotListed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        TMainQV& wizard = Wizard({"brenvo.exe", "/QVCHECK", c.index, c.expected});
        EXPECT_EQ(wizard.Page(), engine::kResultPage);
        EXPECT_EQ(Text(wizard.btnNext), engine::kWizardFinished);
        EXPECT_EQ(IsWindowVisible(wizard.imgCheck) != FALSE,
                  c.outcome == engine::CheckOutcome::Matches);
        EXPECT_EQ(IsWindowVisible(wizard.imgRedx) != FALSE,
                  c.outcome != engine::CheckOutcome::Matches);
        EXPECT_EQ(IsWindowVisible(wizard.memShowMsg) != FALSE,
                  c.outcome != engine::CheckOutcome::Matches)
            << "a failed check says why";
        if (c.outcome == engine::CheckOutcome::Matches) {
            EXPECT_EQ(Text(wizard.lblMessage), "The firmware update was successful.");
        }
        if (c.outcome == engine::CheckOutcome::Differs) {
            EXPECT_EQ(Text(wizard.memShowMsg),
                      "The firmware version reported by the drive QV11 does\n"
                      "not match the expected version(QV13).");
        }
        Picture(wizard.Handle(), std::string("wizard-6-result-") +
                                     (c.outcome == engine::CheckOutcome::Matches   ? "matches"
                                      : c.outcome == engine::CheckOutcome::Differs ? "differs"
                                                                                   : "notlisted"));
        // Finished ends the program.
        PostKey(wizard.btnNext, VK_RETURN);
        Until([&] { return window_->TerminateRequested(); });
    }
}

}  // namespace
