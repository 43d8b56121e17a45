// Whole updates on emulated PCs: start-up, the drive choice, the questions, tray and disc, the
// workers and the end of the run, as the console and the window both run them.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/RunReport.h"
#include "engine/StartupTexts.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

namespace {
using engine::RunEnd;
using engine::StartEnd;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::DriveSettings;
using platform::emulated::Machine;
using platform::emulated::OpticalDrive;
using namespace testing_support;

constexpr size_t kMiB = 1024 * 1024;

void AddDrive(Machine& m, const std::string& letter, int target, const std::string& revision) {
    DriveSettings d = benchtool::QuorvantDrive(letter, "1:0:" + std::to_string(target) + ":0");
    d.revision = revision;
    d.driveTag = revision + "-01";
    m.drives.push_back(std::make_shared<OpticalDrive>(d));
}

class Scenario {
  public:
    Scenario(
        const std::string& preset, const std::string& options, std::vector<pack::ImageSpec> images,
        std::function<void(Machine&)> configure = [](Machine&) {})
        : bench(preset, configure),
          package(options, std::move(images)),
          block(package.Block()),
          engine(block, view) {}

    // Start-up, one click on Update and the loop until the workers are done.
    void Run() {
        ASSERT_EQ(engine.StartUp(), StartEnd::Ready) << (view.shown.empty() ? "" : view.shown[0]);
        engine.UpdateClick();
        view.RunUntilIdle(engine);
    }
    std::vector<uint8_t> Flash(size_t drive) { return bench.drive(drive).Flash(); }
    bool Untouched(size_t drive) {
        auto f = Flash(drive);
        return std::all_of(f.begin(), f.end(), [](uint8_t b) { return b == 0xFF; });
    }

    DriveBench bench;
    TestPackage package;
    package::Package block;
    TestView view;
    engine::UpdateEngine engine;
};

TEST(UpdateRun, AttendedWithTheShippedOptions) {
    Scenario s("typical", Options({}), {Image("QV12", kMiB)});
    ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
    ASSERT_EQ(s.engine.ListLines().size(), 2u);
    EXPECT_EQ(s.engine.ListLines()[0], " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11");
    EXPECT_EQ(s.engine.SelectedItem(), 0) << "the matching drive is selected";
    EXPECT_TRUE(s.engine.Revisions().matched);
    EXPECT_EQ(s.engine.Revisions().message, "It will be updated from");
    EXPECT_EQ(s.engine.Revisions().oldRevision, "QV11");
    EXPECT_EQ(s.engine.Revisions().newRevision, "QV12");
    EXPECT_TRUE(s.view.shown.empty()) << "no notice with notice kind 0";

    s.engine.UpdateClick();
    EXPECT_TRUE(s.view.timerRunning);
    EXPECT_FALSE(s.view.updateEnabled || s.view.closeEnabled);
    EXPECT_EQ(s.view.colour, engine::Colour::Maroon);
    for (int tick = 0; tick < 15; ++tick)
        s.engine.TimerTick();
    EXPECT_EQ(s.view.status, "Programming .....");
    EXPECT_EQ(s.view.percent, "4 %");
    s.view.RunUntilIdle(s.engine);

    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    EXPECT_EQ(s.Flash(0), s.package.ImageData(0)) << "the flash holds the unscrambled image";
    EXPECT_EQ(s.bench.drive(0).Settings().revision, "QV12");
    ASSERT_EQ(s.engine.LastRun().drives.size(), 1u);
    EXPECT_EQ(s.engine.LastRun().drives[0].revisionAfter, "QV12");
    EXPECT_TRUE(s.Untouched(1)) << "the foreign drive is left alone";
    EXPECT_EQ(s.view.shown, (std::vector<std::string>{
                                "message:information:Firmware has been updated successfully !",
                                "dialog:Reboot"}));
    EXPECT_TRUE(s.view.terminated);
    EXPECT_FALSE(s.view.timerRunning);
    EXPECT_EQ(s.view.percent, "0 %") << "stayAfterSuccess resets the display";
    EXPECT_TRUE(s.engine.Updated());
    EXPECT_EQ(s.engine.ListLines()[0], " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV12");
}

TEST(UpdateRun, UnattendedTakesEveryMatchedDrive) {
    Scenario s("sixteen", Options({{8, '1'}}), {Image("QV12", kMiB)});
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    ASSERT_EQ(s.engine.LastRun().drives.size(), 16u);
    for (size_t d = 0; d < 16; ++d) {
        EXPECT_EQ(s.bench.drive(d).Settings().revision, "QV12") << "drive " << d;
        EXPECT_EQ(s.engine.LastRun().drives[d].revisionAfter, "QV12");
    }
}

TEST(UpdateRun, ANewerDriveIsAskedAboutAndADeclineFlashesNothing) {
    auto newer = [](Machine& m) { AddDrive(m, "E:", 0, "QV15"); };
    {
        Scenario s("default", Options({}), {Image("QV13", kMiB)}, newer);
        s.view.newerAnswer = 0;
        s.Run();
        EXPECT_EQ(s.view.shown, (std::vector<std::string>{"dialog:ShowMsg"}));
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Declined);
        EXPECT_TRUE(s.view.terminated);
        EXPECT_TRUE(s.Untouched(0));
    }
    {
        Scenario s("default", Options({}), {Image("QV13", kMiB)}, newer);
        s.Run();
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
        EXPECT_EQ(s.bench.drive(0).Settings().revision, "QV13");
    }
    {
        // The custom-dialog variant refuses: its dialog has no way to go on.
        Scenario s("default", Options({{1, '1'}}), {Image("QV13", kMiB)}, newer);
        s.Run();
        EXPECT_TRUE(s.view.Saw("dialog:MostUpdate"));
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Declined);
        EXPECT_TRUE(s.Untouched(0));
    }
}

