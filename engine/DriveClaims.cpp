#include "engine/DriveClaims.h"

#include <algorithm>

#include "common/Text.h"
#include "engine/DriveList.h"
#include "platform/System.h"

namespace engine {
namespace {
std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
    return text;
}
}  // namespace

bool DriveClaims::Claim(const device::DriveRecord& record, std::string& holder) {
    const std::string root = FieldText(record.rootPath);
    // A drive reached through the ASPI manager (the older family) has no device of its own to
    // claim: the system offers no exclusive access there.
    if (record.viaAspi || root.empty()) return true;
    if (std::find(roots_.begin(), roots_.end(), root) != roots_.end()) return true;
    platform::DriveClaim claim = platform::CurrentSystem().ClaimDrive(root);
    holder = claim.holder;
    if (!claim.claimed) return false;
    roots_.push_back(root);
    return true;
}

void DriveClaims::ReleaseAll() {
    if (roots_.empty() || !platform::HasSystem()) return;
    for (const auto& root : roots_)
        platform::CurrentSystem().ReleaseDrive(root);
    roots_.clear();
}

std::string DriveName(const std::string& root) {
    return root.substr(0, std::min<size_t>(root.size(), 2));
}

std::string DriveName(const device::DriveRecord& record) {
    std::string name = DriveName(FieldText(record.rootPath));
    std::string model =
        Trimmed(Trimmed(ShownField(record.vendor)) + " " + Trimmed(ShownField(record.product)));
    return model.empty() ? name : name + " (" + model + ")";
}

std::string DriveHeldText(int language, const std::string& drive, const std::string& heldBy) {
    // Every system's word on who holds the drive comes through here: another process's name
    // (which its owner chose), a mount point, a bench's heldBy. Escaped, none of them can move
    // the cursor to fake this message or a success line.
    const std::string holder = common::ShownText(heldBy);
    if (language == 1) {
        return "光碟機 " + drive + " 正被其他程式使用" + (holder.empty() ? "" : " : " + holder) +
               "\n\n未寫入任何資料到光碟機. 請等待該程式結束或卸載光碟後, 再試一次.";
    }
    if (language == 2) {
        return "ドライブ " + drive + " はほかのプログラムが使用中です" +
               (holder.empty() ? "。" : "：" + holder) +
               "\n\nドライブには何も書き込んでいません。そのプログラムの終了を待つか、ディスクを"
               "アンマウントしてから、もう一度実行してください。";
    }
    return "Drive " + drive + " is in use by another program" +
           (holder.empty() ? "." : ": " + holder + ".") +
           "\n\nNothing was written to the drive. Let that program finish, or unmount the disc, "
           "and try again.";
}

}  // namespace engine
