// The title bar each window asks a window manager for: the main window the system menu and close,
// the confirmation, the reboot windows and the wizard no buttons, the warning its close button,
// the sizeable forms the usual three. The X11 stage (scripts/x11-test.sh) reads the same hints
// back from a real X server.
#include <gtest/gtest.h>

#include <memory>

#include "app/Frmbrenvo.h"
#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "dialogs/Modal.h"
#include "dialogs/TitleBar.h"
#include "tests/ui/MainWindowSupport.h"
#include "wizard/Frmmainqv.h"

namespace {
using namespace ui;

constexpr uint32_t kBoth = kMotifFlagFunctions | kMotifFlagDecorations;
constexpr uint32_t kFrame = kMotifDecorBorder | kMotifDecorTitle;

void ExpectHints(const QWidget& window, uint32_t functions, uint32_t decorations) {
    SCOPED_TRACE(window.objectName().toStdString());
    MotifHints hints = TitleBarHintsOf(window);
    EXPECT_EQ(hints.flags, kBoth) << "both fields are said, or the window manager guesses";
    EXPECT_EQ(hints.functions, functions);
    EXPECT_EQ(hints.decorations, decorations);
}

TEST(TitleBar, TheMainWindowKeepsItsCloseButtonOnceStarted) {
    auto machine = main_testing::PresetMachine("typical");
    main_testing::PackagedBlock block(main_testing::QuorvantManifest());
    Modal::SetUnattended(true);
    app::TBrenvoMain window(block.package);
    ASSERT_EQ(window.StartResult(), engine::StartEnd::Ready);
    ExpectHints(window, kMotifFunctionMove | kMotifFunctionClose, kFrame | kMotifDecorMenu);

    auto* wizard = new wizard::TMainQV(window.Session(), &window, {"brenvo"});
    ExpectHints(*wizard, kMotifFunctionMove, kFrame);
    Modal::Reset();
}

TEST(TitleBar, EachDialogAsDesigned) {
    QWidget owner;
    dialogs::TUpdateCfm confirm(&owner);
    ExpectHints(confirm, kMotifFunctionMove, kFrame);
    // The reboot windows have no buttons either, but a sizeable border.
    dialogs::TReboot reboot(&owner);
    ExpectHints(reboot, kMotifFunctionMove | kMotifFunctionResize,
                kFrame | kMotifDecorResizeHandle);
    dialogs::TRebootZULK zulk(&owner);
    ExpectHints(zulk, kMotifFunctionMove | kMotifFunctionResize, kFrame | kMotifDecorResizeHandle);

    dialogs::TShowMsg warning(&owner);
    ExpectHints(warning, kMotifFunctionMove | kMotifFunctionClose, kFrame | kMotifDecorMenu);

    const uint32_t all = kMotifFunctionMove | kMotifFunctionResize | kMotifFunctionMinimize |
                         kMotifFunctionMaximize | kMotifFunctionClose;
    const uint32_t drawn = kFrame | kMotifDecorResizeHandle | kMotifDecorMenu |
                           kMotifDecorMinimize | kMotifDecorMaximize;
    dialogs::TEjectDisc eject(&owner);
    ExpectHints(eject, all, drawn);
    dialogs::TInvalidUser invalid(&owner);
    ExpectHints(invalid, all, drawn);
}

}  // namespace
