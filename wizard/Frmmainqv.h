// TMainQV: the OEM wizard's window. With the OEM variant it stands in front of the hidden main
// window; engine::WizardFlow walks its pages, and this window draws them. Started with
// "/QVCHECK index revision" it shows the check of the drive's revision after the restart.
#pragma once

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/RestartCheck.h"
#include "engine/WindowTexts.h"
#include "engine/WizardFlow.h"
#include "engine/WizardPages.h"

class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace ui {
class Label;
}

namespace wizard {

inline constexpr const char* kVersionText = engine::kWizardVersionText;

class TMainQV : public QWidget, private engine::WizardDisplay {
    Q_OBJECT
  public:
    // `host` is the main window behind the wizard, `owner` the window that owns it; `commandLine`
    // is the program's, the program itself first.
    TMainQV(engine::WizardHost& host, QWidget* owner, const std::vector<std::string>& commandLine);
    ~TMainQV() override;

    uint8_t Page() const { return flow_.Page(); }
    engine::WizardFlow& Flow() { return flow_; }

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
    // --- engine::WizardDisplay ---
    void ShowLook(const engine::WizardLook& look) override;
    void ShowDrives(const std::vector<std::string>& lines, int selected) override;
    void ShowRevisions(const std::string& oldRevision, const std::string& newRevision,
                       bool updateOffered) override;
    void ShowProgress(int position, int maximum) override;
    void ShowResult(const engine::CheckResult& result) override;
    void StartPolling() override;
    bool Ask(const std::string& question) override;
    void Warn(const std::string& text) override;

    // Makes room for the page texts in the faces this machine has.
    void FitPageTexts();

    engine::WizardFlow flow_;
    bool shownOnce_ = false;
};

}  // namespace wizard
