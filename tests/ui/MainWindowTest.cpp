// The main window on emulated PCs: start-up in each language, each way start-up ends the
// program, the drive list and its revision line, the buttons, and a whole update through the
// window with its questions answered.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/Frmbrenvo.h"
#include "dialogs/Modal.h"
#include "tests/ui/MainWindowSupport.h"
#include "tests/ui/UiTestSupport.h"

namespace {
using app::TBrenvoMain;
using engine::StartEnd;
using main_testing::kShippedOptions;
using main_testing::PackagedBlock;
using main_testing::PresetMachine;
using main_testing::QuorvantManifest;
using main_testing::WithDigit;
using ui::MessageKind;
using ui::Modal;

QColor TextColour(const QWidget* control) {
    return control->palette().color(QPalette::WindowText);
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        Modal::SetUnattended(true);
    }
    void TearDown() override { Modal::Reset(); }

    // Starts the window on the machine with a package of these options.
    std::unique_ptr<TBrenvoMain> Start(const std::string& options = kShippedOptions) {
        return Start(QuorvantManifest(options));
    }
    std::unique_ptr<TBrenvoMain> Start(const pack::Manifest& manifest) {
        block_ = std::make_unique<PackagedBlock>(manifest);
        return std::make_unique<TBrenvoMain>(block_->package);
    }

    // Another emulated PC for this test; the one before is put away first, so that the system
    // it replaced is the one restored at the end.
    template <typename Configure>
    void UseMachine(Configure configure) {
        machine_.reset();
        machine_ = PresetMachine("typical", configure);
    }

    // The one message box shown, checked for its kind and text.
    void ExpectOnlyMessage(MessageKind kind, const QString& text) {
        ASSERT_EQ(Modal::Messages().size(), 1u);
        EXPECT_EQ(Modal::Messages()[0].kind, kind);
        EXPECT_EQ(Modal::Messages()[0].text, text);
    }

    std::unique_ptr<testing_support::TestMachine> machine_ = PresetMachine("typical");
    std::unique_ptr<PackagedBlock> block_;
};

TEST_F(MainWindow, StartsOnTheMatchingDriveReadyToUpdate) {
    auto window = Start();
    EXPECT_EQ(window->StartResult(), StartEnd::Ready);
    EXPECT_FALSE(window->TerminateRequested());
    EXPECT_TRUE(Modal::Messages().empty()) << "the shipped options show no notice";
    EXPECT_EQ(window->windowTitle(), "Firmware Flasher - QV13 - DVD-RW QV-1600");

    ASSERT_EQ(window->cboDrives->count(), 2);
    EXPECT_EQ(window->cboDrives->currentIndex(), 0);
    EXPECT_EQ(window->cboDrives->itemText(0), " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11");
    EXPECT_EQ(window->lblUpdateMsg->text(), "It will be updated from");
    EXPECT_EQ(window->lblOldFW->text(), "QV11");
    EXPECT_EQ(window->lblNewFW->text(), "QV13");
    EXPECT_TRUE(window->cmdUpdate->isEnabled());
    EXPECT_FALSE(window->lblTo->isHidden());
    EXPECT_EQ(window->lblPercent->text(), "0 %") << "not the layout's 100%";
    EXPECT_EQ(window->lblMsg->text(), "");
    EXPECT_EQ(window->pbar->value(), 0);

    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->frameGeometry().center(), window->screen()->availableGeometry().center())
        << "the window opens in the middle of the screen";
}

TEST_F(MainWindow, ChoosingADriveTheUpdateMayNotTouchRefusesIt) {
    auto window = Start();
    window->show();
    window->cboDrives->setCurrentIndex(1);
    window->cboDrivesChange();
    EXPECT_FALSE(window->cmdUpdate->isEnabled());
    EXPECT_TRUE(window->lblOldFW->isHidden());
    EXPECT_TRUE(window->lblTo->isHidden());
    EXPECT_TRUE(window->lblNewFW->isHidden());
    EXPECT_EQ(window->lblUpdateMsg->text(), "This drive is not allowed to be updated.");
    EXPECT_EQ(TextColour(window->lblUpdateMsg), QColor(128, 0, 0));

    // Back on E: with the keyboard, as a user would.
    window->cboDrives->setFocus();
    QTest::keyClick(window->cboDrives, Qt::Key_Up);
    EXPECT_EQ(window->cboDrives->currentIndex(), 0);
    EXPECT_TRUE(window->cmdUpdate->isEnabled());
    EXPECT_FALSE(window->lblNewFW->isHidden());
    EXPECT_EQ(TextColour(window->lblUpdateMsg), QColor(0, 0, 0));
}

