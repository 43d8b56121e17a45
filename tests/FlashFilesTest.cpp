// Flash contents beside the bench: saves that stop half way, benches with inline contents,
// contents files that went missing or bad, and what a bench writes and removes when others share
// its folder: copies made with cp, benches whose names begin alike, links left at the names a save
// writes, and the lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/Crc32.h"
#include "common/NewFile.h"
#include "platform/MachineSession.h"
#include "platform/System.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/BenchLock.h"
#include "platform/emulated/FirmwareImage.h"
#include "tests/TestMachine.h"
#include "tools/bench/BenchTool.h"
#include "tools/bench/Presets.h"

namespace {
using namespace platform::emulated;
using testing_support::TempDir;
namespace fs = std::filesystem;

constexpr size_t kFlashSize = 64 * 1024;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The files of a folder, by name.
std::vector<std::string> Files(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.File("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::shared_ptr<Machine> TwoDrives() {
    auto m = std::make_shared<Machine>();
    for (const char* letter : {"E:", "F:"}) {
        DriveSettings d = benchtool::QuorvantDrive(letter, "1:0:0:0");
        d.flash = FlashContents(kFlashSize, 0xFF);
        m->drives.push_back(std::make_shared<OpticalDrive>(std::move(d)));
    }
    return m;
}

// Gives both drives a firmware of this revision, as a flash would.
void Flash(Machine& m, const std::string& revision) {
    for (auto& drive : m.drives) {
        drive->ByHand([&](DriveSettings& d) {
            d.flash = MakeFirmwareImage(revision, "", kFlashSize);
            d.revision = revision;
        });
    }
}

// What a loaded bench says of each drive: the revision, and whether the flash holds that
// revision's firmware.
void ExpectState(const std::string& path, const std::string& revision) {
    auto m = LoadBench(path);
    ASSERT_EQ(m->drives.size(), 2u);
    for (const auto& drive : m->drives) {
        EXPECT_EQ(drive->Settings().revision, revision);
        EXPECT_EQ(drive->Flash(), MakeFirmwareImage(revision, "", kFlashSize)) << revision;
    }
}

TEST(FlashFiles, ASaveStoppedAtAnyStepLeavesTheOldBenchOrTheNew) {
    TempDir dir("brenvo-test-stopped-save");
    const std::string path = dir.File("pc.json");
    auto m = TwoDrives();
    Flash(*m, "QV12");
    SaveBench(*m, path);
    Flash(*m, "QV13");

    // The process dies right after the step; its files stay as they are.
    auto dieAt = [&](SaveStep step) {
        SaveBench(*m, path, [&](SaveStep reached) {
            if (reached == step) _exit(0);
        });
        _exit(1);
    };
    EXPECT_EXIT(dieAt(SaveStep::ContentsWritten), testing::ExitedWithCode(0), "");
    ExpectState(path, "QV12");
    EXPECT_EXIT(dieAt(SaveStep::BenchWritten), testing::ExitedWithCode(0), "");
    ExpectState(path, "QV13");

    // A whole save afterwards holds the state; no temporary file of the stopped saves is left.
    // Their contents files stay: nothing can tell that no copy of the bench names them.
    SaveBench(*m, path);
    ExpectState(path, "QV13");
    for (const auto& name : Files(dir))
        EXPECT_EQ(name.find(".writing"), std::string::npos) << name;
}

TEST(FlashFiles, BenchStaysSmallAndContentsAreWrittenOnlyWhenChanged) {
    TempDir dir;
    const std::string path = dir.File("pc.json");
    auto m = TwoDrives();
    SaveBench(*m, path);
    EXPECT_EQ(Files(dir), std::vector<std::string>{"pc.json"}) << "a fresh flash needs no file";

    Flash(*m, "QV12");
    SaveBench(*m, path);
    EXPECT_LT(Read(path).size(), 4000u);
    EXPECT_NE(Read(path).find(R"("file": "pc.json.E.1.flash")"), std::string::npos);
    auto written = fs::last_write_time(dir.File("pc.json.E.1.flash"));

    // The next run changes nothing: the contents file is neither read nor written again.
    auto next = LoadBench(path);
    SaveBench(*next, path);
    EXPECT_EQ(fs::last_write_time(dir.File("pc.json.E.1.flash")), written);
    EXPECT_EQ(Files(dir),
              (std::vector<std::string>{"pc.json", "pc.json.E.1.flash", "pc.json.F.1.flash"}));

    // Changed contents go to a new name. The file of an earlier run stays (a copy of the bench
    // may name it); one this run wrote goes once the bench names newer contents.
    next->drives[0]->ByHand([](DriveSettings& d) { d.flash.Write(0, std::vector<uint8_t>{1}); });
    SaveBench(*next, path);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"pc.json", "pc.json.E.1.flash",
                                                    "pc.json.E.2.flash", "pc.json.F.1.flash"}));
    next->drives[0]->ByHand([](DriveSettings& d) { d.flash.Write(0, std::vector<uint8_t>{2}); });
    SaveBench(*next, path);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"pc.json", "pc.json.E.1.flash",
                                                    "pc.json.E.3.flash", "pc.json.F.1.flash"}));
    EXPECT_EQ(LoadBench(path)->drives[0]->Flash()[0], 2);
}

