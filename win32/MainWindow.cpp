#include "win32/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <type_traits>

#include "engine/WindowTexts.h"
#include "platform/MessageBox.h"
#include "win32/Dialogs.h"
#include "win32/Modal.h"
#include "win32/Wizard.h"

namespace win32ui {

TBrenvoMain* BrenvoMain = nullptr;

namespace {

constexpr DWORD kMainFrame = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_BORDER;
constexpr UINT_PTR kProgressTimer = 1;
constexpr int kProgressInterval = 100;

const FontSpec kArial{"Arial", -11};

COLORREF RgbOf(engine::Colour colour) {
    switch (colour) {
        case engine::Colour::Navy:
            return kNavy;
        case engine::Colour::Maroon:
            return kMaroon;
        case engine::Colour::Black:
            break;
    }
    return kBlack;
}

MessageKind KindOf(engine::MessageKind kind) {
    switch (kind) {
        case engine::MessageKind::Warning:
            return MessageKind::Warning;
        case engine::MessageKind::Information:
            return MessageKind::Information;
        case engine::MessageKind::Error:
            break;
    }
    return MessageKind::Error;
}

std::string BoxCaption(const std::string& caption) {
    return caption.empty() ? kApplicationTitle : caption;
}

MessageKind KindOfIcon(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Warning:
            return MessageKind::Warning;
        case platform::MessageIcon::Information:
            return MessageKind::Information;
        case platform::MessageIcon::Question:
            return MessageKind::Confirmation;
        case platform::MessageIcon::Error:
            break;
    }
    return MessageKind::Error;
}

void ShowRequest(const platform::MessageBoxRequest& request) {
    Modal::Message(nullptr, KindOfIcon(request.icon), request.caption, request.text);
}

// One modal dialog: its answer flag where it asks, its words, then shown.
template <class DialogForm>
void ShowForm(HWND owner, const engine::DialogRequest& request) {
    DialogForm form(owner);
    if constexpr (requires { form.SetAnswerFlag(request.answer); })
        form.SetAnswerFlag(request.answer);
    if constexpr (std::is_same_v<DialogForm, TShowMsg>) {
        form.ApplyLanguage(request.language, request.uiVariant);
    } else {
        if constexpr (std::is_same_v<DialogForm, TUpdateCfm>) {
            form.SetText(form.lblOldFW, request.oldRevision);
            form.SetText(form.lblNewFW, request.newRevision);
        }
        form.ApplyLanguage(request.language);
    }
    Modal::Show(form, owner);
}

}  // namespace

TBrenvoMain::TBrenvoMain(package::Package& package, std::vector<std::string> commandLine,
                         DirectIde directIde)
    : Form("BrenvoMain", kMainFrame),
      uiThread_(GetCurrentThreadId()),
      session_(package, *this, std::move(commandLine), directIde) {
    BrenvoMain = this;
    SetCaption(kApplicationTitle);
    SetClientSize(kMainClientWidth, kMainClientHeight);
    const engine::MainWindowTexts words = engine::MainWindowDesignWords();

    // The bevel comes first so that the status line and the bar lie on it.
    Bevel1 = AddStatic("Bevel1", {8, 84, 484, 49}, SS_ETCHEDFRAME | WS_CLIPSIBLINGS);
    Label1 =
        AddLabel("Label1", {12, 4, 0, 0}, true, false, Align::Left, kArial, kBlack, words.prompt);
    cboDrives = AddCombo("cboDrives", {8, 24, 374, 24}, ListFont(-13), 16);
    cmdUpdate = AddButton("cmdUpdate", {386, 24, 106, 25}, words.update, Tahoma(true));
    cmdClose = AddButton("cmdClose", {386, 52, 106, 25}, words.close, Tahoma(true));
    lblUpdateMsg = AddLabel("lblUpdateMsg", {11, 56, 0, 0}, true, false, Align::Left, kArial,
                            kBlack, words.updateMessage);
    lblOldFW = AddLabel("lblOldFW", {187, 56, 0, 0}, true, false, Align::Left, Tahoma(true), kNavy,
                        words.revision);
    lblTo = AddLabel("lblTo", {230, 56, 0, 0}, true, false, Align::Left, kArial, kBlack, words.to);
    lblNewFW = AddLabel("lblNewFW", {252, 56, 0, 0}, true, false, Align::Left, Tahoma(true), kNavy,
                        words.revision);
    lblMsg = AddLabel("lblMsg", {16, 92, 0, 0}, true, false, Align::Left, Tahoma(true), kNavy,
                      words.message);
    pbar = AddProgress("pbar", {16, 112, 429, 13});
    lblPercent = AddLabel("lblPercent", {448, 112, 0, 0}, true, false, Align::Left, Tahoma(true),
                          kNavy, words.percent);
    SetInitialFocus(cboDrives);

    OnChange(cboDrives, [this] { cboDrivesChange(); });
    OnClick(cmdUpdate, [this] { cmdUpdateClick(); });
    OnClick(cmdClose, [this] { cmdCloseClick(); });
    OnTimer(kProgressTimer, [this] { tmrTimer(); });

    session_.Start();
}

