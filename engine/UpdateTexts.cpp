#include "engine/UpdateTexts.h"

namespace engine {
namespace {
struct Texts {
    const char* english;
    const char* chinese;
    const char* japanese;
};

Texts Of(UpdateText text) {
    switch (text) {
        case UpdateText::RemoveDisc:
            return {"Please remove the disc.", "請將光碟片取出 !",
                    "ディスクを取り外してください。"};
        case UpdateText::CannotEject:
            return {
                "Disc detected in drive. Unable to eject the disc , maybe locked by other "
                "program\n\nPlease remove the disc manually.",
                "偵測到光碟機內含有光碟片 ! 但無法自動退片 , 可能被其他程式鎖住\n\n"
                "請手動移除光碟片.",
                "ディスクが見つけましたが、イジェクトができません。ほかのプログラムにロックされる"
                "可能性があります。\n\nマニュアルでディスクを取り外してください。"};
        case UpdateText::PushTrayIn:
            return {"Please push the tray in.", "請關閉托盤 !", "トレイをプッシュしてください。"};
        case UpdateText::Success:
            return {"Firmware has been updated successfully !", "韌體已經更新成功 !",
                    "ファームウェアのアップデートが正常に終了しました。"};
        case UpdateText::Failure:
            return {"Unable to flash firmware.", "無法更新韌體 ! 請與您的經銷商連絡 !",
                    "ファームウェアアップデートができません。ベンダーにご連絡ください。"};
        case UpdateText::OutcomeUnknown:
            return {
                "The drive did not confirm the firmware update in time: whether it holds the "
                "new firmware is unknown.\n\nCheck the drive's firmware revision before "
                "you use it.",
                "光碟機未能及時確認韌體更新 , 無法得知是否已寫入新韌體 !\n\n"
                "使用前請先檢查光碟機的韌體版本.",
                "ドライブがファームウェアの書き込み完了を時間内に通知しませんでした。"
                "新しいファームウェアが書き込まれたかどうかは不明です。\n\n"
                "使用する前にドライブのファームウェアのバージョンを確認してください。"};
        case UpdateText::CheckDiscAndTray:
            return {"Check Disc & Tray Status...", "檢查碟片與托盤狀態...",
                    "ディスクとトレーの状態を確認中 ..."};
        case UpdateText::TrayOut:
            return {"Tray Out ...", "退片中 ...", "トレイアウト ..."};
        case UpdateText::TrayIn:
            return {"Tray In ...", "關閉托盤中 ...", "トレイイン ..."};
        case UpdateText::WaitingReady:
            return {"Waiting Drive Ready ...", "等待光碟機就緒 ...",
                    "ドライブが用意できるまで暫くお待ちください。 ..."};
        case UpdateText::ProgrammingPrefix:
            return {"Programming ", "寫入快閃記憶體 ", "ファームウェアのアップデートが実行中"};
        case UpdateText::ProgrammingFull:
            return {"Programming ..........", "寫入快閃記憶體 ..........",
                    "ファームウェアのアップデートが実行中 .........."};
        case UpdateText::Inquiry:
            return {"Inquiry ...", "查詢中 ...", "ID Stringを確認中 ..."};
        case UpdateText::Done:
            return {"Done.", "完成", "終了しました。"};
        case UpdateText::ShutdownBlockReason:
            return {
                "Brenvo is writing the firmware of an optical drive; shutting down or "
                "sleeping now would leave the drive unusable.",
                "正在寫入光碟機韌體 , 此時關機或休眠將使光碟機無法使用 !",
                "光学ドライブのファームウェアを書き込み中です。今シャットダウンまたはスリープ"
                "するとドライブが使用できなくなります。"};
    }
    return {"", "", ""};
}
}  // namespace

std::string Text(UpdateText text, int language) {
    Texts t = Of(text);
    if (language == 1) return t.chinese;
    if (language == 2) return t.japanese;
    return t.english;
}

ProgressAnimation::Frame ProgressAnimation::Tick(int language) {
    if (position >= maximum) return {false, "", Text(UpdateText::ProgrammingFull, language)};
    ++position;
    return {true, std::to_string(position * 100 / maximum) + " %",
            Text(UpdateText::ProgrammingPrefix, language) + std::string(position % 10, '.')};
}

}  // namespace engine
