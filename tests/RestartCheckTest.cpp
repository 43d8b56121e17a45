// The check after a restart: the RunOnce entry, the command line it gives, and the comparison.
#include <gtest/gtest.h>

#include <cstring>

#include "common/Text.h"
#include "engine/RestartCheck.h"
#include "engine/WindowCommandLine.h"
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

// Whatever a path holds, the entry names that program and gives the check its three words, the
// way the system splits a command line and the way boot reads an entry.
TEST(RestartEntry, EveryPathReadsBackAsItself) {
    for (const std::string path :
         {"C:\\Program Files\\Brenvo\\brenvo.exe", "/opt/a\"b/brenvo", "/opt/a\\\"b\\/brenvo",
          "/opt/ends with\\", "/opt/\\\\\"\"", "/opt/%$`;\t'/br\u00e9nvo"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(engine::RestartEntryProblem(path, 12, "QV12"), "");
        const std::string entry = engine::RestartEntry(path, 12, "QV12");
        EXPECT_EQ(SplitCommandLine(entry),
                  (std::vector<std::string>{path, "/QVCHECK", "12", "QV12"}));
        auto parts = engine::ParseRestartEntry(entry);
        ASSERT_TRUE(parts.has_value()) << entry;
        EXPECT_EQ(parts->programPath, path);
        EXPECT_EQ(parts->driveIndex, 12);
        EXPECT_EQ(parts->revision, "QV12");
    }
}

// Boot starts what the program writes and nothing else: no other word, spelling or value.
TEST(RestartEntry, AnythingTheProgramDoesNotWriteIsNoEntry) {
    const std::string program = R"("C:\b.exe")";
    for (const std::string entry : {
             program + " /QVCHECK 0 QV12 -platform offscreen",
             program + " -platformpluginpath /tmp/p -platform evil",
             program + " --gtest_output=xml:/root/.bashrc",
             program + " update --yes --force --reboot",
             program + " /QVCHECK 0 QV12 ",
             program + " /QVCHECK 0  QV12",
             program + "  /QVCHECK 0 QV12",
             program + " /QVCHECK\t0 QV12",
             program + " /qvcheck 0 QV12",
             program + " /QVCHECK 00 QV12",
             program + " /QVCHECK -1 QV12",
             program + " /QVCHECK 1000 QV12",
             program + " /QVCHECK 0",
             program + " /QVCHECK 0 ",
             program + " /QVCHECK 0 QV12345678",
             program + " /QVCHECK 0 Q\"V",
             std::string("C:\\b.exe /QVCHECK 0 QV12"),
             std::string(R"("C:\b.exe /QVCHECK 0 QV12)"),
             std::string(R"("C:\b\" /QVCHECK 0 QV12)"),
             std::string(R"("" /QVCHECK 0 QV12)"),
         }) {
        EXPECT_FALSE(engine::ParseRestartEntry(entry).has_value()) << entry;
    }
    EXPECT_FALSE(engine::ParseRestartEntry(program + " /QVCHECK 0 -reverse").has_value())
        << "a toolkit's option as the revision";
    EXPECT_TRUE(engine::ParseRestartEntry(program + " /QVCHECK 999 a.B-c_d+").has_value());
    EXPECT_NE(engine::RestartEntryProblem("/opt/b", 0, "QV 2"), "");
    EXPECT_NE(engine::RestartEntryProblem(std::string("/opt/b\0x", 8), 0, "QV12"), "");
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

TEST(WindowCommandLine, TakesItsOwnOptionsAndNoneOfTheToolkits) {
    using engine::WindowStart;
    auto start = [](std::vector<std::string> words) {
        words.insert(words.begin(), "brenvo");
        return engine::ParseWindowCommandLine(words).start;
    };
    EXPECT_EQ(start({}), WindowStart::Run);
    EXPECT_EQ(start({"/QVCHECK", "0", "QV12"}), WindowStart::Run);
    EXPECT_EQ(start({"/QVCHECK", "0", "-platform"}), WindowStart::Run) << "a revision, to us";
    EXPECT_EQ(start({"--version"}), WindowStart::Version);
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"-platformpluginpath", "/tmp/p", "-platform", "evil"},
             {"-platform", "offscreen"},
             {"-style", "fusion"},
             {"-reverse"},
             {"/QVCHECK", "0", "QV12", "-platform"},
             {"--frob"}}) {
        EXPECT_EQ(start(words), WindowStart::UsageError) << words[0];
    }
}