TEST_F(MainWindow, TheRevisionLineInEachLanguage) {
    struct Case {
        char language;
        const char* announcement;
    } cases[] = {
        {'0', "It will be updated from"},
        {'1', "光碟機韌體將被更新 , 從"},
        {'2', "ファームウェアをアップデートします。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        auto window = Start(WithDigit(kShippedOptions, 2, c.language));
        ASSERT_EQ(window->StartResult(), StartEnd::Ready);
        window->show();
        QApplication::processEvents();
        EXPECT_EQ(window->lblUpdateMsg->text(), QString(c.announcement));
        EXPECT_EQ(ui_testing::RequestedFamily(window->lblUpdateMsg),
                  c.language == '2' ? "MS Gothic" : "Arial");
        // Shown, old revision, "to" and new revision follow the message 10 pixels apart.
        QRect message = window->lblUpdateMsg->geometry();
        EXPECT_EQ(window->lblOldFW->x(), message.right() + 1 + 10);
        EXPECT_EQ(window->lblTo->x(), window->lblOldFW->geometry().right() + 1 + 10);
        EXPECT_EQ(window->lblNewFW->x(), window->lblTo->geometry().right() + 1 + 10);
        EXPECT_LT(window->lblNewFW->geometry().right(), window->cmdUpdate->x());
    }
}

TEST_F(MainWindow, TheIdleWindowClosesFromItsTitleBarAndFromItsCloseButton) {
    auto window = Start();
    window->show();
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    window->close();  // as the title bar would
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TerminateRequested());
    window.reset();

    auto pressed = Start();
    pressed->show();
    QTest::mouseClick(pressed->cmdClose, Qt::LeftButton);
    EXPECT_FALSE(pressed->isVisible());
    EXPECT_TRUE(pressed->TerminateRequested());
}