TEST(UpdateRun, OnceAWarningIsNeededEveryLaterDriveIsAskedAbout) {
    Scenario s("default", Options({{8, '1'}}), {Image("QV13", kMiB)}, [](Machine& m) {
        AddDrive(m, "E:", 0, "QV11");
        AddDrive(m, "F:", 1, "QV15");
        AddDrive(m, "G:", 2, "QV11");
    });
    s.Run();
    EXPECT_EQ(s.view.Count("dialog:ShowMsg"), 2) << "asked for the second and the third drive";
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    for (size_t d = 0; d < 3; ++d)
        EXPECT_EQ(s.bench.drive(d).Settings().revision, "QV13");
}

TEST(UpdateRun, SkipCurrentLeavesDrivesThatAlreadyHaveTheRevision) {
    Scenario s("default", Options({{8, '1'}, {18, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        AddDrive(m, "E:", 0, "QV12");
        AddDrive(m, "F:", 1, "QV11");
    });
    s.Run();
    ASSERT_EQ(s.engine.LastRun().drives.size(), 1u);
    EXPECT_TRUE(s.Untouched(0)) << "no device and no worker for the current drive";
    EXPECT_EQ(s.bench.drive(1).Settings().revision, "QV12");
}

TEST(UpdateRun, TheTrayIsClosedOnAnEmptyDriveBeforeFlashing) {
    Scenario s("typical", Options({{5, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        m.drives[0]->ByHand([](DriveSettings& d) {
            d.medium = false;
            d.trayOpen = true;
        });
    });
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    EXPECT_EQ(s.view.Count("message:warning"), 0);
    const auto& st = s.view.statuses;
    EXPECT_NE(std::find(st.begin(), st.end(), "Tray In ..."), st.end());
    EXPECT_EQ(std::find(st.begin(), st.end(), "Tray Out ..."), st.end()) << "nothing to eject";
    EXPECT_FALSE(s.bench.drive(0).Settings().trayOpen);
}

TEST(UpdateRun, ADiscThatCannotBeEjectedIsAskedForUntilItIsTakenOut) {
    Scenario s("typical", Options({{5, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        m.drives[0]->ByHand([](DriveSettings& d) { d.trayLocked = true; });
    });
    int warnings = 0;
    s.view.onMessage = [&](engine::MessageKind, const std::string&) {
        if (++warnings == 2) {
            s.bench.drive(0).ByHand([](DriveSettings& d) {
                d.medium = false;
                d.trayLocked = false;
            });
        }
    };
    s.Run();
    EXPECT_EQ(s.view.Count("message:warning:Disc detected in drive. Unable to eject the disc"), 2)
        << "the loop repeats until the disc has been removed";
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
}

TEST(UpdateRun, BackgroundFormattingGetsAtMostElevenStopCommands) {
    Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [](Machine& m) {
        m.drives[0]->ByHand([](DriveSettings& d) {
            d.backgroundFormat = 2;
            DriveFault refuse;
            refuse.command = CommandKind::CloseTrack;
            refuse.times = 0;  // every stop command fails: the format keeps running
            d.faults.push_back(refuse);
        });
    });
    s.Run();
    EXPECT_EQ(s.bench.drive(0).Received(CommandKind::CloseTrack), 11);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded) << "the update goes on regardless";
}

TEST(UpdateRun, OneFailingWorkerFailsTheWholeRun) {
    Scenario s("default", Options({{8, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        AddDrive(m, "E:", 0, "QV11");
        AddDrive(m, "F:", 1, "QV11");
        AddDrive(m, "G:", 2, "QV11");
        m.drives[1]->ByHand([](DriveSettings& d) {
            DriveFault fail;
            fail.command = CommandKind::Commit;
            d.faults.push_back(fail);
        });
    });
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Failed);
    EXPECT_EQ(s.view.shown, (std::vector<std::string>{"message:error:Unable to flash firmware."}));
    EXPECT_TRUE(s.view.terminated);
    EXPECT_FALSE(s.engine.Updated());
    EXPECT_EQ(s.bench.drive(0).Settings().revision, "QV12");
    EXPECT_NE(s.bench.drive(1).Settings().revision, "QV12");
}

TEST(UpdateRun, WithoutStayRestartOrExitTheWindowStaysDone) {
    Scenario s("typical", Options({{7, '0'}, {14, '0'}}), {Image("QV12", kMiB)});
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    EXPECT_TRUE(s.view.shown.empty());
    EXPECT_FALSE(s.view.terminated);
    EXPECT_EQ(s.view.status, "Done.");
    EXPECT_EQ(s.view.colour, engine::Colour::Navy);
    EXPECT_EQ(s.view.position, 360);
    EXPECT_TRUE(s.view.updateEnabled && s.view.closeEnabled);
}

TEST(UpdateRun, ARestartWithoutAskingGoesToTheSystemAndARefusalIsSaid) {
    {
        Scenario s("typical", Options({{15, '0'}, {14, '0'}}), {Image("QV12", kMiB)});
        s.Run();
        EXPECT_EQ(s.bench.machine().restart.requests, 1);
        EXPECT_TRUE(s.view.shown.empty());
        EXPECT_TRUE(s.view.terminated);
    }
    {
        Scenario s("typical", Options({{15, '0'}, {14, '0'}}), {Image("QV12", kMiB)},
                   [](Machine& m) { m.shutdown.shutdownPrivilege = false; });
        s.Run();
        EXPECT_EQ(s.bench.machine().restart.requests, 0);
        EXPECT_EQ(s.view.shown, (std::vector<std::string>{
                                    "message:warning:The application was unable to reboot "
                                    "the computer. Please reboot your computer manually."}));
    }
}

TEST(UpdateRun, TheCustomDialogVariantConfirmsAndEndsWithItsRebootDialog) {
    Scenario s("typical", Options({{1, '1'}}), {Image("QV12", kMiB)});
    s.Run();
    EXPECT_EQ(s.view.shown,
              (std::vector<std::string>{"ask:" + engine::ChecklistText(0),
                                        "dialog:UpdateCfm:QV11->QV12", "dialog:RebootZULK"}));
    EXPECT_TRUE(s.view.terminated);
    Scenario cancelled("typical", Options({{1, '1'}}), {Image("QV12", kMiB)});
    cancelled.view.confirmAnswer = 0;
    cancelled.Run();
    EXPECT_EQ(cancelled.engine.LastRun().end, RunEnd::Declined);
    EXPECT_TRUE(cancelled.Untouched(0));
}

TEST(UpdateRun, TheDirectIdePathFlashesTheFirstMatchedSlot) {
    Scenario s("ide", Options({{12, '1'}}), {Image("QV12", kMiB)});
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    const auto& slot = s.bench.machine().ide.driveSlots[0];
    EXPECT_EQ(slot.flash, s.package.ImageData(0));
    EXPECT_EQ(s.view.maximum, 100) << "the direct path moves the bar by percent";
    EXPECT_FALSE(s.view.timerRunning);
    const auto& st = s.view.statuses;
    EXPECT_NE(std::find(st.begin(), st.end(), "WriteCmd ..."), st.end())
        << "the sequence's status texts reach the window";
}

TEST(DriveList, TheLastMatchingDriveIsSelectedAndOnlyMatchedOnesMayBeListed) {
    Scenario many("sixteen", Options({}), {Image("QV12", kMiB)});
    ASSERT_EQ(many.engine.StartUp(), StartEnd::Ready);
    EXPECT_EQ(many.engine.SelectedItem(), 15);
    Scenario matchedOnly("typical", Options({{13, '1'}}), {Image("QV12", kMiB)});
    ASSERT_EQ(matchedOnly.engine.StartUp(), StartEnd::Ready);
    ASSERT_EQ(matchedOnly.engine.ListLines().size(), 1u);
    EXPECT_EQ(matchedOnly.engine.DriveListText(), " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11\n");
    matchedOnly.engine.DrivesChange(0);
    EXPECT_EQ(matchedOnly.engine.Revisions().newRevision, "QV12");
}

TEST(UpdateRun, TheSameRevisionIsAskedAboutOnlyWithWarnSame) {
    auto same = [](Machine& m) { AddDrive(m, "E:", 0, "QV12"); };
    Scenario quiet("default", Options({}), {Image("QV12", kMiB)}, same);
    quiet.Run();
    EXPECT_FALSE(quiet.view.Saw("dialog:ShowMsg"));
    Scenario asked("default", Options({{17, '1'}}), {Image("QV12", kMiB)}, same);
    asked.view.newerAnswer = 0;
    asked.Run();
    EXPECT_TRUE(asked.view.Saw("dialog:ShowMsg"));
    EXPECT_EQ(asked.engine.LastRun().end, RunEnd::Declined);
}

TEST(UpdateRun, TheWizardVariantRefreshesTheLabelsAndRestartsWithoutAMessage) {
    Scenario s("typical", Options({{1, '2'}}), {Image("QV12", kMiB)});
    s.Run();
    EXPECT_EQ(s.view.shown, (std::vector<std::string>{"dialog:Reboot"}));
    EXPECT_EQ(s.engine.Revisions().oldRevision, "QV12") << "the labels follow the new revision";
    EXPECT_EQ(s.view.percent, "100 %") << "only variants 0 and 1 reset the display";
}

TEST(StartUp, EachFailureShowsItsMessageAndEnds) {
    {
        Scenario s("typical", Options({{11, '0'}}), {});
        EXPECT_EQ(s.engine.StartUp(), StartEnd::NoFirmware);
        EXPECT_EQ(s.view.shown, (std::vector<std::string>{"message:error:No F/W in executable !"}));
        EXPECT_TRUE(s.view.terminated);
    }
    {
        Scenario s("typical", Options({}), {Image("QV22", kMiB, {{"QV20", "QV29", "", ""}})});
        EXPECT_EQ(s.engine.StartUp(), StartEnd::NoMatchingDrive);
        EXPECT_EQ(s.view.shown,
                  (std::vector<std::string>{
                      "message:error:No matched drive detected !\nThis utility is only for "
                      "DVD-RW QV-1600 drive.\n\nDetected drives :\n"
                      " 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11\n"
                      " 1-0-1-0 F:OTHERCO CD-ROM XJ-52     1.00\n"}));
    }
    {
        Scenario s("typical", Options({}), {Image("QV12", kMiB)},
                   [](Machine& m) { m.security.administrator = false; });
        EXPECT_EQ(s.engine.StartUp(), StartEnd::AccessDenied);
        EXPECT_EQ(s.view.shown, (std::vector<std::string>{
                                    "message:error:Access denied ! You must have administrator "
                                    "privilege to flash drives."}));
    }
    {
        Scenario s("typical", Options({{2, '2'}}), {Image("QV12", kMiB)},
                   [](Machine& m) { m.security.administrator = false; });
        EXPECT_EQ(s.engine.StartUp(), StartEnd::AccessDenied);
        EXPECT_EQ(s.view.shown, (std::vector<std::string>{"dialog:InvalidUser"}));
    }
    {
        Scenario s("typical", Options({{10, '2'}}), {Image("QV12", kMiB)});
        s.view.askAnswer = false;
        EXPECT_EQ(s.engine.StartUp(), StartEnd::NoticeDeclined);
        ASSERT_EQ(s.view.shown.size(), 1u);
        EXPECT_NE(s.view.shown[0].find("3> Don't remove the adapter and battery"),
                  std::string::npos);
    }
    {
        // The older family skips the administrator test.
        Scenario s("aspi", Options({}), {Image("QV12", kMiB)},
                   [](Machine& m) { m.security.administrator = false; });
        EXPECT_EQ(s.engine.StartUp(), StartEnd::Ready);
    }
}

// --- the run's verdict counts every drive it chose ---

TEST(RunVerdict, ADriveLeftUnflashedWhenTheTrayLoopStopsMakesTheRunNoSuccess) {
    // Unattended with the tray check: E: is empty, F: holds a disc nobody takes out, so the
    // script stops the tray loop at F: while E:'s worker flashes.
    Scenario s("typical", Options({{5, '1'}, {8, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        m.drives.clear();
        AddDrive(m, "E:", 0, "QV11");
        AddDrive(m, "F:", 1, "QV11");
        ChangeDrive(m, 0, [](DriveSettings& d) { d.medium = false; });
        ChangeDrive(m, 1, [](DriveSettings& d) { d.trayLocked = true; });
    });
    s.view.onMessage = [&](engine::MessageKind kind, const std::string&) {
        if (kind == engine::MessageKind::Warning) s.view.stopRequested = true;
    };
    s.Run();
    EXPECT_EQ(s.Flash(0), s.package.ImageData(0));
    EXPECT_TRUE(s.Untouched(1));
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Stopped);
    ASSERT_EQ(s.engine.LastRun().drives.size(), 2u);
    EXPECT_EQ(s.engine.LastRun().drives[0].outcome, engine::DriveOutcome::Flashed);
    EXPECT_EQ(s.engine.LastRun().drives[1].outcome, engine::DriveOutcome::NotFlashed);
    EXPECT_FALSE(s.view.Saw("message:information:Firmware has been updated successfully !"));
    EXPECT_TRUE(s.view.Saw("message:error:Unable to flash firmware."));
    EXPECT_FALSE(s.engine.Updated());

    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitDeclined);
    EXPECT_NE(out.str().find("F:QUORVANT"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("not flashed"), std::string::npos) << out.str();
}

TEST(RunVerdict, ADriveThatLostPowerDuringItsCommitIsNotSaidToReportItsOldRevision) {
    Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [](Machine& m) {
        AddFault(m, 0, {DriveFault::Kind::PowerCut, CommandKind::Commit, 1, 1});
    });
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Failed);
    const engine::DriveResult& e = s.engine.LastRun().drives.at(0);
    EXPECT_EQ(e.outcome, engine::DriveOutcome::Failed);
    EXPECT_FALSE(e.answered);
    EXPECT_EQ(e.revisionAfter, "") << "the drive said nothing after the run";
    EXPECT_TRUE(s.bench.drive(0).Settings().flashIncomplete);
}

TEST(RunVerdict, ADriveSilentAfterASuccessfulFlashIsSaidNotToAnswer) {
    Scenario s("typical", Options({}), {Image("QV12", kMiB)});
    ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
    s.engine.UpdateClick();
    // From now on E: answers no INQUIRY; the flash itself sends none.
    s.bench.drive(0).ByHand([](DriveSettings& d) {
        d.faults.push_back({DriveFault::Kind::TransportFailure, CommandKind::Inquiry, 1, 0});
    });
    s.view.RunUntilIdle(s.engine);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    const engine::DriveResult& e = s.engine.LastRun().drives.at(0);
    EXPECT_FALSE(e.answered);
    EXPECT_EQ(e.revisionAfter, "");
    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitOk);
    EXPECT_NE(out.str().find("now: the drive did not answer"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("now QV11"), std::string::npos) << out.str();
}

TEST(RunVerdict, ADriveBackInItsBootLoaderFailedWhateverItsWorkerSaid) {
    // Every commit arrives without its bank byte: both halves land in bank 0, every command
    // succeeds, and the drive comes back in its boot loader.
    Scenario s("bank", Options({}), {Image("QV12", 128 * 1024)}, [](Machine& m) {
        AddFault(m, 0, {DriveFault::Kind::ShortBlock, CommandKind::Commit, 1, 0});
    });
    s.Run();
    ASSERT_TRUE(s.bench.drive(0).Settings().flashIncomplete);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Failed);
    const engine::DriveResult& e = s.engine.LastRun().drives.at(0);
    EXPECT_EQ(e.outcome, engine::DriveOutcome::Failed);
    EXPECT_TRUE(e.inBootLoader);
    EXPECT_EQ(e.revisionAfter, "0000");
    EXPECT_TRUE(s.view.Saw("message:error:Unable to flash firmware."));
    EXPECT_FALSE(s.view.Saw("message:information:Firmware has been updated successfully !"));
    EXPECT_FALSE(s.engine.Updated());
    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitFlashFailed);
    EXPECT_NE(out.str().find("the flash failed, now 0000\n    The drive runs its boot loader"),
              std::string::npos)
        << out.str();
}

TEST(RunVerdict, ALoaderShowingOnlyOneOfItsSignsIsStillTheLoader) {
    // Other loaders show revision "0000" alone, or FLASH INCOMPLETE beside their old revision:
    // either sign alone is a drive that is not running a whole firmware.
    using Signs = DriveSettings::LoaderSigns;
    for (Signs signs : {Signs::RevisionOnly, Signs::TextOnly}) {
        Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [&](Machine& m) {
            AddFault(m, 0, {.kind = DriveFault::Kind::BadCell, .address = 0x2345});
            m.drives[0]->ByHand([&](DriveSettings& d) { d.loaderSigns = signs; });
        });
        s.Run();
        ASSERT_TRUE(s.bench.drive(0).Settings().flashIncomplete);
        const engine::DriveResult& e = s.engine.LastRun().drives.at(0);
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Failed) << static_cast<int>(signs);
        EXPECT_TRUE(e.inBootLoader) << static_cast<int>(signs);
        EXPECT_FALSE(s.view.Saw("message:information:Firmware has been updated successfully !"));
    }
}

