// What every window of the Win32 front-end shares: the forms' fonts, texts and colours, controls
// placed at fixed pixel positions, the keys a form answers (Enter for its default button, Escape
// for its cancel button) and the loop that runs the windows.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/windows/WideText.h"

namespace win32ui {

// The `language` values; any other value is English.
inline constexpr int kLanguageChinese = 1;
inline constexpr int kLanguageJapanese = 2;

// Character sets as the forms name them.
inline constexpr int kAnsiCharset = 0;
inline constexpr int kShiftJisCharset = 128;
inline constexpr int kBig5Charset = 136;

inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kNavy = RGB(0, 0, 128);
inline constexpr COLORREF kMaroon = RGB(128, 0, 0);
// The system's hot-light colour: the blue of links.
inline constexpr COLORREF kHotLight = RGB(0, 0x66, 0xcc);

// The core's texts are UTF-8; the windows take UTF-16.
using platform::windows::Utf8;
using platform::windows::Wide;

struct FontSpec {
    std::string face;
    int height = -11;  // negative: the characters' height in pixels (8 point at 96 dpi is -11)
    bool bold = false;
    bool underline = false;
    int charset = kAnsiCharset;
    // Asked for as FIXED_PITCH | FF_MODERN: where the face is missing, the system's font mapper
    // then still picks a fixed-pitch one, so the drive list's columns line up.
    bool fixedPitch = false;
};
// The drive lists' face: "Courier New" at `height`, fixed pitch.
inline FontSpec ListFont(int height, int charset = kAnsiCharset) {
    return {"Courier New", height, false, false, charset, true};
}
// The forms' usual font: "Tahoma", 8 point at 96 dpi, regular or bold.
inline FontSpec Tahoma(bool bold = false) {
    return {"Tahoma", -11, bold, false, kAnsiCharset};
}
// The height of a size in points at 96 pixels per inch.
int HeightOfPoints(int points);
// The Japanese switch: "MS Gothic", Shift-JIS, bold and underline removed, `points` in size.
FontSpec JapaneseFont(int points);

enum class Align { Left, Centre, Right };

// One top-level window with its controls. Controls are named as the forms name them, so tests
// find them by name.
class Form {
  public:
    // `style` is the window style of the frame (WS_CAPTION, WS_SYSMENU, ...).
    Form(const char* name, DWORD style, HWND owner = nullptr);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND Handle() const { return hwnd_; }
    const std::string& Name() const { return name_; }
    // The form whose window this is (a control's top-level window included), or null.
    static Form* Of(HWND window);

    void SetClientSize(int width, int height);
    void SetOuterSize(int width, int height);
    SIZE ClientSize() const;
    void SetCaption(const std::string& text);
    std::string Caption() const;
    void CentreOnScreen();
    void CentreOn(HWND owner);
    // Widens the form where a control reaches past its right edge (less a margin of 6 pixels), as
    // the faces standing in for the forms' fonts may set wider; every form does this when shown.
    void FitContents();

    // --- controls ---
    HWND Control(const std::string& name) const;
    // A label. An auto-sized label follows its text; any other keeps its width and grows in height
    // when its text needs more room; a centred or right-aligned one widens about its centre or
    // right edge instead of clipping.
    HWND AddLabel(const char* name, RECT box, bool autoSize, bool wordWrap, Align align,
                  const FontSpec& font, COLORREF colour, const std::string& text,
                  HWND parent = nullptr);
    HWND AddButton(const char* name, RECT box, const std::string& text, const FontSpec& font);
    HWND AddCombo(const char* name, RECT box, const FontSpec& font, int itemHeight);
    HWND AddProgress(const char* name, RECT box);
    HWND AddGroup(const char* name, RECT box);
    // A static of the given kind without text: a frame (SS_ETCHEDFRAME), a white panel
    // (SS_WHITERECT) or a picture (SS_BITMAP).
    HWND AddStatic(const char* name, RECT box, DWORD style);
    HWND AddMemo(const char* name, RECT box, const FontSpec& font);
    // A picture holding one of the system's icons (IDI_WARNING, ...), drawn at 32 x 32.
    HWND AddIcon(const char* name, RECT box, LPCWSTR icon);

    void SetFont(HWND control, const FontSpec& font);
    const FontSpec& FontOf(HWND control) const;
    void SetText(HWND control, const std::string& text);
    void SetColour(HWND control, COLORREF colour);
    // Box of a control in its parent's client coordinates.
    RECT Box(HWND control) const;
    void Move(HWND control, int left, int top);
    void Resize(HWND control, int width, int height);
    void Show(HWND control, bool visible);

    void OnClick(HWND control, std::function<void()> handler);
    void OnChange(HWND combo, std::function<void()> handler);
    void OnTimer(UINT_PTR id, std::function<void()> handler);

    // Enter presses the button that has the focus, or where none has it the default button;
    // Escape presses the cancel button, or nothing (engine/FormKeys.h).
    void SetDefaultButton(HWND button) { defaultButton_ = button; }
    void SetEscapeButton(HWND button) { escapeButton_ = button; }
    // The control that has the focus when the form is activated.
    void SetInitialFocus(HWND control) { focus_ = control; }
    // Presses a button as a click does, when it is enabled.
    void Click(HWND button);
    // The form's answer to Enter or Escape sent to `target` (the control with the focus); true
    // when it took the key.
    bool Key(WPARAM key, HWND target);

    // Hides the form and ends its modal loop.
    void Close();
    bool Closed() const { return closed_; }

  protected:
    // Messages the form itself handles before the common ones; true when handled.
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The title bar's close button or Alt+F4: closes the form unless a form says otherwise.
    virtual void CloseRequested() { Close(); }
    virtual void Painted() {}

  private:
    struct ControlInfo {
        std::string name;
        FontSpec font;
        HFONT handle = nullptr;
        COLORREF colour = kBlack;
        bool coloured = false;
        bool label = false;
        bool autoSize = false;
        bool wordWrap = false;
        Align align = Align::Left;
        RECT design{};
        std::function<void()> handler;
    };
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND Add(const char* name, const wchar_t* windowClass, DWORD style, RECT box, HWND parent);
    void FitLabel(HWND control);

    std::string name_;
    HWND hwnd_ = nullptr;
    HFONT formFont_ = nullptr;
    std::map<HWND, ControlInfo> controls_;
    std::vector<HWND> order_;
    std::map<UINT_PTR, std::function<void()>> timers_;
    HWND defaultButton_ = nullptr;
    HWND escapeButton_ = nullptr;
    HWND focus_ = nullptr;
    bool closed_ = false;
    int nextId_ = 100;
};

// --- the loop ---
// Ends the program's loops (the main one and every modal one) at their next turn.
void Quit();
bool Quitting();
// Clears the request, for a new window after the last ended (tests).
void ResetQuit();
// Takes and handles one message; false when the queue was empty (with `wait` false) or quitting.
bool PumpMessage(bool wait);
// Handles what is queued now.
void PumpPending();
// Runs until Quit.
void RunLoop();
// Runs until the form closes or Quit; `owner` is disabled meanwhile.
void RunModal(Form& form, HWND owner);

}  // namespace win32ui