TEST(FlashFiles, BenchesWithInlineContentsStillLoadAndMoveToFiles) {
    TempDir dir;
    const std::string path = dir.File("old.json");
    // A bench as the earlier format wrote it: a flashed drive as base64 and an IDE chip as the
    // base64 of its start, erased beyond.
    Write(path, R"({"brenvoBench": 1,
      "ide": {"slots": [{"slot": 0, "chipRow": 0, "flash": "AQID"}]},
      "drives": [{"letter": "E:", "flash": {"size": 4, "base64": "3q2+7w=="}},
                 {"letter": "F:", "flash": {"size": 8, "fill": 0}}]})");
    auto m = LoadBench(path);
    EXPECT_EQ(m->drives[0]->Flash(), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(m->drives[1]->Flash(), std::vector<uint8_t>(8, 0));
    const FlashContents& chip = m->ide.driveSlots[0].flash;
    ASSERT_GT(chip.size(), 4u);
    EXPECT_EQ(chip.ToVector()[2], 3);
    EXPECT_EQ(chip.back(), 0xFF);

    SaveBench(*m, path);
    std::string text = Read(path);
    EXPECT_EQ(text.find("base64"), std::string::npos);
    EXPECT_NE(text.find(R"("file": "old.json.ide0.1.flash")"), std::string::npos);
    auto again = LoadBench(path);
    EXPECT_EQ(again->drives[0]->Flash(), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_TRUE(again->ide.driveSlots[0].flash == chip.Bytes());
}

TEST(FlashFiles, AMissingOrBadContentsFileIsAnErrorNamingIt) {
    TempDir dir;
    const std::string path = dir.File("pc.json");
    auto m = TwoDrives();
    Flash(*m, "QV12");
    SaveBench(*m, path);
    const std::string contents = dir.File("pc.json.F.1.flash");
    const std::string good = Read(contents);

    auto loadError = [&] {
        try {
            LoadBench(path);
        } catch (const BenchError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    fs::remove(contents);
    EXPECT_NE(loadError().find("drives[1].flash.file: " + contents +
                               ": the flash contents file "
                               "is missing"),
              std::string::npos)
        << loadError();
    Write(contents, good.substr(1));
    EXPECT_NE(loadError().find(contents + ": the flash contents file holds 65535 bytes"),
              std::string::npos);

    // Contents of the right size but not the ones the bench names: the drive stops answering
    // the first time a command needs them, and says why.
    std::string other = good;
    other[100] ^= 1;
    Write(contents, other);
    auto loaded = LoadBench(path);
    OpticalDrive& drive = *loaded->drives[1];
    std::array<uint8_t, 12> inquiry{0x12, 0, 0, 0, 36};
    std::array<uint8_t, 36> answer{};
    EXPECT_EQ(drive.Execute(inquiry, 1, answer, 0).status, DriveAnswer::Status::Good);
    std::array<uint8_t, 12> readBuffer{0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x08, 0};
    std::array<uint8_t, 2048> data{};
    EXPECT_EQ(drive.Execute(readBuffer, 1, data, 0).status, DriveAnswer::Status::NoAnswer);
    EXPECT_NE(drive.ContentsProblem().find(contents + ": the flash contents file has crc32"),
              std::string::npos);
    EXPECT_EQ(drive.Execute(inquiry, 1, answer, 0).status, DriveAnswer::Status::NoAnswer);
    // Saving keeps naming the file as it was; nothing else is lost.
    SaveBench(*loaded, path);
    EXPECT_EQ(Read(contents), other);
    EXPECT_EQ(LoadBench(path)->drives[0]->Flash(), MakeFirmwareImage("QV12", "", kFlashSize));
}

TEST(FlashContents, ACopyKeepsTheBytesItWasTakenWith) {
    OpticalDrive drive([] {
        DriveSettings d;
        d.flash = FlashContents(16, 0xFF);
        return d;
    }());
    DriveSettings before = drive.Settings();
    drive.ByHand([](DriveSettings& d) { d.flash.Write(4, std::vector<uint8_t>{7, 8}); });
    DriveSettings after = drive.Settings();
    drive.ByHand([](DriveSettings& d) { d.flash.Write(4, std::vector<uint8_t>{9}); });
    EXPECT_EQ(before.flash.Uniform(), std::optional<uint8_t>(0xFF));
    EXPECT_EQ(after.flash.ToVector()[4], 7) << "the drive's later write reached an older copy";
    EXPECT_EQ(drive.Flash()[4], 9);
    EXPECT_EQ(drive.Flash()[5], 8);
    drive.ByHand([](DriveSettings& d) { d.flash.Fill(0xFF); });
    EXPECT_EQ(drive.Settings().flash.Crc32(), before.flash.Crc32());
}

TEST(FlashFiles, ABenchNamesOnlyFilesBesideIt) {
    for (const char* name : {"../pc.E.1.flash", "/etc/passwd", "..", ""}) {
        std::string text = std::string(R"({"brenvoBench": 1, "drives": [{"letter": "E:",
            "flash": {"size": 4, "file": ")") +
                           name + R"(", "crc32": "00000000"}}]})";
        try {
            ParseBench(text, "bench.json");
            ADD_FAILURE() << name;
        } catch (const BenchError& e) {
            EXPECT_NE(std::string(e.what()).find("drives[0].flash.file: expected the name of a "
                                                 "file beside the bench"),
                      std::string::npos)
                << e.what();
        }
    }
}