TEST_F(MainWindow, NoFirmwareEndsTheProgramInThePackagesLanguage) {
    struct Case {
        char language;
        const char* text;
    } cases[] = {{'0', "No F/W in executable !"},
                 {'1', "執行檔並無韌體檔案存在 !"},
                 {'2', "EXE FILEにファムウェアが見つかりません。"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        Modal::Reset();
        Modal::SetUnattended(true);
        block_ = std::make_unique<PackagedBlock>(QuorvantManifest());
        std::string options = WithDigit(WithDigit(kShippedOptions, 2, c.language), 11, '0');
        std::copy(options.begin(), options.end(),
                  block_->bytes.begin() + package::kParaOptOffset + 9);
        TBrenvoMain window(block_->package);
        EXPECT_EQ(window.StartResult(), StartEnd::NoFirmware);
        EXPECT_TRUE(window.TerminateRequested());
        ExpectOnlyMessage(MessageKind::Error, c.text);
        EXPECT_EQ(window.lblUpdateMsg->text(), c.language == '2'
                                                   ? QString("ファームウェアをアップデートします。")
                                                   : window.lblUpdateMsg->text())
            << "the window was localised first";
        EXPECT_EQ(window.cboDrives->count(), 0) << "no drive was looked at";
    }
}

TEST_F(MainWindow, ADamagedPackageEndsTheProgram) {
    block_ = std::make_unique<PackagedBlock>(QuorvantManifest());
    block_->bytes[package::kParaOptOffset + 9 + 4] = 'x';  // digit 5
    TBrenvoMain window(block_->package);
    EXPECT_EQ(window.StartResult(), StartEnd::DamagedPackage);
    EXPECT_TRUE(window.TerminateRequested());
    ASSERT_EQ(Modal::Messages().size(), 1u);
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(Modal::Messages()[0].text.contains("damaged"))
        << Modal::Messages()[0].text.toStdString();
}

TEST_F(MainWindow, AccessDeniedEndsTheProgram) {
    UseMachine([](auto& m) { m.security.administrator = false; });
    auto window = Start();
    EXPECT_EQ(window->StartResult(), StartEnd::AccessDenied);
    EXPECT_TRUE(window->TerminateRequested());
    ExpectOnlyMessage(MessageKind::Error,
                      "Access denied ! You must have administrator privilege to flash drives.");
    EXPECT_EQ(Modal::Messages()[0].title, "Error ...");
}

TEST_F(MainWindow, AccessDeniedInJapaneseShowsTheRefusalDialog) {
    UseMachine([](auto& m) { m.security.administrator = false; });
    QString shown;
    Modal::QueueAction([&](QDialog& dialog) { shown = dialog.objectName(); });
    auto window = Start(WithDigit(kShippedOptions, 2, '2'));
    EXPECT_EQ(window->StartResult(), StartEnd::AccessDenied);
    EXPECT_TRUE(window->TerminateRequested());
    EXPECT_EQ(shown, "InvalidUser");
    EXPECT_TRUE(Modal::Messages().empty());
}

TEST_F(MainWindow, NoMatchingDriveEndsTheProgramWithTheDrivesFound) {
    pack::Manifest manifest = QuorvantManifest();
    manifest.images[0].constraints[0] = {"QV20", "QV29", "", ""};
    auto window = Start(manifest);
    EXPECT_EQ(window->StartResult(), StartEnd::NoMatchingDrive);
    EXPECT_TRUE(window->TerminateRequested());
    ASSERT_EQ(Modal::Messages().size(), 1u);
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(Modal::Messages()[0].text.startsWith(
        "No matched drive detected !\nThis utility is only for DVD-RW QV-1600 drive.\n\n"
        "Detected drives :\n 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11\n"))
        << Modal::Messages()[0].text.toStdString();
}

TEST_F(MainWindow, TheCustomDialogVariantRefusesWithItsDialog) {
    pack::Manifest manifest = QuorvantManifest(WithDigit(kShippedOptions, 1, '1'));
    manifest.images[0].constraints[0] = {"QV20", "QV29", "", ""};
    QString shown;
    Modal::QueueAction([&](QDialog& dialog) { shown = dialog.objectName(); });
    auto window = Start(manifest);
    EXPECT_EQ(window->StartResult(), StartEnd::NoMatchingDrive);
    EXPECT_EQ(shown, "NoProperDrive");
    EXPECT_TRUE(Modal::Messages().empty()) << "the refusal comes before the checklist";
}

TEST_F(MainWindow, DecliningTheNoticeEndsTheProgram) {
    Modal::QueueAnswer(QMessageBox::No);
    auto window = Start(WithDigit(kShippedOptions, 10, '2'));
    EXPECT_EQ(window->StartResult(), StartEnd::NoticeDeclined);
    EXPECT_TRUE(window->TerminateRequested());
    ASSERT_EQ(Modal::Messages().size(), 1u);
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Warning);
    EXPECT_TRUE(Modal::Messages()[0].text.contains("3> Don't remove the adapter and battery"));

    Modal::Reset();
    Modal::SetUnattended(true);
    Modal::QueueAnswer(QMessageBox::Yes);
    auto accepted = Start(WithDigit(kShippedOptions, 10, '1'));
    EXPECT_EQ(accepted->StartResult(), StartEnd::Ready);
    EXPECT_FALSE(Modal::Messages()[0].text.contains("3>"));
}

// Lets the loop turn until the update run has ended: the workers run on their own threads and
// the emulated PC's clock is virtual, so this is as long as the computing takes.
void WaitForRun(TBrenvoMain& window) {
    bool ended = QTest::qWaitFor(
        [&] {
            return window.Engine().Running() == 0 &&
                   window.Engine().LastRun().end != engine::RunEnd::None;
        },
        60000);
    ASSERT_TRUE(ended) << "the update run did not end";
}

