// Inputs from anyone: every JSON reader refuses repeated keys and quotes little of what it read,
// and every input that is not a regular file is named as what it is, at once, never waited on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/Files.h"
#include "common/JsonFields.h"
#include "common/Text.h"
#include "platform/Trace.h"
#include "platform/emulated/BenchFile.h"
#include "tests/TestMachine.h"

namespace {
using namespace platform::emulated;
using testing_support::TempDir;
namespace fs = std::filesystem;

std::string ParseError(const std::string& text) {
    try {
        common::ParseJson(text, "in.json");
    } catch (const common::JsonError& e) {
        return e.what();
    }
    return "";
}

bool ValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
        if (c >= 0x80 && (c < 0xC2 || c > 0xF4)) return false;
        if (i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

TEST(JsonReader, ARepeatedKeyIsRefusedNamingWhereItIs) {
    EXPECT_EQ(ParseError(R"({"drives": [], "machine": {}, "drives": []})"),
              "in.json.drives: given twice");
    EXPECT_EQ(ParseError(R"({"drives": [{"letter": "E:"}, {"letter": "F:", "letter": "G:"}]})"),
              "in.json.drives[1].letter: given twice");
    EXPECT_EQ(ParseError(R"({"a": {"b": [[1], [2, {"c": 1, "c": 2}]]}})"),
              "in.json.a.b[1][1].c: given twice");
    // The same key in different objects is no repetition.
    EXPECT_EQ(ParseError(R"({"a": {"x": 1}, "b": {"x": 1}, "c": [{"x": 1}, {"x": 2}]})"), "");
    // A bench with a second list of drives would otherwise be saved with none.
    try {
        ParseBench(R"({"brenvoBench": 1, "drives": [{"letter": "E:"}], "drives": []})", "pc.json");
        ADD_FAILURE() << "a bench with two lists of drives was read";
    } catch (const BenchError& e) {
        EXPECT_STREQ(e.what(), "pc.json.drives: given twice");
    }
}

TEST(ShownText, ControlsAndBytesNotUtf8AreEscapedEverythingElseStays) {
    // The whole text, uncut: ESC, CR, DEL, the C1 controls (CSI among them) and a lone byte.
    EXPECT_EQ(common::ShownText("\x1b[2K\rOK\x7f\xc2\x9b"
                                "1A\xff\t\n"),
              "\\x1b[2K\\rOK\\x7f\\xc2\\x9b1A\\xff\\t\\n");
    const std::string ordinary = "DVD-RW QV-1600 ドライブ \xc2\xa0\xc3\xa9 \\ 100% (process 42)";
    EXPECT_EQ(common::ShownText(ordinary), ordinary) << "printable text, Japanese included";
    const std::string once = common::ShownText("\x1b]0;title\x07");
    EXPECT_EQ(common::ShownText(once), once) << "escaping twice changes nothing more";
    EXPECT_EQ(common::ShownText(std::string(300, '\x1b')).size(), 1200u) << "never cut";
}

TEST(JsonReader, ANulInAnyTextOrNameIsRefusedNamingTheField) {
    using namespace std::string_literals;
    EXPECT_EQ(ParseError(R"({"machine": {"programPath": "C:\\a.exe\u0000.txt"}})"),
              "in.json.machine.programPath: holds a NUL character");
    EXPECT_EQ(ParseError(R"({"missing": ["ok", "x\u0000"]})"),
              "in.json.missing[1]: holds a NUL character");
    EXPECT_EQ(ParseError(R"({"drives": [{"letter": "E:"}, {"vendor\u0000": 1}]})"),
              "in.json.drives[1].vendor\\x00: the name holds a NUL character");
    EXPECT_EQ(ParseError(R"({"a": "\u0001 and \u00ff are texts like any other"})"), "");
    // A raw NUL byte is no JSON at all.
    EXPECT_EQ(ParseError("{\"a\": \"x\0\"}"s).rfind("in.json: not valid JSON", 0), 0u);
}

TEST(JsonReader, MessagesQuoteAFewDozenBytesOfValidUtf8) {
    // A megabyte-long text ending in a byte that is not UTF-8: the message stays short, shows
    // where it went wrong, and escapes the bad byte.
    const std::string vendor(1 << 20, 'v');
    std::string error = ParseError(R"({"vendor": ")" + vendor + "\xff\"}");
    EXPECT_EQ(error.rfind("in.json: not valid JSON (", 0), 0u) << error;
    EXPECT_LT(error.size(), 400u);
    EXPECT_TRUE(ValidUtf8(error)) << error;
    EXPECT_NE(error.find("vvv\\xff"), std::string::npos) << error;
    // Raw bytes and control characters in a value are escaped in what a field's message quotes.
    EXPECT_EQ(common::QuotedExcerpt("a\xff\x01\nb"), "\"a\\xff\\x01\\nb\"");
    EXPECT_EQ(common::QuotedExcerpt("\xe6\x97"), "\"\\xe6\\x97\"") << "a character cut short";
    EXPECT_EQ(common::QuotedExcerpt("\xed\xa0\x80"), "\"\\xed\\xa0\\x80\"") << "a surrogate";
    EXPECT_EQ(
        common::QuotedExcerpt(std::string(200, '\x80')), "\"" + [] {
            std::string s;
            for (int i = 0; i < 14; ++i)
                s += "\\x80";
            return s;
        }() + "...");
    // A file of the bench listed twice under a megabyte-long name.
    const std::string file = R"({"path": "C:\)" + std::string(1 << 20, 'f') + R"("})";
    try {
        ParseBench(R"({"brenvoBench": 1, "files": [)" + file + "," + file + "]}", "pc.json");
        ADD_FAILURE() << "a file listed twice was taken";
    } catch (const BenchError& e) {
        EXPECT_LT(std::string(e.what()).size(), 200u);
        EXPECT_NE(std::string(e.what()).find("is listed twice"), std::string::npos);
    }
    // A huge number and a huge unknown literal are quoted cut as well.
    for (const std::string& text :
         {"[" + std::string(1 << 20, '9') + "e999]", "[" + std::string(1 << 20, 't') + "]",
          "{\"" + std::string(1 << 20, 'k') + "\": 1, 2}"}) {
        error = ParseError(text);
        EXPECT_EQ(error.rfind("in.json: not valid JSON (", 0), 0u) << error.substr(0, 200);
        EXPECT_LT(error.size(), 400u) << error.substr(0, 200);
    }
}

TEST(JsonReader, LimitsDepthAndCountButNotBreadth) {
    EXPECT_EQ(ParseError(std::string(65, '[') + std::string(65, ']')),
              "in.json: nested deeper than 64 levels");
    EXPECT_EQ(ParseError(std::string(64, '[') + std::string(64, ']')), "");
    // Half a million empty objects side by side read as one list of them.
    std::string wide = "[";
    for (int i = 0; i < 500'000; ++i)
        wide += i ? ",{}" : "{}";
    wide += "]";
    EXPECT_EQ(common::ParseJson(wide, "in.json").size(), 500'000u);
    std::string tooMany(2 * common::kMaxJsonValues + 1, ',');
    for (size_t i = 0; i < tooMany.size(); i += 2)
        tooMany[i] = '0';
    EXPECT_EQ(ParseError("[" + tooMany + "]"), "in.json: more than 1000000 values");
    EXPECT_NE(ParseError("[1] x"), "") << "text after the value is refused";
}

TEST(JsonReader, ObjectsAndMixedNestingMeetTheSameLimits) {
    auto objects = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "{\"k\": ";
        text += "1";
        return text + std::string(depth, '}');
    };
    auto mixed = [](int depth) {  // {"k": [{"k": [ ... ]}]}
        std::string open, close;
        for (int i = 0; i < depth; ++i) {
            open += i % 2 ? "[" : "{\"k\": ";
            close = (i % 2 ? "]" : "}") + close;
        }
        return open + "1" + close;
    };
    EXPECT_EQ(ParseError(objects(64)), "");
    EXPECT_EQ(ParseError(objects(65)), "in.json: nested deeper than 64 levels");
    EXPECT_EQ(ParseError(mixed(64)), "");
    EXPECT_EQ(ParseError(mixed(65)), "in.json: nested deeper than 64 levels");
    // Values inside objects count as values do inside lists: members' values and the objects.
    std::string members = "{";
    for (size_t i = 0; i <= common::kMaxJsonValues; ++i)
        members += (i ? ",\"" : "\"") + std::to_string(i) + "\": 0";
    members += "}";
    EXPECT_EQ(ParseError(members), "in.json: more than 1000000 values");
    std::string withinLimit = "[";
    for (size_t i = 0; i + 1 < common::kMaxJsonValues / 2; ++i)
        withinLimit += i ? ",{\"a\":0}" : "{\"a\":0}";
    withinLimit += "]";
    EXPECT_EQ(ParseError(withinLimit), "");
}

std::string BenchLoadError(const std::string& path) {
    try {
        LoadBench(path);
    } catch (const BenchError& e) {
        return e.what();
    }
    return "";
}

#ifndef _WIN32
TEST(InputFiles, WhatIsNotARegularFileIsNamedAndNeverWaitedOn) {
    TempDir dir;
    const std::string fifo = dir.File("pc.json");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with no writer: reading it would wait for ever.
    EXPECT_EQ(BenchLoadError(fifo), fifo + ": the bench file is a FIFO (named pipe), not a file");
    EXPECT_EQ(BenchLoadError("/dev/zero"),
              "/dev/zero: the bench file is a character device, not a file");
    EXPECT_EQ(BenchLoadError("/dev/null"),
              "/dev/null: the bench file is a character device, not a file");
    EXPECT_EQ(BenchLoadError(dir.path()), dir.path() + ": the bench file is a folder, not a file");
    fs::create_symlink("/dev/zero", dir.File("link.json"));
    EXPECT_EQ(BenchLoadError(dir.File("link.json")),
              dir.File("link.json") + ": the bench file is a character device, not a file");

    // Too large for its kind: refused by its size, before a byte of it is read.
    const std::string big = dir.File("big.json");
    { std::ofstream(big) << "{}"; }
    fs::resize_file(big, common::kMaxBenchBytes + 1);
    EXPECT_EQ(BenchLoadError(big), big + ": the bench file is larger than 32 MiB");
    std::string problem;
    EXPECT_FALSE(common::ReadWholeFile(big, problem, 1000));
    EXPECT_EQ(problem, "is larger than 1000 bytes");

    // The trace: a FIFO or a device is refused when the run starts.
    std::string error;
    EXPECT_FALSE(platform::Trace::OpenFile(fifo, error));
    EXPECT_EQ(error,
              "cannot open the trace file " + fifo + ": it is a FIFO (named pipe), not a file");
    EXPECT_FALSE(platform::Trace::OpenFile("/dev/full", error));
    EXPECT_EQ(error, "cannot open the trace file /dev/full: it is a character device, not a file");
}

TEST(InputFiles, AFlashContentsFileThatIsNoFileIsNamedAsWhatItIs) {
    TempDir dir;
    const std::string path = dir.File("pc.json");
    {
        Machine m;
        SaveBench(m, path);
    }
    auto benchNaming = [&](const std::string& file) {
        std::ofstream(path) << R"({"brenvoBench": 1, "drives": [{"letter": "E:", "flash":
            {"size": 65536, "file": ")"
                            << file << R"(", "crc32": "00000000"}}]})";
        return BenchLoadError(path);
    };
    ASSERT_EQ(::mkfifo(dir.File("pc.E.1.flash").c_str(), 0600), 0);
    EXPECT_NE(benchNaming("pc.E.1.flash")
                  .find("pc.E.1.flash: the flash contents file is a FIFO (named pipe), not a file"),
              std::string::npos)
        << benchNaming("pc.E.1.flash");
    fs::create_directory(dir.File("folder.flash"));
    EXPECT_NE(benchNaming("folder.flash")
                  .find("folder.flash: the flash contents file is a folder, not a file"),
              std::string::npos)
        << benchNaming("folder.flash");
    fs::create_symlink("/dev/zero", dir.File("zero.flash"));
    EXPECT_NE(benchNaming("zero.flash")
                  .find("zero.flash: the flash contents file is a character device, not a file"),
              std::string::npos)
        << benchNaming("zero.flash");
    EXPECT_NE(benchNaming("gone.flash").find("gone.flash: the flash contents file is missing"),
              std::string::npos);
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(InputFiles, TheTraceWritesOnlyIntoAFileItMadeOrItsUserOwns) {
    TempDir dir;
    const std::string trace = dir.File("trace.jsonl"), victim = dir.File("victim");
    Write(victim, "precious\n");
    std::string error;
    auto refused = [&](const std::string& why) {
        EXPECT_FALSE(platform::Trace::OpenFile(trace, error)) << why;
        EXPECT_EQ(Read(victim), "precious\n") << why;
        EXPECT_EQ(platform::Trace::Current(), nullptr) << why;
        return error;
    };
    // A link at the trace's name, to a file or to nothing yet.
    fs::create_symlink(victim, trace);
    EXPECT_EQ(refused("link"), "cannot open the trace file " + trace +
                                   ": it is a symbolic link; name the file itself");
    fs::remove(trace);
    fs::create_symlink(dir.File("nothing"), trace);
    refused("dangling link");
    EXPECT_FALSE(fs::exists(dir.File("nothing")));
    // A second name of another file.
    fs::remove(trace);
    fs::create_hard_link(victim, trace);
    EXPECT_EQ(refused("hard link"), "cannot open the trace file " + trace +
                                        ": it has 2 names (hard links); name a new file or one "
                                        "of your own");
    fs::remove(trace);
    // Another user's file (made so only where this test may give files away).
    if (::geteuid() == 0) {
        Write(trace, "theirs\n");
        ASSERT_EQ(::chown(trace.c_str(), 4321, 4321), 0);
        EXPECT_EQ(refused("another user's"),
                  "cannot open the trace file " + trace +
                      ": it belongs to another user; name a new file or one of your own");
        EXPECT_EQ(Read(trace), "theirs\n");
        fs::remove(trace);
    }
    // A new file, and then the same file of this user again, are written (appended to).
    ASSERT_TRUE(platform::Trace::OpenFile(trace, error)) << error;
    platform::Trace::Current()->Write({{"line", 1}});
    platform::Trace::Close();
    ASSERT_TRUE(platform::Trace::OpenFile(trace, error)) << error;
    platform::Trace::Current()->Write({{"line", 2}});
    platform::Trace::Close();
    EXPECT_EQ(Read(trace), "{\"line\":1}\n{\"line\":2}\n");
}

TEST(InputFiles, ATraceThatCannotBeWrittenIsSaid) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(platform::Trace::OpenFile(dir.File("trace.jsonl"), error)) << error;
    platform::Trace::Current()->Write({{"line", 1}});
    EXPECT_EQ(platform::Trace::Problem(), "");
    // The file may grow no more (as on a full disk): the next line is lost, and that is said.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = fs::file_size(dir.File("trace.jsonl"));
    ::setrlimit(RLIMIT_FSIZE, &tight);
    platform::Trace::Current()->Write({{"line", 2}});
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(platform::Trace::Problem(),
              "the trace file " + dir.File("trace.jsonl") +
                  " could not be written (File too large); the trace is incomplete");
    platform::Trace::Close();
}
#endif

}  // namespace
