#include "win32/Wizard.h"

#include <commctrl.h>

#include <algorithm>

#include "device/SystemInfo.h"
#include "engine/WindowTexts.h"
#include "win32/MainWindow.h"
#include "win32/Modal.h"

namespace win32ui {

namespace {

constexpr DWORD kWizardFrame = WS_OVERLAPPED | WS_CAPTION;
constexpr UINT_PTR kPollTimer = 1;
constexpr int kPollInterval = 1000;
constexpr int kTextLeft = 146;
constexpr int kRightMargin = 6;

// "MS Sans Serif" at height -12, Big5.
const FontSpec kWizardFont{"MS Sans Serif", -12, false, false, kBig5Charset};
const FontSpec kListFont = ListFont(-12, kBig5Charset);

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

// One of the logo strip's pictures (a disc, the maker's name, a drive), or the result page's
// check mark.
HBITMAP Picture(int part, int width, int height) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldPicture = SelectObject(dc, picture);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(part == 3 ? NULL_BRUSH : WHITE_BRUSH)));
    if (part == 3) FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    const COLORREF blue = RGB(0x1f, 0x4e, 0x9c);
    HPEN pen = CreatePen(PS_SOLID, part == 3 ? 5 : 1, part == 3 ? RGB(0x20, 0xa0, 0x30) : blue);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    if (part == 0) {
        HBRUSH face = CreateSolidBrush(RGB(0x9f, 0xb8, 0xe0));
        HGDIOBJ oldBrush = SelectObject(dc, face);
        Ellipse(dc, 18, 9, 94, 85);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Ellipse(dc, 49, 40, 63, 54);
        SelectObject(dc, oldBrush);
        DeleteObject(face);
    } else if (part == 1) {
        SetBkMode(dc, TRANSPARENT);
        HFONT name =
            CreateFontW(-17, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, L"Tahoma");
        HGDIOBJ oldFont = SelectObject(dc, name);
        SetTextColor(dc, blue);
        RECT line{0, 22, width, 48};
        DrawTextW(dc, L"QUORVANT", -1, &line, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        HFONT small =
            CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, L"Tahoma");
        SelectObject(dc, small);
        SetTextColor(dc, RGB(0x80, 0x80, 0x80));
        RECT second{0, 50, width, 68};
        DrawTextW(dc, L"Firmware Update", -1, &second, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
        DeleteObject(name);
        DeleteObject(small);
    } else if (part == 2) {
        HBRUSH body = CreateSolidBrush(RGB(0xd8, 0xd8, 0xd8));
        HGDIOBJ oldBrush = SelectObject(dc, body);
        RoundRect(dc, 14, 30, 98, 60, 6, 6);
        HBRUSH slot = CreateSolidBrush(RGB(0x50, 0x50, 0x50));
        RECT tray{22, 40, 78, 44};
        FillRect(dc, &tray, slot);
        HBRUSH lamp = CreateSolidBrush(RGB(0x30, 0xc0, 0x40));
        SelectObject(dc, lamp);
        Ellipse(dc, 85, 47, 91, 53);
        SelectObject(dc, oldBrush);
        DeleteObject(body);
        DeleteObject(slot);
        DeleteObject(lamp);
    } else {
        POINT tick[] = {{6, 16}, {13, 24}, {26, 8}};
        Polyline(dc, tick, 3);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    SelectObject(dc, oldPicture);
    DeleteDC(dc);
    return picture;
}

}  // namespace

