#include "dialogs/TitleBar.h"

#include <QGuiApplication>
#include <QWidget>

#if BRENVO_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace ui {

MotifHints MotifHintsFor(Qt::WindowFlags flags, bool sizeable) {
    MotifHints hints;
    hints.flags = kMotifFlagFunctions | kMotifFlagDecorations;
    hints.functions = kMotifFunctionMove;
    hints.decorations = kMotifDecorBorder | kMotifDecorTitle;
    if (sizeable) {
        hints.functions |= kMotifFunctionResize;
        hints.decorations |= kMotifDecorResizeHandle;
    }
    if (flags & Qt::WindowSystemMenuHint) hints.decorations |= kMotifDecorMenu;
    if (flags & Qt::WindowMinimizeButtonHint) {
        hints.functions |= kMotifFunctionMinimize;
        hints.decorations |= kMotifDecorMinimize;
    }
    if (flags & Qt::WindowMaximizeButtonHint) {
        hints.functions |= kMotifFunctionMaximize;
        hints.decorations |= kMotifDecorMaximize;
    }
    if (flags & Qt::WindowCloseButtonHint) hints.functions |= kMotifFunctionClose;
    return hints;
}

MotifHints TitleBarHintsOf(const QWidget& window) {
    return MotifHintsFor(window.windowFlags(), window.minimumSize() != window.maximumSize());
}

void ApplyTitleBar(QWidget& window) {
#if BRENVO_HAVE_XCB
    if (!window.isWindow() || QGuiApplication::platformName() != "xcb") return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* connection = x11->connection();
    constexpr char kName[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, false, sizeof kName - 1, kName), nullptr);
    if (!atom) return;
    const MotifHints hints = TitleBarHintsOf(window);
    // flags, functions, decorations, input mode, status.
    const uint32_t data[5] = {hints.flags, hints.functions, hints.decorations, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), atom->atom, atom->atom, 32, 5,
                        data);
    xcb_flush(connection);
    free(atom);
#else
    (void)window;
#endif
}

}  // namespace ui
