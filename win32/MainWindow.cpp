#include "win32/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include "engine/StartupTexts.h"
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

}  // namespace

TBrenvoMain::TBrenvoMain(package::Package& package, std::vector<std::string> commandLine,
                         DirectIde directIde)
    : Form("BrenvoMain", kMainFrame),
      package_(package),
      commandLine_(std::move(commandLine)),
      uiThread_(GetCurrentThreadId()) {
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

    // The caption and the language come from the package, so it is read before the window is
    // localised; start-up then reports a package it cannot use.
    engine_ = std::make_unique<engine::UpdateEngine>(package_, *this);
    SetCaption(engine_->ParsePackage().caption);
    Localise(Language());
    // A package whose checksum leaves its options and constraints out still runs: said once.
    if (const std::string& notice = engine_->ParsePackage().notice; !notice.empty())
        ShowMessage(engine::MessageKind::Information, notice, kApplicationTitle);
    if (directIde == DirectIde::SixtyFourBitWindows && engine_->ParsePackage().ok() &&
        package_.Options().directIde) {
        // Its flash driver would go to the folder WOW64 redirects this program to and load from
        // nowhere: refused before start-up installs it.
        directIdeRefused_ = true;
        ShowMessage(engine::MessageKind::Error, engine::SixtyFourBitWindowsText(Language()),
                    kApplicationTitle);
        RequestTerminate();
        return;
    }
    startResult_ = engine_->StartUp(engine::ParseCheckCommandLine(commandLine_));
    if (startResult_ == engine::StartEnd::Ready && !terminateRequested_) {
        // From here on only the Close button ends the program: the separator and Close go from
        // the system menu.
        HMENU menu = GetSystemMenu(Handle(), FALSE);
        RemoveMenu(menu, 5, MF_BYPOSITION);
        RemoveMenu(menu, 5, MF_BYPOSITION);
        closableFromTitleBar_ = false;
    }
}

TBrenvoMain::~TBrenvoMain() {
    FormDestroy();
    if (BrenvoMain == this) BrenvoMain = nullptr;
}

