// The check after a restart: the RunOnce entry, the command line it gives, and the comparison.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "engine/RestartCheck.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

namespace {
using common::SplitCommandLine;
using engine::CheckOutcome;
using engine::ParseCheckCommandLine;
using namespace testing_support;

TEST(RestartEntry, APathWithBlanksStillGivesExactlyThreeParameters) {
    TestMachine pc([](platform::emulated::Machine& m) {
        m.programPath = "C:\\Program Files\\Brenvo Flasher\\brenvo.exe";
    });
    engine::WriteRestartCheck(1, "QV12");
    auto entry = pc.system().QueryRegistryString(platform::RegistryRoot::LocalMachine,
                                                 engine::kRunOnceKey, "QVFWUpdate");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(*entry, "\"C:\\Program Files\\Brenvo Flasher\\brenvo.exe\" /QVCHECK 1 QV12");
    auto parameters = SplitCommandLine(*entry);
    ASSERT_EQ(parameters.size(), 4u);
    EXPECT_EQ(parameters[0], "C:\\Program Files\\Brenvo Flasher\\brenvo.exe");
    auto request = ParseCheckCommandLine(parameters);
    EXPECT_TRUE(request.requested);
    EXPECT_EQ(request.driveIndex, 1);
    EXPECT_EQ(request.expected, "QV12");
}

TEST(CheckCommandLine, OnlyTheSwitchWithExactlyTwoValuesAsksForTheCheck) {
    EXPECT_FALSE(ParseCheckCommandLine({"b.exe", "/QVCHECK", "1"}).requested);
    EXPECT_FALSE(ParseCheckCommandLine({"b.exe", "/QVCHECK", "1", "QV12", "x"}).requested);
    EXPECT_FALSE(ParseCheckCommandLine({"b.exe", "/qvcheck", "1", "QV12"}).requested);
    EXPECT_FALSE(ParseCheckCommandLine({"b.exe"}).requested);
    auto odd = ParseCheckCommandLine({"b.exe", "/QVCHECK", "one", " QV12 "});
    EXPECT_TRUE(odd.requested);
    EXPECT_EQ(odd.driveIndex, -1) << "an index that is not a number names no drive";
    EXPECT_EQ(odd.expected, "QV12");
    EXPECT_EQ(SplitCommandLine("  a  \"b c\" d\"e f\" "),
              (std::vector<std::string>{"a", "b c", "de f"}));
}

TEST(VerifyUpdate, ComparesTheRevisionThisStartFound) {
    DriveBench bench("typical");
    TestPackage built(Options({{1, '2'}}), {Image("QV12", 1024 * 1024)});
    package::Package package(built.Block());
    TestView view;
    engine::UpdateEngine engine(package, view);
    ASSERT_EQ(engine.StartUp(), engine::StartEnd::Ready);

    auto matches = engine::VerifyUpdate(engine, {true, 0, "QV11"});
    EXPECT_EQ(matches.outcome, CheckOutcome::Matches);
    EXPECT_EQ(matches.message, "The firmware update was successful.");
    EXPECT_TRUE(matches.memo.empty());

    auto differs = engine::VerifyUpdate(engine, {true, 0, "qv11"});
    EXPECT_EQ(differs.outcome, CheckOutcome::Differs) << "letter case counts";
    EXPECT_EQ(differs.memo,
              (std::vector<std::string>{"The firmware version reported by the drive QV11 does",
                                        "not match the expected version(qv11)."}));

    // A drive the package does not take has not been updated by it, whatever it reports; the
    // memo says what that drive reports, not what the revision label kept from another drive.
    auto foreign = engine::VerifyUpdate(engine, {true, 1, "1.00"});
    EXPECT_EQ(foreign.outcome, CheckOutcome::Differs);
    EXPECT_EQ(foreign.memo.at(0), "The firmware version reported by the drive 1.00 does");
    auto stale = engine::VerifyUpdate(engine, {true, 1, "QV11"});
    EXPECT_EQ(stale.outcome, CheckOutcome::Differs) << "QV11 is E:'s revision, not F:'s";

    for (int index : {2, -1}) {
        auto missing = engine::VerifyUpdate(engine, {true, index, "QV12"});
        EXPECT_EQ(missing.outcome, CheckOutcome::NotListed);
        EXPECT_EQ(missing.message.rfind("Firmware update failed.", 0), 0u);
        EXPECT_TRUE(missing.memo.empty());
    }
}

TEST(VerifyUpdate, ADriveInItsBootLoaderFailsWhileAnotherDriveHasTheRevision) {
    // E: was cut during its commit; G:, listed last, already has the package's revision and is
    // the one start-up selects.
    DriveBench bench("typical", [](platform::emulated::Machine& m) {
        ChangeDrive(m, 0, [](platform::emulated::DriveSettings& d) { d.flashIncomplete = true; });
        auto g = benchtool::QuorvantDrive("G:", "1:0:2:0");
        g.revision = "QV12";
        m.drives.push_back(std::make_shared<platform::emulated::OpticalDrive>(g));
    });
    TestPackage built(Options({{1, '2'}}), {Image("QV12", 1024 * 1024)});
    package::Package package(built.Block());
    TestView view;
    engine::UpdateEngine engine(package, view);
    ASSERT_EQ(engine.StartUp(), engine::StartEnd::Ready);

    auto cut = engine::VerifyUpdate(engine, {true, 0, "QV12"});
    EXPECT_EQ(cut.outcome, CheckOutcome::Differs);
    EXPECT_EQ(cut.memo,
              (std::vector<std::string>{"The firmware version reported by the drive 0000 does",
                                        "not match the expected version(QV12)."}));
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 2, "QV12"}).outcome, CheckOutcome::Matches);
}

}  // namespace
