// The "ide" section of bench files and the IDE presets of brenvo-bench.
#include <sstream>

#include <gtest/gtest.h>

#include "platform/emulated/BenchFile.h"
#include "tests/IdeTestSupport.h"
#include "tools/bench/BenchTool.h"

namespace {
using platform::emulated::BenchError;
using platform::emulated::Family;
using platform::emulated::LoadBench;
using platform::emulated::ParseBench;
using platform::emulated::SaveBench;
using testing_support::TempDir;

std::string BenchTool(const std::vector<std::string>& args, int expectedCode = 0) {
    std::ostringstream out, err;
    EXPECT_EQ(benchtool::Run(args, out, err), expectedCode) << err.str();
    return out.str() + err.str();
}

TEST(IdeBench, APresetShowsItsSlotsWithRevisionChipAndChecksum) {
    TempDir dir;
    BenchTool({"new", "--preset", "ide", dir.File("ide.json")});
    std::string shown = BenchTool({"show", dir.File("ide.json")});
    EXPECT_NE(shown.find("slot 0  QUORVANT DVD-RW QV-1600  revision QV11, chip row 0 "
                         "SST(SST39LF/VF080)(+3.3V) (1024 KiB, method 1), flash crc32 "),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("slot 3  QUORVANT DVD-ROM QV-52  revision QV05, chip row 16 "
                         "WINBOND(W29C040)(+5.0V) (512 KiB, method 0)"),
              std::string::npos);
    BenchTool({"new", "--preset", "ide98", dir.File("ide98.json")});
    EXPECT_EQ(LoadBench(dir.File("ide98.json"))->family, Family::Windows9x);
    EXPECT_NE(BenchTool({"new", "--preset", "ide99", dir.File("x.json")}, 2).find("ide98"),
              std::string::npos);
}

TEST(IdeBench, AFlashedChipAndTheServiceSurviveTheNextRun) {
    TempDir dir;
    std::string path = dir.File("ide.json");
    BenchTool({"new", "--preset", "ide", path});
    auto image = testing_support::TestImage(0x40000, 9);
    {
        auto machine = LoadBench(path);
        using platform::emulated::IdeFaultKind;
        machine->ide.driveSlots[0].faults.push_back({IdeFaultKind::ReadOnce, 5, 3});
        machine->ide.driveSlots[0].faults.push_back({IdeFaultKind::Program, 0x80000, 2});
        platform::ScopedSystem scope(std::make_unique<platform::emulated::EmulatedSystem>(machine));
        EXPECT_EQ(testing_support::RunDirectFlash(0, image), 0);
        SaveBench(*machine, path);
    }
    auto next = LoadBench(path);
    const auto& flash = next->ide.driveSlots[0].flash;
    ASSERT_EQ(flash.size(), 0x100000u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(flash.back(), 0xFF);
    EXPECT_TRUE(next->ide.services.at("RUR").running);
    // A fault keeps what it has not used: the byte read wrong three times (twice in the first
    // look at its chunk, once after programming it again); the program fault was never reached.
    EXPECT_EQ(next->ide.driveSlots[0].faults.at(0).times, 0);
    EXPECT_EQ(next->ide.driveSlots[0].faults.at(1).times, 2);
    EXPECT_EQ(SerializeBench(*next), SerializeBench(*LoadBench(path)));
}

TEST(IdeBench, BadFieldsAreNamedWithTheirFile) {
    struct Case {
        const char* section;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"slots": [{"slot": 9}]})",
         "bad.json.ide.slots[0].slot: expected a whole number from 0 to 7"},
        {R"({"slots": [{"slot": 1, "chipRow": 0, "flash": "!!"}]})", "ide.slots[0].flash"},
        {R"({"slots": [{"slot": 1, "faults": [{"kind": "melt"}]}]})", "faults[0].kind"},
        {R"({"slots": [{"slot": 1}, {"slot": 1}]})", "ide.slots[1].slot"},
        {R"({"pci": {"sisIdeDevice": 32}})", "ide.pci.sisIdeDevice"},
        {R"({"missingSetupEntries": ["SetupDiFoo"]})", "ide.missingSetupEntries"},
        {R"({"slot": []})", "ide.slot"},
    };
    for (const auto& c : cases) {
        std::string text = std::string(R"({"brenvoBench": 1, "ide": )") + c.section + "}";
        try {
            ParseBench(text, "bad.json");
            ADD_FAILURE() << "accepted " << c.section;
        } catch (const BenchError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }
}

}  // namespace
