#include "engine/Parser.h"

#include <span>
#include <thread>

#include "device/CommandSet.h"
#include "engine/Downloads.h"
#include "package/Scramble.h"
#include "platform/System.h"

namespace engine {

namespace {
// The download ended on its last commit and that commit took longer than the time-out: the drive
// may have written its flash all the same. The first bank's commit is not the last one.
bool FinalCommitTimedOut(const device::AtapiDevice& drive) {
    const auto& cdb = drive.lastCommand;
    bool commit = cdb[0] == 0x3B && (cdb[9] == 0x80 || cdb[9] == 0xA0) && cdb[10] == 0;
    bool downloadCommit = cdb[0] == 0xF2 && cdb[1] == 0x04;
    return drive.timedOut && (commit || downloadCommit);
}
}  // namespace

void Parser::Start(const FlashJob& job, std::function<void()> completion, Post post) {
    std::thread([job, completion = std::move(completion), post = std::move(post)]() {
        Execute(job);
        post(completion);
    }).detach();
}

void Parser::Execute(FlashJob job) {
    if (job.useDirectIde) {
        job.ideDevice->flashResult = 0;
    } else {
        job.driveDevice->workerStatus = kWorkerSucceeded;
    }
    std::span<uint8_t> image(job.image, static_cast<size_t>(std::max(job.imageSize, 0)));
    package::UnscrambleImage(image, std::span<const uint8_t>(job.keyTable, package::kKeySteps));

    if (job.useDirectIde) {
        directide::IdeJob ide = job.ideJob;
        ide.image = job.image;
        job.ideDevice->ConfigureRun(ide);
        job.ideDevice->RunFlashing();
        return;
    }

    device::AtapiDevice& drive = *job.driveDevice;
    bool ok;
    if (image.size() == kBankImageSize) {
        ok = ReadFlashId(drive) ? BankDownload(drive, image, kBankChunkSize, job.commitVariant)
                                : BlockDownload(drive, image);
    } else {
        ok = VerifiedDownload(drive, image, job.commitVariant);
        if (ok) platform::CurrentSystem().Sleep(kSettleAfterVerifiedMs);
    }
    // A drive that stopped answering may be anywhere in its download: its state is unknown.
    if (!ok)
        drive.workerStatus =
            FinalCommitTimedOut(drive) || drive.StoppedAnswering() ? kWorkerUnknown : kWorkerFailed;
}

}  // namespace engine
