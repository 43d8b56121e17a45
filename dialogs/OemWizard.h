// The OEM wizard as the main window starts it. The main window knows only the engine's side of
// the wizard; the wizard's library, which every program with the main window links, defines this.
#pragma once

#include <string>
#include <vector>

#include "engine/WizardFlow.h"

class QWidget;

namespace ui {

// Shows the wizard in front of `owner`, which owns it and is `host`'s window. `commandLine` is
// the program's, the program itself first.
void ShowOemWizard(engine::WizardHost& host, QWidget& owner,
                   const std::vector<std::string>& commandLine);

}  // namespace ui