// A cell that holds what is written but reads back wrong: the drive boots from what it reads,
// the image's checksum finds the difference and the loader runs, on either path.
void ExpectBootLoaderAfter(Scenario& s) {
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Failed);
    EXPECT_EQ(s.engine.LastRun().drives.at(0).revisionAfter, "0000");
    EXPECT_FALSE(s.view.Saw("message:information:Firmware has been updated successfully !"));
}

TEST(RunVerdict, AFlashThatCannotBeReadBackWholeLeavesTheDriveInItsBootLoader) {
    {
        Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [](Machine& m) {
            AddFault(m, 0, {.kind = DriveFault::Kind::BadCell, .address = 0x12345});
        });
        ExpectBootLoaderAfter(s);
        EXPECT_EQ(s.Flash(0), s.package.ImageData(0)) << "the cell holds what was written";
        EXPECT_TRUE(s.bench.drive(0).Settings().flashIncomplete);
    }
    // In the image's last byte: the host's verify stops only after every byte is in the chip.
    Scenario s("ide", Options({{12, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        m.ide.driveSlots[0].faults.push_back(
            {platform::emulated::IdeFaultKind::Verify, kMiB - 1, -1});
    });
    ExpectBootLoaderAfter(s);
    const auto& slot = s.bench.machine().ide.driveSlots[0];
    EXPECT_EQ(slot.flash, s.package.ImageData(0)) << "the cell holds what was written";
    EXPECT_EQ(slot.revision, "0000");
    EXPECT_TRUE(slot.flashIncomplete);
}

TEST(RunVerdict, ADriveReportingAnotherRevisionKeepsTheNote) {
    // A whole firmware that reports a revision of its own: the flash is good, the note says so.
    pack::ImageSpec image = Image("QV12", kMiB);
    image.data = platform::emulated::MakeFirmwareImage("QV1X", "QV1X-00", kMiB);
    Scenario s("typical", Options({}), {image});
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitOk);
    EXPECT_NE(out.str().find("Note: the drive reports QV1X"), std::string::npos) << out.str();
}