TMainQV::TMainQV(TBrenvoMain& main, const std::vector<std::string>& commandLine)
    : Form("MainQV", kWizardFrame, main.Handle()), main_(main) {
    SetClientSize(kWizardClientWidth, kWizardClientHeight);

    panLogo = AddStatic("panLogo", {8, 10, 113, 257}, SS_WHITERECT | WS_BORDER | WS_CLIPSIBLINGS);
    HWND* logos[] = {&imgLogo1, &imgLogo2, &imgLogo3};
    const char* logoNames[] = {"imgLogo1", "imgLogo2", "imgLogo3"};
    for (int part = 0; part < 3; ++part) {
        // Inside the panel's border; the last picture is cut at the bottom.
        int top = 10 + 1 + part * 94;
        int height = std::min(94, 10 + 257 - 1 - top);
        HBITMAP picture = Picture(part, 112, 94);
        pictures_.push_back(picture);
        *logos[part] = AddStatic(logoNames[part], {9, top, 111, height}, SS_BITMAP);
        SendMessageW(*logos[part], STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
        // A picture sizes its static to itself; the strip keeps its place.
        SetWindowPos(*logos[part], HWND_TOP, 9, top, 111, height, SWP_NOACTIVATE);
    }

    lblMessage = AddLabel("lblMessage", {kTextLeft, 30, 0, 0}, true, false, Align::Left,
                          kWizardFont, kBlack, "");
    lblVersion = AddLabel("lblVersion", {330, 10, 0, 0}, true, false, Align::Left, kWizardFont,
                          kBlack, engine::kWizardVersionText);
    lblOldFW = AddLabel("lblOldFW", {185, 103, 0, 0}, true, false, Align::Left, kWizardFont,
                        kHotLight, "");
    lblNewFW = AddLabel("lblNewFW", {270, 103, 0, 0}, true, false, Align::Left, kWizardFont,
                        kHotLight, "");
    imgRedx = AddIcon("imgRedx", {144, 32, 32, 32}, IDI_ERROR);
    HBITMAP check = Picture(3, 32, 32);
    pictures_.push_back(check);
    imgCheck = AddStatic("imgCheck", {144, 32, 32, 32}, SS_BITMAP);
    SendMessageW(imgCheck, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(check));
    cboDrives = AddCombo("cboDrives", {146, 49, 290, 20}, kListFont, 12);
    pbar = AddProgress("pbar", {146, 220, 290, 13});
    memShowMsg = AddMemo("memShowMsg", {146, 128, 290, 113}, kWizardFont);
    btnBack = AddButton("btnBack", {193, 247, 75, 20}, "< &Back", kWizardFont);
    btnNext = AddButton("btnNext", {268, 247, 75, 20}, "&Next >", kWizardFont);
    btnCancel = AddButton("btnCancel", {360, 247, 75, 20}, engine::kWizardCancel, kWizardFont);
    // Next is first in the tab order: Enter or Space on a fresh page moves the user on. The
    // wizard has no default button: Enter presses the button that has the focus.
    SetWindowPos(btnNext, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetInitialFocus(btnNext);
    FitPageTexts();

    OnClick(btnNext, [this] { btnNextClick(); });
    OnClick(btnBack, [this] { btnBackClick(); });
    OnClick(btnCancel, [this] { btnCancelClick(); });
    OnChange(cboDrives, [this] { cboDrivesChange(); });
    OnTimer(kPollTimer, [this] { tmrT1Timer(); });
    SetTimer(Handle(), kPollTimer, kPollInterval, nullptr);

    FormCreate(commandLine);
}

TMainQV::~TMainQV() {
    KillTimer(Handle(), kPollTimer);
    for (HBITMAP picture : pictures_)
        DeleteObject(picture);
}

void TMainQV::Show() {
    ShowWindow(Handle(), SW_SHOW);
    if (!shownOnce_) {
        shownOnce_ = true;
        CentreOnScreen();
    }
    SetForegroundWindow(Handle());
}

void TMainQV::FitPageTexts() {
    // The faces standing in for MS Sans Serif may set wider than it: the form grows to the widest
    // line of its pages, and what sat at the right edge stays there.
    HDC dc = GetDC(lblMessage);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(lblMessage, WM_GETFONT, 0, 0)));
    auto width = [dc](const std::string& text) {
        std::wstring wide = Wide(text);
        SIZE size{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return static_cast<int>(size.cx);
    };
    int widest = 0;
    for (const char* text : {engine::kWizardWelcomeText, engine::kWizardDriveText,
                             engine::kWizardWaitingText, engine::kWizardCompleteText})
        for (const std::string& line : SplitLines(text))
            widest = std::max(widest, width(line));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const std::string gapLine = SplitLines(engine::kWizardDriveText).back();
    const size_t toVersion = gapLine.find(" to version");
    const int oldAt = kTextLeft + width("version ");
    const int newAt = kTextLeft + width(gapLine.substr(0, toVersion) + " to version ");
    SelectObject(dc, old);
    ReleaseDC(lblMessage, dc);

    const int extra = std::max(0, kTextLeft + widest + kRightMargin - kWizardClientWidth);
    SetClientSize(kWizardClientWidth + extra, kWizardClientHeight);
    for (HWND control : {btnBack, btnNext, btnCancel}) {
        RECT box = Box(control);
        Move(control, box.left + extra, box.top);
    }
    for (HWND control : {cboDrives, pbar, memShowMsg}) {
        RECT box = Box(control);
        Resize(control, box.right + extra, control == cboDrives ? box.bottom : box.bottom);
    }
    // The revisions fill the gaps of the drive text's last line, wherever this face puts them.
    const int lastLine = 30 + 6 * metrics.tmHeight;
    Move(lblOldFW, oldAt, lastLine);
    Move(lblNewFW, newAt, lastLine);
}

// --- the page steps ---

void TMainQV::SetButton(HWND button, engine::WizardButton state, const char* text) {
    SetText(button, text);
    Form::Show(button, state != engine::WizardButton::Hidden);
    EnableWindow(button, state == engine::WizardButton::Shown);
}

void TMainQV::SetLook(const engine::WizardLook& look) {
    page = look.page;
    Form::Show(lblVersion, look.version);
    for (HWND control : {lblOldFW, lblNewFW, cboDrives})
        Form::Show(control, look.drive);
    Form::Show(pbar, look.bar);
    SetButton(btnBack, look.back, engine::kWizardBack);
    SetButton(btnNext, look.next, look.nextText);
    SetButton(btnCancel, look.cancel, look.cancelText);
    Move(lblMessage, look.messageLeft, look.messageTop);
    SetText(lblMessage, look.message);
    // The result page decides these by the outcome.
    for (HWND control : {imgRedx, imgCheck, memShowMsg})
        Form::Show(control, false);
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TMainQV::ShowWelcomePage() {
    SetLook(engine::WizardPageLook(kWelcomePage));
}

void TMainQV::ShowDrivePage() {
    SetLook(engine::WizardPageLook(kDrivePage));
    SendMessageW(cboDrives, CB_RESETCONTENT, 0, 0);
    int count = static_cast<int>(SendMessageW(main_.cboDrives, CB_GETCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        int length = static_cast<int>(SendMessageW(main_.cboDrives, CB_GETLBTEXTLEN, item, 0));
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(main_.cboDrives, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
        SendMessageW(cboDrives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(cboDrives, CB_SETCURSEL, SendMessageW(main_.cboDrives, CB_GETCURSEL, 0, 0), 0);
    CopyVersions();
}

namespace {
std::string TextOf(HWND control) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    return Utf8(text);
}
}  // namespace

void TMainQV::CopyVersions() {
    SetText(lblOldFW, TextOf(main_.lblOldFW));
    SetText(lblNewFW, TextOf(main_.lblNewFW));
    EnableWindow(btnNext, IsWindowEnabled(main_.cmdUpdate));
}

void TMainQV::ShowProgressPage() {
    SetLook(engine::WizardPageLook(kProgressPage));
    // Returns once the worker runs, or when the run has ended the program.
    main_.cmdUpdateClick();
    if (main_.TerminateRequested()) return;
    PBRANGE range{};
    SendMessageW(main_.pbar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    SendMessageW(pbar, PBM_SETRANGE32, static_cast<WPARAM>(range.iLow), range.iHigh);
    SetTimer(Handle(), kPollTimer, kPollInterval, nullptr);
}

void TMainQV::ShowCompletePage() {
    SetLook(engine::WizardPageLook(kCompletePage));
}

void TMainQV::ShowVerifyPage() {
    SetLook(engine::WizardPageLook(kVerifyPage));
    engine::CheckRequest request;
    request.requested = true;
    request.driveIndex = checkDriveIndex;
    request.expected = expectedVersion;
    ShowResultPage(engine::VerifyUpdate(main_.Engine(), request));
}

void TMainQV::ShowResultPage(const engine::CheckResult& result) {
    SetLook(engine::WizardPageLook(kResultPage));
    SetText(lblMessage, result.message);
    bool matches = result.outcome == engine::CheckOutcome::Matches;
    Form::Show(imgCheck, matches);
    Form::Show(imgRedx, !matches);
    std::string memo;
    for (const std::string& line : result.memo)
        memo += (memo.empty() ? "" : "\n") + line;
    SetText(memShowMsg, memo);
    Form::Show(memShowMsg, !result.memo.empty());
    main_.CheckEnded(result.outcome);
}

// --- the form's events ---

void TMainQV::FormCreate(const std::vector<std::string>& commandLine) {
    SetCaption(main_.Caption());
    engine::CheckRequest request = engine::ParseCheckCommandLine(commandLine);
    if (request.requested) {
        checkDriveIndex = request.driveIndex;
        expectedVersion = request.expected;
        ShowVerifyPage();
        return;
    }
    page = kNoPage;
    ShowWelcomePage();
}

bool TMainQV::AskInEnglish(const std::string& text) {
    return Modal::Message(Handle(), MessageKind::Confirmation, Caption(), text, MB_YESNO) == IDYES;
}

void TMainQV::btnNextClick() {
    Take(engine::WizardNext(page));
}

void TMainQV::btnBackClick() {
    Take(engine::WizardBack(page));
}

void TMainQV::btnCancelClick() {
    Take(engine::WizardCancel(page));
}

void TMainQV::Take(engine::WizardStep step) {
    switch (step) {
        case engine::WizardStep::WelcomePage:
            ShowWelcomePage();
            break;
        case engine::WizardStep::DrivePage:
            ShowDrivePage();
            break;
        case engine::WizardStep::AskToUpdate:
            if (AskInEnglish(engine::WizardUpdateQuestion(TextOf(lblNewFW)))) ShowProgressPage();
            break;
        case engine::WizardStep::AskToCancel:
            ConfirmCancel();
            break;
        case engine::WizardStep::ShutDown:
            ShutDown();
            break;
        case engine::WizardStep::Finish:
            EndProgram();
            break;
        case engine::WizardStep::Nothing:
            break;
    }
}

bool TMainQV::Flashing() const {
    return main_.Engine().Running() > 0;
}

void TMainQV::CloseRequested() {
    if (page == kProgressPage) {
        // Before the flash, the cancel question is the way out; it ends the program.
        ConfirmCancel();
        return;
    }
    EndProgram();
}

void TMainQV::EndProgram() {
    Close();
    main_.cmdCloseClick();
}

void TMainQV::ConfirmCancel() {
    // A flash that has started runs to its end: stopping it would leave the drive half written.
    if (Flashing()) return;
    if (AskInEnglish(engine::kWizardCancelQuestion)) EndProgram();
}

void TMainQV::ShutDown() {
    if (!device::RebootSystem(device::OSInfo())) {
        Modal::Message(Handle(), MessageKind::Warning, Caption(), engine::kWizardRebootRefused);
        return;
    }
    // The system ends every program on its way down; the emulated PC leaves that to us.
    EndProgram();
}

void TMainQV::cboDrivesChange() {
    SendMessageW(main_.cboDrives, CB_SETCURSEL, SendMessageW(cboDrives, CB_GETCURSEL, 0, 0), 0);
    main_.cboDrivesChange();
    CopyVersions();
}

void TMainQV::tmrT1Timer() {
    PBRANGE range{};
    SendMessageW(main_.pbar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    SendMessageW(pbar, PBM_SETRANGE32, static_cast<WPARAM>(range.iLow), range.iHigh);
    SendMessageW(pbar, PBM_SETPOS, SendMessageW(main_.pbar, PBM_GETPOS, 0, 0), 0);
    if (main_.Engine().Updated()) ShowCompletePage();
}

}  // namespace win32ui
