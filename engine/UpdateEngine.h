// The update engine: start-up checks, the drive list, and the update procedure with its flash
// workers. It is the main window without its widgets; the Qt window, the console and the tests
// drive the same engine through an UpdateView.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/AtapiDevice.h"
#include "device/DriveRecord.h"
#include "device/SystemInfo.h"
#include "directide/RurDriver.h"
#include "engine/DriveClaims.h"
#include "engine/DriveList.h"
#include "engine/FlashGate.h"
#include "engine/RestartCheck.h"
#include "engine/UpdateTexts.h"
#include "engine/UpdateView.h"
#include "package/Package.h"
#include "platform/DirectIde.h"

namespace engine {

inline constexpr int kMaxListedDrives = 16;

// How start-up ended.
enum class StartEnd {
    Ready,            // the window may be shown
    NoFirmware,       // image count 0
    DamagedPackage,   // the block fails its checks
    DeviceFailed,     // the device object of the chosen path is missing
    AccessDenied,     // no administrator rights, or the system refused the device (error 5)
    NoMatchingDrive,  // no present and matched drive
    NoticeDeclined,   // the user did not accept the notice or checklist
    DriveHeld,        // no drive to update, and another program holds a drive the scan found
    NoFlashDriver,    // a direct-IDE package where the system has no flash driver (Linux)
    No64BitDriver,    // a direct-IDE package on a 64-bit Windows
};

// How the last update run ended.
enum class RunEnd {
    None,       // no run yet, or one still in progress
    Succeeded,  // every worker reported success
    Failed,     // a worker failed
    Declined,   // a warning or confirmation was not accepted, or a refusal dialog was shown
    NoDrive,    // an unattended run found nothing to update
    Stopped,    // the front-end asked to stop while the tray loop waited; a chosen drive was
                // not flashed
    Unknown,    // no flash failed, but a drive did not confirm its last commit in time
};

// What became of one drive the run chose.
enum class DriveOutcome {
    NotFlashed,  // the run ended before this drive's worker was started
    Flashed,     // its worker reported success
    Failed,      // its worker reported failure
    Unknown,     // its last commit timed out: the drive may or may not hold the image
};

struct DriveResult {
    std::string line;             // the drive's list line before the run
    std::string address;          // "1-0-0-0 E:", as the list shows it
    std::string identity;         // vendor and product, as shown
    std::string path;             // how the image reaches it ("pass-through, verified download")
    std::string oldRevision;      // revision (or drive tag) before the run
    std::string packageRevision;  // the revision the package installs
    DriveOutcome outcome = DriveOutcome::NotFlashed;
    bool answered = false;          // the drive answered its re-identification after the run
    std::string revisionAfter;      // as the drive reports it then; empty when it did not answer
    bool inBootLoader = false;      // it answered from its boot loader: its firmware is not whole
    bool stoppedAnswering = false;  // it let its commands run into their time-out during the run
};

struct RunReport {
    RunEnd end = RunEnd::None;
    std::vector<DriveResult> drives;
    // Drives the run would have taken but left alone: they already hold the package's revision
    // or a newer one (see SetLeaveUpToDate).
    std::vector<DriveResult> upToDate;
    // The run recovered a drive from its boot loader: success means the drive came back out of
    // it with the image's revision.
    bool recovery = false;
};

// What a run would do with one listed drive.
enum class DrivePlan {
    Update,        // it would be flashed
    NotSupported,  // the package does not take it (or it did not answer)
    NotChosen,     // an attended run takes only the selected drive
    SkipCurrent,   // the package leaves out drives that already have its revision
    UpToDate,      // it already holds the package's revision or a newer one
    Beyond,        // the run takes no more drives (the direct-IDE path takes one, SCSI 16)
};

struct PlannedDrive {
    int item = -1;
    DrivePlan plan = DrivePlan::NotSupported;
    DriveResult drive;  // line, revision now and the package's revision
    bool asks = false;  // the package would ask before it overwrites this drive
};

// What the package does with the computer after a successful update.
struct RestartPlan {
    bool restarts = false;  // the computer is restarted (or the user asked to restart it)
    bool asks = false;      // the user is asked first
};

// The revision line of the selected drive.
struct RevisionLine {
    bool matched = false;  // cmdUpdate enabled, the three revision labels shown
    std::string message;   // lblUpdateMsg
    Colour messageColour = Colour::Black;
    std::string oldRevision;  // lblOldFW
    std::string newRevision;  // lblNewFW: NEW_FW as stored
};

class UpdateEngine {
  public:
    // `gate`: the process's own, where the front-end keeps one longer than the engine (the
    // console's signal handlers); otherwise the engine's.
    UpdateEngine(package::Package& package, UpdateView& view, FlashGate* gate = nullptr);
    ~UpdateEngine();
    UpdateEngine(const UpdateEngine&) = delete;
    UpdateEngine& operator=(const UpdateEngine&) = delete;

