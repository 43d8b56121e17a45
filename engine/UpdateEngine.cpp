#include "engine/UpdateEngine.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "common/Text.h"
#include "common/Version.h"
#include "device/CommandSet.h"
#include "engine/AccessTexts.h"
#include "engine/DialogTexts.h"
#include "engine/Downloads.h"
#include "engine/Parser.h"
#include "engine/Recovery.h"
#include "engine/RestartCheck.h"
#include "engine/RunHistory.h"
#include "engine/StartupTexts.h"
#include "package/PackageChecksum.h"
#include "platform/System.h"
#include "platform/Trace.h"

namespace engine {
namespace {
constexpr int kProgressSteps = 360;  // 36 seconds of 100 ms ticks
constexpr double kTrayReadySeconds = 120;
constexpr double kReidentifyReadySeconds = 30;
constexpr int kBackgroundFormatRepeats = 10;
constexpr uint8_t kBackgroundFormatRunning = 2;
constexpr int kIdeSlots = 8;
constexpr char kCaption[] = "Brenvo";

// A drive as the run's question names it: its letter (or IDE place) and its identity.
std::string ChangedDriveName(const device::DriveRecord& record) {
    auto trimmed = [](std::string text) {
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    };
    std::string place = FieldText(record.rootPath);
    place = common::ShownText(place.substr(0, 2));  // "E:\" -> "E:"
    if (place.empty()) {
        place = "IDE channel " + std::to_string(record.adapter) +
                (record.target == 0 ? " master" : " slave");
    }
    return place + " " + trimmed(ShownField(record.vendor)) + " " +
           trimmed(ShownField(record.product));
}

// A drive that stayed busy past its commands' time-out: named by its list line.
std::string StoppedAnsweringText(const std::string& line) {
    return "The drive " + common::TrimBlanks(line) +
           " stopped answering (it stayed busy beyond its commands' time-out): its state is "
           "unknown. Leave it powered, and check it with the drive list before anything else.";
}

// The recovery's consent and outcome, for whoever reads the trace after a cut flash.
void TraceRecovery(const std::string& step, const std::string& drive, int image,
                   const std::string& detail) {
    if (platform::Trace* trace = platform::Trace::Current()) {
        trace->Write({{"recovery", step}, {"drive", drive}, {"image", image}, {"detail", detail}});
    }
}
}  // namespace

UpdateEngine::UpdateEngine(package::Package& package, UpdateView& view, FlashGate* gate)
    : package_(package), view_(view), gate_(gate ? *gate : ownGate_) {}

UpdateEngine::~UpdateEngine() {
    if (shutdownBlocked_) platform::CurrentSystem().ReleaseShutdownBlock();
}

const package::ParseResult& UpdateEngine::ParsePackage() {
    if (!parsed_) {
        parseResult_ = package_.Parse();
        parsed_ = true;
    }
    return parseResult_;
}

RevisionForm UpdateEngine::Form() const {
    return RevisionForm{package_.LongRevisionMode(), !package_.Options().directIde};
}

StartEnd UpdateEngine::Stop(StartEnd end) {
    view_.RequestTerminate();
    return end;
}

StartEnd UpdateEngine::StartUp(const CheckRequest& check) {
    const package::ParseResult& parsed = ParsePackage();
    const auto& o = package_.Options();
    const int language = o.language;
    // Only the OEM wizard's package checks its drive after the restart.
    forCheck_ = check.requested && o.uiVariant == 2;
    checkRevision_ = forCheck_ ? check.expected : "";
    if (parsed.problem == package::PackageProblem::NoImages) {
        view_.ShowMessage(MessageKind::Error, NoFirmwareText(language), kCaption);
        return Stop(StartEnd::NoFirmware);
    }
    if (!parsed.ok()) {
        view_.ShowMessage(MessageKind::Error, parsed.message, kCaption);
        return Stop(StartEnd::DamagedPackage);
    }
    if (o.directIde && directIde_ != platform::DirectIde::Available) {
        // Refused before the flash driver is installed: nothing is written anywhere.
        view_.ShowMessage(MessageKind::Error, DirectIdeRefusalText(directIde_, language), kCaption);
        return Stop(directIde_ == platform::DirectIde::NoDriverForSystem ? StartEnd::NoFlashDriver
                                                                         : StartEnd::No64BitDriver);
    }

    view_.SetStatus("");
    SetProgressBar(0, 100);
    view_.SetPercent("0 %");
    startupDevice_.reset();
    ideDriver_.reset();
    updated_ = false;

    // The device object of the chosen path; building it finds the drives.
    uint32_t lastError = 0;
    try {
        if (o.directIde) {
            ideDriver_ = std::make_unique<directide::RurDriver>();
            ideDriver_->InstallAndOpen();
            lastError = ideDriver_->lastError;
        } else {
            startupDevice_ = std::make_unique<device::AtapiDevice>();
            lastError = startupDevice_->LastError();
        }
    } catch (const std::exception&) {
        startupDevice_.reset();
        ideDriver_.reset();
    }
    if (!startupDevice_ && !ideDriver_) {
        CaptionedText t = DeviceFailedText(language);
        view_.ShowMessage(MessageKind::Error, t.text, t.caption);
        return Stop(StartEnd::DeviceFailed);
    }

    if (osInfo_.IsNtFamily() && !device::IsAdministrator(osInfo_)) {
        lastError = platform::kErrorAccessDenied;
    }
    if (lastError == platform::kErrorAccessDenied) {
        // Where the system's rights are not the administrator's, the refusal says what is true
        // there: the node refused, the user, and what would give access.
        if (auto denial = platform::WhyAccessDenied()) {
            CaptionedText t = AccessDenialText(*denial, language, view_.IsConsole());
            view_.ShowMessage(MessageKind::Error, WrapLines(t.text, kAccessTextColumns), t.caption);
        } else if (o.uiVariant == 1 || language == 2) {
            view_.ShowInvalidUser();
        } else {
            CaptionedText t = AccessDeniedText(language);
            view_.ShowMessage(MessageKind::Error, t.text, t.caption);
        }
        return Stop(StartEnd::AccessDenied);
    }

    FillDriveList();
    DrivesChange(selectedItem_);

    if (!CountQualifyingDrives() && !forCheck_ && !recoveryRun_ && !RecoveryAccepted()) {
        if (ReportHeldDrive()) return Stop(StartEnd::DriveHeld);
        if (o.uiVariant == 1) {
            view_.ShowNoProperDrive();
        } else if (o.uiVariant == 0 || o.uiVariant == 2) {
            const std::string loaders = LoaderReport();
            view_.ShowMessage(MessageKind::Error,
                              NoMatchReport(language, package_.DriveName(), driveListText_) +
                                  (loaders.empty() ? "" : "\n" + loaders),
                              kCaption);
        }
        return Stop(StartEnd::NoMatchingDrive);
    }
    if (!ShowNotice()) return Stop(StartEnd::NoticeDeclined);
    for (auto& image : imageSlots_)
        image.clear();
    return StartEnd::Ready;
}

bool UpdateEngine::CountQualifyingDrives() const {
    auto qualifies = [](const device::DriveRecord* r) { return r && r->present && r->matched; };
    if (ideDriver_) {
        for (int slot = 0; slot < kIdeSlots; ++slot) {
            if (qualifies(ideDriver_->DriveAtSlot(slot))) return true;
        }
        for (int i = 0; i < ideDriver_->DetectedCount(); ++i) {
            if (qualifies(ideDriver_->DriveForListPosition(i))) return true;
        }
        return false;
    }
    for (int i = 0; i < startupDevice_->DriveCount(); ++i) {
        if (qualifies(startupDevice_->DriveAt(i))) return true;
    }
    return false;
}

bool UpdateEngine::ReportHeldDrive() {
    if (!startupDevice_ || startupDevice_->heldRoots.empty()) return false;
    const std::string& root = startupDevice_->heldRoots.front();
    view_.ShowMessage(MessageKind::Error,
                      DriveHeldText(package_.Options().language, DriveName(root),
                                    platform::CurrentSystem().DriveHolder(root)),
                      kCaption);
    return true;
}

bool UpdateEngine::ClaimForRun(const device::DriveRecord& record) {
    // The list's own handle on the drive would stand in the way of an exclusive claim.
    if (startupDevice_) startupDevice_->CloseDrive();
    std::string holder;
    if (claims_.Claim(record, holder)) return true;
    claims_.ReleaseAll();
    view_.ShowMessage(MessageKind::Error,
                      DriveHeldText(package_.Options().language, DriveName(record), holder),
                      kCaption);
    return false;
}

bool UpdateEngine::ShowNotice() {
    const auto& o = package_.Options();
    if (o.uiVariant == 1) {
        return view_.Ask(ChecklistText(o.language), kCaption, AskButtons::OkCancel);
    }
    if ((o.uiVariant == 0 || o.uiVariant == 2) && (o.noticeKind == 1 || o.noticeKind == 2)) {
        return view_.Ask(NoticeText(o.language, package_.DriveName(), o.noticeKind), kCaption,
                         AskButtons::YesNo);
    }
    return true;
}

// --- the drive list ---

void UpdateEngine::FillDriveList() {
    listLines_.clear();
    driveListText_.clear();
    comboToDrive_.fill(0);
    selectedItem_ = -1;
    if (!startupDevice_ && !ideDriver_) return;

    // Match every drive, then list them in the same order.
    std::vector<std::pair<device::DriveRecord*, int32_t>> drives;  // record, comboToDrive value
    if (ideDriver_) {
        for (int i = 0; i < ideDriver_->DetectedCount(); ++i) {
            const device::DriveRecord* listed = ideDriver_->DriveForListPosition(i);
            if (!listed) continue;
            int slot = 2 * listed->adapter + listed->target;
            drives.emplace_back(ideDriver_->DriveAtSlot(slot), slot);
        }
    } else {
        for (int i = 0; i < startupDevice_->DriveCount(); ++i) {
            drives.emplace_back(startupDevice_->DriveAt(i), i);
        }
    }
    for (auto& [record, index] : drives) {
        if (record) MatchDrive(*record, package_, Form());
    }
    const bool onlyMatched = package_.Options().listMatchedOnly;
    for (auto& [record, index] : drives) {
        if (!record || static_cast<int>(listLines_.size()) == kMaxListedDrives) continue;
        // A drive of the family left in its boot loader stays listed: it is to be recovered.
        const bool familyLoader = InBootLoader(*record) && OfPackageFamily(*record, package_);
        if (onlyMatched && !(record->present && record->matched) && !CheckedAfterUpdate(*record) &&
            !familyLoader)
            continue;
        std::string line = DriveLine(*record, Form());
        driveListText_ += line + "\n";
        comboToDrive_[listLines_.size()] = index;
        listLines_.push_back(line);
    }
    if (!listLines_.empty()) selectedItem_ = 0;
    for (int item = 0; item < static_cast<int>(listLines_.size()); ++item) {
        const device::DriveRecord* r = ListedDrive(item);
        if (r && r->present && r->matched) selectedItem_ = item;
    }
    view_.DriveListChanged();
}

bool UpdateEngine::CheckedAfterUpdate(const device::DriveRecord& record) const {
    return forCheck_ && OfPackageFamily(record, package_) &&
           (InBootLoader(record) ||
            common::TrimBlanks(DriveRevision(record, Form())) == checkRevision_);
}

device::DriveRecord* UpdateEngine::DriveOfItem(int item) {
    if (item < 0 || item >= static_cast<int>(listLines_.size())) return nullptr;
    if (ideDriver_) return ideDriver_->DriveAtSlot(comboToDrive_[item]);
    if (startupDevice_) return startupDevice_->DriveAt(comboToDrive_[item]);
    return nullptr;
}

const device::DriveRecord* UpdateEngine::ListedDrive(int item) const {
    return const_cast<UpdateEngine*>(this)->DriveOfItem(item);
}

int UpdateEngine::SlotOfItem(int item) const {
    return comboToDrive_[item];
}

std::string UpdateEngine::DisplayRevision(const device::DriveRecord& record) const {
    return Form().Long() ? ShownField(record.driveTag) : ShownField(record.revision);
}

void UpdateEngine::DrivesChange(int item) {
    if (item < 0 || item >= static_cast<int>(listLines_.size())) return;
    selectedItem_ = item;
    if (ideDriver_) {
        ideDriver_->SelectSlot(SlotOfItem(item));
    } else if (startupDevice_) {
        startupDevice_->OpenDrive(SlotOfItem(item));
    }
    const device::DriveRecord* record = DriveOfItem(item);
    const int language = package_.Options().language;
    // The revision labels keep their texts while they are hidden for a drive that is not matched.
    RevisionLine previous = revisionLine_;
    revisionLine_ = RevisionLine{};
    revisionLine_.oldRevision = previous.oldRevision;
    revisionLine_.newRevision = previous.newRevision;
    if (!record || !record->matched) {
        revisionLine_.message = RefusalText(language);
        revisionLine_.messageColour = Colour::Maroon;
    } else {
        revisionLine_.matched = true;
        revisionLine_.message = AnnouncementText(language);
        revisionLine_.newRevision = package_.NewRevisionLabel(record->imageIndex + 1);
        revisionLine_.oldRevision = DisplayRevision(*record);
    }
    view_.DriveListChanged();
}

// --- the update procedure ---

bool UpdateEngine::NeedsWarning(const device::DriveRecord& record) const {
    const auto& o = package_.Options();
    return (record.driveNewer && o.warnNewer) || (record.sameRevision && o.warnSame);
}

bool UpdateEngine::LeavesAlone(const device::DriveRecord& record) const {
    return leaveUpToDate_ && record.present && HoldsSameOrNewer(record, package_, Form());
}

DrivePlan UpdateEngine::PlanFor(const device::DriveRecord* record) const {
    const auto& o = package_.Options();
    if (!record || !record->present || !record->matched) return DrivePlan::NotSupported;
    if (recovering_) return DrivePlan::Update;
    if (LeavesAlone(*record)) return DrivePlan::UpToDate;
    if (o.unattended && !ideDriver_ && o.skipCurrent && record->sameRevision)
        return DrivePlan::SkipCurrent;
    return DrivePlan::Update;
}

std::vector<PlannedDrive> UpdateEngine::PlanRun() const {
    const auto& o = package_.Options();
    // The direct-IDE path's unattended run takes the first slot that qualifies.
    int firstSlot = -1;
    for (int slot = 0; ideDriver_ && slot < kIdeSlots && firstSlot < 0; ++slot) {
        if (PlanFor(ideDriver_->DriveAtSlot(slot)) == DrivePlan::Update) firstSlot = slot;
    }
    std::vector<PlannedDrive> plans;
    int taken = 0;
    bool latch = false;
    for (int item = 0; item < static_cast<int>(listLines_.size()); ++item) {
        PlannedDrive planned;
        planned.item = item;
        const device::DriveRecord* record = ListedDrive(item);
        planned.drive = record ? DescribeRecord(*record) : DriveResult{listLines_[item]};
        planned.plan = PlanFor(record);
        if (planned.plan == DrivePlan::Update) {
            if (!o.unattended && item != selectedItem_) {
                planned.plan = DrivePlan::NotChosen;
            } else if (o.unattended &&
                       (ideDriver_ ? SlotOfItem(item) != firstSlot : taken == kMaxListedDrives)) {
                planned.plan = DrivePlan::Beyond;
            }
        }
        if (planned.plan == DrivePlan::Update) {
            ++taken;
            latch = latch || NeedsWarning(*record);
            planned.asks = (o.unattended && latch) || NeedsWarning(*record) ||
                           (o.uiVariant == 1 && !o.unattended);
        }
        plans.push_back(planned);
    }
    return plans;
}

bool UpdateEngine::ChooseDrives(uint8_t& answer) {
    const auto& o = package_.Options();
    if (o.unattended) {
        view_.SetButtons(false, true);
        bool latch = false;
        const int count = ideDriver_ ? kIdeSlots : startupDevice_->DriveCount();
        for (int i = 0; i < count; ++i) {
            device::DriveRecord* record =
                ideDriver_ ? ideDriver_->DriveAtSlot(i) : startupDevice_->DriveAt(i);
            if (!record) continue;
            // A drive left alone is not flashed, so there is nothing to ask about it.
            if (PlanFor(record) == DrivePlan::UpToDate) {
                lastRun_.upToDate.push_back(DescribeRecord(*record));
                continue;
            }
            if (NeedsWarning(*record)) latch = true;
            if (latch) {
                view_.ShowNewerWarning(&answer);
                if (answer != 1) return false;
            }
            if (!record->present || !record->matched) continue;
            if (ideDriver_) {
                ideDriver_->SelectSlot(i);
                slotDrive_[0] = i;
                driveCount_ = 1;
                break;
            }
            if (o.skipCurrent && record->sameRevision) continue;
            if (!ClaimForRun(*record)) return false;
            auto drive = std::make_unique<device::AtapiDevice>();
            drive->OpenDrive(i);
            slotDrive_[driveCount_] = i;
            driveSlots_[driveCount_++] = std::move(drive);
            view_.SetOldRevision(DisplayRevision(*record));
            if (driveCount_ == kMaxListedDrives) break;
        }
        return true;
    }

    device::DriveRecord* record = DriveOfItem(selectedItem_);
    if (!record) return true;
    if (PlanFor(record) == DrivePlan::UpToDate) {
        lastRun_.upToDate.push_back(DescribeRecord(*record));
        return true;
    }
    if (NeedsWarning(*record)) {
        if (o.uiVariant == 1) {
            view_.ShowMostUpdate();
            answer = 0;
        } else {
            view_.ShowNewerWarning(&answer);
        }
        if (answer != 1) return false;
    }
    driveCount_ = 1;
    slotDrive_[0] = SlotOfItem(selectedItem_);
    if (ideDriver_) {
        ideDriver_->SelectSlot(slotDrive_[0]);
    } else {
        if (!ClaimForRun(*record)) return false;
        auto drive = std::make_unique<device::AtapiDevice>();
        drive->OpenDrive(slotDrive_[0]);
        driveSlots_[0] = std::move(drive);
    }
    return true;
}

bool UpdateEngine::RequestClose() {
    if (!inRun_) return true;
    closeRequested_ = true;
    return false;
}

void UpdateEngine::RunOver() {
    inRun_ = false;
    view_.SetVerdict(lastRun_.end);
    if (closeRequested_ || endAfterRun_) view_.RequestTerminate();
    closeRequested_ = false;
}

void UpdateEngine::UpdateClick() {
    if (inRun_ || running_ > 0 || !runComplete_) return;  // one run at a time
    inRun_ = true;
    uint8_t answer = 0;
    uint8_t ejectAnswer = 1;
    driveCount_ = 0;
    started_ = 0;
    lastRun_ = RunReport{};
    lastRun_.recovery = recovering_;
    for (auto& slot : driveSlots_)
        slot.reset();

    // The OEM variant registers the check after the restart once the flash has succeeded; an
    // entry this system could not run is refused now, before any drive is written.
    if (package_.Options().uiVariant == 2) {
        const int item = std::max(selectedItem_, 0);
        const device::DriveRecord* record = DriveOfItem(item);
        if (std::string problem = RestartCheckProblem(item, revisionLine_.newRevision,
                                                      record ? DriveIdentity(*record) : "");
            !problem.empty()) {
            view_.ShowMessage(MessageKind::Error,
                              "The check after the restart cannot be registered: " + problem +
                                  ". Nothing was written to the drive.",
                              kCaption);
            lastRun_.end = RunEnd::Declined;
            RunOver();
            return;
        }
    }

    if (!ChooseDrives(answer)) {
        for (auto& slot : driveSlots_)
            slot.reset();
        claims_.ReleaseAll();
        lastRun_.end = RunEnd::Declined;
        view_.RequestTerminate();
        RunOver();
        return;
    }
    running_ = 0;
    slotStarted_.fill(false);
    // Every chosen drive has its line in the report, whether or not its turn comes.
    for (int slot = 0; slot < driveCount_; ++slot)
        lastRun_.drives.push_back(DescribeSlot(slot));
    if (driveCount_ == 0) {
        lastRun_.end = RunEnd::NoDrive;
        if (package_.Options().exitWhenDone) view_.RequestTerminate();
    }

    // An attended run asks once before the first write, naming each drive it takes; a package
    // that starts without asking still heeds a no given before the run began.
    const bool asks = !package_.Options().unattended || view_.RunRefused();
    const bool confirmed = driveCount_ == 0 || !asks || view_.ConfirmRun(PlannedChanges());
    if (!confirmed) {
        lastRun_.end = RunEnd::Declined;
        view_.RequestTerminate();
    }

    runComplete_ = false;
    for (int slot = 0; confirmed && slot < driveCount_; ++slot) {
        if (closeRequested_) {
            // The window was asked to close: the drives whose turn has not come stay as they are.
            lastRun_.end = RunEnd::Stopped;
            break;
        }
        if (!PrepareSlot(slot, answer, ejectAnswer)) break;
    }
    runComplete_ = true;

    if (started_ == 0) {
        // Nothing runs: whatever was opened for the run is closed again.
        for (auto& slot : driveSlots_)
            slot.reset();
        claims_.ReleaseAll();
        if (lastRun_.end == RunEnd::None && driveCount_ > 0) lastRun_.end = RunEnd::Declined;
        RunOver();
        return;
    }
    if (package_.Options().directIde) {
        SetProgressBar(0, 100);
    } else {
        animation_ = ProgressAnimation{0, kProgressSteps};
        SetProgressBar(0, kProgressSteps);
        view_.SetTimerRunning(true);
        std::string words = Text(UpdateText::ProgrammingPrefix, package_.Options().language);
        view_.SetStep(Step::Flashing, words.erase(words.find_last_not_of(' ') + 1) + " ...");
    }
    view_.SetButtons(false, false);
    view_.SetStatusColour(Colour::Maroon);
    // Workers that ended while later drives were still being prepared are reported now.
    if (running_ == 0) Complete();
}

const device::DriveRecord* UpdateEngine::SlotRecord(int slot) const {
    return ideDriver_ ? ideDriver_->DriveAtSlot(slotDrive_[slot])
                      : startupDevice_->DriveAt(slotDrive_[slot]);
}

std::vector<PlannedChange> UpdateEngine::PlannedChanges() const {
    std::vector<PlannedChange> changes;
    for (int slot = 0; slot < driveCount_; ++slot) {
        const device::DriveRecord* record = SlotRecord(slot);
        const DriveResult& drive = lastRun_.drives[static_cast<size_t>(slot)];
        changes.push_back({record ? ChangedDriveName(*record) : drive.line, drive.oldRevision,
                           drive.packageRevision});
    }
    return changes;
}

DriveResult UpdateEngine::DescribeSlot(int slot) const {
    const device::DriveRecord* record = SlotRecord(slot);
    return record ? DescribeRecord(*record) : DriveResult{};
}

DriveResult UpdateEngine::DescribeRecord(const device::DriveRecord& record) const {
    DriveResult result;
    result.line = DriveLine(record, Form());
    result.address = std::to_string(record.adapter) + "-" + std::to_string(record.path) + "-" +
                     std::to_string(record.target) + "-" + std::to_string(record.lun);
    if (const std::string root = FieldText(record.rootPath).substr(0, 2); !root.empty())
        result.address += " " + root;
    result.identity = common::ShownText(common::TrimBlanks(FieldText(record.vendor)) + " " +
                                        common::TrimBlanks(FieldText(record.product)));
    result.oldRevision = DisplayRevision(record);
    if (record.matched) {
        result.packageRevision = package_.NewRevision(record.imageIndex + 1, Form().Long());
        if (package_.Options().directIde) {
            result.path = "direct IDE, flash driver";
        } else {
            result.path =
                std::string(record.viaAspi ? "ASPI" : "pass-through") +
                (package_.ImageSize(record.imageIndex + 1) == static_cast<int32_t>(kBankImageSize)
                     ? ", 128 KiB download"
                     : ", verified download");
        }
    }
    return result;
}

bool UpdateEngine::PrepareSlot(int slot, uint8_t& answer, uint8_t& ejectAnswer) {
    const auto& o = package_.Options();
    const device::DriveRecord* record = SlotRecord(slot);
    if (!record) return false;
    const int k = record->imageIndex;

    imageSlots_[slot] = package_.SelectImage(k);
    if (imageSlots_[slot].empty()) return false;  // never flash what the package does not hold
    const DriveResult& result = lastRun_.drives[static_cast<size_t>(slot)];

    FlashJob job;
    job.image = imageSlots_[slot].data();
    job.keyTable = package_.KeyTable(k + 1).data();
    job.imageSize = static_cast<int32_t>(imageSlots_[slot].size());
    job.commitVariant = o.commitVariant;

    if (ideDriver_) {
        job.useDirectIde = true;
        job.ideDevice = ideDriver_.get();
        job.ideJob.imageSize = static_cast<uint32_t>(job.imageSize);
        job.ideJob.onProgress = [this](int percent) {
            view_.PostToUiThread([this, percent] { ShowProgress(percent); });
        };
        job.ideJob.onStatus = [this](const std::string& text) {
            view_.PostToUiThread([this, text] { ShowStatus(text); });
        };
    } else {
        device::AtapiDevice* drive = driveSlots_[slot].get();
        if (!drive) return false;
        job.driveDevice = drive;
        if (o.uiVariant == 1) {
            if (!o.unattended) {
                view_.ShowUpdateConfirm(&answer, result.oldRevision,
                                        package_.NewRevisionLabel(k + 1));
                if (answer == 0) {
                    lastRun_.end = RunEnd::Declined;
                    view_.RequestTerminate();
                    return false;
                }
            }
            if (o.checkTray) {
                WaitReady(*drive, kTrayReadySeconds);
                if (!IsMediumAbsent(*drive)) {
                    ejectAnswer = 1;
                    view_.ShowEjectDisc(&ejectAnswer);
                    if (ejectAnswer == 1) {
                        WaitReady(*drive, kTrayReadySeconds);
                        EjectTray(*drive);
                    }
                }
            }
        } else if ((o.uiVariant == 0 || o.uiVariant == 2) && o.checkTray) {
            if (!TrayAndDiscLoop(*drive)) {
                lastRun_.end = RunEnd::Stopped;
                // A drive flashing already runs to its end, and the run then ends the program
                // with its verdict; the window stays until then.
                if (running_ == 0) view_.RequestTerminate();
                return false;
            }
        }
        StopBackgroundFormatting(*drive);
        StopUnit(*drive);
    }

    // The flash begins with the run's first worker; a stop asked for before it ends the run with
    // nothing written, one asked for during it starts no further drive.
    if (started_ == 0 ? !BeginFlash() : gate_.StopRequested()) {
        lastRun_.end = RunEnd::Stopped;
        if (started_ == 0) view_.RequestTerminate();
        return false;
    }
    slotStarted_[static_cast<size_t>(slot)] = true;
    ++running_;
    ++started_;
    Parser::Start(
        job, [this] { WorkerFinished(); },
        [this](std::function<void()> task) { view_.PostToUiThread(std::move(task)); });
    return true;
}

bool UpdateEngine::TrayAndDiscLoop(device::AtapiDevice& drive) {
    const int language = package_.Options().language;
    ShowStep(Step::Preparing, Text(UpdateText::CheckDiscAndTray, language));
    while (true) {
        // A drive that no longer answers cannot show its tray: its worker says what became of it.
        if (drive.StoppedAnswering()) return true;
        const bool mediumAbsent = IsMediumAbsent(drive);
        if (mediumAbsent && !IsTrayOpen(drive)) return true;
        if (closeRequested_ || view_.StopRequested() || gate_.StopRequested()) return false;
        if (!mediumAbsent) {
            ShowStep(Step::Preparing, Text(UpdateText::TrayOut, language));
            view_.Repaint();
            EjectTray(drive);
            WaitReady(drive, kTrayReadySeconds);
            // The drive no longer reporting a medium means the tray came out.
            bool trayOut = SenseIs(drive, 2, 0x3A);
            view_.ShowMessage(
                MessageKind::Warning,
                Text(trayOut ? UpdateText::RemoveDisc : UpdateText::CannotEject, language),
                kCaption);
        }
        ShowStep(Step::Preparing, Text(UpdateText::TrayIn, language));
        view_.Repaint();
        LoadTray(drive);
        ShowStep(Step::Preparing, Text(UpdateText::WaitingReady, language));
        view_.Repaint();
        WaitReady(drive, kTrayReadySeconds);
        if (IsTrayOpen(drive)) {
            view_.ShowMessage(MessageKind::Warning, Text(UpdateText::PushTrayIn, language),
                              kCaption);
        }
    }
}

void UpdateEngine::StopBackgroundFormatting(device::AtapiDevice& drive) {
    if (IsMediumAbsent(drive) || BackgroundFormatStatus(drive) != kBackgroundFormatRunning) return;
    StopBackgroundFormat(drive);
    for (int repeat = 0; repeat < kBackgroundFormatRepeats; ++repeat) {
        if (BackgroundFormatStatus(drive) != kBackgroundFormatRunning) break;
        StopBackgroundFormat(drive);
    }
}

void UpdateEngine::TimerTick() {
    ProgressAnimation::Frame frame = animation_.Tick(package_.Options().language);
    if (frame.stepped) {
        SetProgressBar(animation_.position, animation_.maximum);
        view_.SetPercent(frame.percent);
    }
    view_.SetStatus(frame.status);
}

void UpdateEngine::ShowProgress(int percent) {
    SetProgressBar(percent, 100);
    view_.SetPercent(std::to_string(progressPosition_ * 100 / progressMaximum_) + " %");
    view_.Repaint();
}

void UpdateEngine::ShowStatus(const std::string& text) {
    ShowStep(Step::Flashing, text);
    view_.Repaint();
}

void UpdateEngine::ShowStep(Step step, const std::string& words) {
    view_.SetStatus(words);
    view_.SetStep(step, words);
}

void UpdateEngine::SetProgressBar(int position, int maximum) {
    progressMaximum_ = maximum;
    progressPosition_ = std::clamp(position, 0, maximum);
    view_.SetProgress(progressPosition_, progressMaximum_);
}

void UpdateEngine::WorkerFinished() {
    --running_;
    if (running_ == 0 && runComplete_) Complete();
}

bool UpdateEngine::BeginFlash() {
    if (!gate_.BeginFlash()) return false;
    view_.SetFlashing(true);
    const std::string reason = Text(UpdateText::ShutdownBlockReason, package_.Options().language);
    shutdownBlocked_ = platform::CurrentSystem().BlockShutdown(reason).ok;
    return true;
}

void UpdateEngine::EndFlash() {
    if (!gate_.Flashing()) return;
    if (shutdownBlocked_) platform::CurrentSystem().ReleaseShutdownBlock();
    shutdownBlocked_ = false;
    gate_.EndFlash();
    view_.SetFlashing(false);
}

void UpdateEngine::Complete() {
    // Every worker has ended: the drives have finished with their flash.
    EndFlash();
    view_.SetTimerRunning(false);
    for (int slot = 0; slot < driveCount_; ++slot) {
        DriveOutcome& outcome = lastRun_.drives[static_cast<size_t>(slot)].outcome;
        if (!slotStarted_[static_cast<size_t>(slot)]) {
            outcome = DriveOutcome::NotFlashed;
        } else if (ideDriver_) {
            outcome = ideDriver_->flashResult == 0 ? DriveOutcome::Flashed : DriveOutcome::Failed;
        } else {
            uint8_t status = driveSlots_[slot]->WorkerStatus();
            lastRun_.drives[static_cast<size_t>(slot)].stoppedAnswering =
                driveSlots_[slot]->StoppedAnswering();
            outcome = status == kWorkerSucceeded ? DriveOutcome::Flashed
                      : status == kWorkerUnknown ? DriveOutcome::Unknown
                                                 : DriveOutcome::Failed;
        }
    }
    for (auto& slot : driveSlots_)
        slot.reset();  // closes each drive
    SetProgressBar(progressMaximum_, progressMaximum_);
    view_.SetPercent("100 %");
    ShowStep(Step::Checking, Text(UpdateText::Inquiry, package_.Options().language));
    view_.Repaint();
    Reidentify();
    // The drives were read back under the claim; the list's handle goes first, so that nothing
    // of this run keeps the drive exclusively.
    if (startupDevice_) startupDevice_->CloseDrive();
    claims_.ReleaseAll();
    view_.SetButtons(true, true);
    const RunEnd end = JudgeRun();
    if (lastRun_.recovery) {
        recovering_ = false;
        const DriveResult& d = lastRun_.drives.front();
        TraceRecovery("outcome", d.line, SlotRecord(0) ? SlotRecord(0)->imageIndex + 1 : 0,
                      end == RunEnd::Succeeded ? "recovered, now " + d.revisionAfter
                      : d.answered             ? "not recovered, now " + d.revisionAfter
                                               : "not recovered, the drive did not answer");
    }
    RecordRun(end);
    EndRun(end);
    RunOver();
    // A run asked to stop while it flashed ends once it has given its verdict.
    if (gate_.StopRequested()) view_.RequestTerminate();
}

RunEnd UpdateEngine::JudgeRun() {
    bool failed = false, notFlashed = false, unknown = false;
    for (const DriveResult& drive : lastRun_.drives) {
        failed |= drive.outcome == DriveOutcome::Failed;
        notFlashed |= drive.outcome == DriveOutcome::NotFlashed;
        unknown |= drive.outcome == DriveOutcome::Unknown;
    }
    if (failed || lastRun_.drives.empty()) return RunEnd::Failed;
    if (notFlashed) return lastRun_.end == RunEnd::Stopped ? RunEnd::Stopped : RunEnd::Failed;
    if (unknown) return RunEnd::Unknown;
    return RunEnd::Succeeded;
}

void UpdateEngine::RecordRun(RunEnd end) {
    historyNote_.clear();
    auto& system = platform::CurrentSystem();
    const std::string file = system.HistoryFile();
    if (file.empty()) return;  // a machine with no place for it (an emulated PC in memory)
    std::string program = HistoryProgram().empty() ? system.ModuleFileName() : HistoryProgram();
    if (const size_t slash = program.find_last_of("/\\"); slash != std::string::npos)
        program.erase(0, slash + 1);
    RunFacts facts;
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char time[32];
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", &utc);
    facts.time = time;
    facts.program = program + " " + common::kVersion;
    facts.title = package_.Title();
    facts.checksum = package::BlockChecksum(package_.Block());
    std::string problem;
    historyNote_ = AppendRecord(file, HistoryRecord(lastRun_, end, facts), problem)
                       ? HistoryNote(file)
                       : "The record of this run could not be kept: " + common::ShownText(problem);
}

void UpdateEngine::Reidentify() {
    const bool everyDrive = package_.Options().unattended;
    const int remembered = selectedItem_;
    // A drive that does not answer keeps its old record; what it reported before the run must
    // not pass for what it reports now.
    std::array<bool, kMaxListedDrives> answered;
    answered.fill(true);
    if (ideDriver_) {
        if (everyDrive) {
            ideDriver_->DetectDevices();
        } else if (remembered >= 0) {
            ideDriver_->SelectSlot(SlotOfItem(remembered));
            ideDriver_->RedetectCurrent();
        }
    } else if (startupDevice_) {
        auto reidentify = [&](int index) {
            answered[static_cast<size_t>(index)] = false;
            if (!startupDevice_->OpenDrive(index)) return;
            WaitReady(*startupDevice_, kReidentifyReadySeconds);
            answered[static_cast<size_t>(index)] = startupDevice_->ReidentifyCurrent();
        };
        if (everyDrive) {
            for (int i = 0; i < startupDevice_->DriveCount(); ++i)
                reidentify(i);
        } else if (remembered >= 0) {
            reidentify(SlotOfItem(remembered));
        }
    }
    // What each flashed drive reports now.
    for (int slot = 0; slot < driveCount_; ++slot) {
        DriveResult& result = lastRun_.drives[static_cast<size_t>(slot)];
        // The direct-IDE path drops the record of a slot that no longer identifies itself.
        const device::DriveRecord* record = SlotRecord(slot);
        result.answered = record && record->present &&
                          (ideDriver_ || answered[static_cast<size_t>(slotDrive_[slot])]);
        result.revisionAfter = result.answered ? DisplayRevision(*record) : "";
        // A drive that comes back in its boot loader holds no whole firmware: it failed, whatever
        // its worker said (a commit that lost its bank on the way, say).
        result.inBootLoader = result.answered && InBootLoader(*record);
        if (result.inBootLoader && result.outcome != DriveOutcome::NotFlashed)
            result.outcome = DriveOutcome::Failed;
        // A recovered drive must say who it is again: out of its loader, with the image's
        // revision. Anything else leaves its state unproven.
        if (lastRun_.recovery && result.outcome == DriveOutcome::Flashed &&
            (!result.answered || common::TrimBlanks(DriveRevision(*record, Form())) !=
                                     common::TrimBlanks(result.packageRevision)))
            result.outcome = DriveOutcome::Failed;
    }
    FillDriveList();
    if (!everyDrive && remembered >= 0 && remembered < static_cast<int>(listLines_.size())) {
        selectedItem_ = remembered;
        view_.DriveListChanged();
    }
}

void UpdateEngine::EndRun(RunEnd end) {
    const auto& o = package_.Options();
    const int language = o.language;
    if (end != RunEnd::Succeeded) {
        lastRun_.end = end;
        UpdateText text = end == RunEnd::Unknown ? UpdateText::OutcomeUnknown : UpdateText::Failure;
        std::string message = Text(text, language);
        for (const DriveResult& d : lastRun_.drives) {
            if (d.stoppedAnswering) message += "\n" + StoppedAnsweringText(d.line);
        }
        // The failure text as it always reads, then where the record of the run is.
        if (!historyNote_.empty()) message += "\n" + historyNote_;
        view_.ShowMessage(MessageKind::Error, message, kCaption);
        view_.RequestTerminate();
        return;
    }
    lastRun_.end = RunEnd::Succeeded;
    // The OEM variant checks the drive once more after the restart: registered before anything
    // could restart the computer.
    // The entry names the updated drive, so the check knows it from another drive at its index.
    if (o.uiVariant == 2) {
        const device::DriveRecord* updated = ListedDrive(selectedItem_);
        WriteRestartCheck(selectedItem_, revisionLine_.newRevision,
                          updated ? DriveIdentity(*updated) : "");
    }
    view_.SetStatusColour(Colour::Navy);
    ShowStep(Step::Done, Text(UpdateText::Done, language));
    updated_ = true;

    auto resetDisplay = [&] {
        view_.SetStatus("");
        DrivesChange(selectedItem_);
        view_.SetPercent("0 %");
        SetProgressBar(0, progressMaximum_);
    };
    switch (o.uiVariant) {
        case 0:
            if (o.stayAfterSuccess) {
                view_.ShowMessage(MessageKind::Information, Text(UpdateText::Success, language),
                                  kCaption);
                resetDisplay();
            }
            if (PlanRestart().restarts) {
                RestartAfterSuccess();
                return;
            }
            break;
        case 1:
            if (o.stayAfterSuccess) resetDisplay();
            if (gate_.StopRequested()) {
                ShowStep(Step::Done, kNoRestartAfterStopText);
            } else {
                view_.ShowRebootZulk();
            }
            view_.RequestTerminate();
            return;
        case 2:
            if (o.stayAfterSuccess) DrivesChange(selectedItem_);
            if (PlanRestart().restarts) {
                RestartAfterSuccess();
                return;
            }
            break;
        default:
            break;
    }
    if (o.exitWhenDone) view_.RequestTerminate();
}

RestartPlan UpdateEngine::PlanRestart() const {
    const auto& o = package_.Options();
    // The custom-dialog variant always offers its restart dialog; the others restart only when
    // the package says so, asking first where it says that too.
    RestartPlan plan;
    plan.restarts =
        o.uiVariant == 1 || ((o.uiVariant == 0 || o.uiVariant == 2) && o.rebootAfterSuccess);
    plan.asks = plan.restarts && (o.uiVariant == 1 || o.askBeforeReboot);
    return plan;
}

bool UpdateEngine::RecoveryAccepted() {
    if (!offerRecovery_ || forCheck_) return false;
    std::vector<const device::DriveRecord*> listed;
    for (int item = 0; item < static_cast<int>(listLines_.size()); ++item)
        listed.push_back(ListedDrive(item));
    const RecoveryOffer offer = OfferRecovery(listed, package_);
    std::string reason;
    return offer.offer && PrepareRecovery(offer.drive, reason);
}

std::string UpdateEngine::LoaderReport() const {
    std::string report;
    for (int item = 0; item < static_cast<int>(listLines_.size()); ++item) {
        const device::DriveRecord* r = ListedDrive(item);
        if (!r) continue;
        const std::string text = LoaderDriveText(FindRecovery(*r, package_), item);
        if (text.empty()) continue;
        report += "Drive " + std::to_string(item) + " (" +
                  common::TrimBlanks(FieldText(r->rootPath).substr(0, 2) + " " +
                                     common::TrimBlanks(ShownField(r->vendor)) + " " +
                                     common::TrimBlanks(ShownField(r->product))) +
                  ") is " + text + ".\n";
    }
    return report;
}

bool UpdateEngine::PrepareRecovery(int item, std::string& reason) {
    recovering_ = false;
    device::DriveRecord* record = DriveOfItem(item);
    const std::string drive = "drive " + std::to_string(item);
    if (forCheck_) {
        reason = "the check after a restart never recovers a drive";
        return false;
    }
    if (!record || !record->present) {
        reason = "there is no " + drive + " in the list";
        return false;
    }
    if (ideDriver_) {
        reason = "this package writes through the direct-IDE path, which does not recover drives";
        return false;
    }
    const RecoveryFinding finding = FindRecovery(*record, package_);
    if (finding.verdict == RecoveryVerdict::NotInLoader) {
        reason = drive + " is not in its boot loader: there is nothing to recover";
        return false;
    }
    if (finding.verdict != RecoveryVerdict::Recoverable) {
        reason = drive + " is " + LoaderDriveText(finding, item);
        return false;
    }
    const int language = package_.Options().language;
    const std::string line = DriveLine(*record, Form());
    const std::string newRevision = package_.NewRevisionLabel(finding.imageIndex + 1);
    const bool consent = view_.Ask(ConsoleText(DialogId::Recover, language, line, newRevision),
                                   RecoverWords(language).caption, AskButtons::YesNoDefaultNo);
    TraceRecovery("consent", line, finding.imageIndex + 1, consent ? "yes" : "no");
    if (!consent) {
        reason = "the recovery was not agreed to: nothing was written";
        return false;
    }
    record->matched = 1;
    record->imageIndex = static_cast<int16_t>(finding.imageIndex);
    record->driveNewer = 0;
    record->sameRevision = 0;
    recovering_ = true;
    DrivesChange(item);
    return true;
}

void UpdateEngine::RestartAfterSuccess() {
    if (gate_.StopRequested()) {
        // Whoever stopped the run does not want the computer restarted now.
        ShowStep(Step::Done, kNoRestartAfterStopText);
        view_.RequestTerminate();
        return;
    }
    if (view_.RestartHeld()) {
        // The view has said that a restart is still needed.
    } else if (PlanRestart().asks) {
        view_.ShowReboot();
    } else if (!device::RebootSystem(osInfo_)) {
        // The system refused: say so rather than end as if the computer were restarting.
        view_.ShowMessage(MessageKind::Warning, kRebootRefusedText, kCaption);
    }
    view_.RequestTerminate();
}

}  // namespace engine
