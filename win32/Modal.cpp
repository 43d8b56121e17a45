#include "win32/Modal.h"

#include <algorithm>
#include <string>

namespace win32ui {

namespace {

// A message box keeps the lines of its text as they were given: the system lays the text out in
// the width of the box's text control, which is narrower than the notice's and the checklist's
// lines. The box's own window procedure is wrapped, and the control made wide just before the box
// measures its text (the box then takes the width of the longest line).
constexpr int kMessageTextId = 0xFFFF;
constexpr int kWineMessageTextId = 100;
constexpr int kMessageTextWidth = 1200;
WNDPROC boxProcedure = nullptr;

LRESULT CALLBACK WideTextBox(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        for (int id : {kMessageTextId, kWineMessageTextId}) {
            HWND text = GetDlgItem(box, id);
            if (!text) continue;
            RECT size{};
            GetClientRect(text, &size);
            SetWindowPos(text, nullptr, 0, 0, std::max<int>(size.right, kMessageTextWidth),
                         size.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return CallWindowProcW(boxProcedure, box, message, wParam, lParam);
}

LRESULT CALLBACK WrapMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (std::wstring(className) == L"#32770") {
            boxProcedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WideTextBox)));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

UINT IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning:
            return MB_ICONWARNING;
        case MessageKind::Information:
            return MB_ICONINFORMATION;
        case MessageKind::Confirmation:
            return MB_ICONQUESTION;
        case MessageKind::Error:
            break;
    }
    return MB_ICONERROR;
}

int Modal::Message(HWND owner, MessageKind kind, const std::string& title, const std::string& text,
                   UINT buttons) {
    if (auto answer = ScriptedAnswer({kind, title, text, buttons}, 0)) return *answer;
    HHOOK widen = SetWindowsHookExW(WH_CBT, WrapMessageBox, nullptr, GetCurrentThreadId());
    int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(),
                             buttons | IconOf(kind) | (owner ? 0 : MB_TASKMODAL));
    if (widen) UnhookWindowsHookEx(widen);
    return answer;
}

void Modal::Show(Form& form, HWND owner) {
    if (auto action = NextAction()) {
        form.FitContents();
        ShowWindow(form.Handle(), SW_SHOW);
        action(form);
        PumpPending();
        if (!form.Closed()) form.Close();
        return;
    }
    if (NobodyAnswers()) return;
    RunModal(form, owner);
}

}  // namespace win32ui
