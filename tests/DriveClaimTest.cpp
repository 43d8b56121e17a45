// One program per drive through the engine, on emulated PCs: a drive another program holds is
// refused before anything is written, with its name and the holder; a free drive is claimed
// before the first write and given back after the run has read it again.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/DriveClaims.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

namespace {
using engine::RunEnd;
using engine::StartEnd;
using platform::emulated::CommandKind;
using platform::emulated::Machine;
using platform::emulated::OpticalDrive;
using namespace testing_support;

constexpr size_t kClaimImageSize = 1024 * 1024;

struct ClaimRun {
    template <typename Configure>
    ClaimRun(const std::string& options, Configure configure)
        : bench("typical", configure),
          package(options, {Image("QV12", kClaimImageSize)}),
          block(package.Block()),
          engine(block, view) {}

    int Writes(size_t drive) {
        int n = 0;
        for (CommandKind kind : {CommandKind::WriteBuffer, CommandKind::Profile,
                                 CommandKind::Commit, CommandKind::DownloadBlock})
            n += bench.drive(drive).Received(kind);
        return n;
    }
    std::string Error() const {
        for (const auto& s : view.shown)
            if (s.rfind("message:error:", 0) == 0) return s.substr(14);
        return "";
    }
    std::string Messages() const {
        std::string all;
        for (const auto& s : view.shown)
            all += s + "\n";
        return all;
    }

    DriveBench bench;
    TestPackage package;
    package::Package block;
    TestView view;
    engine::UpdateEngine engine;
};

TEST(DriveClaim, AFreeDriveIsClaimedBeforeTheFirstWriteAndGivenBackAfterTheRun) {
    ClaimRun r(Options({}), [](Machine&) {});
    ASSERT_EQ(r.engine.StartUp(), StartEnd::Ready);
    r.engine.UpdateClick();
    r.view.RunUntilIdle(r.engine);
    ASSERT_EQ(r.engine.LastRun().end, RunEnd::Succeeded) << r.Messages();

    const auto& log = r.bench.machine().claimLog;
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].letter, "E:");
    EXPECT_TRUE(log[0].claimed);
    EXPECT_EQ(log[0].writesBefore, 0) << "claimed before anything was written";
    EXPECT_FALSE(log[1].claimed);
    EXPECT_GT(log[1].writesBefore, 500) << "given back only after the whole flash";
    EXPECT_EQ(log[1].writesBefore, r.Writes(0));
    EXPECT_EQ(log[1].commandsBefore, r.bench.drive(0).Received(CommandKind::Any))
        << "and after the drive was read back";
    EXPECT_TRUE(r.bench.machine().claimed.empty());
}

TEST(DriveClaim, ADriveHeldByAnotherProgramIsRefusedBeforeAnythingIsWritten) {
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        std::string options = Options({{2, static_cast<char>('0' + language)}});
        ClaimRun r(options, [](Machine& m) {
            ChangeDrive(m, 0, [](auto& d) { d.heldBy = "cdrecord (process 4711)"; });
        });
        ASSERT_EQ(r.engine.StartUp(), StartEnd::Ready);
        const auto before = r.bench.drive(0).Flash();
        r.engine.UpdateClick();
        r.view.RunUntilIdle(r.engine);

        EXPECT_EQ(r.engine.LastRun().end, RunEnd::Declined);
        EXPECT_TRUE(r.view.terminated);
        EXPECT_EQ(r.Writes(0), 0);
        EXPECT_EQ(r.bench.drive(0).Flash(), before);
        EXPECT_TRUE(r.bench.machine().claimLog.empty());
        ASSERT_EQ(r.view.Count("message:error:"), 1) << r.Messages();
        std::string message = r.Error();
        EXPECT_NE(message.find("E: (QUORVANT DVD-RW QV-1600)"), std::string::npos) << message;
        EXPECT_NE(message.find("cdrecord (process 4711)"), std::string::npos) << message;
        EXPECT_EQ(message, engine::DriveHeldText(language, "E: (QUORVANT DVD-RW QV-1600)",
                                                 "cdrecord (process 4711)"));
    }
}

TEST(DriveClaim, WhoHoldsADriveIsShownWithItsControlsEscaped) {
    // A process may name itself anything: its name cannot move the cursor to fake a line.
    ClaimRun r(Options({}), [](Machine& m) {
        ChangeDrive(m, 0, [](auto& d) { d.heldBy = "\x1b[1A\x1b[2KFirmware updated\r"; });
    });
    ASSERT_EQ(r.engine.StartUp(), StartEnd::Ready);
    r.engine.UpdateClick();
    r.view.RunUntilIdle(r.engine);
    EXPECT_EQ(r.Writes(0), 0);
    EXPECT_NE(r.Error().find("is in use by another program: \\x1b[1A\\x1b[2KFirmware updated\\r."),
              std::string::npos)
        << r.Error();
    EXPECT_EQ(r.Error().find_first_of("\x1b\r"), std::string::npos) << r.Error();
    EXPECT_NE(
        engine::DriveHeldText(2, "E:", "書込ソフト (process 7)").find("：書込ソフト (process 7)"),
        std::string::npos);
}

TEST(DriveClaim, AnUnattendedRunWithOneHeldDriveFlashesNone) {
    // Unattended: every drive the package takes, both QV11 here.
    ClaimRun r(Options({{8, '1'}}), [](Machine& m) {
        auto second = m.drives.at(0)->Settings();
        second.letter = "G:";
        second.address = std::array<int, 4>{1, 0, 2, 0};
        second.heldBy = "its disc (/dev/sr1) is mounted at /media/cdrom";
        m.drives.push_back(std::make_shared<OpticalDrive>(second));
    });
    ASSERT_EQ(r.engine.StartUp(), StartEnd::Ready);
    r.engine.UpdateClick();
    r.view.RunUntilIdle(r.engine);
    EXPECT_EQ(r.engine.LastRun().end, RunEnd::Declined);
    EXPECT_EQ(r.Writes(0) + r.Writes(2), 0) << r.Messages();
    EXPECT_NE(r.Error().find("G: (QUORVANT DVD-RW QV-1600) is in use by another program: its "
                             "disc (/dev/sr1) is mounted at /media/cdrom."),
              std::string::npos)
        << r.Messages();
    // E: was claimed first and given back when F: was refused.
    const auto& log = r.bench.machine().claimLog;
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].claimed && !log[1].claimed);
    EXPECT_TRUE(r.bench.machine().claimed.empty());
}

TEST(DriveClaim, ADriveThatCannotBeOpenedBecauseItIsHeldIsNamedAtStart) {
    ClaimRun r(Options({}), [](Machine& m) {
        ChangeDrive(m, 0, [](auto& d) {
            d.openError = platform::kErrorSharingViolation;
            d.heldBy = "brenvo-cli (process 99)";
        });
    });
    EXPECT_EQ(r.engine.StartUp(), StartEnd::DriveHeld);
    EXPECT_TRUE(r.view.terminated);
    EXPECT_EQ(r.Error(), engine::DriveHeldText(0, "E:", "brenvo-cli (process 99)"));
    EXPECT_EQ(r.Error().rfind("Drive E: is in use by another program: brenvo-cli (process 99).", 0),
              0u);
}

}  // namespace