TEST(RunVerdict, ACommitThatTimedOutLeavesTheOutcomeUnknown) {
    Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [](Machine& m) {
        DriveFault slow{DriveFault::Kind::SlowCommand, CommandKind::Commit, 1, 1};
        slow.seconds = 200000;  // beyond the 108000-second command time-out
        AddFault(m, 0, slow);
    });
    s.Run();
    EXPECT_EQ(s.Flash(0), s.package.ImageData(0)) << "the drive did write its flash";
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Unknown);
    EXPECT_EQ(s.engine.LastRun().drives.at(0).outcome, engine::DriveOutcome::Unknown);
    EXPECT_TRUE(s.view.Saw("message:error:The drive did not confirm the firmware update in time"));
    EXPECT_FALSE(s.view.Saw("message:information:Firmware has been updated successfully !"));
    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitOutcomeUnknown);
    EXPECT_NE(out.str().find("the outcome is unknown"), std::string::npos) << out.str();
}

TEST(RunVerdict, TheWindowsOfferToRecoverTheFamilysLoaderAndWriteOnlyOnYes) {
    for (bool yes : {true, false}) {
        Scenario s("typical", Options({}),
                   {Image("QV12", kMiB, {{"0000", "QV19", "QUORVANT", "DVD-RW QV-1600  "}})},
                   [](Machine& m) {
                       m.drives[0]->ByHand([](DriveSettings& d) { d.flashIncomplete = true; });
                   });
        s.view.askAnswer = yes;
        s.engine.OfferRecoveryAtStart();
        const std::vector<uint8_t> before = s.Flash(0);
        ASSERT_EQ(s.engine.StartUp(), yes ? StartEnd::Ready : StartEnd::NoMatchingDrive) << yes;
        EXPECT_TRUE(s.view.Saw("ask:A firmware update of this drive was cut short")) << yes;
        if (!yes) {
            EXPECT_EQ(s.Flash(0), before);
            continue;
        }
        s.engine.UpdateClick();
        s.view.RunUntilIdle(s.engine);
        EXPECT_TRUE(s.engine.LastRun().recovery);
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
        EXPECT_EQ(s.Flash(0), s.package.ImageData(0));
        EXPECT_EQ(s.engine.LastRun().drives.at(0).revisionAfter, "QV12");
    }
}