    // Reads the package block (the caption and the language come from it); StartUp does it when
    // nobody did before.
    const package::ParseResult& ParsePackage();

    // Start-up after the front-end has localised itself: the package checks, the device object
    // of the chosen path, the access check, the drive list, the no-match report and the notice.
    // Anything but Ready has shown its message and asked the view to terminate.
    //
    // Started for the check after a restart (`check`, an OEM wizard package), start-up finds the
    // drives as always but does not end for want of a drive to update: the drive checked has
    // normally left the package's ranges with its update. With the list of matched drives only,
    // the list keeps the drives of the family that report the expected revision or their boot
    // loader's, so that the index the update wrote still names the same drive.
    StartEnd StartUp(const CheckRequest& check = {});
    // Whether this machine can take a direct-IDE package; start-up refuses one where it cannot,
    // before anything is installed or sent to a drive. Set before StartUp.
    void SetDirectIde(platform::DirectIde directIde) { directIde_ = directIde; }

    // --- recovery of a drive left in its boot loader ---
    // Before StartUp: this start is for a recovery run, so start-up does not end for want of a
    // drive to update (a drive in its loader is never one). Never for the check after a restart.
    void ForRecovery() { recoveryRun_ = true; }
    // Before StartUp, for the windows: when start-up finds no drive to update but one this
    // package can recover (OfferRecovery), it asks the user (PrepareRecovery) and, on yes, ends
    // Ready with that drive selected for its recovery; on no, as it would have ended anyway.
    void OfferRecoveryAtStart() { offerRecovery_ = true; }
    // What start-up and the lists say about the listed drives in their boot loader, one line
    // each ("Drive 1 (E: ...) is in its boot loader ..."); empty when there is none.
    std::string LoaderReport() const;
    // Asks the user (DialogId::Recover, default No) whether to recover the listed drive `item`
    // and, when the package can and the answer is yes, makes it the run's drive with the one
    // image that names it; UpdateClick then runs the recovery with the usual confirmations.
    // False with the reason otherwise: the drive is not in its loader, this package cannot
    // recover it, or the user declined. The answer goes into the trace.
    bool PrepareRecovery(int item, std::string& reason);
    bool Recovering() const { return recovering_; }

    // --- the drive list ---
    void FillDriveList();
    // The combo box's change: makes the item's drive current and fills the revision line.
    void DrivesChange(int item);
    const std::vector<std::string>& ListLines() const { return listLines_; }
    int SelectedItem() const { return selectedItem_; }
    const std::string& DriveListText() const { return driveListText_; }
    const RevisionLine& Revisions() const { return revisionLine_; }
    // The record behind a list item, or null.
    const device::DriveRecord* ListedDrive(int item) const;

    // --- the update procedure ---
    // A drive that already holds the package's revision or a newer one is left alone rather
    // than flashed again (a script's rule, the console's without --force); off by default, as
    // the windows run.
    void SetLeaveUpToDate(bool leave) { leaveUpToDate_ = leave; }
    bool LeavesAlone(const device::DriveRecord& record) const;
    // What UpdateClick would do with every listed drive, from the list as it stands: nothing is
    // asked and no drive is opened.
    std::vector<PlannedDrive> PlanRun() const;
    RestartPlan PlanRestart() const;
    void UpdateClick();
    void TimerTick();
    // The direct-IDE path's callbacks, carried to the user-interface thread.
    void ShowProgress(int percent);
    void ShowStatus(const std::string& text);
    // Workers not yet finished.
    int Running() const { return running_; }
    // A run is on: from the press of Update until the run has given its verdict.
    bool InRun() const { return inRun_; }
    // The window was asked to close (its Close button, its title bar, Alt+F4). Outside a run the
    // program may end now: true. During a run the window stays and false is returned: drives
    // whose turn has not come are left alone (the tray loop gives up), a flash runs to its end,
    // and the program ends once the run has given its verdict.
    bool RequestClose();
    // The program ends when a run has given its verdict, whatever the package says about staying
    // (the windows' script mode).
    void EndAfterRun() { endAfterRun_ = true; }
    bool Updated() const { return updated_; }
    // The progress bar as the view was last given it.
    int ProgressPosition() const { return progressPosition_; }
    int ProgressMaximum() const { return progressMaximum_; }
    const RunReport& LastRun() const { return lastRun_; }
    // Whether a stop would now cut a flash; the front-ends ask it on every stop request.
    FlashGate& Gate() { return gate_; }