TEST_F(MainWindow, UpdateFlashesTheDriveThroughTheWindow) {
    auto window = Start();
    window->show();
    QApplication::processEvents();
    // The shipped options: success is reported, then the reboot question; "Later".
    QString rebootDialog;
    Modal::QueueAnswer(QMessageBox::Ok);
    Modal::QueueAction([&](QDialog& dialog) {
        rebootDialog = dialog.objectName();
        dialog.findChild<QPushButton*>("cmdRebootLater")->click();
    });

    QTest::mouseClick(window->cmdUpdate, Qt::LeftButton);
    EXPECT_FALSE(window->cmdUpdate->isEnabled()) << "both buttons rest while the worker runs";
    EXPECT_FALSE(window->cmdClose->isEnabled());
    EXPECT_FALSE(window->cboDrives->isEnabled()) << "the selection is the drive being flashed";
    EXPECT_TRUE(window->tmr->isActive());
    EXPECT_EQ(TextColour(window->lblMsg), QColor(128, 0, 0));
    // 15 ticks of the timer: a second and a half.
    for (int tick = 0; tick < 15; ++tick)
        window->tmrTimer();
    EXPECT_EQ(window->lblMsg->text(), "Programming .....");
    EXPECT_EQ(window->lblPercent->text(), "4 %");
    EXPECT_EQ(window->pbar->value(), 15);

    WaitForRun(*window);
    EXPECT_EQ(window->Engine().LastRun().end, engine::RunEnd::Succeeded);
    auto drive = machine_->machine().FindDrive("E:");
    EXPECT_EQ(drive->Flash(), platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20))
        << "the drive holds the package's image, unscrambled";
    ASSERT_FALSE(Modal::Messages().empty());
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Information);
    EXPECT_EQ(Modal::Messages()[0].text, "Firmware has been updated successfully !");
    EXPECT_EQ(rebootDialog, "Reboot");
    EXPECT_TRUE(window->TerminateRequested()) << "the reboot question ends the program";
    EXPECT_EQ(machine_->machine().restart.requests, 0) << "later, not now";
    EXPECT_FALSE(window->tmr->isActive());
    EXPECT_TRUE(window->cmdUpdate->isEnabled());
    EXPECT_TRUE(window->cmdClose->isEnabled());
    EXPECT_TRUE(window->cboDrives->isEnabled());
    EXPECT_EQ(window->cboDrives->itemText(0), " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV13");
    EXPECT_EQ(window->lblOldFW->text(), "QV13");
    EXPECT_EQ(window->lblPercent->text(), "0 %");
}

TEST_F(MainWindow, AWindowClosedDuringARunLetsTheFlashFinish) {
    auto window = Start();
    window->cmdUpdateClick();
    ASSERT_EQ(window->Engine().Running(), 1);
    window.reset();
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(),
              platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20));
}

TEST_F(MainWindow, CloseGetsTheUserOutOfATrayLoopThatWaitsForADisc) {
    // A disc the drive cannot eject: the loop asks for it to be taken out, again and again.
    UseMachine([](auto& m) {
        auto settings = m.drives[0]->Settings();
        settings.medium = true;
        settings.trayLocked = true;
        m.drives[0] = std::make_shared<platform::emulated::OpticalDrive>(settings);
    });
    auto window = Start(WithDigit(kShippedOptions, 5, '1'));
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    window->show();
    auto before = machine_->machine().FindDrive("E:")->Flash();
    // The user presses Close while the window repaints between two attempts.
    QTimer::singleShot(0, window.get(), [&] { window->cmdClose->click(); });
    window->cmdUpdateClick();
    EXPECT_EQ(window->Engine().LastRun().end, engine::RunEnd::Stopped);
    EXPECT_TRUE(window->TerminateRequested());
    EXPECT_EQ(window->Engine().Running(), 0);
    ASSERT_FALSE(Modal::Messages().empty());
    EXPECT_TRUE(Modal::Messages()[0].text.startsWith("Disc detected in drive. Unable to eject"));
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(), before);
}

TEST_F(MainWindow, ClosedInTheTrayLoopWhileAWorkerFlashesTheWindowStaysUntilTheVerdict) {
    // A person at an unattended run with the tray check: E: is empty and its worker starts,
    // F: holds a disc nobody can eject, and Close is pressed during F:'s tray loop.
    UseMachine(main_testing::EmptyEAndLockedDiscInF);
    Modal::SetUnattended(false);
    for (int i = 0; i < 20; ++i)
        Modal::QueueAnswer(QMessageBox::Ok);  // the tray loop's warnings, the verdict
    auto window = Start(WithDigit(WithDigit(kShippedOptions, 5, '1'), 8, '1'));
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    window->show();  // starts the run
    int flashingAtClose = -1;
    bool visibleAfterClose = false, endingAfterClose = true;
    QTimer::singleShot(0, window.get(), [&] {
        flashingAtClose = window->Engine().Running();
        window->cmdClose->click();
        window->close();  // the title bar, Alt+F4
        visibleAfterClose = window->isVisible();
        endingAfterClose = window->TerminateRequested();
    });
    bool ended = QTest::qWaitFor(
        [&] {
            return window->Engine().LastRun().end != engine::RunEnd::None &&
                   !window->Engine().InRun() && window->Engine().Running() == 0;
        },
        60000);
    ASSERT_TRUE(ended) << "the run did not end";
    EXPECT_EQ(flashingAtClose, 1) << "E:'s worker was flashing when Close was pressed";
    EXPECT_TRUE(visibleAfterClose) << "the window does not vanish during the run";
    EXPECT_FALSE(endingAfterClose) << "the program does not end before the run";
    EXPECT_EQ(window->Engine().LastRun().end, engine::RunEnd::Stopped);
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(),
              platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20))
        << "the flash that had begun ran to its end";
    EXPECT_EQ(machine_->machine().FindDrive("F:")->Settings().revision, "QV11")
        << "the drive whose turn had not come is left alone";
    ASSERT_FALSE(Modal::Messages().empty());
    EXPECT_EQ(Modal::Messages().back().text, "Unable to flash firmware.") << "the true verdict";
    EXPECT_TRUE(window->TerminateRequested()) << "then the program ends, as asked";
}

