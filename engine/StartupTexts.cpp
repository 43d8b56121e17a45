#include "engine/StartupTexts.h"

namespace engine {

std::string NoFirmwareText(int language) {
    if (language == 1) return "執行檔並無韌體檔案存在 !";
    if (language == 2) return "EXE FILEにファムウェアが見つかりません。";
    return "No F/W in executable !";
}

std::string DirectIdeRefusalText(platform::DirectIde directIde, int language) {
    if (directIde == platform::DirectIde::SixtyFourBitWindows)
        return SixtyFourBitWindowsText(language);
    return "This package flashes drives through the direct-IDE flash driver,\n"
           "which exists only for Windows: it cannot update drives on this system.\n"
           "Nothing was installed and no drive was touched.";
}

std::string SixtyFourBitWindowsText(int language) {
    if (language == 1) {
        return "這個韌體更新程式透過直接 IDE 燒錄驅動程式更新光碟機，\n"
               "此驅動程式是 32 位元 Windows 的核心驅動程式，\n"
               "64 位元 Windows 無法載入。\n"
               "沒有安裝任何驅動程式，光碟機也未被變更。\n"
               "請在 32 位元 Windows 上執行。";
    }
    if (language == 2) {
        return "本アップデートプログラムはダイレクト IDE 書き込みドライバで\n"
               "ドライブを更新します。このドライバは 32 ビット Windows 用の\n"
               "カーネルドライバで、64 ビット Windows では読み込めません。\n"
               "ドライバはインストールされず、ドライブは変更されていません。\n"
               "32 ビット Windows で実行してください。";
    }
    return "This package flashes drives through the direct-IDE flash driver,\n"
           "a 32-bit Windows kernel driver that a 64-bit Windows cannot load.\n"
           "Nothing was installed and no drive was touched.\n"
           "Run it on a 32-bit Windows.";
}

std::string NoticeText(int language, const std::string& driveName, int noticeKind) {
    const bool third = noticeKind == 2;
    if (language == 1) {
        return "這個韌體更新程式只能適用於 " + driveName + " 這個型號的光碟機.\n\n" +
               "注意 : \n\n" +
               "1> 在執行這個韌體更新程式之前請先移除光碟片並關閉所有的應用程式 !\n" +
               "2> 在韌體更新過程當中請勿關閉電源 ! \n" +
               (third ? "3> 在韌體更新過程當中請勿拔除電源插頭以及電池 ! \n" : "") +
               "\n您確定要繼續嗎 ?";
    }
    if (language == 2) {
        return std::string("本アップデートプログラムは") + " " + driveName + " " +
               "ドライブにしか適用しません。" + "\n\n" + "注意" + " :\n\n" + "1> " +
               "このアップデートプログラムをご使用する前に、ディスクを取り出し、アプリケーションを"
               "終了して下さい。" +
               "\n" + "2> " + "アップデート中に、シャットダウンしないでください。" + "\n" +
               (third
                    ? std::string("3> ") +
                          "アップデート中に、アダプターとバッテリーを取り外さないで下さい。" + "\n"
                    : std::string()) +
               "\n" + "継続しますか？";
    }
    return "This flash utility only supports " + driveName + " drive.\n\n" + "NOTICE : \n\n" +
           "1> Please REMOVE disc and close all applications before running this utility !\n" +
           "2> Don't turn off the system while flash is in progress. \n" +
           (third ? "3> Don't remove the adapter and battery during F/W reflash processing. \n"
                  : "") +
           "\nDo you wish to continue ?";
}

std::string ChecklistText(int language) {
    if (language == 1) {
        return "請確定在更新韌體之前您已經完成下列步驟：\n\n"
               "注意事項 \n"
               "1. 請關閉目前視窗作業系統裡面所有正在執行的應用程式。\n"
               "   (關閉任何可能正在執行的防毒程式)\n"
               "2. 請關閉螢幕保護程式。\n"
               "3. 請移除所有連接在電腦的外接裝置。\n"
               "4. 請移除所有網路線。\n"
               "5. 請移除 PC Card 裝置。\n"
               "6. 在更新韌體過程當中請關閉待命以及休眠模式。\n"
               "7. 在更新韌體過程當中請勿關閉電源。\n"
               "8. 請以 \"系統管理者\" 權限登入作業系統。\n"
               "\u3000\u3000並且必須用半形字元或英文數字等字元註冊使用者名稱，如果\n"
               "您的使用者名稱是全形字元，請用半形字元或英文數字等字元重新\n"
               "新增一個帳戶。";
    }
    if (language == 2) {
        return "下記の注意事項をご確認のうえ、アップデートを行ってください。"
               "\n\n"
               "「注意事項」\n"
               "１．　Windows上で起動しているアプリケーションはすべて終了してください。\n"
               "　　　（ウィルスチェックプログラムも終了させてください。）\n"
               "２．　スクリーンセーバーを無効にしてください。\n"
               "３．　アップデートの際には、周辺機器をすべてとりはずし、ACアダプタのみ接続してく\n"
               "　　　ださい。\n"
               "４．　アップデートの際には、ネットワークケーブルをはずしてください。\n"
               "５．　PCカードをご使用の場合には、PCカードを取りはずしてください。\n"
               "６．　アップデート中に、スタンバイや休止状態に入れないでください。\n"
               "７．　アップデート中に、シャットダウンしないでください。\n"
               "８．　アップデートは、必ず「コンピュータの管理者」に所属する\n"
               "　　　ユーザー名でログオンした後に行ってください。"
               "\n"
               "\n"
               "また、ユーザー名は半角英数字で登録されている必要があります。ユーザー名に全角文字を"
               "\n"
               "ご使用の場合には、半角英数字のユーザー名で新規のアカウントを作成してください。";
    }
    return "Before updating the firmware, please make sure to:\n\n"
           "1-Log on as a user with administrative rights\n"
           "2-Close all running applications and disable your anti-virus software,\n"
           "3-Disable your screen saver,\n"
           "4-Remove all attached peripherals,\n"
           "5-Unplug all network cables,\n"
           "6-Remove all PCCARDS,\n"
           "7-Disable stand-by and hibernation mode,\n"
           "8-Remove all discs from drives.\n"
           "\n"
           "NOTE:\n"
           "Do not shut down your computer while the update is running.\n"
           "\n"
           "And the user name need be registered with half size and alphanumeric\n"
           "characters. If the user name uses double-byte characters, please make a\n"
           "new account with half size and alphanumeric characters.";
}

CaptionedText DeviceFailedText(int language) {
    if (language == 1) return {"初始化裝置物件失敗 !", "錯誤 ..."};
    if (language == 2) return {"装置物件初期化が失敗しました。", "エラー"};
    return {"Device object initialize failed !", "Error ..."};
}

CaptionedText AccessDeniedText(int language) {
    if (language == 1) return {"存取遭拒 ! 您必須具有管理者權限才能更新光碟機韌體", "錯誤 ..."};
    return {"Access denied ! You must have administrator privilege to flash drives.", "Error ..."};
}

}  // namespace engine
