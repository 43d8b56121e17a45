#include "engine/WindowTexts.h"

namespace engine {

MainWindowTexts MainWindowDesignWords() {
    return {"Please select target drive :",
            "it will be updated from",
            "to",
            "Message",
            "&Update",
            "&Close",
            "Progress",
            "XXXX",
            "100%"};
}

MainWindowTexts MainWindowWords(int language) {
    MainWindowTexts t = MainWindowDesignWords();
    if (language == 1) {
        t.prompt = "請選擇您要更新的光碟機";
        t.updateMessage = "光碟機韌體將被更新 , 從";
        t.to = "到";
        t.message = "狀態訊息";
        t.update = "更新";
        t.close = "關閉";
        t.progress = "進度";
    } else if (language == 2) {
        t.prompt = "対象ドライブを選択して下さい。";
        t.updateMessage = "ファームウェアをアップデートします。";
        t.to = "->";
        t.message = "メッセージ";
        t.update = "アップデート";
        t.close = "クローズ";
        t.progress = "進捗";
    } else {
        t.prompt = "Please select target drive";
        t.to = "To";
        t.update = "Update";
        t.close = "Close";
    }
    return t;
}

std::string WizardUpdateQuestion(const std::string& newRevision) {
    return "The firmware of the selected drive will now be updated to version " + newRevision +
           ".\n\nContinue with the update ?";
}

}  // namespace engine