    const package::PackageOptions& Options() const { return package_.Options(); }
    package::Package& Package() { return package_; }
    RevisionForm Form() const;

  private:
    device::DriveRecord* DriveOfItem(int item);
    // Started for the check, a drive of the family that the update has taken out of the ranges.
    bool CheckedAfterUpdate(const device::DriveRecord& record) const;
    bool NeedsWarning(const device::DriveRecord& record) const;
    // How an update run treats the enumerated drive `record` (an unattended run's walk).
    DrivePlan PlanFor(const device::DriveRecord* record) const;
    std::string DisplayRevision(const device::DriveRecord& record) const;
    StartEnd Stop(StartEnd end);
    bool CountQualifyingDrives() const;
    // The windows' offer of a recovery at start-up was made and accepted.
    bool RecoveryAccepted();
    bool ShowNotice();
    bool ChooseDrives(uint8_t& answer);
    // Claims a chosen drive before anything is sent to it in the run; a drive another program
    // holds is refused with a message that names it and the holder.
    bool ClaimForRun(const device::DriveRecord& record);
    bool ReportHeldDrive();
    bool PrepareSlot(int slot, uint8_t& answer, uint8_t& ejectAnswer);
    bool TrayAndDiscLoop(device::AtapiDevice& drive);
    void StopBackgroundFormatting(device::AtapiDevice& drive);
    void StartWorker(int slot);
    // The flash of the run begins (its first worker) and ends (every worker has ended): the
    // gate, and sleep and shutdown held off for exactly that long.
    bool BeginFlash();
    void EndFlash();
    void WorkerFinished();
    void Complete();
    // The run's verdict from every chosen drive's outcome: one not flashed, failed or unknown
    // drive makes the run no success.
    RunEnd JudgeRun();
    // Keeps the record of a run that wrote (engine/RunHistory); what the failure message adds.
    void RecordRun(RunEnd end);
    DriveResult DescribeSlot(int slot) const;
    // The chosen drives and their changes, as the run's question names them.
    std::vector<PlannedChange> PlannedChanges() const;
    // The status line and the step it stands for.
    void ShowStep(Step step, const std::string& words);
    DriveResult DescribeRecord(const device::DriveRecord& record) const;
    const device::DriveRecord* SlotRecord(int slot) const;
    void Reidentify();
    void EndRun(RunEnd end);
    // The run has given its verdict.
    void RunOver();
    void RestartAfterSuccess();
    void SetProgressBar(int position, int maximum);
    int SlotOfItem(int item) const;

    package::Package& package_;
    UpdateView& view_;
    bool parsed_ = false;
    bool forCheck_ = false;
    bool leaveUpToDate_ = false;
    platform::DirectIde directIde_ = platform::DirectIde::Available;
    bool recoveryRun_ = false;
    bool offerRecovery_ = false;
    bool recovering_ = false;    // the next run recovers the selected drive
    std::string checkRevision_;  // the revision the check expects
    package::ParseResult parseResult_;
    device::OSInfo osInfo_;

    std::unique_ptr<device::AtapiDevice> startupDevice_;
    std::unique_ptr<directide::RurDriver> ideDriver_;

    // The drive list.
    std::vector<std::string> listLines_;
    std::array<int32_t, kMaxListedDrives> comboToDrive_{};
    int selectedItem_ = -1;
    std::string driveListText_;
    RevisionLine revisionLine_;

    // The current run.
    std::array<std::unique_ptr<device::AtapiDevice>, kMaxListedDrives> driveSlots_;
    std::array<std::vector<uint8_t>, kMaxListedDrives> imageSlots_;
    std::array<int, kMaxListedDrives> slotDrive_{};     // which enumerated drive each slot holds
    std::array<bool, kMaxListedDrives> slotStarted_{};  // its worker was started
    int driveCount_ = 0;
    int started_ = 0;
    int running_ = 0;
    bool runComplete_ = true;  // every drive of the run has been started
    DriveClaims claims_;       // the drives this run holds
    bool inRun_ = false;
    bool closeRequested_ = false;  // during this run
    bool endAfterRun_ = false;
    bool updated_ = false;
    RunReport lastRun_;
    std::string historyNote_;  // where this run's record went, for the failure message
    FlashGate ownGate_;
    FlashGate& gate_;
    bool shutdownBlocked_ = false;
    ProgressAnimation animation_;
    int progressPosition_ = 0;
    int progressMaximum_ = 100;
};

}  // namespace engine
