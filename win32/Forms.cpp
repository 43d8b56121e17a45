#include "win32/Forms.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "engine/FormKeys.h"

namespace win32ui {

namespace {

constexpr wchar_t kFormClass[] = L"BrenvoForm";

// Windows' labels break lines at "\r\n".
std::wstring WindowsLines(const std::string& text) {
    std::string lines;
    for (char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    return Wide(lines);
}

void RegisterFormClass() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    // The program's own icon (resource 1), or the system's where a program carries none.
    windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    if (!windowClass.hIcon) windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.lpszClassName = kFormClass;
    RegisterClassExW(&windowClass);
}

HFONT MakeFont(const FontSpec& font) {
    return CreateFontW(font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                       font.underline ? TRUE : FALSE, FALSE, static_cast<BYTE>(font.charset),
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       font.fixedPitch ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE,
                       Wide(font.face).c_str());
}

bool quitting = false;

}  // namespace

int HeightOfPoints(int points) {
    return -MulDiv(points, 96, 72);
}

FontSpec JapaneseFont(int points) {
    return {"MS Gothic", HeightOfPoints(points), false, false, kShiftJisCharset};
}

Form::Form(const char* name, DWORD style, HWND owner) : name_(name) {
    RegisterFormClass();
    hwnd_ = CreateWindowExW(0, kFormClass, Wide(name).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            200, 100, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Form::Procedure));
}

Form::~Form() {
    for (const auto& [id, handler] : timers_)
        KillTimer(hwnd_, id);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    for (auto& [control, info] : controls_)
        if (info.handle) DeleteObject(info.handle);
    if (formFont_) DeleteObject(formFont_);
}