// A bench at `path` with one drive E: holding the firmware of `revision`.
void SaveFlashed(const std::string& path, const std::string& revision) {
    Machine m;
    DriveSettings d = benchtool::QuorvantDrive("E:", "1:0:0:0");
    d.flash = MakeFirmwareImage(revision, "", kFlashSize);
    d.revision = revision;
    m.drives.push_back(std::make_shared<OpticalDrive>(std::move(d)));
    SaveBench(m, path);
}

// A run on the bench: loads it, flashes `revision` and writes it back, as a program would.
void RunOn(const std::string& path, const std::string& revision) {
    BenchLock lock;
    auto m = LoadHeldBench(path, lock);
    m->drives[0]->ByHand([&](DriveSettings& d) {
        d.flash = MakeFirmwareImage(revision, "", kFlashSize);
        d.revision = revision;
    });
    SaveBench(*m, m->benchPath);
}

// The bench loads and its drive's flash (read from its file, checksum checked) holds `revision`.
void ExpectHolds(const std::string& path, const std::string& revision) {
    std::shared_ptr<Machine> m;
    ASSERT_NO_THROW(m = LoadBench(path)) << path;
    EXPECT_EQ(m->drives[0]->Settings().revision, revision) << path;
    std::vector<uint8_t> flash;
    EXPECT_NO_THROW(flash = m->drives[0]->Flash()) << path;
    EXPECT_EQ(flash, MakeFirmwareImage(revision, "", kFlashSize)) << path;
}

