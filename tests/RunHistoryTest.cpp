// The history of runs: the record a run leaves, the bound on the file, its place on each machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/RunHistory.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

#ifdef __linux__
#include <sys/stat.h>

#include "platform/linux/LinuxHost.h"
#endif

// A namespace of its own: the Windows stage builds every test file as one.
namespace run_history_test {
using engine::RunEnd;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::DriveSettings;
using platform::emulated::Machine;
using platform::emulated::OpticalDrive;
using namespace testing_support;
namespace fs = std::filesystem;

constexpr size_t kMiB = 1024 * 1024;

struct TempFolder {
    fs::path path =
        fs::temp_directory_path() /
        ("brenvo-history-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
};

engine::History Read(const std::string& file) {
    std::string problem;
    auto history = engine::ReadHistory(file, problem);
    EXPECT_TRUE(history) << problem;
    return history.value_or(engine::History{});
}

// An unattended run over three drives on a bench kept in `folder`, the second failing its commit.
struct ThreeDriveRun {
    // `attended`: a run of the custom dialogs that asks before it writes, answered `confirm`.
    explicit ThreeDriveRun(const fs::path& folder, bool attended = false, uint8_t confirm = 1)
        : bench("default",
                [&](Machine& m) {
                    m.benchPath = (folder / "pc.json").string();
                    for (int i = 0; i < 3; ++i) {
                        DriveSettings d = benchtool::QuorvantDrive(
                            std::string(1, char('E' + i)) + ":", "1:0:" + std::to_string(i) + ":0");
                        d.revision = "QV11";
                        d.driveTag = "QV11-01";
                        if (i == 1) {
                            DriveFault fail;
                            fail.command = CommandKind::Commit;
                            d.faults.push_back(fail);
                        }
                        m.drives.push_back(std::make_shared<OpticalDrive>(d));
                    }
                }),
          package(attended ? Options({{1, '1'}}) : Options({{8, '1'}}), {Image("QV12", kMiB)}),
          block(package.Block()),
          engine(block, view) {
        view.confirmAnswer = confirm;
    }
    void Run() {
        ASSERT_EQ(engine.StartUp(), engine::StartEnd::Ready);
        engine.UpdateClick();
        view.RunUntilIdle(engine);
    }
    DriveBench bench;
    TestPackage package;
    package::Package block;
    TestView view;
    engine::UpdateEngine engine;
};

TEST(RunHistory, ARunThatWroteLeavesOneRecordWithItsVerdictAndTheFailureNamesIt) {
    TempFolder folder;
    const std::string file = (folder.path / "pc.history.jsonl").string();
    ThreeDriveRun run(folder.path);
    run.Run();
    ASSERT_EQ(run.engine.LastRun().end, RunEnd::Failed);
    EXPECT_EQ(run.view.shown, (std::vector<std::string>{"message:error:Unable to flash firmware.\n"
                                                        "The record of this run is in " +
                                                        file + "."}));
    const engine::History history = Read(file);
    ASSERT_EQ(history.records.size(), 1u);
    const nlohmann::json& record = history.records[0];
    EXPECT_EQ(record["verdict"], "failed");
    EXPECT_EQ(record["reason"], "1-0-1-0 F: the flash failed");
    EXPECT_EQ(record["package"]["title"], run.block.Title());
    ASSERT_EQ(record["drives"].size(), 3u);
    const nlohmann::json& first = record["drives"][0];
    EXPECT_EQ(first["address"], "1-0-0-0 E:");
    EXPECT_EQ(first["identity"], "QUORVANT DVD-RW QV-1600");
    EXPECT_EQ(first["before"], "QV11");
    EXPECT_EQ(first["after"], "QV12");
    EXPECT_EQ(first["outcome"], "flashed");
    EXPECT_EQ(first["path"], "pass-through, verified download");
    EXPECT_EQ(record["drives"][1]["outcome"], "failed");

    // A second run appends; one the user declines before anything is written leaves nothing.
    ThreeDriveRun again(folder.path);
    again.Run();
    ThreeDriveRun declined(folder.path, true, 0);
    declined.Run();
    EXPECT_EQ(declined.engine.LastRun().end, RunEnd::Declined);
    EXPECT_EQ(Read(file).records.size(), 2u);
}

TEST(RunHistory, KeepsTheNewestRecordsAndShowsTheNewestFirst) {
    TempFolder folder;
    const std::string file = (folder.path / "history.jsonl").string();
    std::string problem;
    for (size_t i = 0; i < engine::kHistoryRecords + 2; ++i) {
        ASSERT_TRUE(engine::AppendRecord(file, {{"time", std::to_string(i)}}, problem)) << problem;
    }
    engine::History history = Read(file);
    ASSERT_EQ(history.records.size(), engine::kHistoryRecords);
    EXPECT_EQ(history.records.front()["time"], "2");
    EXPECT_EQ(history.records.back()["time"], std::to_string(engine::kHistoryRecords + 1));
    const std::string shown = engine::HistoryForPeople(history, 2);
    EXPECT_EQ(shown.find(std::to_string(engine::kHistoryRecords + 1) + "  "), 0u) << shown;
    EXPECT_NE(shown.find(std::to_string(engine::kHistoryRecords) + "  "), std::string::npos);
    EXPECT_EQ(shown.find(std::to_string(engine::kHistoryRecords - 1) + "  "), std::string::npos)
        << "two runs asked for";
}

#ifdef __linux__
TEST(RunHistory, ItsFolderIsWritableByItsOwnerAloneWhateverTheUmask) {
    TempFolder folder;
    const std::string file = (folder.path / "state" / "brenvo" / "history.jsonl").string();
    const mode_t previous = ::umask(0);
    std::string problem;
    const bool kept = engine::AppendRecord(file, {{"time", "now"}}, problem);
    ::umask(previous);
    ASSERT_TRUE(kept) << problem;
    struct stat info {};
    ASSERT_EQ(::stat((folder.path / "state" / "brenvo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(RunHistory, RootKeepsItsOwnHistoryAndAUserTheirs) {
    using platform::linuxhost::HistoryFileFor;
    // Root's rights keep nothing in a folder a variable names.
    EXPECT_EQ(HistoryFileFor(0, "/home/ann/.state", "/home/ann"), "/var/lib/brenvo/history.jsonl");
    EXPECT_EQ(HistoryFileFor(1000, "/home/ann/.state", "/home/ann"),
              "/home/ann/.state/brenvo/history.jsonl");
    EXPECT_EQ(HistoryFileFor(1000, "state", "/home/ann"),
              "/home/ann/.local/state/brenvo/history.jsonl")
        << "a relative XDG_STATE_HOME is ignored";
    EXPECT_EQ(HistoryFileFor(1000, nullptr, "/home/ann"),
              "/home/ann/.local/state/brenvo/history.jsonl");
}
#endif

}  // namespace run_history_test
