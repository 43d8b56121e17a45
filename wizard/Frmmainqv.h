// TMainQV: the OEM wizard. With the OEM variant it stands in front of the hidden main window,
// which still does the work: the wizard mirrors its drive list, revision labels and progress,
// presses its buttons, writes the restart entry and restarts the computer. Started with
// "/QVCHECK index revision" it checks the drive's revision after that restart instead.
#pragma once

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <string>

#include "engine/RestartCheck.h"
#include "engine/WindowTexts.h"
#include "engine/WizardPages.h"

class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace app {
class TBrenvoMain;
}
namespace ui {
class Label;
}

namespace wizard {

// The client area the pages were drawn in.
inline constexpr int kClientWidth = 444;
inline constexpr int kClientHeight = 277;

// The pages; 0 lasts only while the form is being created.
using Page = engine::WizardPage;
using engine::kCompletePage;
using engine::kDrivePage;
using engine::kNoPage;
using engine::kProgressPage;
using engine::kResultPage;
using engine::kVerifyPage;
using engine::kWelcomePage;

inline constexpr const char* kVersionText = engine::kWizardVersionText;
inline constexpr const char* kCancelQuestion = engine::kWizardCancelQuestion;
inline constexpr const char* kRebootRefused = engine::kWizardRebootRefused;

// The check the command line asked for: the drive's list index and the revision it must report.
extern int checkDriveIndex;
extern std::string expectedVersion;

class TMainQV : public QWidget {
    Q_OBJECT
  public:
    // `main` is the program's one main window, which owns the wizard; `commandLine` is the
    // program's command line with the program itself first.
    TMainQV(app::TBrenvoMain& main, const QStringList& commandLine);
    ~TMainQV() override;

    uint8_t page = kNoPage;

    // --- the page steps ---
    void ShowWelcomePage();
    void ShowDrivePage();
    void CopyVersions();
    void ShowProgressPage();
    void ShowCompletePage();
    void ShowVerifyPage();
    void ShowResultPage(const engine::CheckResult& result);

    // --- the form's events ---
    void FormCreate(const QStringList& commandLine);
    void FormDestroy();
    void btnNextClick();
    void btnBackClick();
    void btnCancelClick();
    void cboDrivesChange();
    void tmrT1Timer();

    QFrame* panLogo;
    QLabel* imgLogo1;
    QLabel* imgLogo2;
    QLabel* imgLogo3;
    ui::Label* lblMessage;
    ui::Label* lblVersion;
    ui::Label* lblOldFW;
    ui::Label* lblNewFW;
    QLabel* imgRedx;
    QLabel* imgCheck;
    QComboBox* cboDrives;
    QProgressBar* pbar;
    QPlainTextEdit* memShowMsg;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnCancel;
    QTimer* tmrT1;

  protected:
    void showEvent(QShowEvent* event) override;
    // A close request while the update runs is refused: the wizard stays until the run ends.
    void closeEvent(QCloseEvent* event) override;
    // Enter presses the focused button; the wizard has no default or cancel button.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The look every page sets: which controls show, the button texts, where the text sits.
    void SetLook(const engine::WizardLook& look);
    // Carries out where a button led.
    void Take(engine::WizardStep step);
    // Makes room for the page texts in the faces this machine has.
    void FitPageTexts();
    // Asks the cancel question; Yes ends the program.
    void ConfirmCancel();
    // A worker is flashing: nothing may end the program now.
    bool Flashing() const;
    // Restarts the computer; a refusal is said and the page stays.
    void ShutDown();

    app::TBrenvoMain& main_;
    bool shownOnce_ = false;
};

}  // namespace wizard