TEST(BenchCopies, CopiesAndBenchesNamedAlikeInOneFolderStayLoadableAfterARunOnEither) {
    TempDir dir;
    const std::string pc = dir.File("pc.json"), bak = dir.File("pc.bak"), bare = dir.File("pc");
    SaveFlashed(pc, "QV12");
    fs::copy_file(pc, bak);
    fs::copy_file(pc, bare);
    RunOn(pc, "QV13");
    ExpectHolds(bak, "QV12");
    ExpectHolds(bare, "QV12");
    RunOn(bak, "QV14");
    RunOn(bare, "QV15");
    RunOn(bare, "QV16");
    ExpectHolds(pc, "QV13");
    ExpectHolds(bak, "QV14");
    ExpectHolds(bare, "QV16");

    // Two benches of their own whose names begin alike keep apart too.
    const std::string old = dir.File("pc.old.json");
    SaveFlashed(old, "QV20");
    RunOn(bare, "QV17");
    RunOn(old, "QV21");
    ExpectHolds(old, "QV21");
    ExpectHolds(bare, "QV17");
}

TEST(BenchCopies, TheBenchToolCopiesABenchWithItsOwnContentsFiles) {
    TempDir dir;
    const std::string pc = dir.File("pc.json"), copy = dir.File("copy.json");
    SaveFlashed(pc, "QV12");
    std::ostringstream out, err;
    ASSERT_EQ(benchtool::Run({"copy", pc, copy}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("(1 flash contents file)"), std::string::npos) << out.str();
    EXPECT_EQ(benchtool::Run({"copy", pc, copy}, out, err), 1) << "the copy is never overwritten";
    EXPECT_NE(err.str().find("already exists"), std::string::npos) << err.str();
    // The original's files go; the copy has its own.
    for (const auto& name : Files(dir)) {
        if (name.starts_with("pc.json.")) fs::remove(dir.File(name));
    }
    ExpectHolds(copy, "QV12");
}

TEST(BenchCopies, AFailedSaveRemovesTheContentsFilesItWrote) {
    TempDir dir;
    SaveFlashed(dir.File("pc.json"), "QV12");
    fs::create_directory(dir.File("folder.json"));  // no bench can be written there
    auto m = LoadBench(dir.File("pc.json"));
    m->drives[0]->ByHand([](DriveSettings& d) { d.flash.Write(0, std::vector<uint8_t>{1}); });
    const auto before = Files(dir);
    EXPECT_THROW(SaveBench(*m, dir.File("folder.json")), BenchError);
    EXPECT_EQ(Files(dir), before);
}

TEST(BenchShow, ChecksEachContentsFileAndPrintsWhatIsThere) {
    TempDir dir;
    const std::string pc = dir.File("pc.json");
    SaveFlashed(pc, "QV12");
    std::string file;
    for (const auto& name : Files(dir)) {
        if (name.ends_with(".flash")) file = dir.File(name);
    }
    ASSERT_FALSE(file.empty());
    auto crcOf = [](const std::string& bytes) {
        return common::Crc32Text(
            common::Crc32(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
    };
    std::string bytes = Read(file);
    const std::string claimed = crcOf(bytes);
    bytes[100] ^= 0x55;
    Write(file, bytes);
    const std::string there = crcOf(bytes);
    std::ostringstream out, err;
    ASSERT_EQ(benchtool::Run({"show", pc}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("crc32 " + there + ", the contents file " + file + " has crc32 " +
                             there + ", the bench says " + claimed),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("ready"), std::string::npos) << out.str();
}

#ifndef _WIN32

TEST(BenchLinks, ABenchReachedThroughALinkIsLockedAndSavedWhereItIs) {
    TempDir dir;
    const std::string pc = dir.File("pc.json"), link = dir.File("link.json");
    SaveFlashed(pc, "QV12");
    fs::create_symlink("pc.json", link);
    {
        BenchLock lock, other;
        auto m = LoadHeldBench(link, lock);
        EXPECT_THROW(LoadHeldBench(pc, other), BenchInUse) << "the lock is the real file's";
    }
    RunOn(link, "QV13");
    EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
    ExpectHolds(pc, "QV13");

    fs::create_hard_link(pc, dir.File("hard.json"));
    BenchLock lock;
    try {
        LoadHeldBench(dir.File("hard.json"), lock);
        ADD_FAILURE() << "a bench with two names is refused";
    } catch (const BenchError& e) {
        EXPECT_NE(std::string(e.what()).find("2 names (hard links)"), std::string::npos)
            << e.what();
    }
}

TEST(BenchLinks, LinksAtTheNamesASaveOrTheLockWritesAreNeverWrittenThrough) {
    TempDir dir;
    const std::string pc = dir.File("pc.json"), victim = dir.File("victim");
    SaveFlashed(pc, "QV12");
    Write(victim, "precious");
    // Every fresh name is first tried with the suffix "AAAAAA": the links stand at the very names
    // the run opens first (the lock's, the new contents file's, the bench's).
    std::vector<int> attempts;
    common::SetFreshSuffixSource([&](int attempt) {
        attempts.push_back(attempt);
        return attempt == 0 ? std::string("AAAAAA") : "BBBBB" + std::to_string(attempt);
    });
    for (const char* name : {"pc.json.lock.taking.AAAAAA", "pc.json.E.2.flash.writing.AAAAAA",
                             "pc.json.writing.AAAAAA"})
        fs::create_symlink(victim, dir.File(name));
    RunOn(pc, "QV13");
    common::SetFreshSuffixSource({});
    EXPECT_EQ(std::count(attempts.begin(), attempts.end(), 1), 3) << "each link was met";
    ExpectHolds(pc, "QV13");
    EXPECT_EQ(Read(victim), "precious");

    // The lock file linked to the bench itself: by a symbolic link it is refused, by a hard link
    // it is taken over and the bench stays whole.
    std::string error;
    fs::remove(pc + ".lock");
    fs::create_symlink(pc, pc + ".lock");
    BenchLock lock;
    EXPECT_EQ(lock.Acquire(pc, error), BenchLock::Result::Failed);
    EXPECT_NE(error.find("is a symbolic link"), std::string::npos) << error;
    fs::remove(pc + ".lock");
    fs::create_hard_link(pc, pc + ".lock");
    EXPECT_EQ(lock.Acquire(pc, error), BenchLock::Result::Held) << error;
    ExpectHolds(pc, "QV13");
}

TEST(BenchFiles, ASaveKeepsTheBenchsPermissionsAndOwnerForItAndItsContents) {
    TempDir dir;
    const std::string pc = dir.File("pc.json");
    SaveFlashed(pc, "QV12");
    // A private bench, with a set-group-ID bit a save must not hand on; as root, another user's.
    ASSERT_EQ(::chmod(pc.c_str(), 02600), 0);
    const bool root = ::geteuid() == 0;
    if (root) ASSERT_EQ(::chown(pc.c_str(), 4321, 4322), 0);
    RunOn(pc, "QV13");
    ExpectHolds(pc, "QV13");
    for (const char* name : {"pc.json", "pc.json.E.2.flash", "pc.json.lock"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(dir.File(name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
        if (root) EXPECT_EQ(st.st_uid, 4321u) << name;
        if (root) EXPECT_EQ(st.st_gid, 4322u) << name;
    }
    // A new bench is made as before: readable by others, unless the umask says otherwise.
    const mode_t mask = ::umask(022);
    SaveFlashed(dir.File("new.json"), "QV12");
    ::umask(mask);
    struct stat made {};
    ASSERT_EQ(::stat(dir.File("new.json").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0644u);
    EXPECT_EQ(made.st_uid, ::geteuid());
}

TEST(BenchFiles, ABenchNameTooLongForTheNamesASaveDerivesIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    // The longest a save derives, "NAME.drive999999.1000000000000000.flash.writing.XXXXXX",
    // is 50 bytes more than the bench's name.
    const std::string longest = dir.File(std::string(200, 'b') + ".json");
    const std::string tooLong = dir.File(std::string(201, 'b') + ".json");
    auto refusal = [&](const std::function<void()>& use) {
        try {
            use();
        } catch (const BenchError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    const std::string said = tooLong +
                             ": the bench file's name is too long (206 bytes): the files a save "
                             "keeps beside the bench are named after it, and the longest would "
                             "pass the 255 bytes a file name may hold; give the bench a name of at "
                             "most 205 bytes";
    EXPECT_EQ(refusal([&] { CheckBenchName(tooLong); }), said);
    std::stringstream out, err;
    EXPECT_EQ(benchtool::Run({"new", tooLong}, out, err), 1);
    EXPECT_EQ(err.str(), "brenvo-bench: " + said + "\n");
    EXPECT_TRUE(Files(dir).empty()) << "not even a lock file";

    // Made under a name it may have, then renamed: refused at load, before the lock.
    SaveFlashed(longest, "QV12");
    fs::rename(longest, tooLong);
    BenchLock lock;
    EXPECT_EQ(refusal([&] { LoadBench(tooLong); }), said);
    EXPECT_EQ(refusal([&] { LoadHeldBench(tooLong, lock); }), said);
    EXPECT_FALSE(lock.Held());

    // At the limit, a run loads, flashes and saves.
    fs::rename(tooLong, longest);
    RunOn(longest, "QV13");
    ExpectHolds(longest, "QV13");
}

TEST(BenchLinks, LockProblemsAreNotCalledABadBench) {
    TempDir dir;
    const std::string pc = dir.File("pc.json");
    SaveFlashed(pc, "QV12");
    fs::create_directory(pc + ".lock");
    testing_support::SetEnvironment("BRENVO_MACHINE", pc.c_str());
    platform::MachineSession session;
    std::string error;
    EXPECT_FALSE(session.Open(error));
    testing_support::SetEnvironment("BRENVO_MACHINE", nullptr);
    EXPECT_EQ(error.find("Bad bench file"), std::string::npos) << error;
    EXPECT_NE(error.find(pc + ".lock"), std::string::npos) << error;
}

// Another process takes and lets go of the lock over and over; every refusal this one gets
// names that process, never a gone one or none.
TEST(BenchLinks, TheRefusalNamesTheLiveHolder) {
    TempDir dir;
    const std::string pc = dir.File("pc.json");
    SaveFlashed(pc, "QV12");
    const pid_t child = fork();
    if (child == 0) {
        for (int i = 0; i < 3000; ++i) {
            BenchLock lock;
            std::string ignored;
            lock.Acquire(pc, ignored);
        }
        _exit(0);
    }
    ASSERT_GT(child, 0);
    const std::string named = "(process " + std::to_string(child) + ")";
    int refusals = 0, wrong = 0;
    std::string example;
    for (int status = 0; waitpid(child, &status, WNOHANG) == 0;) {
        BenchLock lock;
        std::string error;
        if (lock.Acquire(pc, error) != BenchLock::Result::InUse) continue;
        ++refusals;
        if (error.find(named) == std::string::npos) {
            ++wrong;
            example = error;
        }
    }
    EXPECT_EQ(wrong, 0) << "of " << refusals << " refusals, e.g. " << example;
}

#endif

}  // namespace