int TBrenvoMain::Language() const {
    return package_.Options().language;
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

bool TBrenvoMain::SelectedDriveMatched() const {
    const device::DriveRecord* record = engine_->ListedDrive(engine_->SelectedItem());
    return record && record->present && record->matched;
}

HWND TBrenvoMain::DialogOwner() const {
    return IsWindowVisible(Handle()) ? Handle() : nullptr;
}

// --- the window's events ---

void TBrenvoMain::FormShow() {
    if (terminateRequested_) return;
    ShowWindow(Handle(), SW_SHOW);
    LayoutRevisionLine();
    if (shownOnce_) return;
    shownOnce_ = true;
    CentreOnScreen();
    SetForegroundWindow(Handle());
    if (!engine_) return;
    if (scriptMode_ && !engine::ScriptNeedsNobody(engine_->Options(), commandLine_)) {
        // Nobody is there to choose a drive and press Update.
        PostMessageW(Handle(), kRefuseScript, 0, 0);
        return;
    }
    if (scriptMode_) engine_->EndAfterRun();
    // The unattended run starts once the window is on the screen. A start for the check after a
    // restart only checks: the drive was updated before the restart.
    if (engine_->Options().unattended && !engine::ParseCheckCommandLine(commandLine_).requested)
        PostMessageW(Handle(), kStartUnattended, 0, 0);
}

void TBrenvoMain::Painted() {
    if (handedOver_ || !engine_ || engine_->Options().uiVariant != 2) return;
    handedOver_ = true;
    // Hiding a window from inside its own paint is left to the next turn of the loop.
    PostMessageW(Handle(), kHandOver, 0, 0);
}

void TBrenvoMain::HandOverToOemWizard() {
    ShowWindow(Handle(), SW_HIDE);
    wizard_ = std::make_unique<TMainQV>(*this, Handle(), commandLine_);
    wizard_->Show();
}

void TBrenvoMain::FormDestroy() {
    KillTimer(Handle(), kProgressTimer);
    // A worker still flashing owns its drive and hands its end to this window, so the window
    // waits for it.
    while (engine_ && engine_->Running() > 0)
        PumpMessage(true);
    { std::lock_guard lock(posting_); }
    wizard_.reset();
    if (engine_) finalRun_ = engine_->LastRun();
    engine_.reset();
}

void TBrenvoMain::cboDrivesChange() {
    int item = static_cast<int>(SendMessageW(cboDrives, CB_GETCURSEL, 0, 0));
    if (item < 0 || !engine_) return;
    engine_->DrivesChange(item);
}

void TBrenvoMain::cmdUpdateClick() {
    if (!engine_) return;
    if (!engine_->Options().unattended && !SelectedDriveMatched()) return;
    engine_->UpdateClick();
}

void TBrenvoMain::cmdCloseClick() {
    // During a run the window stays: the run ends, then the program.
    if (engine_ && !engine_->RequestClose()) return;
    ShowWindow(Handle(), SW_HIDE);
    RequestTerminate();
}

void TBrenvoMain::CloseRequested() {
    // During a run the window stays, whoever asks it to close.
    if (engine_ && engine_->InRun()) return;
    if (closableFromTitleBar_) cmdCloseClick();
}

void TBrenvoMain::NoteUnanswered(int unansweredBefore) {
    if (Modal::Unanswered() > unansweredBefore) script_.questionUnanswered = true;
}

void TBrenvoMain::CheckEnded(engine::CheckOutcome outcome) {
    script_.check = outcome;
    if (scriptMode_) RequestTerminate();
}

int TBrenvoMain::ExitStatus() const {
    if (directIdeRefused_) return engine::kExitNo64BitDriver;
    return script_.Status(startResult_, engine_ ? engine_->LastRun() : finalRun_);
}

void TBrenvoMain::tmrTimer() {
    if (engine_) engine_->TimerTick();
}

void TBrenvoMain::showProgress(int percent) {
    if (GetCurrentThreadId() != uiThread_) {
        PostToUiThread([this, percent] { showProgress(percent); });
        return;
    }
    if (engine_) engine_->ShowProgress(percent);
}

void TBrenvoMain::showStatus(const std::string& text) {
    if (GetCurrentThreadId() != uiThread_) {
        PostToUiThread([this, text] { showStatus(text); });
        return;
    }
    if (engine_) engine_->ShowStatus(text);
}

void TBrenvoMain::ShowRevisionLine() {
    const engine::RevisionLine& line = engine_->Revisions();
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

bool TBrenvoMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case kRunPostedTask:
            RunPostedTask();
            return true;
        case kShowMessageBox:
            ShowRequest(*reinterpret_cast<const platform::MessageBoxRequest*>(lParam));
            return true;
        case kStartUnattended:
            cmdUpdateClick();
            return true;
        case kHandOver:
            HandOverToOemWizard();
            return true;
        case WM_QUERYENDSESSION:
            // A shutdown or log-off now would cut the flash: say no while it is written.
            if (!flashing_) break;
            result = FALSE;
            return true;
        case kRefuseScript:
            ShowMessage(engine::MessageKind::Error, engine::kScriptNeedsPersonText, "");
            RequestTerminate();
            return true;
        default:
            break;
    }
    static_cast<void>(wParam);
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
            Wide(engine::Text(engine::UpdateText::ShutdownBlockReason, Language()));
        if (create) create(Handle(), reason.c_str());
    } else {
        auto destroy = reinterpret_cast<DestroyFn>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonDestroy")));
        if (destroy) destroy(Handle());
    }
}

// --- engine::UpdateView ---

void TBrenvoMain::ShowMessage(engine::MessageKind kind, const std::string& text,
                              const std::string& caption) {
    Modal::Message(DialogOwner(), KindOf(kind), BoxCaption(caption), text);
    // In a script nobody takes a disc out or pushes a tray in: a warning of the tray loop ends
    // the loop, as it does on the console.
    if (kind == engine::MessageKind::Warning && Modal::Unattended()) warnedUnattended_ = true;
}

bool TBrenvoMain::Ask(const std::string& text, const std::string& caption,
                      engine::AskButtons buttons) {
    bool yesNo = buttons == engine::AskButtons::YesNo;
    int go = yesNo ? IDYES : IDOK;
    const int before = Modal::Unanswered();
    bool accepted = Modal::Message(DialogOwner(), MessageKind::Warning, BoxCaption(caption), text,
                                   yesNo ? MB_YESNO : MB_OKCANCEL) == go;
    NoteUnanswered(before);
    return accepted;
}

void TBrenvoMain::ShowNewerWarning(uint8_t* answer) {
    TShowMsg form(DialogOwner());
    form.SetAnswerFlag(answer);
    form.ApplyLanguage(Language(), engine_->Options().uiVariant);
    const int before = Modal::Unanswered();
    Modal::Show(form, DialogOwner());
    NoteUnanswered(before);
}

void TBrenvoMain::ShowMostUpdate() {
    TMostUpdate form(DialogOwner());
    form.ApplyLanguage(Language());
    Modal::Show(form, DialogOwner());
}