TEST(RunVerdict, ADriveBusyForEverEndsTheRunWithinMinutesAndItsStateUnknown) {
    // From its first WRITE BUFFER on the drive answers within no time-out (BUSY, retried by the
    // transport until the time-out runs out).
    Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [](Machine& m) {
        DriveFault busy{DriveFault::Kind::SlowCommand, CommandKind::WriteBuffer, 1, 0};
        busy.seconds = 1e9;
        AddFault(m, 0, busy);
    });
    const double start = s.bench.Now();
    s.Run();
    EXPECT_LT(s.bench.Now() - start, 10 * 60) << "virtual seconds the run waited";
    EXPECT_EQ(s.bench.drive(0).Received(CommandKind::WriteBuffer),
              device::AtapiDevice::kUnansweredLimit);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Unknown);
    EXPECT_TRUE(s.engine.LastRun().drives.at(0).stoppedAnswering);
    EXPECT_TRUE(s.view.Saw("message:error:The drive did not confirm the firmware update in time"));
    EXPECT_TRUE(std::any_of(s.view.shown.begin(), s.view.shown.end(), [](const std::string& m) {
        return m.find("The drive 1-0-0-0 E:QUORVANTDVD-RW QV-1600   QV11 stopped answering") !=
               std::string::npos;
    }));
    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitOutcomeUnknown);
    EXPECT_NE(out.str().find("E:QUORVANTDVD-RW QV-1600   QV11\n    before QV11, package QV12: the "
                             "drive stopped answering, its state is unknown"),
              std::string::npos)
        << out.str();
}