TEST(WindowCommandLine, WithRootsRightsTheToolkitLoadsNoPluginItIsPointedAt) {
    for (const char* name :
         {"QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH", "QT_QPA_PLATFORMTHEME",
          "QT_QPA_GENERIC_PLUGINS", "QT_STYLE_OVERRIDE", "QT_IM_MODULE", "QT_DEBUG_PLUGINS",
          "GTK_MODULES", "GIO_EXTRA_MODULES"})
        EXPECT_TRUE(engine::ToolkitVariableRefused(name, "/home/user/x")) << name;
    for (const char* platform : {"xcb", "wayland", "offscreen", "minimal"})
        EXPECT_FALSE(engine::ToolkitVariableRefused("QT_QPA_PLATFORM", platform)) << platform;
    for (const char* platform : {"evil", "xcb:plugin=x", "", "offscreen "})
        EXPECT_TRUE(engine::ToolkitVariableRefused("QT_QPA_PLATFORM", platform)) << platform;
    for (const char* name : {"DISPLAY", "XAUTHORITY", "QT_SCALE_FACTOR", "BRENVO_MACHINE", "HOME"})
        EXPECT_FALSE(engine::ToolkitVariableRefused(name, "/home/user/x")) << name;
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
    // The expected revision comes from a restart entry: compared as given, shown escaped.
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 0, "QV\x1b[1A"}).memo.at(1),
              "not match the expected version(QV\\x1b[1A).");

    // The memo gives what the drive at that index reports, not what the revision label kept from
    // another drive.
    auto stale = engine::VerifyUpdate(engine, {true, 1, "QV11"});
    EXPECT_EQ(stale.outcome, CheckOutcome::Differs) << "QV11 is E:'s revision, not F:'s";
    EXPECT_EQ(stale.memo.at(0), "The firmware version reported by the drive 1.00 does");

    for (int index : {2, -1}) {
        auto missing = engine::VerifyUpdate(engine, {true, index, "QV12"});
        EXPECT_EQ(missing.outcome, CheckOutcome::NotListed);
        EXPECT_EQ(missing.message.rfind("Firmware update failed.", 0), 0u);
        ASSERT_EQ(missing.memo.size(), 3u);
        EXPECT_EQ(missing.memo[1], "so no drive could be compared with");
        EXPECT_EQ(missing.memo[2], "the expected version(QV12).");
    }
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 2, "QV12"}).memo[0],
              "The drive list has no drive 2 (it has 2 drives),");
}

TEST(VerifyUpdate, AnotherMakersDriveFailsForThatReason) {
    // A package whose entries name the maker: a drive of another maker has not been updated by
    // it, whatever it reports, and the memo says so rather than compare revisions.
    DriveBench bench("typical");
    TestPackage built(Options({{1, '2'}}),
                      {Image("QV12", 1024 * 1024, {{"QV10", "QV19", "QUORVANT", ""}})});
    package::Package package(built.Block());
    TestView view;
    engine::UpdateEngine engine(package, view);
    ASSERT_EQ(engine.StartUp(), engine::StartEnd::Ready);
    for (const char* expected : {"1.00", "QV12"}) {
        auto foreign = engine::VerifyUpdate(engine, {true, 1, expected});
        EXPECT_EQ(foreign.outcome, CheckOutcome::Differs) << expected;
        EXPECT_EQ(foreign.memo,
                  (std::vector<std::string>{"The drive at index 1 is a OTHERCO CD-ROM XJ-52,",
                                            "not a drive this package updates."}));
    }
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 0, "QV11"}).outcome, CheckOutcome::Matches);
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
              (std::vector<std::string>{"The drive reports 0000: it runs its boot loader,",
                                        "the firmware in its flash is not whole and does",
                                        "not match the expected version(QV12)."}));
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 2, "QV12"}).outcome, CheckOutcome::Matches);
    // Even a check that expects the loader's own revision does not pass on a loader.
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 0, "0000"}).outcome, CheckOutcome::Differs);
}

