#include "engine/WindowCommandLine.h"

#include "common/CommandLine.h"
#include "engine/RestartCheck.h"

namespace engine {
namespace {
constexpr char kProgram[] = "brenvo";
constexpr char kUsage[] =
    "usage: brenvo\n"
    "       brenvo /QVCHECK N REVISION\n"
    "       brenvo --version\n"
    "\n"
    "The firmware updater's window: lists the drives of this computer that the firmware\n"
    "package carried by this program may update, and updates the chosen one.\n"
    "\n"
    "  /QVCHECK N REVISION   after a restart: the OEM wizard checks that drive N of the list\n"
    "                        now reports REVISION (what it registers to run after its update)\n"
    "\n"
    "Environment:\n"
    "  BRENVO_MACHINE=bench.json   run on the emulated PC of a bench file (brenvo-bench new)\n"
    "  BRENVO_TRACE=file           record every command sent, one JSON line each\n"
    "  BRENVO_UNATTENDED=1         for scripts: no message box waits for a person; the messages\n"
    "                              go to the error output when the program ends\n";
// What each variable would make a root window load.
constexpr std::string_view kToolkitPluginVariables[] = {
    "QT_PLUGIN_PATH",               // every kind of plugin, from any folder
    "QT_QPA_PLATFORM_PLUGIN_PATH",  // the platform plugin, from any folder
    "QT_QPA_PLATFORMTHEME",         // a theme plugin (gtk3 then loads GTK's modules, below)
    "QT_QPA_GENERIC_PLUGINS",       // input plugins, loaded by name
    "QT_STYLE_OVERRIDE",            // a style plugin, loaded by name
    "QT_IM_MODULE",                 // an input-method plugin, loaded by name
    "QT_IM_MODULES",
    "QT_XCB_GL_INTEGRATION",         // the GL integration plugin of the xcb platform
    "QT_WAYLAND_SHELL_INTEGRATION",  // the wayland platform's shell, decoration and buffer plugins
    "QT_WAYLAND_DECORATION",
    "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION",
    "QT_DEBUG_PLUGINS",  // prints every plugin folder and file it looks at
    "GTK_MODULES",       // modules a GTK theme plugin loads into the process
    "GTK3_MODULES",
    "GTK_PATH",  // where GTK looks for its modules and engines
    "GTK_EXE_PREFIX",
    "GTK_IM_MODULE",
    "GTK_IM_MODULE_FILE",
    "GIO_EXTRA_MODULES",  // GIO modules loaded with GTK
    "GIO_MODULE_DIR",
    "GDK_PIXBUF_MODULE_FILE",  // image loaders GTK loads
    "GDK_PIXBUF_MODULEDIR",
};
// The platforms a root window may be started on; any other value (a plugin's name, or a known
// one with options) is removed, and Qt chooses as it does with none.
constexpr std::string_view kPlatforms[] = {"xcb", "wayland", "offscreen", "minimal"};
}  // namespace

bool ToolkitVariableRefused(std::string_view name, std::string_view value) {
    if (name == "QT_QPA_PLATFORM") {
        for (std::string_view platform : kPlatforms)
            if (value == platform) return false;
        return true;
    }
    for (std::string_view refused : kToolkitPluginVariables)
        if (name == refused) return true;
    return false;
}

WindowCommand ParseWindowCommandLine(const std::vector<std::string>& parameters) {
    WindowCommand command;
    for (size_t i = 1; i < parameters.size(); ++i) {
        if (parameters[i] == "--help" || parameters[i] == "-h" || parameters[i] == "/?") {
            command.start = WindowStart::Help;
            command.text = kUsage;
            return command;
        }
    }
    for (size_t i = 1; i < parameters.size(); ++i) {
        if (parameters[i] == "--version") {
            command.start = WindowStart::Version;
            command.text = common::VersionLine(kProgram);
            return command;
        }
    }
    if (parameters.size() <= 1 || ParseCheckCommandLine(parameters).requested) return command;
    command.start = WindowStart::UsageError;
    const std::string& first = parameters[1];
    std::string what;
    if (first == kCheckSwitch) {
        what = "/QVCHECK takes a drive index and a revision";
    } else if (!first.empty() && (first[0] == '-' || first[0] == '/')) {
        what = "unknown option " + first;
    } else {
        what = "the window takes no file or word (\"" + first + "\")";
    }
    command.text = common::UsageErrorLine(kProgram, what);
    return command;
}

}  // namespace engine
