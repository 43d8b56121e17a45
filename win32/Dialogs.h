// The modal forms of start-up and update, drawn with Win32 controls at their given places: each is
// built with its design words, takes its language from ApplyLanguage, and answers through the
// caller's one-byte flag.
#pragma once

#include <cstdint>

#include "win32/Forms.h"

namespace win32ui {

// The frames the forms were drawn with.
inline constexpr DWORD kDialogFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
inline constexpr DWORD kPlainFrame = WS_POPUP | WS_CAPTION | WS_BORDER;
inline constexpr DWORD kSizeableFrame = WS_OVERLAPPEDWINDOW;
inline constexpr DWORD kSizeablePlainFrame = WS_POPUP | WS_CAPTION | WS_THICKFRAME;

// A form that answers through the caller's flag, written only by its buttons.
class AnswerForm : public Form {
  public:
    using Form::Form;
    void SetAnswerFlag(uint8_t* flag) { answerTarget = flag; }

  protected:
    void Answer(uint8_t value) {
        if (answerTarget) *answerTarget = value;
        Close();
    }
    uint8_t* answerTarget = nullptr;
};

// TShowMsg: the drive already has this or a newer firmware; go on? Its width follows the message.
class TShowMsg : public AnswerForm {
  public:
    explicit TShowMsg(HWND owner);
    void ApplyLanguage(int language, int uiVariant);
    HWND lblShowMsg, Image1, cmdYes, cmdNo;
};

// TUpdateCfm: confirms the update from one revision to another.
class TUpdateCfm : public AnswerForm {
  public:
    explicit TUpdateCfm(HWND owner);
    void ApplyLanguage(int language);
    HWND Image1, Label1, GroupBox1, Label2, Label3, Label4, Label5, lblOldFW, Label8, lblNewFW,
        cmdOK, cmdCancel;
};

// TEjectDisc: a disc is in the drive; open the tray?
class TEjectDisc : public AnswerForm {
  public:
    explicit TEjectDisc(HWND owner);
    void ApplyLanguage(int language);
    HWND Image1, Label1, Label2, cmdOK, cmdCancel;

  private:
    HWND ownerWindow_;
};

// The three refusals: an icon, a bold message and one OK button that only closes the form.
class RefusalForm : public Form {
  public:
    HWND Image1, Label1, cmdOK;

  protected:
    RefusalForm(HWND owner, int dialogId, const char* name, SIZE outer, RECT label1, POINT okAt,
                LPCWSTR icon);
    // Caption (the owner's in Chinese), Label1 and cmdOK in the language; returns Label2's words.
    std::string ApplyCommon(int language);
    HWND ownerWindow;
    int dialogId;
};

class TMostUpdate : public RefusalForm {
  public:
    explicit TMostUpdate(HWND owner);
    void ApplyLanguage(int language) { ApplyCommon(language); }
};

class TNoProperDrive : public RefusalForm {
  public:
    explicit TNoProperDrive(HWND owner);
    void ApplyLanguage(int language) { ApplyCommon(language); }
};

class TInvalidUser : public RefusalForm {
  public:
    explicit TInvalidUser(HWND owner);
    void ApplyLanguage(int language);
    HWND Label2;
};

// TReboot: restart now or later; "Now" restarts the computer through the system.
class TReboot : public Form {
  public:
    explicit TReboot(HWND owner);
    void ApplyLanguage(int language);
    HWND Label1, Image1, Label2, cmdRebootLater, cmdRebootNow;
};

// TRebootZULK: the custom-dialog variant's restart.
class TRebootZULK : public Form {
  public:
    explicit TRebootZULK(HWND owner);
    void ApplyLanguage(int language);
    HWND Label1, Image1, Label2, cmdRebootZULKNow;
};

}  // namespace win32ui