// The entry names the updated drive by maker and model: both forms read back, and nothing else
// in the place of the identity.
TEST(RestartEntry, TheDrivesIdentityIsItsLastWordAndOptional) {
    device::DriveRecord record;
    std::strncpy(record.vendor, "QUORVANT", 8);
    std::strncpy(record.product, "DVD-RW QV-1600", 16);
    const std::string id = engine::DriveIdentity(record);
    // Blank-padded as the drive answers: "DVD-RW QV-1600  ".
    EXPECT_EQ(id,
              "51554F5256414E54"
              "4456442D52572051562D313630302020");
    const std::string entry = engine::RestartEntry("/opt/b", 3, "QV12", id);
    auto parts = engine::ParseRestartEntry(entry);
    ASSERT_TRUE(parts.has_value()) << entry;
    EXPECT_EQ(parts->driveIndex, 3);
    EXPECT_EQ(parts->revision, "QV12");
    EXPECT_EQ(parts->identity, id);
    auto request = ParseCheckCommandLine(SplitCommandLine(entry));
    EXPECT_TRUE(request.requested);
    EXPECT_EQ(request.identity, id);
    EXPECT_EQ(engine::ParseRestartEntry(engine::RestartEntry("/opt/b", 3, "QV12"))->identity, "");
    std::string lower = id;
    lower.back() = 'a';
    for (const std::string& wrong : {id.substr(1), id + "0", lower, id + " " + id}) {
        EXPECT_FALSE(engine::ParseRestartEntry("\"/opt/b\" /QVCHECK 3 QV12 " + wrong).has_value())
            << wrong;
        EXPECT_FALSE(ParseCheckCommandLine({"b", "/QVCHECK", "3", "QV12", wrong}).requested)
            << wrong;
    }
}

TEST(VerifyUpdate, AnotherDriveAtTheIndexFailsWhenTheEntryNamesTheUpdatedOne) {
    // G: of the family and F: of another maker, both reporting QV12; the package names no maker.
    DriveBench bench("typical", [](platform::emulated::Machine& m) {
        ChangeDrive(m, 1, [](platform::emulated::DriveSettings& d) { d.revision = "QV12"; });
    });
    TestPackage built(Options({{1, '2'}}),
                      {Image("QV12", 1024 * 1024, {{"0000", "QV19", "", ""}})});
    package::Package package(built.Block());
    TestView view;
    engine::UpdateEngine engine(package, view);
    ASSERT_EQ(engine.StartUp(), engine::StartEnd::Ready);
    const std::string quorvant = engine::DriveIdentity(*engine.ListedDrive(0));
    const std::string other = engine::DriveIdentity(*engine.ListedDrive(1));
    ASSERT_NE(quorvant, other);
    // The older entry passes whatever drive sits at the index.
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 1, "QV12"}).outcome, CheckOutcome::Matches);
    auto moved = engine::VerifyUpdate(engine, {true, 1, "QV12", quorvant});
    EXPECT_EQ(moved.outcome, CheckOutcome::Differs);
    EXPECT_EQ(moved.memo, (std::vector<std::string>{
                              "The drive at index 1 is a OTHERCO CD-ROM XJ-52,",
                              "not the drive that was updated, so it was not compared with",
                              "the expected version(QV12)."}));
    EXPECT_EQ(engine::VerifyUpdate(engine, {true, 1, "QV12", other}).outcome,
              CheckOutcome::Matches);
}

