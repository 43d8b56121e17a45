// The title bar a window manager draws for a form. Qt's X11 integration reduces a title bar
// without a close button to "functions only" in the Motif hints, which leaves the window
// manager to draw its own full set of buttons; the forms write the hints themselves, saying
// both which buttons to draw and which actions to allow.
#pragma once

#include <QtCore/qnamespace.h>
#include <cstdint>

class QWidget;

namespace ui {

// The Motif window-manager hints (_MOTIF_WM_HINTS): the two fields the forms use.
struct MotifHints {
    uint32_t flags = 0;
    uint32_t functions = 0;
    uint32_t decorations = 0;
};

inline constexpr uint32_t kMotifFlagFunctions = 1u << 0;
inline constexpr uint32_t kMotifFlagDecorations = 1u << 1;

inline constexpr uint32_t kMotifFunctionResize = 1u << 1;
inline constexpr uint32_t kMotifFunctionMove = 1u << 2;
inline constexpr uint32_t kMotifFunctionMinimize = 1u << 3;
inline constexpr uint32_t kMotifFunctionMaximize = 1u << 4;
inline constexpr uint32_t kMotifFunctionClose = 1u << 5;

inline constexpr uint32_t kMotifDecorBorder = 1u << 1;
inline constexpr uint32_t kMotifDecorResizeHandle = 1u << 2;
inline constexpr uint32_t kMotifDecorTitle = 1u << 3;
inline constexpr uint32_t kMotifDecorMenu = 1u << 4;
inline constexpr uint32_t kMotifDecorMinimize = 1u << 5;
inline constexpr uint32_t kMotifDecorMaximize = 1u << 6;

// The hints for a window with these flags: a bordered title bar always, the system menu, the
// minimise and maximise boxes as the flags ask, closing only with the close button, resizing
// only for a window that is not fixed in size.
MotifHints MotifHintsFor(Qt::WindowFlags flags, bool sizeable);
// The hints of the window as it is: its flags, and sizeable unless fixed in size.
MotifHints TitleBarHintsOf(const QWidget& window);

// Writes the window's hints where a window manager reads them: on X11, from the window's show
// event, before it is mapped (a window manager reads them when it maps the window). Elsewhere
// Qt's own frame styles already say the same, and nothing is done.
void ApplyTitleBar(QWidget& window);

}  // namespace ui
