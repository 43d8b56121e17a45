#include "win32/Dialogs.h"

#include "device/SystemInfo.h"
#include "engine/DialogTexts.h"

namespace win32ui {

namespace {

constexpr int kShowMsgMargin = 34;

std::string OwnerCaption(HWND owner) {
    if (!owner) return {};
    wchar_t text[512] = {};
    GetWindowTextW(owner, text, 512);
    return Utf8(text);
}

}  // namespace

// --- TShowMsg ---

TShowMsg::TShowMsg(HWND owner) : AnswerForm("ShowMsg", kDialogFrame, owner) {
    engine::ShowMsgTexts words = engine::ShowMsgDesignWords();
    SetCaption(words.caption);
    SetClientSize(362, 104);
    lblShowMsg = AddLabel("lblShowMsg", {60, 27, 250, 0}, true, false, Align::Left, Tahoma(),
                          kBlack, words.message);
    Image1 = AddIcon("Image1", {8, 16, 32, 32}, IDI_WARNING);
    cmdYes = AddButton("cmdYes", {110, 68, 77, 25}, words.yes, Tahoma());
    cmdNo = AddButton("cmdNo", {193, 68, 77, 25}, words.no, Tahoma());
    SetDefaultButton(cmdYes);
    SetEscapeButton(cmdNo);
    OnClick(cmdYes, [this] { Answer(1); });
    OnClick(cmdNo, [this] { Answer(0); });
    SetInitialFocus(cmdYes);
    CentreOn(owner);
}

void TShowMsg::ApplyLanguage(int language, int uiVariant) {
    if (uiVariant >= 0 && uiVariant <= 2) {
        if (language == kLanguageJapanese) {
            for (HWND control : {lblShowMsg, cmdYes, cmdNo}) {
                FontSpec font = FontOf(control);
                font.face = "MS Gothic";
                font.charset = kShiftJisCharset;
                SetFont(control, font);
            }
        } else if (language != kLanguageChinese && uiVariant == 2) {
            FontSpec font = FontOf(lblShowMsg);
            font.charset = kBig5Charset;
            font.height = HeightOfPoints(9);
            SetFont(lblShowMsg, font);
        }
        engine::ShowMsgTexts words = engine::ShowMsgWords(language);
        SetCaption(words.caption);
        SetText(lblShowMsg, words.message);
        SetText(cmdYes, words.yes);
        SetText(cmdNo, words.no);
    }
    // The width follows the message; the buttons stay centred, 10 pixels apart.
    int width = Box(Image1).right + Box(lblShowMsg).right + kShowMsgMargin;
    int half = width / 2;
    SetClientSize(width, ClientSize().cy);
    Move(cmdYes, half - Box(cmdYes).right - 5, Box(cmdYes).top);
    Move(cmdNo, half + 5, Box(cmdNo).top);
    CentreOn(GetWindow(Handle(), GW_OWNER));
}

// --- TUpdateCfm ---

TUpdateCfm::TUpdateCfm(HWND owner) : AnswerForm("UpdateCfm", kPlainFrame, owner) {
    engine::UpdateCfmTexts words = engine::UpdateCfmDesignWords();
    SetCaption(words.caption);
    SetClientSize(462, 212);
    Image1 = AddIcon("Image1", {8, 8, 33, 33}, IDI_WARNING);
    Label1 = AddLabel("Label1", {52, 12, 396, 41}, false, true, Align::Left, Tahoma(true), kBlack,
                      words.message);
    // The group's labels sit on the form, at their places inside the box.
    GroupBox1 = AddGroup("GroupBox1", {48, 56, 389, 109});
    constexpr int x = 48, y = 56;
    FontSpec underlined = Tahoma(true);
    underlined.underline = true;
    Label2 = AddLabel("Label2", {x + 13, y + 16, 0, 0}, true, false, Align::Left, underlined,
                      kBlack, words.information);
    Label3 = AddLabel("Label3", {x + 117, y + 40, 43, 0}, false, false, Align::Centre, Tahoma(true),
                      kBlack, words.current);
    Label4 = AddLabel("Label4", {x + 221, y + 40, 83, 0}, false, false, Align::Centre, Tahoma(true),
                      kBlack, words.afterUpdating);
    Label5 = AddLabel("Label5", {x + 37, y + 64, 42, 0}, false, false, Align::Right, Tahoma(true),
                      kBlack, words.version);
    lblOldFW = AddLabel("lblOldFW", {x + 121, y + 64, 0, 0}, true, false, Align::Left, Tahoma(true),
                        kNavy, words.revision);
    Label8 = AddLabel("Label8", {x + 185, y + 64, 0, 0}, true, false, Align::Left, Tahoma(true),
                      kNavy, words.arrow);
    lblNewFW = AddLabel("lblNewFW", {x + 245, y + 64, 0, 0}, true, false, Align::Left, Tahoma(true),
                        kNavy, words.revision);
    cmdOK = AddButton("cmdOK", {119, 177, 96, 25}, words.ok, Tahoma(true));
    cmdCancel = AddButton("cmdCancel", {271, 177, 96, 25}, words.cancel, Tahoma(true));
    SetDefaultButton(cmdOK);
    SetEscapeButton(cmdCancel);
    OnClick(cmdOK, [this] { Answer(1); });
    OnClick(cmdCancel, [this] { Answer(0); });
    SetInitialFocus(cmdCancel);
    CentreOnScreen();
}

void TUpdateCfm::ApplyLanguage(int language) {
    if (language == kLanguageJapanese) {
        for (HWND label : {Label1, Label2, Label3, Label4, Label5})
            SetFont(label, JapaneseFont(9));
        for (HWND button : {cmdOK, cmdCancel})
            SetFont(button, JapaneseFont(8));
    }
    // The revisions and the arrow between them stay as they are.
    engine::UpdateCfmTexts words = engine::UpdateCfmWords(language);
    SetCaption(words.caption);
    SetText(Label1, words.message);
    SetText(Label2, words.information);
    SetText(Label3, words.current);
    SetText(Label4, words.afterUpdating);
    SetText(Label5, words.version);
    SetText(cmdOK, words.ok);
    SetText(cmdCancel, words.cancel);
}

// --- TEjectDisc ---

TEjectDisc::TEjectDisc(HWND owner)
    : AnswerForm("EjectDisc", kSizeableFrame, owner), ownerWindow_(owner) {
    engine::EjectDiscTexts words = engine::EjectDiscWords(0);
    SetCaption(words.caption);
    SetOuterSize(391, 146);
    Image1 = AddIcon("Image1", {8, 4, 33, 33}, IDI_INFORMATION);
    Label1 = AddLabel("Label1", {56, 16, 317, 13}, false, true, Align::Left, Tahoma(true), kBlack,
                      words.label1);
    Label2 = AddLabel("Label2", {56, 36, 317, 26}, false, true, Align::Left, Tahoma(true), kBlack,
                      words.label2);
    cmdOK = AddButton("cmdOK", {60, 80, 101, 25}, words.ok, Tahoma());
    cmdCancel = AddButton("cmdCancel", {204, 80, 101, 25}, words.cancel, Tahoma());
    SetDefaultButton(cmdOK);
    OnClick(cmdOK, [this] { Answer(1); });
    OnClick(cmdCancel, [this] { Answer(0); });
    SetInitialFocus(cmdOK);
    CentreOnScreen();
}

void TEjectDisc::ApplyLanguage(int language) {
    engine::EjectDiscTexts words = engine::EjectDiscWords(language);
    if (words.captionFromOwner) {
        if (ownerWindow_) SetCaption(OwnerCaption(ownerWindow_));
    } else {
        SetCaption(words.caption);
    }
    if (language == kLanguageJapanese) {
        SetFont(Label1, JapaneseFont(9));
        SetFont(Label2, JapaneseFont(9));
        SetFont(cmdOK, JapaneseFont(10));
        SetFont(cmdCancel, JapaneseFont(9));
    }
    SetText(Label1, words.label1);
    SetText(Label2, words.label2);
    SetText(cmdOK, words.ok);
    SetText(cmdCancel, words.cancel);
}

// --- the refusals ---

RefusalForm::RefusalForm(HWND owner, int id, const char* name, SIZE outer, RECT label1, POINT okAt,
                         LPCWSTR icon)
    : Form(name, kSizeableFrame, owner), ownerWindow(owner), dialogId(id) {
    engine::RefusalTexts words = engine::RefusalWords(static_cast<engine::DialogId>(id), 0);
    SetCaption(words.caption);
    SetOuterSize(outer.cx, outer.cy);
    Image1 = AddIcon("Image1", {8, 8, 37, 33}, icon);
    Label1 =
        AddLabel("Label1", label1, false, true, Align::Left, Tahoma(true), kBlack, words.label1);
    cmdOK = AddButton("cmdOK", {okAt.x, okAt.y, 101, 25}, words.ok, Tahoma());
    SetDefaultButton(cmdOK);
    OnClick(cmdOK, [this] { Close(); });
    SetInitialFocus(cmdOK);
    CentreOnScreen();
}

std::string RefusalForm::ApplyCommon(int language) {
    engine::RefusalTexts words =
        engine::RefusalWords(static_cast<engine::DialogId>(dialogId), language);
    if (words.captionFromOwner) {
        if (ownerWindow) SetCaption(OwnerCaption(ownerWindow));
    } else {
        SetCaption(words.caption);
    }
    if (language == kLanguageJapanese) SetFont(Label1, JapaneseFont(9));
    SetText(Label1, words.label1);
    if (language == kLanguageJapanese) SetFont(cmdOK, JapaneseFont(10));
    SetText(cmdOK, words.ok);
    return words.label2;
}

TMostUpdate::TMostUpdate(HWND owner)
    : RefusalForm(owner, static_cast<int>(engine::DialogId::MostUpdate), "MostUpdate", {415, 132},
                  {56, 20, 337, 33}, {148, 68}, IDI_INFORMATION) {}

TNoProperDrive::TNoProperDrive(HWND owner)
    : RefusalForm(owner, static_cast<int>(engine::DialogId::NoProperDrive), "NoProperDrive",
                  {444, 131}, {56, 20, 365, 29}, {160, 64}, IDI_ERROR) {}

TInvalidUser::TInvalidUser(HWND owner)
    : RefusalForm(owner, static_cast<int>(engine::DialogId::InvalidUser), "InvalidUser", {416, 155},
                  {56, 20, 337, 13}, {156, 84}, IDI_ERROR) {
    engine::RefusalTexts words = engine::RefusalWords(engine::DialogId::InvalidUser, 0);
    Label2 = AddLabel("Label2", {56, 44, 333, 26}, false, true, Align::Left, Tahoma(true), kBlack,
                      words.label2);
}

void TInvalidUser::ApplyLanguage(int language) {
    std::string label2 = ApplyCommon(language);
    if (label2.empty()) {
        Show(Label2, false);  // one line only
        return;
    }
    if (language == kLanguageJapanese) SetFont(Label2, JapaneseFont(9));
    SetText(Label2, label2);
}

// --- the reboot forms ---

TReboot::TReboot(HWND owner) : Form("Reboot", kSizeablePlainFrame, owner) {
    engine::RebootTexts words = engine::RebootDesignWords();
    SetCaption(words.caption);
    SetOuterSize(310, 131);
    Label1 = AddLabel("Label1", {56, 20, 0, 0}, true, false, Align::Left, Tahoma(true), kNavy,
                      words.label1);
    Image1 = AddIcon("Image1", {16, 8, 29, 33}, IDI_QUESTION);
    Label2 =
        AddLabel("Label2", {16, 40, 0, 0}, true, false, Align::Left, Tahoma(), kNavy, words.label2);
    cmdRebootLater = AddButton("cmdRebootLater", {71, 68, 77, 25}, words.later, Tahoma(true));
    cmdRebootNow = AddButton("cmdRebootNow", {163, 68, 77, 25}, words.now, Tahoma(true));
    SetDefaultButton(cmdRebootNow);
    OnClick(cmdRebootLater, [this] { Close(); });
    OnClick(cmdRebootNow, [this] {
        device::RebootSystem(device::OSInfo());
        Close();
    });
    SetInitialFocus(cmdRebootLater);
    CentreOn(owner);
}

void TReboot::ApplyLanguage(int language) {
    if (language == kLanguageJapanese) {
        // The Japanese set has no second line of its own: Label2 keeps its design font.
        SetFont(Label1, JapaneseFont(9));
        for (HWND button : {cmdRebootLater, cmdRebootNow})
            SetFont(button, JapaneseFont(8));
    }
    engine::RebootTexts words = engine::RebootWords(language);
    SetCaption(words.caption);
    SetText(Label1, words.label1);
    SetText(Label2, words.label2);
    SetText(cmdRebootLater, words.later);
    SetText(cmdRebootNow, words.now);
}

TRebootZULK::TRebootZULK(HWND owner) : Form("RebootZULK", kSizeablePlainFrame, owner) {
    engine::RebootZulkTexts words = engine::RebootZulkDesignWords();
    SetCaption(words.caption);
    SetOuterSize(456, 174);
    Label1 = AddLabel("Label1", {52, 12, 377, 13}, false, false, Align::Left, Tahoma(true), kBlack,
                      words.label1);
    Image1 = AddIcon("Image1", {12, 8, 29, 33}, IDI_INFORMATION);
    Label2 = AddLabel("Label2", {52, 52, 385, 45}, false, true, Align::Left, Tahoma(true), kBlack,
                      words.label2);
    cmdRebootZULKNow =
        AddButton("cmdRebootZULKNow", {167, 112, 102, 25}, words.reboot, Tahoma(true));
    SetDefaultButton(cmdRebootZULKNow);
    OnClick(cmdRebootZULKNow, [this] {
        device::RebootSystem(device::OSInfo());
        Close();
    });
    SetInitialFocus(cmdRebootZULKNow);
    CentreOn(owner);
}

void TRebootZULK::ApplyLanguage(int language) {
    if (language == kLanguageJapanese) {
        for (HWND label : {Label1, Label2})
            SetFont(label, JapaneseFont(9));
        SetFont(cmdRebootZULKNow, JapaneseFont(8));
    }
    engine::RebootZulkTexts words = engine::RebootZulkWords(language);
    SetCaption(words.caption);
    SetText(Label1, words.label1);
    SetText(Label2, words.label2);
    SetText(cmdRebootZULKNow, words.reboot);
}

}  // namespace win32ui