void TBrenvoMain::ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                                    const std::string& newRevision) {
    TUpdateCfm form(DialogOwner());
    form.SetAnswerFlag(answer);
    form.SetText(form.lblOldFW, oldRevision);
    form.SetText(form.lblNewFW, newRevision);
    form.ApplyLanguage(Language());
    const int before = Modal::Unanswered();
    Modal::Show(form, DialogOwner());
    NoteUnanswered(before);
}

void TBrenvoMain::ShowEjectDisc(uint8_t* answer) {
    TEjectDisc form(DialogOwner());
    form.SetAnswerFlag(answer);
    form.ApplyLanguage(Language());
    const int before = Modal::Unanswered();
    Modal::Show(form, DialogOwner());
    NoteUnanswered(before);
}

void TBrenvoMain::ShowInvalidUser() {
    TInvalidUser form(DialogOwner());
    form.ApplyLanguage(Language());
    Modal::Show(form, DialogOwner());
}

void TBrenvoMain::ShowNoProperDrive() {
    TNoProperDrive form(DialogOwner());
    form.ApplyLanguage(Language());
    Modal::Show(form, DialogOwner());
}

void TBrenvoMain::ShowReboot() {
    TReboot form(DialogOwner());
    form.ApplyLanguage(Language());
    Modal::Show(form, DialogOwner());
}

void TBrenvoMain::ShowRebootZulk() {
    TRebootZULK form(DialogOwner());
    form.ApplyLanguage(Language());
    Modal::Show(form, DialogOwner());
}

void TBrenvoMain::SetStatus(const std::string& text) {
    SetText(lblMsg, text);
}

void TBrenvoMain::SetStatusColour(engine::Colour colour) {
    SetColour(lblMsg, RgbOf(colour));
}

void TBrenvoMain::SetProgress(int position, int maximum) {
    SendMessageW(pbar, PBM_SETRANGE32, 0, maximum);
    SendMessageW(pbar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TBrenvoMain::SetPercent(const std::string& text) {
    SetText(lblPercent, text);
}

void TBrenvoMain::SetButtons(bool updateEnabled, bool closeEnabled) {
    // Update stays off while the selected drive is one the package may not update.
    EnableWindow(cmdUpdate, updateEnabled && SelectedDriveMatched());
    EnableWindow(cmdClose, closeEnabled);
    // While workers flash, the selection stays.
    EnableWindow(cboDrives, engine_->Running() == 0);
}

void TBrenvoMain::SetOldRevision(const std::string& text) {
    SetText(lblOldFW, text);
    LayoutRevisionLine();
}

void TBrenvoMain::SetTimerRunning(bool running) {
    if (running) {
        SetTimer(Handle(), kProgressTimer, kProgressInterval, nullptr);
    } else {
        KillTimer(Handle(), kProgressTimer);
    }
}

void TBrenvoMain::DriveListChanged() {
    const std::vector<std::string>& lines = engine_->ListLines();
    int count = static_cast<int>(SendMessageW(cboDrives, CB_GETCOUNT, 0, 0));
    bool same = count == static_cast<int>(lines.size());
    for (int item = 0; same && item < count; ++item) {
        int length = static_cast<int>(SendMessageW(cboDrives, CB_GETLBTEXTLEN, item, 0));
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(cboDrives, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        same = text == Wide(lines[static_cast<size_t>(item)]);
    }
    // A new selection alone leaves the list as it is, open or not.
    if (!same) {
        SendMessageW(cboDrives, CB_RESETCONTENT, 0, 0);
        for (const std::string& line : lines)
            SendMessageW(cboDrives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
    }
    SendMessageW(cboDrives, CB_SETCURSEL, static_cast<WPARAM>(engine_->SelectedItem()), 0);
    ShowRevisionLine();
}

void TBrenvoMain::Repaint() {
    UpdateWindow(Handle());
    // Input too: the Close button is how a user gets out of a tray loop that waits for a disc.
    PumpPending();
}

bool TBrenvoMain::StopRequested() {
    return terminateRequested_ || warnedUnattended_;
}

void TBrenvoMain::RequestTerminate() {
    terminateRequested_ = true;
    Quit();
}

void TBrenvoMain::PostToUiThread(std::function<void()> task) {
    // The task travels through a queue guarded by a standard mutex; the window's queue only
    // carries the wake-up. Posting and waking are one step: the window's end waits for a worker
    // inside it.
    std::lock_guard lock(posting_);
    posted_.Post(std::move(task));
    PostMessageW(Handle(), kRunPostedTask, 0, 0);
}

void TBrenvoMain::RunPostedTask() {
    if (auto task = posted_.Next(std::chrono::steady_clock::time_point::min())) task();
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
