// What every modal form of the program shares: its frame and title-bar buttons, where it opens,
// which keys it answers, and the labels, pictures and buttons it is built from.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QSize>
#include <QStyle>
#include <memory>
#include <vector>

class QKeyEvent;
class QTextLayout;

class QAbstractButton;
class QPushButton;

namespace ui {

// The `language` values; any other value is English.
inline constexpr int kLanguageEnglish = 0;
inline constexpr int kLanguageChinese = 1;
inline constexpr int kLanguageJapanese = 2;

enum class Border { Sizeable, Single, Dialog };
enum class TitleButtons { None, SystemMenu, Standard };
enum class Placement { Screen, Owner };

// The forms were drawn on Windows, whose classic frame is 4 pixels wide when sizeable and
// 3 pixels when fixed, with a 19-pixel caption. Outer sizes given for a form become the client
// sizes that frame leaves.
QSize ClientSizeFor(QSize outer, Border border);
int ClientWidthFor(int outerWidth, Border border);

// The least room left between a control and the right edge of its form.
inline constexpr int kRightMargin = 6;

// The form colours.
inline constexpr QRgb kBlack = 0x000000;
inline constexpr QRgb kNavy = 0x000080;

class Form : public QDialog {
    Q_OBJECT
  public:
    Form(QWidget* owner, const char* name, TitleButtons buttons, Placement placement);

  protected:
    // A sizeable form opens at its size; the others are fixed at it.
    void SetClientSize(QSize client, Border border);
    // Widens the form where a control reaches past its right edge (less the margin). Every form
    // does this when it is shown.
    void FitContents();
    // Escape presses this button; a form without one ignores Escape.
    void SetEscapeButton(QAbstractButton* button) { escapeButton_ = button; }

    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QAbstractButton* escapeButton_ = nullptr;
    Placement placement_;
};

// Enter and Escape on a form (a dialog, the main window, the wizard): Enter presses the button
// that has the focus, or where none has it the form's default button; Escape presses
// `cancelButton`, or nothing (engine/FormKeys.h). True when the key was one of them, and taken.
bool PressForKey(QWidget& form, QKeyEvent* event, QAbstractButton* cancelButton);

// A label that sizes itself the way the forms' labels do. An auto-sized label follows its text;
// any other keeps its width and grows in height when its text or font needs more room than the
// box gives. A centred or right-aligned label that its text outgrows widens about its centre or
// its right edge instead of clipping.
//
// Lines are set at most 1.2 ems apart. The CJK faces standing in for the Windows ones carry a
// line gap of nearly 1.5 ems, so three lines of Japanese would overrun boxes drawn for a face
// whose lines are one em apart.
class Label : public QLabel {
    Q_OBJECT
  public:
    Label(QWidget* parent, const char* name, QRect box, bool autoSize, bool wordWrap = false,
          Qt::Alignment alignment = Qt::AlignLeft);
    void setText(const QString& text);
    void SetColour(QRgb colour);
    // The distance between two baselines.
    int LinePitch() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    int heightForWidth(int width) const override;

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void Fit();
    // Lays the text out in lines of `width` pixels (no limit when negative); returns the lines'
    // natural width and fills `layouts` when given.
    int Lay(int width, int* lineCount,
            std::vector<std::unique_ptr<QTextLayout>>* layouts = nullptr) const;
    bool autoSize_;
    QRect design_;
};

// A picture holding one of the style's standard icons, drawn at 32 x 32.
QLabel* MakeIcon(QWidget* parent, const char* name, QRect box, QStyle::StandardPixmap icon);

// A push button; a bitmap button also shows its kind's glyph. Which button a key presses is the
// form's decision (PressForKey); the button that has the focus is drawn as the one it presses.
QPushButton* MakeButton(QWidget* parent, const char* name, QRect box, const QString& text);
QPushButton* MakeBitmapButton(QWidget* parent, const char* name, QRect box, const QString& text,
                              QStyle::StandardPixmap glyph);

}  // namespace ui
