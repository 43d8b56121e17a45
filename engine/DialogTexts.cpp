#include "engine/DialogTexts.h"

#include <initializer_list>

namespace engine {
namespace {

constexpr int kChinese = 1;
constexpr int kJapanese = 2;

constexpr char kUpdaterCaption[] = "Firmware Updater";
constexpr char kJapaneseUpdaterCaption[] = "ファームウェア　アップデータ";

// Joins the labels that have words, one a line.
std::string Lines(std::initializer_list<const std::string*> labels) {
    std::string text;
    for (const std::string* label : labels) {
        if (label->empty()) continue;
        if (!text.empty()) text += '\n';
        text += *label;
    }
    return text;
}

}  // namespace

ShowMsgTexts ShowMsgDesignWords() {
    return {"ShowMsg", "Your drive's Firmware is already the most updated ! ", "&Yes", "&No", "Yes",
            "No"};
}

ShowMsgTexts ShowMsgWords(int language) {
    ShowMsgTexts t = ShowMsgDesignWords();
    if (language == kChinese) {
        t.caption = "Warning";
        t.message = "您的光碟機韌體已經是最新版本 !\n您確定要繼續嗎 ?";
        t.yes = "確定";
        t.no = "取消";
    } else if (language == kJapanese) {
        t.caption = "Warning";
        t.message =
            "お客様のドライブのファームウェアはすでに最新バージョンになっています。 \n"
            "継続しますか？";
        t.yes = "はい";
        t.no = "いいえ";
    } else {
        t.caption = "Note";
        t.message = "You are about to flash to an older firmware.\nDo you wish to proceed?";
        t.yes = "&Yes";
        t.no = "&No";
    }
    return t;
}

RefusalTexts RefusalWords(DialogId id, int language) {
    RefusalTexts t;
    switch (id) {
        case DialogId::MostUpdate:
            t.label1 = language == kChinese ? "您的光碟機韌體已經是最新版本 !"
                       : language == kJapanese ? "DVDドライブのファームウェアは書き換え不要です。"
                                               : "This DVD drive does not need update.";
            break;
        case DialogId::InvalidUser:
            if (language == kChinese) {
                t.label1 = "存取遭拒 ! 您必須具有管理者權限才能更新光碟機韌體 !";
            } else if (language == kJapanese) {
                t.label1 = "制限ユーザーでログインしています。";
                t.label2 = "このプログラムは管理者ユーザーでログインして\n実行してください。";
            } else {
                t.label1 = "Logined by non-permission user .";
                t.label2 = "Please login again by administrator user.";
            }
            break;
        case DialogId::NoProperDrive:
            t.label1 = language == kChinese ? "您所使用的光碟機並不適用於這個韌體更新程式 !"
                       : language == kJapanese
                           ? "このプログラムに対応したDVDドライプが見つかりません。"
                           : "No supported drive detected.";
            break;
        default:
            return t;
    }
    t.caption = language == kJapanese ? kJapaneseUpdaterCaption : kUpdaterCaption;
    t.captionFromOwner = language == kChinese;
    t.ok = language == kChinese ? "確定" : "OK";
    return t;
}

UpdateCfmTexts UpdateCfmDesignWords() {
    UpdateCfmTexts t;
    t.caption = "Update Confirm ...";
    t.revision = "XXXX";
    t.arrow = "-->";
    t.ok = "OK";
    t.cancel = "Cancel";
    return t;
}

UpdateCfmTexts UpdateCfmWords(int language) {
    UpdateCfmTexts t = UpdateCfmDesignWords();
    if (language == kChinese) {
        t.caption = "更新確認 ...";
        t.message = "您按了更新的按鈕以後 , 您所選擇的光碟機托盤會退出 , 然後這個程式將更新韌體";
        t.information = "韌體資訊";
        t.current = "目前";
        t.afterUpdating = "更新後";
        t.version = "版本";
        t.ok = "更新";
        t.cancel = "取消";
    } else if (language == kJapanese) {
        t.caption = "ファームウェアの確認";
        t.message =
            "ファームウェアのアップデートを行います。\n"
            "[アップデート]ボタンをクリックすると、対象ドライブがイジェクトされアップデートが開始"
            "されます。";
        t.information = "ファームウェアの確認";
        t.current = "現在";
        t.afterUpdating = "アップデート";
        t.version = "Version";
        t.ok = "アップデート";
        t.cancel = "キャンセル";
    } else {
        t.caption = "Update Confirm ...";
        t.message =
            "Do not open the drive while the update is running.\nClick the Update button to start "
            "the Update.";
        t.information = "FW Information";
        t.current = "Current";
        t.afterUpdating = "After Updating";
        t.version = "Version";
        t.ok = "Update";
        t.cancel = "Cancel";
    }
    return t;
}

EjectDiscTexts EjectDiscWords(int language) {
    EjectDiscTexts t;
    if (language == kChinese) {
        t.caption = kUpdaterCaption;
        t.captionFromOwner = true;
        t.label1 = "光碟機內有碟片 !";
        t.label2 = "請按下 OK 按鍵退出光碟片";
        t.ok = "確定";
        t.cancel = "取消";
    } else if (language == kJapanese) {
        t.caption = kJapaneseUpdaterCaption;
        t.label1 = "ディスクが挿入されています。";
        t.label2 = "「OK」をクリックしてディスクを取り出してください。";
        t.ok = "OK";
        t.cancel = "キャンセル";
    } else {
        t.caption = kUpdaterCaption;
        t.label1 = "Under insert disk";
        t.label2 = "Please click \"OK\" button and eject the disk.";
        t.ok = "OK";
        t.cancel = "Cancel";
    }
    return t;
}

RebootTexts RebootDesignWords() {
    return {"Reboot Warning",
            "Your computer needs to be rebooted.",
            "A reboot is necesarry, and that all data should be saved. ",
            "&Later",
            "&Now",
            "Reboot Later",
            "Reboot Now"};
}

RebootTexts RebootWords(int language) {
    RebootTexts t = RebootDesignWords();
    if (language == kChinese) {
        t.caption = "重新啟動警告";
        t.label1 = "您的電腦必須重新啟動 !";
        t.label2 = "      您需要重新啟動電腦,請先儲存目前所有的資料!";
        t.later = "稍後";
        t.now = "立即";
    } else if (language == kJapanese) {
        // No Japanese second line: Label2 keeps its design text.
        t.caption = "再起動警告";
        t.label1 = "システムを再起動する必要があります。 !";
        t.later = "あとで";
        t.now = "いま";
    } else {
        t.caption = "Reboot?";
        t.label1 = "Do you wish to reboot your system?";
        t.label2 = "(A reboot is recommended, but not absolutely necessary.)";
        t.later = "Later";
        t.now = "Now";
    }
    return t;
}

RebootZulkTexts RebootZulkDesignWords() {
    RebootZulkTexts t;
    t.caption = "Reboot Warning";
    t.rebootTip = "RebootZULK Now";
    return t;
}

RebootZulkTexts RebootZulkWords(int language) {
    RebootZulkTexts t = RebootZulkDesignWords();
    if (language == kChinese) {
        t.caption = "重新啟動警告";
        t.label1 = "韌體更新已經完全成功 !";
        t.label2 = "新的韌體在重新啟動之後才能正常運作.\n請關閉視窗作業系統並重新啟動.";
        t.reboot = "重新啟動";
    } else if (language == kJapanese) {
        t.caption = "再起動警告";
        t.label1 = "ファームウェアのアップデートは、正常に終了しました。";
        t.label2 =
            "更新された内容は、コンピュータの再起動後有効になります。\n"
            "Windowsを終了し、コンピュータを再起動してください。";
        t.reboot = "再起動";
    } else {
        t.caption = "Reboot Warning";
        t.label1 = "The firmware has been successfully updated.";
        t.label2 = "Please restart your computer to complete the installation.";
        t.reboot = "Reboot";
    }
    return t;
}

RecoverTexts RecoverWords(int language, const std::string& driveLine,
                          const std::string& newRevision) {
    RecoverTexts t;
    if (language == kChinese) {
        t.caption = "修復光碟機";
        t.label1 = "這台光碟機的韌體更新曾被中斷, 它停留在開機載入程式中:\n" + driveLine;
        t.label2 = "要重新寫入韌體 " + newRevision + " 來修復它嗎 ?";
        t.yes = "確定";
        t.no = "取消";
    } else if (language == kJapanese) {
        t.caption = "ドライブの復旧";
        t.label1 =
            "このドライブはファームウェアの書き換えが中断され、ブートローダーで動作しています。\n" +
            driveLine;
        t.label2 = "ファームウェア " + newRevision + " をもう一度書き込んで復旧しますか？";
        t.yes = "はい";
        t.no = "いいえ";
    } else {
        t.caption = "Recover Drive";
        t.label1 =
            "A firmware update of this drive was cut short; it runs its boot loader:\n" + driveLine;
        t.label2 = "Write firmware " + newRevision + " to it again to recover it?";
        t.yes = "&Yes";
        t.no = "&No";
    }
    return t;
}

std::string ConsoleText(DialogId id, int language, const std::string& oldRevision,
                        const std::string& newRevision) {
    switch (id) {
        case DialogId::ShowMsg: {
            ShowMsgTexts t = ShowMsgWords(language);
            return Lines({&t.message});
        }
        case DialogId::MostUpdate:
        case DialogId::InvalidUser:
        case DialogId::NoProperDrive: {
            RefusalTexts t = RefusalWords(id, language);
            return Lines({&t.label1, &t.label2});
        }
        case DialogId::UpdateCfm: {
            // The group: its heading, the two column heads, then the row of revisions.
            UpdateCfmTexts t = UpdateCfmWords(language);
            return Lines({&t.message, &t.information, &t.current, &t.afterUpdating, &t.version,
                          &oldRevision, &t.arrow, &newRevision});
        }
        case DialogId::EjectDisc: {
            EjectDiscTexts t = EjectDiscWords(language);
            return Lines({&t.label1, &t.label2});
        }
        case DialogId::Reboot: {
            RebootTexts t = RebootWords(language);
            return Lines({&t.label1, &t.label2});
        }
        case DialogId::RebootZulk: {
            RebootZulkTexts t = RebootZulkWords(language);
            return Lines({&t.label1, &t.label2});
        }
        case DialogId::Recover: {
            RecoverTexts t = RecoverWords(language, oldRevision, newRevision);
            return Lines({&t.label1, &t.label2});
        }
    }
    return {};
}

}  // namespace engine