// The usual way of writing a package's ranges: the revisions it updates from. After a good flash
// the drive reports QV12, outside QV10-QV11, and the check must still pass: it asks only what
// the drive at that index reports now.
class RangeBelowTheNewRevision : public ::testing::Test {
  protected:
    static std::string OemOptions(char listMatchedOnly = '0') {
        return Options({{1, '2'}, {13, listMatchedOnly}});
    }
    static pack::ImageSpec Package() {
        return Image("QV12", 1024 * 1024, {{"QV10", "QV11", "", ""}});
    }
    static void Flashed(platform::emulated::DriveSettings& d) {
        d.revision = "QV12";
        d.driveTag = "QV12-00";
    }
    // G:, a second drive of the family, still at QV11.
    static void SecondFamilyDrive(platform::emulated::Machine& m) {
        m.drives.push_back(std::make_shared<platform::emulated::OpticalDrive>(
            benchtool::QuorvantDrive("G:", "1:0:2:0")));
    }
    static engine::CheckResult Verify(engine::UpdateEngine& engine, int index) {
        engine::CheckRequest request{true, index, "QV12"};
        EXPECT_EQ(engine.StartUp(request), engine::StartEnd::Ready);
        return engine::VerifyUpdate(engine, request);
    }
};

TEST_F(RangeBelowTheNewRevision, OneFamilyDriveFlashedPassesTheCheck) {
    DriveBench bench("typical", [](platform::emulated::Machine& m) { ChangeDrive(m, 0, Flashed); });
    TestPackage built(OemOptions(), {Package()});
    package::Package package(built.Block());
    {
        TestView view;
        engine::UpdateEngine engine(package, view);
        EXPECT_EQ(engine.StartUp(), engine::StartEnd::NoMatchingDrive)
            << "an ordinary start has nothing to update";
    }
    for (char matchedOnly : {'0', '1'}) {
        TestPackage listed(OemOptions(matchedOnly), {Package()});
        package::Package p(listed.Block());
        TestView view;
        engine::UpdateEngine engine(p, view);
        auto result = Verify(engine, 0);
        EXPECT_EQ(result.outcome, CheckOutcome::Matches) << "matched drives only: " << matchedOnly;
        EXPECT_TRUE(result.memo.empty());
        EXPECT_FALSE(view.Saw("message:")) << "no no-match report before the check";
        EXPECT_FALSE(engine.Revisions().matched) << "the ranges still choose drives to update";
    }
}

TEST_F(RangeBelowTheNewRevision, TwoFamilyDrivesEachCheckedForWhatItReports) {
    DriveBench bench("typical", [](platform::emulated::Machine& m) {
        ChangeDrive(m, 0, Flashed);
        SecondFamilyDrive(m);
    });
    TestPackage built(OemOptions(), {Package()});
    package::Package package(built.Block());
    TestView view;
    engine::UpdateEngine engine(package, view);
    EXPECT_EQ(Verify(engine, 0).outcome, CheckOutcome::Matches) << "E: was flashed";
    auto other = Verify(engine, 2);
    EXPECT_EQ(other.outcome, CheckOutcome::Differs) << "G: still has QV11";
    EXPECT_EQ(other.memo,
              (std::vector<std::string>{"The firmware version reported by the drive QV11 does",
                                        "not match the expected version(QV12)."}));
}

TEST_F(RangeBelowTheNewRevision, ADriveThatDoesNotAnswerFailsAndTheMemoSaysSo) {
    DriveBench bench("typical", [](platform::emulated::Machine& m) {
        ChangeDrive(m, 0, Flashed);
        AddFault(m, 0,
                 {.kind = platform::emulated::DriveFault::Kind::TransportFailure,
                  .command = platform::emulated::CommandKind::Inquiry,
                  .times = 0});
    });
    TestPackage built(OemOptions(), {Package()});
    package::Package package(built.Block());
    TestView view;
    engine::UpdateEngine engine(package, view);
    auto silent = Verify(engine, 0);
    EXPECT_EQ(silent.outcome, CheckOutcome::Differs);
    EXPECT_EQ(silent.memo, (std::vector<std::string>{"The drive at index 0 did not answer, so its",
                                                     "firmware version could not be compared with",
                                                     "the expected version(QV12)."}));
}

}  // namespace
