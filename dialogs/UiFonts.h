// The fonts the forms ask for, and the faces of this machine that stand in for them.
#pragma once

#include <QString>

class QWidget;

namespace ui {

// Character sets as the forms name them.
inline constexpr int kAnsiCharset = 0;
inline constexpr int kShiftJisCharset = 128;
inline constexpr int kBig5Charset = 136;

// The dynamic properties that keep a control's requested font visible after substitution.
inline constexpr char kRequestedFamily[] = "requestedFamily";
inline constexpr char kRequestedCharset[] = "requestedCharset";

// Maps the Windows families the forms name ("Tahoma", "MS Sans Serif", "MS Gothic", "Arial",
// "Courier New") onto faces this machine has: a sans face for the Latin families, Noto Sans CJK
// JP for the Japanese one, Noto Sans CJK TC behind the Latin faces for the Chinese texts, which
// keep their design fonts, and a monospace face for the fixed-pitch family. Call once, after
// the application object exists and before the first form.
void InstallFontSubstitutes();

// The design font of a control: family, height in pixels (the forms' negative heights), style,
// character set ANSI.
void DesignFont(QWidget& control, const QString& family, int pixelHeight, bool bold = false,
                bool underline = false);

// The Japanese switch: "MS Gothic", Shift-JIS, bold and underline removed, `points` in size.
void JapaneseFont(QWidget& control, int points);

// Another family and character set, keeping the control's size and style.
void SwitchFamily(QWidget& control, const QString& family, int charset);

// Another character set and a size in points, keeping family and style.
void SwitchCharset(QWidget& control, int charset, int points);

}  // namespace ui