Form* Form::Of(HWND window) {
    HWND root = GetAncestor(window, GA_ROOT);
    if (!root) return nullptr;
    wchar_t className[32] = {};
    GetClassNameW(root, className, 32);
    if (std::wstring(className) != kFormClass) return nullptr;
    return reinterpret_cast<Form*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

void Form::SetClientSize(int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetOuterSize(int width, int height) {
    SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE Form::ClientSize() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return {client.right, client.bottom};
}

void Form::SetCaption(const std::string& text) {
    SetWindowTextW(hwnd_, Wide(text).c_str());
}

std::string Form::Caption() const {
    wchar_t text[512] = {};
    GetWindowTextW(hwnd_, text, 512);
    return Utf8(text);
}

void Form::CentreOnScreen() {
    RECT frame{};
    GetWindowRect(hwnd_, &frame);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int left = work.left + (work.right - work.left - (frame.right - frame.left)) / 2;
    int top = work.top + (work.bottom - work.top - (frame.bottom - frame.top)) / 2;
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::CentreOn(HWND owner) {
    if (!owner || !IsWindowVisible(owner)) {
        CentreOnScreen();
        return;
    }
    RECT frame{}, around{};
    GetWindowRect(hwnd_, &frame);
    GetWindowRect(owner, &around);
    int left = around.left + (around.right - around.left - (frame.right - frame.left)) / 2;
    int top = around.top + (around.bottom - around.top - (frame.bottom - frame.top)) / 2;
    SetWindowPos(hwnd_, nullptr, std::max(0, left), std::max(0, top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::FitContents() {
    constexpr int kRightMargin = 6;
    SIZE client = ClientSize();
    int needed = client.cx;
    for (HWND control : order_) {
        if (!(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE)) continue;
        RECT box = Box(control);
        needed = std::max<int>(needed, box.left + box.right + kRightMargin);
    }
    if (needed > client.cx) SetClientSize(needed, client.cy);
}

HWND Form::Control(const std::string& name) const {
    for (const auto& [control, info] : controls_)
        if (info.name == name) return control;
    return nullptr;
}

HWND Form::Add(const char* name, const wchar_t* windowClass, DWORD style, RECT box, HWND parent) {
    HWND control = CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, box.left,
                                   box.top, box.right, box.bottom, parent ? parent : hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)),
                                   GetModuleHandleW(nullptr), nullptr);
    ControlInfo& info = controls_[control];
    info.name = name;
    info.design = box;
    order_.push_back(control);
    return control;
}

HWND Form::AddLabel(const char* name, RECT box, bool autoSize, bool wordWrap, Align align,
                    const FontSpec& font, COLORREF colour, const std::string& text, HWND parent) {
    DWORD style = align == Align::Centre  ? SS_CENTER
                  : align == Align::Right ? SS_RIGHT
                  : wordWrap              ? SS_LEFT
                                          : SS_LEFTNOWORDWRAP;
    HWND control = Add(name, L"STATIC", style, box, parent);
    ControlInfo& info = controls_[control];
    info.label = true;
    info.autoSize = autoSize;
    info.wordWrap = wordWrap;
    info.align = align;
    SetFont(control, font);
    SetColour(control, colour);
    SetText(control, text);
    return control;
}

HWND Form::AddButton(const char* name, RECT box, const std::string& text, const FontSpec& font) {
    HWND control = Add(name, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, box, nullptr);
    SetFont(control, font);
    SetText(control, text);
    return control;
}

HWND Form::AddCombo(const char* name, RECT box, const FontSpec& font, int itemHeight) {
    // The drop-down part is part of the window's height.
    RECT withList{box.left, box.top, box.right, box.bottom + 200};
    HWND control =
        Add(name, L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, withList, nullptr);
    controls_[control].design = box;
    SetFont(control, font);
    SendMessageW(control, CB_SETITEMHEIGHT, 0, itemHeight);
    return control;
}

HWND Form::AddProgress(const char* name, RECT box) {
    HWND control = Add(name, PROGRESS_CLASSW, PBS_SMOOTH, box, nullptr);
    SendMessageW(control, PBM_SETRANGE32, 0, 100);
    return control;
}

HWND Form::AddGroup(const char* name, RECT box) {
    // A static frame: children placed on it keep the form as their parent, offset by its place.
    return Add(name, L"BUTTON", BS_GROUPBOX | WS_CLIPSIBLINGS, box, nullptr);
}

HWND Form::AddStatic(const char* name, RECT box, DWORD style) {
    return Add(name, L"STATIC", style, box, nullptr);
}

HWND Form::AddMemo(const char* name, RECT box, const FontSpec& font) {
    HWND control =
        Add(name, L"EDIT", WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
            box, nullptr);
    SetFont(control, font);
    return control;
}

HWND Form::AddIcon(const char* name, RECT box, LPCWSTR icon) {
    HWND control = Add(name, L"STATIC", SS_ICON, box, nullptr);
    SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
    return control;
}

void Form::SetFont(HWND control, const FontSpec& font) {
    ControlInfo& info = controls_[control];
    HFONT old = info.handle;
    info.font = font;
    info.handle = MakeFont(font);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(info.handle), TRUE);
    if (old) DeleteObject(old);
    if (info.label) FitLabel(control);
}

const FontSpec& Form::FontOf(HWND control) const {
    return controls_.at(control).font;
}

void Form::SetText(HWND control, const std::string& text) {
    SetWindowTextW(control, WindowsLines(text).c_str());
    auto it = controls_.find(control);
    if (it != controls_.end() && it->second.label) FitLabel(control);
}

void Form::SetColour(HWND control, COLORREF colour) {
    ControlInfo& info = controls_[control];
    info.colour = colour;
    info.coloured = true;
    InvalidateRect(control, nullptr, TRUE);
}

void Form::FitLabel(HWND control) {
    ControlInfo& info = controls_[control];
    int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, info.handle);
    RECT bounds{0, 0, info.autoSize ? 0 : info.design.right, 0};
    UINT format = DT_CALCRECT | DT_NOCLIP | ((info.wordWrap && !info.autoSize) ? DT_WORDBREAK : 0);
    if (text.empty()) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        bounds.right = 0;
        bounds.bottom = metrics.tmHeight;
    } else {
        DrawTextW(dc, text.c_str(), length, &bounds, format);
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT box = Box(control);
    int width = info.autoSize ? bounds.right : std::max<int>(info.design.right, bounds.right);
    int height = info.autoSize ? bounds.bottom : std::max<int>(info.design.bottom, bounds.bottom);
    int left = box.left;
    if (!info.autoSize && width > info.design.right) {
        if (info.align == Align::Centre) left = info.design.left - (width - info.design.right) / 2;
        if (info.align == Align::Right) left = info.design.left - (width - info.design.right);
    }
    SetWindowPos(control, nullptr, left, box.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(control, nullptr, TRUE);
}

RECT Form::Box(HWND control) const {
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    return {box.left, box.top, box.right - box.left, box.bottom - box.top};
}

void Form::Move(HWND control, int left, int top) {
    SetWindowPos(control, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    auto it = controls_.find(control);
    if (it != controls_.end()) {
        it->second.design.left = left;
        it->second.design.top = top;
    }
}

void Form::Resize(HWND control, int width, int height) {
    SetWindowPos(control, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Show(HWND control, bool visible) {
    ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

void Form::OnClick(HWND control, std::function<void()> handler) {
    controls_[control].handler = std::move(handler);
}

void Form::OnChange(HWND combo, std::function<void()> handler) {
    controls_[combo].handler = std::move(handler);
}

void Form::OnTimer(UINT_PTR id, std::function<void()> handler) {
    timers_[id] = std::move(handler);
}

void Form::Click(HWND button) {
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return;
    auto it = controls_.find(button);
    if (it != controls_.end() && it->second.handler) {
        auto handler = it->second.handler;
        handler();
    }
}

bool Form::Key(WPARAM key, HWND target) {
    if (key != VK_RETURN && key != VK_ESCAPE) return false;
    // A push button of this form that has the focus.
    HWND focused = nullptr;
    if (target && controls_.count(target)) {
        wchar_t className[16] = {};
        GetClassNameW(target, className, 16);
        LONG kind = GetWindowLongW(target, GWL_STYLE) & BS_TYPEMASK;
        if (_wcsicmp(className, L"Button") == 0 &&
            (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON))
            focused = target;
    }
    HWND pressed =
        engine::ButtonForKey(key == VK_RETURN ? engine::FormKey::Enter : engine::FormKey::Escape,
                             focused, defaultButton_, escapeButton_);
    if (pressed) Click(pressed);
    return true;
}

void Form::Close() {
    closed_ = true;
    ShowWindow(hwnd_, SW_HIDE);
    // Wakes a modal loop waiting for this form.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool Form::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CALLBACK Form::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    if (form->HandleMessage(message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_COMMAND: {
            auto control = reinterpret_cast<HWND>(lParam);
            auto it = form->controls_.find(control);
            if (it == form->controls_.end() || !it->second.handler) break;
            int code = HIWORD(wParam);
            if (code == BN_CLICKED || code == CBN_SELCHANGE) {
                auto handler = it->second.handler;
                handler();
            }
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            auto control = reinterpret_cast<HWND>(lParam);
            auto it = form->controls_.find(control);
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkMode(dc, TRANSPARENT);
            if (it != form->controls_.end() && it->second.coloured)
                SetTextColor(dc, it->second.colour);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_TIMER: {
            auto it = form->timers_.find(wParam);
            if (it != form->timers_.end()) {
                auto handler = it->second;
                handler();
            }
            return 0;
        }
        case WM_PAINT: {
            LRESULT painted = DefWindowProcW(hwnd, message, wParam, lParam);
            form->Painted();
            return painted;
        }
        case WM_CLOSE:
            form->CloseRequested();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && GetAncestor(focus, GA_ROOT) == hwnd) form->focus_ = focus;
            } else if (form->focus_) {
                SetFocus(form->focus_);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// --- the loop ---

void Quit() {
    quitting = true;
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

bool Quitting() {
    return quitting;
}

void ResetQuit() {
    quitting = false;
}

bool PumpMessage(bool wait) {
    MSG message{};
    if (wait) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            quitting = true;
            return false;
        }
    } else if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (message.message == WM_QUIT) {
        quitting = true;
        return false;
    }
    if (message.hwnd && (message.message == WM_KEYDOWN) &&
        (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
        // A dropped-down list takes its own keys.
        wchar_t className[32] = {};
        GetClassNameW(GetFocus(), className, 32);
        bool listOpen = std::wstring(className) == L"ComboBox" &&
                        SendMessageW(GetFocus(), CB_GETDROPPEDSTATE, 0, 0);
        Form* form = Form::Of(message.hwnd);
        if (!listOpen && form && form->Key(message.wParam, message.hwnd)) return true;
    }
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && Form::Of(root) && IsDialogMessageW(root, &message)) return true;
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
}

void PumpPending() {
    while (!quitting && PumpMessage(false)) {
    }
}

void RunLoop() {
    while (!quitting)
        PumpMessage(true);
}

void RunModal(Form& form, HWND owner) {
    form.FitContents();
    bool ownerEnabled = owner && IsWindowEnabled(owner);
    if (ownerEnabled) EnableWindow(owner, FALSE);
    ShowWindow(form.Handle(), SW_SHOW);
    SetForegroundWindow(form.Handle());
    while (!form.Closed() && !quitting)
        PumpMessage(true);
    if (ownerEnabled) EnableWindow(owner, TRUE);
    if (!form.Closed()) ShowWindow(form.Handle(), SW_HIDE);
    if (owner && IsWindowVisible(owner)) SetForegroundWindow(owner);
}

}  // namespace win32ui
