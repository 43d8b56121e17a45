// Bench files: what survives a run, and the errors a bad bench gets.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/emulated/BenchFile.h"
#include "platform/emulated/EmulatedSystem.h"
#include "tests/TestMachine.h"

namespace {
using namespace platform::emulated;
using testing_support::TempDir;

std::string ErrorOf(const std::string& text) {
    try {
        ParseBench(text, "bench.json");
    } catch (const BenchError& e) {
        return e.what();
    }
    return "";
}

TEST(BenchFile, StateWrittenBackIsWhatTheNextRunFinds) {
    TempDir dir;
    std::string path = dir.File("pc.json");
    {
        auto m = std::make_shared<Machine>();
        m->family = Family::Windows9x;
        m->security.checkTokenMembership = false;
        m->tempDirectory.reset();
        m->PutFile("C:\\WINDOWS\\SYSTEM\\VARAVO.VXD", {0, 1, 2, 255}, 0x01);
        m->PutRegistry("HKLM\\SOFTWARE\\Run", "Value", "\"C:\\a b\\x.exe\" 1");
        EmulatedSystem system(m);
        system.Sleep(90'000);
        system.ExitWindowsEx(6, 0);
        SaveBench(*m, path);
    }
    auto m = LoadBench(path);
    EXPECT_EQ(m->family, Family::Windows9x);
    EXPECT_FALSE(m->security.checkTokenMembership);
    EXPECT_TRUE(m->security.freeSid);
    EXPECT_FALSE(m->tempDirectory.has_value());
    ASSERT_NE(m->FindFile("c:\\windows\\system\\varavo.vxd"), nullptr);
    EXPECT_EQ(m->FindFile("C:\\WINDOWS\\SYSTEM\\VARAVO.VXD")->data,
              (std::vector<uint8_t>{0, 1, 2, 255}));
    EXPECT_EQ(m->FindFile("C:\\WINDOWS\\SYSTEM\\VARAVO.VXD")->attributes, 0x01u);
    ASSERT_NE(m->FindRegistry("HKLM\\SOFTWARE\\Run", "Value"), nullptr);
    EXPECT_EQ(m->FindRegistry("HKLM\\SOFTWARE\\Run", "Value")->value, "\"C:\\a b\\x.exe\" 1");
    EXPECT_NEAR(m->clockSettings.now, 90.0, 0.01) << "time goes on from where the run left it";
    EXPECT_TRUE(m->restart.pending);
    EXPECT_EQ(m->restart.requests, 1);
    // Saving again gives the same text: nothing drifts between runs.
    std::ifstream first(path);
    std::string firstText((std::istreambuf_iterator<char>(first)), {});
    EXPECT_EQ(SerializeBench(*m), firstText);
}

TEST(BenchFile, ErrorsNameTheFileAndTheField) {
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "machine": {"family": "xp"}})"),
              "bench.json.machine.family: expected one of \"nt\", \"9x\", found \"xp\"");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "security": {"administrator": "yes"}})"),
              "bench.json.security.administrator: expected true or false, found \"yes\"");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "machine": {"famliy": "nt"}})"),
              "bench.json.machine.famliy: unknown field");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "clock": {"pollMicroseconds": -1}})"),
              "bench.json.clock.pollMicroseconds: expected a number from 0.001 to 1000000, "
              "found -1");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "files": [{"path": "C:\\X", "base64": "@@"}]})"),
              "bench.json.files[0].base64: not valid base64");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "registry": [{"key": "SOFTWARE\\X"}]})"),
              "bench.json.registry[0].key: expected a key starting with HKLM\\ or HKCU\\, "
              "found \"SOFTWARE\\X\"");
    EXPECT_EQ(ErrorOf(R"({"machine": {}})"),
              "bench.json.brenvoBench: missing: a bench file starts with \"brenvoBench\": 1");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 2})"),
              "bench.json.brenvoBench: this program reads bench format 1, the file is format 2");
    EXPECT_EQ(ErrorOf(R"([1, 2])"), "bench.json: expected an object");
    EXPECT_NE(ErrorOf("{\"brenvoBench\": 1,").find("bench.json: not valid JSON"),
              std::string::npos);
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "security": {"missingEntries": ["FreeSids"]}})"),
              "bench.json.security.missingEntries: unknown entry \"FreeSids\" "
              "(AllocateAndInitializeSid, CheckTokenMembership or FreeSid)");
}

std::string LoadError(const std::string& path) {
    try {
        LoadBench(path);
    } catch (const BenchError& e) {
        return e.what();
    }
    return "";
}

TEST(BenchFile, AFileThatCannotBeReadIsAnErrorNamingIt) {
    TempDir dir;
    EXPECT_EQ(LoadError("/nonexistent/pc.json"),
              "/nonexistent/pc.json: the bench file does not exist");
    EXPECT_EQ(LoadError(dir.path()), dir.path() + ": the bench file is a folder, not a file");
#ifndef _WIN32
    // Opens, but every read fails (whoever runs the test, root too).
    EXPECT_EQ(LoadError("/proc/self/mem"),
              "/proc/self/mem: the bench file cannot be read: Input/output error");
#endif
}

TEST(BenchFile, DeepNestingIsRefusedAndMessagesQuoteLittle) {
    const std::string deep(100'000, '[');
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "machine": {"family": )" + deep),
              "bench.json: nested deeper than 64 levels");
    // A number too large for a double is a bad file, not an abort (the manifest fuzzer's find).
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 9e0441})").rfind("bench.json: not valid JSON", 0), 0u);
    const std::string nested = std::string(60, '[') + std::string(60, ']');
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "machine": {"family": )" + nested + "}}"),
              "bench.json.machine.family: expected a text, found " + std::string(60, '[') + "...");
    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, "machine": {"getVersionFails": ")" + huge + R"("}})"),
              "bench.json.machine.getVersionFails: expected true or false, found \"" +
                  std::string(59, 'x') + "...");
    EXPECT_EQ(ErrorOf(R"({"brenvoBench": 1, ")" + huge + R"(": 0})"),
              "bench.json." + std::string(60, 'x') + "...: unknown field");
    // Cut before a character that would not fit whole: 19 three-byte characters after the quote.
    std::string wide;
    for (int i = 0; i < 40; ++i)
        wide += "\xe6\x97\xa5";
    std::string expected;
    for (int i = 0; i < 19; ++i)
        expected += "\xe6\x97\xa5";
    EXPECT_EQ(
        ErrorOf(R"({"brenvoBench": 1, "machine": {"family": ")" + wide + R"("}})"),
        "bench.json.machine.family: expected one of \"nt\", \"9x\", found \"" + expected + "...");
}

TEST(BenchFile, SavingNeverLeavesAHalfWrittenBench) {
    TempDir dir;
    Machine m;
    EXPECT_THROW(SaveBench(m, dir.File("no-such-folder/pc.json")), BenchError);
    std::string path = dir.File("pc.json");
    SaveBench(m, path);
    EXPECT_FALSE(std::ifstream(path + ".writing").good()) << "the temporary file is renamed";
    EXPECT_NO_THROW(LoadBench(path));
}

}  // namespace