TBrenvoMain::~TBrenvoMain() {
    FormDestroy();
    if (BrenvoMain == this) BrenvoMain = nullptr;
}

void TBrenvoMain::Localise(int language) {
    if (language == kLanguageJapanese) {
        for (HWND label : {Label1, lblUpdateMsg, lblTo, lblMsg}) {
            FontSpec font = FontOf(label);
            font.face = "MS Gothic";
            font.charset = kShiftJisCharset;
            if (label == lblMsg) font.bold = false;
            SetFont(label, font);
        }
        for (HWND button : {cmdUpdate, cmdClose})
            SetFont(button, JapaneseFont(8));
    }
    const engine::MainWindowTexts words = engine::MainWindowWords(language);
    SetText(Label1, words.prompt);
    SetText(lblUpdateMsg, words.updateMessage);
    SetText(lblTo, words.to);
    SetText(lblMsg, words.message);
    SetText(cmdUpdate, words.update);
    SetText(cmdClose, words.close);
}

void TBrenvoMain::LayoutRevisionLine() {
    RECT message = Box(lblUpdateMsg);
    int left = message.left + message.right + kRevisionSpacing;
    for (HWND label : {lblOldFW, lblTo, lblNewFW}) {
        RECT box = Box(label);
        Move(label, left, message.top + message.bottom / 2 - box.bottom / 2);
        left += box.right + kRevisionSpacing;
    }
}

HWND TBrenvoMain::DialogOwner() const {
    return IsWindowVisible(Handle()) ? Handle() : nullptr;
}

// --- the window's events ---

void TBrenvoMain::FormShow() {
    if (session_.TerminateRequested()) return;
    ShowWindow(Handle(), SW_SHOW);
    LayoutRevisionLine();
    if (!session_.FirstShow()) return;
    CentreOnScreen();
    SetForegroundWindow(Handle());
    session_.Shown();
}

void TBrenvoMain::Painted() {
    session_.Painted();
}

void TBrenvoMain::cboDrivesChange() {
    session_.DriveChosen(static_cast<int>(SendMessageW(cboDrives, CB_GETCURSEL, 0, 0)));
}

void TBrenvoMain::CloseRequested() {
    // The title bar's close and Alt+F4: the session says whether the window may go now.
    session_.CloseAsked();
}

bool TBrenvoMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case kRunPostedTask:
            session_.RunPostedTask();
            return true;
        case kShowMessageBox:
            ShowRequest(*reinterpret_cast<const platform::MessageBoxRequest*>(lParam));
            return true;
        case kRunLater:
            session_.RunLater(static_cast<engine::Later>(wParam));
            return true;
        case WM_QUERYENDSESSION:
            // A shutdown or log-off now would cut the flash: say no while it is written.
            if (!flashing_) break;
            result = FALSE;
            return true;
        default:
            break;
    }
    return false;
}

void TBrenvoMain::SetFlashing(bool flashing) {
    using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
    using DestroyFn = BOOL(WINAPI*)(HWND);
    // Taken at run time: Windows before Vista has no shutdown block reasons.
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    flashing_ = flashing;
    if (flashing) {
        auto create = reinterpret_cast<CreateFn>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonCreate")));
        std::wstring reason =
            Wide(engine::Text(engine::UpdateText::ShutdownBlockReason, language_));
        if (create) create(Handle(), reason.c_str());
    } else {
        auto destroy = reinterpret_cast<DestroyFn>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonDestroy")));
        if (destroy) destroy(Handle());
    }
}

// --- engine::WindowDisplay ---

void TBrenvoMain::ApplyPackage(const std::string& caption, int language) {
    language_ = language;
    SetCaption(caption);
    Localise(language);
}

void TBrenvoMain::Message(engine::MessageKind kind, const std::string& text,
                          const std::string& caption) {
    Modal::Message(DialogOwner(), KindOf(kind), BoxCaption(caption), text);
}

bool TBrenvoMain::Question(const std::string& text, const std::string& caption,
                           engine::AskButtons buttons) {
    const bool yesNo = buttons != engine::AskButtons::OkCancel;
    int go = yesNo ? IDYES : IDOK;
    const UINT preset = buttons == engine::AskButtons::YesNoDefaultNo ? MB_DEFBUTTON2 : 0;
    return Modal::Message(DialogOwner(), MessageKind::Warning, BoxCaption(caption), text,
                          (yesNo ? MB_YESNO : MB_OKCANCEL) | preset) == go;
}

