#include "engine/AccessTexts.h"

#include <algorithm>
#include <cstdio>

namespace engine {
namespace {

// The words of one language, in the order they join around the facts.
struct Words {
    const char* caption;
    const char* refused;  // <refused> <user> <node> /dev/sg1 <readWrite> <error>
    const char* node;
    const char* readWrite;
    const char* owner;  // <owner> root <group> cdrom <mode> 0660 <close>
    const char* group;
    const char* mode;
    const char* close;
    const char* stop;    // the sentence's end when the node's owner cannot be read
    const char* helps;   // the heading of the list
    const char* seat;    // the session at the seat would have the node
    const char* noTag;   // the login manager runs, but does not give this node to the seat
    const char* joined;  // - <user> <joined> <group> <joinedTail>
    const char* joinedTail;
    const char* join;  // <join> <group> <joinCommand> <group> <user> <joinTail>
    const char* joinCommand;
    const char* joinTail;
    const char* disk;         // after the group disk: it reaches every disk
    const char* rootConsole;  // <rootConsole> <program>
    const char* rootPkexec;
    const char* rootSudo;
};

constexpr Words kEnglishWords = {
    "Error ...",
    "Access denied ! ",
    " may not open the drive's SCSI generic node ",
    " for reading and writing: ",
    " (owner ",
    ", group ",
    ", mode ",
    ").",
    ".",
    "What would give access on this computer:",
    "- the desktop session at this computer's seat: systemd-logind gives the drive to the user of "
    "the seat's active session (uaccess). Run Brenvo there, not over the network or in another "
    "user's session.",
    "- an administrator can give the drive to the seat's user: the rule "
    "/usr/share/doc/brenvo/examples/70-brenvo-optical-sg.rules.",
    " is a member of the node's group ",
    ", but this session began before: log out and in again.",
    "- membership of the node's group ",
    ": sudo usermod -aG ",
    ", then log in again.",
    " (it reaches every disk of this computer, not only the drives)",
    "- root's rights: sudo ",
    "- root's rights: pkexec ",
    "- root's rights, from a terminal of this desktop: sudo DISPLAY=$DISPLAY "
    "XAUTHORITY=$XAUTHORITY ",
};

constexpr Words kChineseWords = {
    "錯誤 ...",
    "存取遭拒 ! 使用者 ",
    " 無法以讀寫方式開啟光碟機的 SCSI 通用節點 ",
    "：",
    "（擁有者 ",
    "，群組 ",
    "，權限 ",
    "）。",
    "。",
    "在這台電腦上可以這樣取得存取權：",
    "- 這台電腦座席（seat）上的桌面工作階段：systemd-logind 會把光碟機交給座席上使用中的工作階段"
    "的使用者（uaccess）。請在那裡執行 Brenvo，而不是經由網路或在其他使用者的工作階段中執行。",
    "- 管理者可以把光碟機交給座席的使用者：規則 "
    "/usr/share/doc/brenvo/examples/70-brenvo-optical-sg.rules。",
    " 已是節點群組 ",
    " 的成員，但這個工作階段是在加入之前開始的：請登出後再登入。",
    "- 加入節點的群組 ",
    "：sudo usermod -aG ",
    "，然後重新登入。",
    "（此群組可存取這台電腦的每一個磁碟，而不只是光碟機）",
    "- 以 root 權限執行：sudo ",
    "- 以 root 權限執行：pkexec ",
    "- 從這個桌面的終端機以 root 權限執行：sudo DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY ",
};

constexpr Words kJapaneseWords = {
    "エラー",
    "アクセスが拒否されました。ユーザー ",
    " はドライブの SCSI 汎用ノード ",
    " を読み書きで開けません：",
    "（所有者 ",
    "、グループ ",
    "、モード ",
    "）。",
    "。",
    "このコンピューターでアクセスを得る方法：",
    "- このコンピューターのシート（seat）のデスクトップセッション：systemd-logind はシートで"
    "アクティブなセッションのユーザーにドライブを与えます（uaccess）。ネットワーク経由や他の"
    "ユーザーのセッションではなく、そこで Brenvo を実行してください。",
    "- 管理者はシートのユーザーにドライブを与えることができます：規則 "
    "/usr/share/doc/brenvo/examples/70-brenvo-optical-sg.rules。",
    " はノードのグループ ",
    " のメンバーですが、このセッションはその前に始まりました：ログアウトして再度ログインして"
    "ください。",
    "- ノードのグループ ",
    " に参加する：sudo usermod -aG ",
    " の後、再度ログインしてください。",
    "（このグループはドライブだけでなく、このコンピューターのすべてのディスクに届きます）",
    "- root 権限で実行する：sudo ",
    "- root 権限で実行する：pkexec ",
    "- このデスクトップの端末から root 権限で実行する：sudo DISPLAY=$DISPLAY "
    "XAUTHORITY=$XAUTHORITY ",
};

const Words& WordsOf(int language) {
    if (language == 1) return kChineseWords;
    if (language == 2) return kJapaneseWords;
    return kEnglishWords;
}

std::string Octal(uint32_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// The length of the UTF-8 sequence that starts with `lead`.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

bool ClosingPunctuation(const std::string& character) {
    for (const char* closing : {"，", "。", "、", "）", "」", "：", "！"}) {
        if (character == closing) return true;
    }
    return false;
}

std::string WrapLine(const std::string& line, size_t columns) {
    const std::string indent = line.rfind("- ", 0) == 0 ? "  " : "";
    std::string out;
    size_t lineStart = 0;                // where the current output line begins in `out`
    size_t width = 0;                    // its width so far
    size_t breakAt = std::string::npos;  // the last place it may end, in `out`
    size_t widthAtBreak = 0;
    for (size_t i = 0; i < line.size();) {
        const size_t length =
            std::min(SequenceLength(static_cast<unsigned char>(line[i])), line.size() - i);
        const std::string character = line.substr(i, length);
        i += length;
        const size_t charWidth = length >= 3 ? 2 : 1;
        if (charWidth == 2 && !ClosingPunctuation(character)) {
            breakAt = out.size();
            widthAtBreak = width;
        }
        if (width + charWidth > columns && breakAt != std::string::npos && breakAt > lineStart) {
            std::string rest = out.substr(breakAt);
            out.resize(breakAt);
            while (out.size() > lineStart && out.back() == ' ')
                out.pop_back();
            out += "\n" + indent;
            lineStart = out.size() - indent.size();
            out += rest;
            width = indent.size() + (width - widthAtBreak);
            breakAt = std::string::npos;
        }
        out += character;
        width += charWidth;
        if (character == " ") {
            breakAt = out.size();
            widthAtBreak = width;
        }
    }
    return out;
}

}  // namespace

std::string WrapLines(const std::string& text, size_t columns) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        out += WrapLine(text.substr(start, end - start), columns);
        if (end == std::string::npos) return out;
        out += '\n';
        start = end + 1;
    }
}

