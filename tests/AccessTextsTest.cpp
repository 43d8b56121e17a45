// The access refusal where rights are the node's, not the administrator's: it names the node and
// the user, and offers only what would help on this machine.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/AccessTexts.h"

namespace {
using engine::AccessDenialText;
using engine::WrapLines;

platform::AccessDenial Alice() {
    platform::AccessDenial d;
    d.node = "/dev/sg1";
    d.error = "Permission denied";
    d.user = "alice";
    d.uid = 1000;
    d.owner = "root";
    d.group = "cdrom";
    d.mode = 0660;
    d.groupMayUse = true;
    d.seatManaged = true;
    d.seatGetsNode = true;
    d.program = "/usr/bin/brenvo";
    return d;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(AccessDenialText, NamesTheNodeTheUserAndWhatWouldHelpHere) {
    auto t = AccessDenialText(Alice(), 0, false);
    EXPECT_EQ(t.caption, "Error ...");
    EXPECT_EQ(t.text.substr(0, t.text.find('\n')),
              "Access denied ! alice (uid 1000) may not open the drive's SCSI generic node "
              "/dev/sg1 for reading and writing: Permission denied (owner root, group cdrom, mode "
              "0660).");
    EXPECT_TRUE(Has(t.text, "\n- the desktop session at this computer's seat")) << t.text;
    EXPECT_TRUE(Has(t.text,
                    "\n- membership of the node's group cdrom: sudo usermod -aG cdrom "
                    "alice, then log in again."));
    EXPECT_TRUE(Has(t.text,
                    "\n- root's rights, from a terminal of this desktop: sudo DISPLAY=$DISPLAY "
                    "XAUTHORITY=$XAUTHORITY /usr/bin/brenvo"));
    EXPECT_FALSE(Has(t.text, "uaccess tag")) << t.text;

    // The console says sudo; the window pkexec where a polkit action starts it.
    auto d = Alice();
    EXPECT_TRUE(Has(AccessDenialText(d, 0, true).text, "\n- root's rights: sudo /usr/bin/brenvo"));
    d.pkexecStartsIt = true;
    EXPECT_TRUE(
        Has(AccessDenialText(d, 0, false).text, "\n- root's rights: pkexec /usr/bin/brenvo"));
}

TEST(AccessDenialText, OffersOnlyWhatTheMachineSays) {
    // Already the seat's active user: the seat is no advice; a seat whose rules leave the node
    // out points to the rule the package carries.
    auto d = Alice();
    d.activeAtSeat = true;
    EXPECT_FALSE(Has(AccessDenialText(d, 0, true).text, "seat"));
    d.seatGetsNode = false;
    EXPECT_TRUE(Has(AccessDenialText(d, 0, true).text, "examples/70-brenvo-optical-sg.rules"));
    d.seatManaged = false;
    EXPECT_FALSE(Has(AccessDenialText(d, 0, true).text, "seat"));

    // A member since this session began logs in again; a group that may not write is no help;
    // the disk group is named for what it reaches.
    d = Alice();
    d.inGroupNotRun = true;
    auto text = AccessDenialText(d, 0, true).text;
    EXPECT_TRUE(Has(text,
                    "\n- alice is a member of the node's group cdrom, but this session "
                    "began before: log out and in again."));
    EXPECT_FALSE(Has(text, "usermod"));
    d = Alice();
    d.groupMayUse = false;
    EXPECT_FALSE(Has(AccessDenialText(d, 0, true).text, "group cdrom:"));
    d = Alice();
    d.group = "disk";
    EXPECT_TRUE(Has(AccessDenialText(d, 0, true).text,
                    "group disk (it reaches every disk of this computer, not only the drives): "
                    "sudo usermod -aG disk alice"));

    // Root refused: the facts alone. A node whose owner cannot be read: no bracket.
    d = Alice();
    d.uid = 0;
    d.user = "root";
    EXPECT_EQ(AccessDenialText(d, 0, true).text.find('\n'), std::string::npos);
    d.owner.clear();
    EXPECT_TRUE(Has(AccessDenialText(d, 0, true).text, "reading and writing: Permission denied."));
}

TEST(AccessDenialText, SaysTheSameInChineseAndJapanese) {
    auto d = Alice();
    d.inGroupNotRun = false;
    auto zh = AccessDenialText(d, 1, false);
    EXPECT_EQ(zh.caption, "錯誤 ...");
    EXPECT_TRUE(Has(zh.text,
                    "存取遭拒 ! 使用者 alice (uid 1000) 無法以讀寫方式開啟光碟機的 SCSI "
                    "通用節點 /dev/sg1：Permission denied（擁有者 root，群組 cdrom，權限 "
                    "0660）。"))
        << zh.text;
    auto ja = AccessDenialText(d, 2, false);
    EXPECT_EQ(ja.caption, "エラー");
    EXPECT_TRUE(Has(ja.text,
                    "ユーザー alice (uid 1000) はドライブの SCSI 汎用ノード /dev/sg1 "
                    "を読み書きで開けません：Permission denied（所有者 root、グループ "
                    "cdrom、モード 0660）。"))
        << ja.text;
    // Each language offers the same things, with the same commands.
    const std::string en = AccessDenialText(d, 0, false).text;
    for (const auto& t : {zh.text, ja.text}) {
        EXPECT_TRUE(Has(t, "uaccess")) << t;
        EXPECT_TRUE(Has(t, "sudo usermod -aG cdrom alice")) << t;
        EXPECT_TRUE(Has(t, "sudo DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY /usr/bin/brenvo")) << t;
        EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), std::count(en.begin(), en.end(), '\n'));
    }
}

// Message boxes show lines as given: the long ones are broken where a reader expects, and
// nothing is lost or reordered.
TEST(AccessDenialText, IsBrokenIntoLinesThatFitAndLoseNothing) {
    auto width = [](const std::string& line) {
        size_t columns = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            auto byte = static_cast<unsigned char>(line[i]);
            if (byte >= 0xE0) columns += 2;
            if (byte < 0x80) columns += 1;
        }
        return columns;
    };
    auto d = Alice();
    for (int language : {0, 1, 2}) {
        const std::string text = AccessDenialText(d, language, false).text;
        const std::string wrapped = WrapLines(text, 78);
        std::string joined, original;
        size_t start = 0;
        for (size_t end; (end = wrapped.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = wrapped.substr(start, end - start);
            EXPECT_LE(width(line), 78u) << line;
        }
        for (char c : wrapped)
            if (c != '\n' && c != ' ') joined += c;
        for (char c : text)
            if (c != '\n' && c != ' ') original += c;
        EXPECT_EQ(joined, original);
    }
    // A list item goes on indented; a word longer than a line stays whole.
    EXPECT_EQ(WrapLines("- aaa bbb ccc", 8), "- aaa\n  bbb\n  ccc");
    EXPECT_EQ(WrapLines("x /a/very/long/path y", 6), "x\n/a/very/long/path\ny");
    // Wide characters break between them, never before closing punctuation.
    EXPECT_EQ(WrapLines("日本語の文。次", 6), "日本語\nの文。\n次");
    EXPECT_EQ(WrapLines("日本語。", 6), "日本\n語。");
}

}  // namespace