TEST(RunVerdict, ACommitIsWaitedForBeyondTheShortTimeOut) {
    for (CommandKind kind : {CommandKind::Commit, CommandKind::WriteBuffer}) {
        Scenario s("typical", Options({}), {Image("QV12", kMiB)}, [&](Machine& m) {
            DriveFault slow{DriveFault::Kind::SlowCommand, kind, 1, 1};
            slow.seconds = 600;  // ten minutes: a commit's flash may take that long
            AddFault(m, 0, slow);
        });
        s.Run();
        // The slow chunk times out and the whole image is sent again (512 chunks of 2 KiB); the
        // slow commit is waited for.
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded) << static_cast<int>(kind);
        EXPECT_EQ(s.bench.drive(0).Received(kind), kind == CommandKind::Commit ? 1 : 1 + 512);
    }
}

TEST(RunVerdict, AnUpdateOverAspiEndsWithTheDriveReportingItsNewRevision) {
    // Each drive device loads the manager and frees it again; the others must keep it.
    for (bool eventsFail : {false, true}) {
        SCOPED_TRACE(eventsFail ? "polled" : "by event");
        Scenario s("aspi", Options({}), {Image("QV12", kMiB)},
                   [&](Machine& m) { m.aspi.eventsFail = eventsFail; });
        s.Run();
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
        EXPECT_EQ(s.Flash(0), s.package.ImageData(0));
        const engine::DriveResult& e = s.engine.LastRun().drives.at(0);
        EXPECT_TRUE(e.answered);
        EXPECT_EQ(e.revisionAfter, "QV12");
        EXPECT_LT(s.bench.drive(0).Received(CommandKind::Any), 1500);
    }
}

}  // namespace

// --- stops from outside and sleep and shutdown held off over the flash ---

// Where in the trace the shutdown block was taken and released, and the first and last command
// that writes to the drive (WRITE BUFFER).
struct FlashSpan {
    int held = -1, released = -1, firstWrite = -1, lastWrite = -1, lines = 0;
};
FlashSpan SpanOf(const std::vector<nlohmann::json>& lines) {
    FlashSpan span;
    for (const nlohmann::json& line : lines) {
        const int at = span.lines++;
        if (line.contains("shutdownBlock")) {
            (line["shutdownBlock"] == "held" ? span.held : span.released) = at;
        } else if (line.value("cdb", "").rfind("3b", 0) == 0) {
            if (span.firstWrite < 0) span.firstWrite = at;
            span.lastWrite = at;
        }
    }
    return span;
}

TEST(FlashStop, SleepAndShutdownAreHeldOffForExactlyTheFlash) {
    for (int language : {0, 2}) {
        TraceCapture trace;
        Scenario s("typical", Options({{2, static_cast<char>('0' + language)}}),
                   {Image("QV12", kMiB)});
        s.Run();
        ASSERT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
        const platform::emulated::ShutdownBlockRecord& block = s.bench.machine().shutdownBlock;
        EXPECT_EQ(block.takes, 1);
        EXPECT_EQ(block.releases, 1);
        EXPECT_FALSE(block.held);
        EXPECT_EQ(block.reason, engine::Text(engine::UpdateText::ShutdownBlockReason, language));
        FlashSpan span = SpanOf(trace.Lines());
        ASSERT_GE(span.firstWrite, 0);
        EXPECT_LT(span.held, span.firstWrite) << "held before the first write";
        EXPECT_EQ(span.released, span.lastWrite + 1)
            << "released as the last write has ended, before the drive is identified again";
        EXPECT_LT(span.released, span.lines - 1) << "the re-identification follows";
    }
}