void TBrenvoMain::Dialog(const engine::DialogRequest& request) {
    const HWND owner = DialogOwner();
    switch (request.id) {
        case engine::DialogId::ShowMsg:
            return ShowForm<TShowMsg>(owner, request);
        case engine::DialogId::MostUpdate:
            return ShowForm<TMostUpdate>(owner, request);
        case engine::DialogId::UpdateCfm:
            return ShowForm<TUpdateCfm>(owner, request);
        case engine::DialogId::EjectDisc:
            return ShowForm<TEjectDisc>(owner, request);
        case engine::DialogId::InvalidUser:
            return ShowForm<TInvalidUser>(owner, request);
        case engine::DialogId::NoProperDrive:
            return ShowForm<TNoProperDrive>(owner, request);
        case engine::DialogId::Reboot:
            return ShowForm<TReboot>(owner, request);
        case engine::DialogId::RebootZulk:
            return ShowForm<TRebootZULK>(owner, request);
        case engine::DialogId::Recover:
            // The recovery is asked as a warning box with No preset (Question), not as a form.
            return;
    }
}

int TBrenvoMain::Unanswered() const {
    return Modal::Unanswered();
}

bool TBrenvoMain::AnswersNobody() const {
    return Modal::Unattended();
}

void TBrenvoMain::DrawDriveList(const std::vector<std::string>& lines) {
    SendMessageW(cboDrives, CB_RESETCONTENT, 0, 0);
    for (const std::string& line : lines)
        SendMessageW(cboDrives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
}

void TBrenvoMain::SelectDrive(int item) {
    SendMessageW(cboDrives, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}

void TBrenvoMain::DrawRevisionLine(const engine::RevisionLine& line) {
    EnableWindow(cmdUpdate, line.matched);
    for (HWND label : {lblNewFW, lblOldFW, lblTo})
        Show(label, line.matched);
    SetText(lblUpdateMsg, line.message);
    SetColour(lblUpdateMsg, RgbOf(line.messageColour));
    if (line.matched) {
        SetColour(lblTo, kBlack);
        SetText(lblNewFW, line.newRevision);
        SetText(lblOldFW, line.oldRevision);
    }
    LayoutRevisionLine();
}

void TBrenvoMain::DrawOldRevision(const std::string& text) {
    SetText(lblOldFW, text);
    LayoutRevisionLine();
}

void TBrenvoMain::DrawStatus(const std::string& text) {
    SetText(lblMsg, text);
}

void TBrenvoMain::DrawStatusColour(engine::Colour colour) {
    SetColour(lblMsg, RgbOf(colour));
}

void TBrenvoMain::DrawProgress(int position, int maximum) {
    SendMessageW(pbar, PBM_SETRANGE32, 0, maximum);
    SendMessageW(pbar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TBrenvoMain::DrawPercent(const std::string& text) {
    SetText(lblPercent, text);
}

void TBrenvoMain::EnableControls(bool update, bool close, bool driveList) {
    EnableWindow(cmdUpdate, update);
    EnableWindow(cmdClose, close);
    EnableWindow(cboDrives, driveList);
}

void TBrenvoMain::SetTimerRunning(bool running) {
    if (running) {
        SetTimer(Handle(), kProgressTimer, kProgressInterval, nullptr);
    } else {
        KillTimer(Handle(), kProgressTimer);
    }
}

void TBrenvoMain::Repaint() {
    UpdateWindow(Handle());
    // Input too: the Close button is how a user gets out of a tray loop that waits for a disc.
    PumpPending();
}

void TBrenvoMain::HideWindow() {
    ShowWindow(Handle(), SW_HIDE);
}

void TBrenvoMain::ShowOemWizard() {
    ShowWindow(Handle(), SW_HIDE);
    wizard_ = std::make_unique<TMainQV>(session_, Handle(), session_.CommandLine());
    wizard_->Show();
}

void TBrenvoMain::RunLater(engine::Later what) {
    PostMessageW(Handle(), kRunLater, static_cast<WPARAM>(what), 0);
}

void TBrenvoMain::EndLoop() {
    Quit();
}

bool TBrenvoMain::OnUiThread() const {
    return GetCurrentThreadId() == uiThread_;
}

void TBrenvoMain::WakeForPostedTask() {
    PostMessageW(Handle(), kRunPostedTask, 0, 0);
}

void TBrenvoMain::WaitForEvents() {
    PumpMessage(true);
}

void TBrenvoMain::BeforeEngineEnds() {
    wizard_.reset();
}

void InstallMessageBoxHandler() {
    const DWORD uiThread = GetCurrentThreadId();
    platform::SetMessageBoxHandler([uiThread](const platform::MessageBoxRequest& request) {
        if (GetCurrentThreadId() == uiThread || !BrenvoMain) {
            ShowRequest(request);
            return;
        }
        // A box is modal: the asking thread waits until it has been answered.
        SendMessageW(BrenvoMain->Handle(), kShowMessageBox, 0, reinterpret_cast<LPARAM>(&request));
    });
}

}  // namespace win32ui