TEST_F(MainWindow, AScriptedRunLeavesTheTrayLoopAndIsNoSuccess) {
    // Script mode, unattended with the tray check: E: is empty, F: holds a disc nobody can take
    // out. The loop must end as the console's does, and E: alone is not a successful run.
    UseMachine(main_testing::EmptyEAndLockedDiscInF);
    auto window = Start(WithDigit(WithDigit(kShippedOptions, 5, '1'), 8, '1'));
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    window->cmdUpdateClick();
    bool ended = QTest::qWaitFor(
        [&] {
            return window->Engine().Running() == 0 &&
                   window->Engine().LastRun().end != engine::RunEnd::None;
        },
        60000);
    ASSERT_TRUE(ended) << "the run did not end";
    EXPECT_EQ(window->Engine().LastRun().end, engine::RunEnd::Stopped);
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(),
              platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20));
    EXPECT_EQ(machine_->machine().FindDrive("F:")->Settings().revision, "QV11");
    EXPECT_LT(machine_->machine().FindDrive("F:")->Received(platform::emulated::CommandKind::Any),
              200)
        << "the loop was left at once";
    for (const auto& message : Modal::Messages())
        EXPECT_NE(message.kind, MessageKind::Information) << message.text.toStdString();
    EXPECT_EQ(Modal::Messages().back().text, "Unable to flash firmware.");
}

TEST_F(MainWindow, TheFailureMessageNamesTheRecordOfTheRun) {
    // The same failing run on a bench kept in a folder: the failure text, then the history.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("brenvo-window-history-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "pc.history.jsonl").string();
    UseMachine([&](platform::emulated::Machine& m) {
        main_testing::EmptyEAndLockedDiscInF(m);
        m.benchPath = (folder / "pc.json").string();
    });
    auto window = Start(WithDigit(WithDigit(kShippedOptions, 5, '1'), 8, '1'));
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    window->cmdUpdateClick();
    const bool ended = QTest::qWaitFor(
        [&] {
            return window->Engine().Running() == 0 &&
                   window->Engine().LastRun().end != engine::RunEnd::None;
        },
        60000);
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(ended) << "the run did not end";
    ASSERT_FALSE(Modal::Messages().empty());
    EXPECT_EQ(Modal::Messages().back().text.toStdString(),
              "Unable to flash firmware.\nThe record of this run is in " + file + ".");
}

TEST_F(MainWindow, AWarningDeclinedInTheWindowLeavesTheDriveAlone) {
    UseMachine([](auto& m) {
        auto settings = m.drives[0]->Settings();
        settings.revision = "QV15";
        m.drives[0] = std::make_shared<platform::emulated::OpticalDrive>(settings);
    });
    auto window = Start(WithDigit(kShippedOptions, 2, '2'));
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    auto before = machine_->machine().FindDrive("E:")->Flash();
    QString shown, yes;
    Modal::QueueAction([&](QDialog& dialog) {
        shown = dialog.objectName();
        yes = dialog.findChild<QPushButton*>("cmdYes")->text();
        EXPECT_EQ(dialog.parentWidget(), window.get()) << "the window owns its dialogs";
        dialog.findChild<QPushButton*>("cmdNo")->click();
    });
    window->cmdUpdateClick();
    EXPECT_EQ(shown, "ShowMsg");
    EXPECT_EQ(yes, "はい") << "the dialog speaks the package's language";
    EXPECT_TRUE(window->TerminateRequested());
    EXPECT_EQ(window->Engine().Running(), 0);
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(), before);
}