CaptionedText AccessDenialText(const platform::AccessDenial& d, int language, bool console) {
    const Words& w = WordsOf(language);
    std::string text = w.refused + d.user + " (uid " + std::to_string(d.uid) + ")" + w.node +
                       d.node + w.readWrite + d.error;
    if (d.owner.empty()) {
        text += w.stop;
    } else {
        text += w.owner + d.owner + w.group + d.group + w.mode + Octal(d.mode) + w.close;
    }
    // Root refused: nothing a user could do would help.
    if (d.uid == 0) return {text, w.caption};

    text += "\n\n";
    text += w.helps;
    if (d.seatManaged && d.seatGetsNode && !d.activeAtSeat) text += std::string("\n") + w.seat;
    if (d.seatManaged && !d.seatGetsNode) text += std::string("\n") + w.noTag;
    if (d.groupMayUse && d.inGroupNotRun) {
        text += "\n- " + d.user + w.joined + d.group + w.joinedTail;
    } else if (d.groupMayUse) {
        text += std::string("\n") + w.join + d.group + (d.group == "disk" ? w.disk : "") +
                w.joinCommand + d.group + " " + d.user + w.joinTail;
    }
    std::string program = d.program.empty() ? (console ? "brenvo-cli" : "brenvo") : d.program;
    const char* root = console ? w.rootConsole : d.pkexecStartsIt ? w.rootPkexec : w.rootSudo;
    text += std::string("\n") + root + program;
    return {text, w.caption};
}

}  // namespace engine
