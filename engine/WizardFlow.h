// The OEM wizard's walk, for every window front-end: which page shows, what Next, Back, Cancel
// and the one-second poll do, the cancel question, the restart, the restart entry once the update
// has succeeded, and the check that "/QVCHECK index revision" asks for after that restart. The
// drives, the selection, the revisions and the progress come from the engine; the window only
// draws what it is told and answers the questions put to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RestartCheck.h"
#include "engine/WizardPages.h"

namespace engine {

class UpdateEngine;

// The hidden main window behind the wizard: it owns the engine, and the wizard presses its
// Update and Close buttons.
class WizardHost {
  public:
    virtual ~WizardHost() = default;
    virtual UpdateEngine& Engine() = 0;
    // Update: returns once the workers run, or once the run has ended the program.
    virtual void PressUpdate() = 0;
    // Close: outside a run the program ends now; during a run it ends with the run.
    virtual void PressClose() = 0;
    virtual bool TerminateRequested() const = 0;
    // The check after a restart has given its result (in script mode that ends the program).
    virtual void CheckEnded(CheckOutcome outcome) = 0;
};

// What the wizard's window draws.
class WizardDisplay {
  public:
    virtual ~WizardDisplay() = default;
    // The page's look: which controls show, the button texts, the text and where it sits. The
    // result page's mark and details are hidden until ShowResult.
    virtual void ShowLook(const WizardLook& look) = 0;
    virtual void ShowDrives(const std::vector<std::string>& lines, int selected) = 0;
    // The revisions in the drive page's gaps, and whether Next may lead to the update.
    virtual void ShowRevisions(const std::string& oldRevision, const std::string& newRevision,
                               bool updateOffered) = 0;
    virtual void ShowProgress(int position, int maximum) = 0;
    // The result page's text, its check mark or cross, and the details of a failed check.
    virtual void ShowResult(const CheckResult& result) = 0;
    // (Re)starts the one-second timer that calls WizardFlow::Tick.
    virtual void StartPolling() = 0;
    // A Yes/No question, in English whatever the package's language; true for Yes.
    virtual bool Ask(const std::string& question) = 0;
    virtual void Warn(const std::string& text) = 0;
    // The program ends from the wizard: a window that does not leave the screen with its hidden
    // owner takes itself off.
    virtual void Dismiss() {}
};

class WizardFlow {
  public:
    WizardFlow(WizardHost& host, WizardDisplay& display);

    // `commandLine` is the program's, the program first: "/QVCHECK index revision" goes
    // straight to the check and its result, anything else opens on the welcome page.
    void Start(const std::vector<std::string>& commandLine);

    uint8_t Page() const { return page_; }
    // The main window's caption, which the wizard wears too.
    std::string Caption() const;
    // The check the command line asked for.
    const CheckRequest& Check() const { return check_; }

    // --- the buttons, the list and the poll ---
    void Next();
    void Back();
    void Cancel();
    void SelectDrive(int item);
    void Tick();
    // The window is asked to close (its title bar, Alt+F4). False keeps it: on the progress page
    // the cancel question is the way out. True: the program ends and the window may go.
    bool CloseRequested();

    // --- the pages ---
    void ShowWelcomePage();
    void ShowDrivePage();
    void ShowProgressPage();
    // Registers the check after the restart, on every poll that finds the update done.
    void ShowCompletePage();
    void ShowVerifyPage();

  private:
    void Take(WizardStep step);
    void ShowRevisions();
    // Asks the cancel question; Yes ends the program. Never while a flash runs.
    void ConfirmCancel();
    void ShutDown();
    void EndProgram();

    WizardHost& host_;
    WizardDisplay& display_;
    uint8_t page_ = kNoPage;
    CheckRequest check_;
};

}  // namespace engine