TEST_F(MainWindow, TheCustomDialogVariantConfirmsFromAndToRevisions) {
    auto window = [&] {
        Modal::QueueAnswer(QMessageBox::Ok);  // the checklist
        return Start(WithDigit(kShippedOptions, 1, '1'));
    }();
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    auto before = machine_->machine().FindDrive("E:")->Flash();
    QString from, to;
    Modal::QueueAction([&](QDialog& dialog) {
        from = dialog.findChild<QLabel*>("lblOldFW")->text();
        to = dialog.findChild<QLabel*>("lblNewFW")->text();
        dialog.findChild<QPushButton*>("cmdCancel")->click();
    });
    window->cmdUpdateClick();
    EXPECT_EQ(from, "QV11");
    EXPECT_EQ(to, "QV13");
    EXPECT_TRUE(window->TerminateRequested()) << "a cancelled confirmation ends the program";
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(), before);
}

TEST_F(MainWindow, AnUnattendedPackageUpdatesOnceTheWindowIsShown) {
    // Unattended, no reboot, stay: the window is left as the run ends.
    std::string options = WithDigit(WithDigit(kShippedOptions, 8, '1'), 7, '0');
    auto window = Start(options);
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    QApplication::processEvents();
    EXPECT_EQ(window->Engine().LastRun().end, engine::RunEnd::None) << "not before it is shown";
    window->show();
    WaitForRun(*window);
    EXPECT_EQ(window->Engine().LastRun().end, engine::RunEnd::Succeeded);
    EXPECT_EQ(machine_->machine().FindDrive("E:")->Flash(),
              platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20));
    EXPECT_EQ(machine_->machine().FindDrive("F:")->Flash(), std::vector<uint8_t>(512 * 1024, 0xFF))
        << "the foreign drive is left alone";
}

TEST_F(MainWindow, ADriveTheRunTookOutOfThePackagesRangesIsNotOfferedAgain) {
    // The image makes the drive report QV20, outside QV10..QV19. No reboot and no refresh of
    // the revision line after success: the window just stays.
    pack::Manifest manifest =
        QuorvantManifest(WithDigit(WithDigit(kShippedOptions, 7, '0'), 14, '0'));
    manifest.images[0].data = platform::emulated::MakeFirmwareImage("QV20", "QV20-00", 1 << 20);
    auto window = Start(manifest);
    window->show();
    window->cmdUpdateClick();
    WaitForRun(*window);
    ASSERT_EQ(window->Engine().LastRun().end, engine::RunEnd::Succeeded);
    EXPECT_FALSE(window->TerminateRequested());
    EXPECT_EQ(window->cboDrives->itemText(0), " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV20");
    EXPECT_EQ(window->lblMsg->text(), "Done.");
    EXPECT_FALSE(window->cmdUpdate->isEnabled());
    EXPECT_TRUE(window->cmdClose->isEnabled());

    // Even asked directly, the window does not flash it again.
    Modal::Reset();
    Modal::SetUnattended(true);
    window->cmdUpdateClick();
    EXPECT_EQ(window->Engine().Running(), 0);
    EXPECT_FALSE(window->tmr->isActive());
    EXPECT_TRUE(Modal::Messages().empty());
}

TEST_F(MainWindow, ProgressFromTheWorkerArrivesInOrderOnTheWindowsThread) {
    auto window = Start();
    std::thread worker([&] {
        window->showStatus("first");
        window->showProgress(10);
        window->showStatus("second");
        window->showProgress(37);
    });
    worker.join();
    EXPECT_EQ(window->pbar->value(), 0) << "nothing is touched from the worker's thread";
    QApplication::processEvents();
    EXPECT_EQ(window->lblMsg->text(), "second");
    EXPECT_EQ(window->pbar->value(), 37);
    EXPECT_EQ(window->pbar->maximum(), 100);
    EXPECT_EQ(window->lblPercent->text(), "37 %");
}

TEST_F(MainWindow, TheOemVariantHidesTheWindowAtItsFirstPaint) {
    auto window = Start(WithDigit(kShippedOptions, 1, '2'));
    ASSERT_EQ(window->StartResult(), StartEnd::Ready);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isHidden(); }));
    EXPECT_FALSE(window->TerminateRequested());
}

}  // namespace