TEST(FlashStop, ARunOverSeveralDrivesHoldsOffShutdownUntilTheLastHasFinished) {
    // The drives end one after another: the last to finish has the largest image to write.
    TraceCapture trace;
    Scenario s("default", Options({{8, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        AddDrive(m, "E:", 0, "QV11");
        AddDrive(m, "F:", 1, "QV11");
        AddDrive(m, "G:", 2, "QV11");
        // F:'s commit takes a minute: it finishes last.
        m.drives[1]->ByHand([](DriveSettings& d) {
            d.faults.push_back({.kind = DriveFault::Kind::SlowCommand,
                                .command = CommandKind::Commit,
                                .seconds = 60});
        });
    });
    s.Run();
    ASSERT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    for (size_t d = 0; d < 3; ++d)
        EXPECT_EQ(s.bench.drive(d).Settings().revision, "QV12") << d;
    EXPECT_EQ(s.bench.machine().shutdownBlock.takes, 1) << "held once for the whole run";
    EXPECT_EQ(s.bench.machine().shutdownBlock.releases, 1);
    FlashSpan span = SpanOf(trace.Lines());
    EXPECT_LT(span.held, span.firstWrite);
    EXPECT_GT(span.released, span.lastWrite) << "released only after every drive's last write";
    EXPECT_EQ(s.engine.Gate().RequestStop(), engine::StopAnswer::EndAfterFlash);
}

TEST(FlashStop, WithoutAServiceToHoldShutdownTheFlashGoesOnAndTheTraceSaysSo) {
    TraceCapture trace;
    Scenario s("typical", Options({}), {Image("QV12", kMiB)},
               [](Machine& m) { m.shutdown.blockRefused = true; });
    s.Run();
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    EXPECT_EQ(s.Flash(0), s.package.ImageData(0));
    EXPECT_EQ(s.bench.machine().shutdownBlock.refused, 1);
    EXPECT_EQ(s.bench.machine().shutdownBlock.releases, 0) << "nothing held, nothing released";
    auto lines = trace.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const nlohmann::json& l) {
        return l.value("shutdownBlock", "") == "not held";
    }));
}

TEST(FlashStop, AStopBeforeTheFlashWritesNothing) {
    Scenario s("typical", Options({}), {Image("QV12", kMiB)});
    ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
    EXPECT_EQ(s.engine.Gate().RequestStop(), engine::StopAnswer::EndUnchanged);
    s.engine.UpdateClick();
    s.view.RunUntilIdle(s.engine);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Stopped);
    EXPECT_TRUE(s.view.terminated);
    EXPECT_TRUE(s.Untouched(0));
    EXPECT_EQ(s.bench.drive(0).Settings().revision, "QV11");
    EXPECT_EQ(s.bench.machine().shutdownBlock.takes, 0);
    std::ostringstream out, err;
    EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitDeclined);
}

TEST(FlashStop, AStopDuringTheFlashWaitsForItAndAsksNoRestart) {
    // The shipped options ask to restart after a success; a stopped run must not.
    Scenario s("typical", Options({}), {Image("QV12", kMiB)});
    ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
    s.engine.UpdateClick();
    ASSERT_GT(s.engine.Running(), 0);
    EXPECT_EQ(s.engine.Gate().RequestStop(), engine::StopAnswer::FlashUnderway);
    EXPECT_EQ(s.engine.Gate().RequestStop(), engine::StopAnswer::AlreadyTold) << "said once";
    s.view.RunUntilIdle(s.engine);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded) << "the true verdict";
    EXPECT_EQ(s.Flash(0), s.package.ImageData(0));
    EXPECT_FALSE(s.view.Saw("dialog:Reboot"));
    EXPECT_EQ(s.bench.machine().restart.requests, 0);
    EXPECT_TRUE(std::count(s.view.statuses.begin(), s.view.statuses.end(),
                           engine::kNoRestartAfterStopText));
    EXPECT_TRUE(s.view.terminated);
    EXPECT_EQ(s.engine.Gate().RequestStop(), engine::StopAnswer::EndAfterFlash);
    EXPECT_FALSE(s.engine.Gate().BeginFlash()) << "no flash after a stop";
}

TEST(FlashStop, AStopDuringAnUnattendedRunStartsNoFurtherDrive) {
    // The first drive's flash is under way when the tray loop of the second drive is reached;
    // a stop then leaves the second drive alone and the run says it was stopped.
    Scenario s("sixteen", Options({{5, '1'}, {8, '1'}}), {Image("QV12", kMiB)}, [](Machine& m) {
        for (size_t d = 0; d < m.drives.size(); ++d)
            ChangeDrive(m, d, [d](DriveSettings& s) { s.medium = d == 1; });
    });
    std::vector<engine::StopAnswer> answers;
    s.view.onMessage = [&](engine::MessageKind, const std::string&) {
        answers.push_back(s.engine.Gate().RequestStop());
    };
    s.Run();
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers[0], engine::StopAnswer::FlashUnderway) << "asked at the second drive's tray";
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Stopped);
    EXPECT_EQ(s.Flash(0), s.package.ImageData(0)) << "the flash under way was finished";
    for (size_t d = 1; d < 16; ++d)
        EXPECT_TRUE(s.Untouched(d)) << "drive " << d;
    EXPECT_TRUE(s.view.terminated);
}
namespace {

// A script's rules (the console's, without --force and --reboot): the engine leaves alone a drive
// that already holds the package's revision or a newer one, and a held restart is not made.
TEST(LeaveUpToDate, AnAttendedDriveWithTheRevisionOrANewerOneIsNotFlashed) {
    for (const char* revision : {"QV13", "QV15"}) {
        Scenario s("default", Options({{17, '1'}}), {Image("QV13", kMiB)},
                   [&](Machine& m) { AddDrive(m, "E:", 0, revision); });
        s.engine.SetLeaveUpToDate(true);
        s.Run();
        EXPECT_TRUE(s.Untouched(0)) << revision;
        EXPECT_TRUE(s.view.shown.empty()) << "nothing to ask about a drive left alone";
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::NoDrive);
        EXPECT_TRUE(s.engine.LastRun().drives.empty());
        std::ostringstream out, err;
        EXPECT_EQ(cli::ReportRun(s.engine.LastRun(), false, out, err), cli::kExitNoDrive);
        const std::string said =
            std::string("already ") + revision +
            (revision == std::string("QV13") ? ": not flashed"
                                             : ", newer than the package's QV13: not flashed");
        EXPECT_NE(out.str().find(said), std::string::npos) << out.str();
    }
    {
        Scenario s("default", Options({}), {Image("QV13", kMiB)},
                   [](Machine& m) { AddDrive(m, "E:", 0, "QV11"); });
        s.engine.SetLeaveUpToDate(true);
        s.Run();
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded) << "an older drive is flashed";
    }
}

TEST(LeaveUpToDate, AnUnattendedRunFlashesTheOthersAndPlansTheSameAsItRuns) {
    auto drives = [](Machine& m) {
        AddDrive(m, "E:", 0, "QV11");
        AddDrive(m, "F:", 1, "QV13");
        AddDrive(m, "G:", 2, "QV15");
    };
    using engine::DrivePlan;
    {
        Scenario s("default", Options({{8, '1'}}), {Image("QV13", kMiB)}, drives);
        ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
        auto plans = s.engine.PlanRun();
        ASSERT_EQ(plans.size(), 3u);
        EXPECT_EQ(plans[0].plan, DrivePlan::Update);
        EXPECT_FALSE(plans[0].asks);
        EXPECT_EQ(plans[1].plan, DrivePlan::Update);
        EXPECT_EQ(plans[2].plan, DrivePlan::Update);
        EXPECT_TRUE(plans[2].asks) << "the package warns about a newer drive";
    }
    Scenario s("default", Options({{8, '1'}}), {Image("QV13", kMiB)}, drives);
    s.engine.SetLeaveUpToDate(true);
    ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
    auto plans = s.engine.PlanRun();
    ASSERT_EQ(plans.size(), 3u);
    EXPECT_EQ(plans[0].plan, DrivePlan::Update);
    EXPECT_EQ(plans[0].drive.oldRevision, "QV11");
    EXPECT_EQ(plans[0].drive.packageRevision, "QV13");
    EXPECT_EQ(plans[1].plan, DrivePlan::UpToDate);
    EXPECT_EQ(plans[2].plan, DrivePlan::UpToDate);
    EXPECT_TRUE(s.Untouched(0)) << "planning writes nothing";
    s.engine.UpdateClick();
    s.view.RunUntilIdle(s.engine);
    EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
    EXPECT_FALSE(s.view.Saw("dialog:ShowMsg")) << "the newer drive is left alone, not asked about";
    EXPECT_EQ(s.bench.drive(0).Settings().revision, "QV13");
    EXPECT_TRUE(s.Untouched(1));
    EXPECT_TRUE(s.Untouched(2));
    EXPECT_EQ(s.engine.LastRun().drives.size(), 1u);
    EXPECT_EQ(s.engine.LastRun().upToDate.size(), 2u);
}

TEST(LeaveUpToDate, AnAttendedPlanChoosesTheSelectedDriveOnly) {
    Scenario s("default", Options({}), {Image("QV13", kMiB)}, [](Machine& m) {
        AddDrive(m, "E:", 0, "QV11");
        AddDrive(m, "F:", 1, "QV11");
    });
    ASSERT_EQ(s.engine.StartUp(), StartEnd::Ready);
    s.engine.DrivesChange(0);
    auto plans = s.engine.PlanRun();
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_EQ(plans[0].plan, engine::DrivePlan::Update);
    EXPECT_EQ(plans[1].plan, engine::DrivePlan::NotChosen);
}

TEST(UpdateRun, AHeldRestartIsNotMadeEvenWhereThePackageWouldNotAsk) {
    for (const char* ask : {"0", "1"}) {
        Scenario s("typical", Options({{15, ask[0]}, {14, '0'}}), {Image("QV12", kMiB)});
        s.view.restartHeld = true;
        s.Run();
        EXPECT_EQ(s.engine.LastRun().end, RunEnd::Succeeded);
        EXPECT_EQ(s.bench.machine().restart.requests, 0) << "ask " << ask;
        EXPECT_EQ(s.view.shown, (std::vector<std::string>{"restart held"}));
        EXPECT_TRUE(s.view.terminated);
    }
}

}  // namespace
