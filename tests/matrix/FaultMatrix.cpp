#include "tests/matrix/FaultMatrix.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "cli/ConsoleView.h"
#include "cli/RunReport.h"
#include "common/Crc32.h"
#include "common/Text.h"
#include "engine/ExitStatus.h"
#include "engine/RestartCheck.h"
#include "engine/RunHistory.h"
#include "engine/UpdateEngine.h"
#include "engine/UpdateTexts.h"
#include "package/OptionNames.h"
#include "package/Package.h"
#include "package/PackageBlock.h"
#include "platform/DriverRequests.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/EmulatedSystem.h"
#include "platform/emulated/FirmwareImage.h"
#include "platform/emulated/Machine.h"
#include "tools/bench/Presets.h"
#include "tools/pack/Packer.h"

namespace matrix {
namespace {
namespace fs = std::filesystem;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::DriveSettings;
using platform::emulated::IdeFault;
using platform::emulated::IdeFaultKind;
using platform::emulated::Machine;
using platform::emulated::OpticalDrive;

constexpr size_t kMebibyte = 1 << 20;
constexpr size_t kBankImage = 128 * 1024;
constexpr size_t kPageChipImage = 512 * 1024;
constexpr size_t kIdeChunk = 128;
constexpr int kIdePageChipRow = 16;
// Driver requests by number: selecting a drive, identifying it, reading a flash byte.
constexpr int kSelectRequest = static_cast<int>(directide::DriverRequest::SelectDevice);
constexpr int kIdentifyRequest = static_cast<int>(directide::DriverRequest::IdentifyDevice);
constexpr int kReadByteRequest = static_cast<int>(directide::DriverRequest::ReadFlashByte);
constexpr char kNewRevision[] = "QV12";
using package::kShippedOptions;
// The device's command time-out, and a command that takes longer.
constexpr double kDeviceTimeOut = 108000;
constexpr double kTimeOutSeconds = 200000;
constexpr int kConsoleUnknown = cli::kExitOutcomeUnknown;
// The RunOnce key as the emulated registry files it, under the local machine.
const std::string kRunOnce = std::string("HKLM\\") + engine::kRunOnceKey;

bool IsIde(Path p) {
    return p == Path::DirectIde || p == Path::DirectIde98 || p == Path::DirectIdePage;
}

size_t ImageSize(Path p) {
    switch (p) {
        case Path::TwoBank:
        case Path::Block:
            return kBankImage;
        case Path::DirectIdePage:
            return kPageChipImage;
        default:
            return kMebibyte;
    }
}

const std::vector<uint8_t>& Image(size_t size, const std::string& revision = kNewRevision) {
    static std::map<std::pair<size_t, std::string>, std::vector<uint8_t>> images;
    auto& image = images[{size, revision}];
    if (image.empty()) image = platform::emulated::MakeFirmwareImage(revision, "", size);
    return image;
}

// The image the case's package carries.
const std::vector<uint8_t>& CaseImage(const Case& c) {
    return Image(ImageSize(c.path), c.imageRevision.empty() ? kNewRevision : c.imageRevision);
}

std::pair<std::string, std::string> Range(const Case& c) {
    if (!c.rangeLow.empty()) return {c.rangeLow, c.rangeHigh};
    // The packages that would take a loader's 0000, were the loader not left out.
    if (c.startsInLoader != Loader::None) return {"0000", "QV19"};
    return {"QV10", c.rangeBelowNew ? "QV11" : "QV19"};
}

// Damages the packed block where its checksum must notice: a bit of the image, a bit of its key
// table, its size, or one of the checksum's own digits.
void DamageBlock(Damage damage, std::span<uint8_t> block) {
    auto digits = [&](size_t offset) { return block.subspan(offset, package::kNumberDigits); };
    switch (damage) {
        case Damage::None:
            return;
        case Damage::Image: {
            auto start = digits(package::BinStartValueOffset(1));
            size_t at = std::stoul(std::string(start.begin(), start.end()));
            block[package::kImageAreaOffset + at + 1000] ^= 0x10;
            return;
        }
        case Damage::KeyTable:
            block[package::KeyTableOffset(1) + 7] ^= 0x01;
            return;
        case Damage::Size: {
            auto size = digits(package::BinSizeValueOffset(1));
            std::string text(size.begin(), size.end());
            std::string smaller = std::to_string(std::stoul(text) - 2048);
            smaller.insert(0, text.size() - smaller.size(), text[0] == ' ' ? ' ' : '0');
            std::copy(smaller.begin(), smaller.end(), size.begin());
            return;
        }
        case Damage::ChecksumDigit: {
            uint8_t& digit = block[package::kParaOptOffset + 9 + 25];
            digit = static_cast<uint8_t>('0' + (digit - '0' + 1) % 10);
            return;
        }
    }
}

std::string OptionsFor(const Case& c) {
    std::string o = kShippedOptions;
    o[0] = static_cast<char>('0' + c.uiVariant);
    o[7] = c.unattended ? '1' : '0';
    o[11] = IsIde(c.path) ? '1' : '0';
    if (c.startsInLoader == Loader::Ambiguous) o[10] = '2';  // two images
    if (!c.states.empty()) {
        o[4] = '1';   // the tray check: a disc nobody takes out stops the run
        o[17] = '1';  // skip drives that already have the package's revision
    }
    return o;
}

// The packaged block of the case's options and image, built once.
const std::vector<uint8_t>& PackagedBlock(const Case& c) {
    static std::map<std::string, std::vector<uint8_t>> blocks;
    const size_t size = ImageSize(c.path);
    const auto [low, high] = Range(c);
    const std::string key = OptionsFor(c) + "/" + std::to_string(size) + "/" + low + "-" + high +
                            "/" + c.imageRevision + "/" +
                            std::to_string(static_cast<int>(c.damage)) + "/" +
                            std::to_string(static_cast<int>(c.startsInLoader));
    auto& block = blocks[key];
    if (block.empty()) {
        pack::Manifest m;
        m.title = "Firmware Flasher - matrix";
        m.driveName = "DVD-RW QV-1600";
        m.options = OptionsFor(c);
        pack::ImageSpec image;
        image.file = "QV12.bin";
        image.data = CaseImage(c);
        image.key.resize(package::kKeyTableSize);
        uint32_t state = static_cast<uint32_t>(size) | 1u;
        for (auto& k : image.key) {
            state = state * 1664525u + 1013904223u;
            k = static_cast<uint8_t>(state >> 24);
        }
        image.newRevision = kNewRevision;
        image.constraints = {{low, high, "", ""}};
        // The family's packages name its maker and model; the foreign loader's names neither.
        if (c.startsInLoader == Loader::Family || c.startsInLoader == Loader::Ambiguous)
            image.constraints = {{low, high, "QUORVANT", "DVD-RW QV-1600  "}};
        m.images.push_back(image);
        if (c.startsInLoader == Loader::Ambiguous) m.images.push_back(image);
        block.resize(package::kBlockSize);
        pack::WritePackage(m, block);
        DamageBlock(c.damage, block);
    }
    return block;
}

DriveSettings FamilyDrive(Path path, const std::string& letter, const std::string& address) {
    DriveSettings d = benchtool::QuorvantDrive(letter, address);
    d.medium = false;
    if (path == Path::VerifiedSmallChip) d.flashId = std::array<uint8_t, 4>{0xDA, 0xC8, 0, 0};
    if (path == Path::TwoBank || path == Path::Block) {
        d.flash = platform::emulated::FlashContents(kBankImage, 0xFF);
        d.flashId = std::array<uint8_t, 4>{0xBF, 0xB6, 0x00, 0x01};
        if (path == Path::Block) d.flashId.reset();
    }
    return d;
}

std::shared_ptr<Machine> BuildMachine(const Case& c) {
    auto m = std::make_shared<Machine>();
    if (IsIde(c.path)) {
        benchtool::ApplyPreset(c.path == Path::DirectIde98 ? "ide98" : "ide", *m);
        auto& slot = m->ide.driveSlots[0];
        if (c.path == Path::DirectIdePage) {
            slot.chipRow = kIdePageChipRow;
            slot.flash = platform::emulated::FlashContents(kPageChipImage, 0xFF);
        }
        slot.faults = c.ideFaults;
        return m;
    }
    const bool aspi = c.transport == Transport::Aspi;
    m->family = aspi ? platform::emulated::Family::Windows9x : platform::emulated::Family::Nt;
    m->security.administrator = true;
    m->aspi.present = aspi;
    auto add = [&](DriveSettings d) { m->drives.push_back(std::make_shared<OpticalDrive>(d)); };
    if (c.states.empty()) {
        DriveSettings e = FamilyDrive(c.path, "E:", "1:0:0:0");
        e.faults = c.faults;
        e.loaderSigns = c.loaderSigns;
        if (c.startsInLoader != Loader::None) e.flashIncomplete = true;
        if (c.startsInLoader == Loader::Foreign) {
            e.vendor = "ARKVELLE";
            e.product = "DVD-RW AV-880";
        }
        add(e);
        add(benchtool::OtherDrive("F:", "1:0:1:0"));
        return m;
    }
    for (size_t i = 0; i < c.states.size(); ++i) {
        std::string letter(1, static_cast<char>('E' + i));
        DriveSettings d = FamilyDrive(c.path, letter + ":", "1:0:" + std::to_string(i) + ":0");
        switch (c.states[i]) {
            case DriveState::Flashed:
                break;
            case DriveState::Failed:  // every data command of its path fails
                d.faults.push_back(
                    {DriveFault::Kind::FailCommand,
                     c.path == Path::Block ? CommandKind::DownloadBlock : CommandKind::WriteBuffer,
                     1, 0});
                break;
            case DriveState::Stopped:
                d.medium = true;
                d.trayLocked = true;
                break;
            case DriveState::Skipped:  // it already runs the package's firmware
                d.revision = kNewRevision;
                d.flash = Image(ImageSize(c.path));
                break;
        }
        add(d);
    }
    return m;
}

// The revision a drive (or IDE slot) starts the case with.
std::string RevisionBefore(const Case& c, size_t i) {
    if (IsIde(c.path)) return i == 0 ? "QV11" : "QV05";
    if (c.states.empty()) return i == 0 ? "QV11" : "1.00";
    return c.states[i] == DriveState::Skipped ? kNewRevision : "QV11";
}

bool Matches(const Case& c, size_t i) {
    // A drive in its boot loader is never taken by an ordinary run, whatever the range.
    if (i == 0 && c.startsInLoader != Loader::None) return false;
    // The family's packages name its maker and model: the other drive is not theirs.
    if (i != 0 && (c.startsInLoader == Loader::Family || c.startsInLoader == Loader::Ambiguous))
        return false;
    const auto [low, high] = Range(c);
    const std::string revision = RevisionBefore(c, i);
    return c.damage == Damage::None && low <= revision && revision <= high;
}

// The drives (or IDE slots) the procedure chooses for the case.
std::vector<size_t> Chosen(const Case& c) {
    // A recovery takes only the family's loader drive that one image names, and only when asked
    // for by a person (not an unattended package).
    if (c.recover) {
        if (c.startsInLoader == Loader::Family && !c.unattended && !IsIde(c.path)) return {0};
        return {};
    }
    if (c.states.empty()) {
        // The drive of the family and the other one (on the direct path, IDE slot 3), which a
        // wide range takes too: attended, the last matched is selected; unattended, the direct
        // path takes the first, pass-through every one.
        std::vector<size_t> matched;
        for (size_t i : {size_t{0}, size_t{IsIde(c.path) ? 3u : 1u}})
            if (Matches(c, i)) matched.push_back(i);
        if (matched.empty() || (c.unattended && !IsIde(c.path))) return matched;
        return {c.unattended ? matched.front() : matched.back()};
    }
    if (!c.unattended) {
        // The selection: the last matched drive.
        for (size_t i = c.states.size(); i-- > 0;)
            if (Matches(c, i)) return {i};
        return {};
    }
    // Unattended: every matched drive but those that already run the package's revision.
    std::vector<size_t> chosen;
    for (size_t i = 0; i < c.states.size(); ++i)
        if (Matches(c, i) && c.states[i] != DriveState::Skipped) chosen.push_back(i);
    return chosen;
}

bool Holds(Machine& m, const Case& c, size_t i) {
    const auto& image = CaseImage(c);
    if (IsIde(c.path)) {
        const auto& slot = m.ide.driveSlots[i];
        // A cell that always reads back wrong does not hold its byte, whatever was written; nor
        // does a flash the driver never again lets the program read.
        bool badCell = std::any_of(slot.faults.begin(), slot.faults.end(), [&](const IdeFault& f) {
            return ((f.kind == IdeFaultKind::Verify ||
                     (f.kind == IdeFaultKind::ReadOnce && f.times < 0)) &&
                    f.address >= 0 && static_cast<size_t>(f.address) < image.size()) ||
                   (f.kind == IdeFaultKind::RequestFails && f.request == kReadByteRequest &&
                    f.times < 0);
        });
        return slot.flash.size() >= image.size() && !slot.flashIncomplete && !badCell &&
               std::equal(image.begin(), image.end(), slot.flash.begin());
    }
    DriveSettings s = m.drives[i]->Settings();
    return s.flash.size() >= image.size() && !s.flashIncomplete &&
           std::equal(image.begin(), image.end(), s.flash.begin());
}

std::string Reports(Machine& m, const Case& c, size_t i) {
    if (IsIde(c.path)) return m.ide.driveSlots[i].revision;
    DriveSettings s = m.drives[i]->Settings();
    return s.flashIncomplete && s.loaderSigns != DriveSettings::LoaderSigns::TextOnly ? "0000"
                                                                                      : s.revision;
}

// A drive may rightly be said not to answer when its faults can silence its INQUIRY.
bool CanGoSilent(Machine& m, const Case& c, size_t i, bool inProcess) {
    if (IsIde(c.path)) {
        // The driver refusing to select or identify the drive silences it as well.
        return std::any_of(
            m.ide.driveSlots[i].faults.begin(), m.ide.driveSlots[i].faults.end(),
            [](const IdeFault& f) {
                return f.kind == IdeFaultKind::NeverReady ||
                       (f.kind == IdeFaultKind::RequestFails &&
                        (f.request == kSelectRequest || f.request == kIdentifyRequest));
            });
    }
    if (inProcess && m.drives[i]->PoweredOff()) return true;
    if (!c.states.empty() || i != 0) return false;
    return std::any_of(c.faults.begin(), c.faults.end(), [](const DriveFault& f) {
        return f.kind == DriveFault::Kind::PowerCut ||
               ((f.command == CommandKind::Inquiry || f.command == CommandKind::Any) &&
                f.kind != DriveFault::Kind::CorruptReadBack);
    });
}

// The drive's name in the report: its letter, or over ASPI (no letter) and on the IDE path its
// address.
std::string DriveKey(const Case& c, size_t i) {
    if (IsIde(c.path)) return std::to_string(i / 2) + "-0-" + std::to_string(i % 2) + "-0";
    if (c.transport == Transport::Aspi) return "1-0-" + std::to_string(i) + "-0";
    return std::string(1, static_cast<char>('E' + i)) + ":";
}

struct ReportLine {
    std::string key;   // the letter, or the address for a drive without one
    std::string text;  // "before ..., package ...: ..., now ..."
};

std::vector<ReportLine> ParseReport(const std::string& out) {
    std::vector<ReportLine> lines;
    std::istringstream in(out);
    std::string previous, line;
    while (std::getline(in, line)) {
        if (line.rfind("    before ", 0) == 0) {
            std::istringstream head(previous);
            std::string address, root;
            head >> address;
            if (head.get() == ' ' && head.peek() != ' ') head >> root;
            lines.push_back(
                {root.size() >= 2 && root[1] == ':' ? root.substr(0, 2) : address, line});
        }
        previous = line;
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Judgement False(Verdict v, std::string why) {
    return {v, std::move(why), ""};
}

size_t DriveCount(Machine& m, const Case& c) {
    return IsIde(c.path) ? m.ide.driveSlots.size() : m.drives.size();
}

bool SameFlash(const platform::emulated::FlashContents& a,
               const platform::emulated::FlashContents& b) {
    return a.size() == b.size() && (a.empty() || a.SameBytes(b) || a.Crc32() == b.Crc32());
}

// Whether the drive (or IDE slot) is as the case found it: the same flash and the same identity.
bool Unchanged(Machine& before, Machine& after, const Case& c, size_t i) {
    if (IsIde(c.path)) {
        const auto &was = before.ide.driveSlots[i], &is = after.ide.driveSlots[i];
        return SameFlash(was.flash, is.flash) && was.revision == is.revision &&
               was.flashIncomplete == is.flashIncomplete;
    }
    DriveSettings was = before.drives[i]->Settings(), is = after.drives[i]->Settings();
    return SameFlash(was.flash, is.flash) && was.revision == is.revision &&
           was.driveTag == is.driveTag && was.flashIncomplete == is.flashIncomplete;
}

bool OnlyImageOrOld(Machine& before, Machine& after, const Case& c, size_t i) {
    const auto& image = CaseImage(c);
    DriveSettings was = before.drives[i]->Settings(), is = after.drives[i]->Settings();
    auto old = was.flash.Bytes(), now = is.flash.Bytes();
    for (size_t k = 0; k < now.size(); ++k) {
        if (now[k] != old[k] && (k >= image.size() || now[k] != image[k])) return false;
    }
    return true;
}

bool HasFault(Machine& m, size_t i, DriveFault::Kind kind) {
    const auto faults = m.drives[i]->Settings().faults;
    return std::any_of(faults.begin(), faults.end(),
                       [&](const DriveFault& f) { return f.kind == kind; });
}

// Whether the drive's faults make its outcome unknowable: its final commit took longer than the
// device waits, so the host gave up on a commit the drive went on to carry out. A power cut is
// not such a fault: the drive stops half way and comes back in its boot loader, if at all.
// `before`: the machine as the case set it up, with its faults.
bool MayBeUnknown(Machine& before, Machine& m, const Case& c, size_t i, bool inProcess) {
    if (IsIde(c.path)) return false;
    for (const DriveFault& f : before.drives[i]->Settings().faults) {
        if (f.kind != DriveFault::Kind::SlowCommand || f.seconds <= kDeviceTimeOut) continue;
        // The two-bank download's first commit (bank 1) is not its last.
        const bool finalCommit =
            f.command == CommandKind::DownloadCommit ||
            (f.command == CommandKind::Commit && (c.path != Path::TwoBank || f.nth == 2));
        // Out of process the counts of the run are gone with it.
        if (finalCommit && (!inProcess || m.drives[i]->Received(f.command) >= f.nth)) return true;
    }
    return false;
}

Judgement Judge(const Case& c, const Said& said, Machine& m, bool inProcess) {
    auto before = BuildMachine(c);
    const std::vector<size_t> chosen = Chosen(c);
    bool truth = !chosen.empty(), unknowable = false;
    for (size_t i : chosen) {
        truth = truth && Holds(m, c, i);
        unknowable = unknowable || MayBeUnknown(*before, m, c, i, inProcess);
    }
    const std::string success = engine::Text(engine::UpdateText::Success, 0);
    // The window in script mode ends with the console's status as well.
    const bool claimsSuccess = said.status == 0;
    const bool claimsUnknown = said.status == kConsoleUnknown;
    // The standard variant says success in a message box; the wizard on its last page.
    if (said.window && c.uiVariant == 0 && claimsSuccess != Contains(said.err, success))
        return False(claimsSuccess ? Verdict::FalseSuccess : Verdict::FalseFailure,
                     "the window's status and its messages disagree");
    std::string facts;
    for (size_t i : chosen) {
        facts += " " + DriveKey(c, i) + (Holds(m, c, i) ? " holds the image" : " does not") +
                 " and reports " + Reports(m, c, i) + ";";
    }
    // A drive the run did not choose is left as it was, whatever the run says.
    for (size_t i = 0; i < DriveCount(m, c); ++i) {
        if (std::find(chosen.begin(), chosen.end(), i) == chosen.end() &&
            !Unchanged(*before, m, c, i))
            return False(Verdict::FalseSuccess,
                         "drive " + DriveKey(c, i) + " was not chosen and was changed;" + facts);
    }
    // Bytes that reached the drive's buffer wrong are never committed: each byte of its flash is
    // the image's or what it held before (a two-bank drive may hold one new bank).
    for (size_t i : chosen) {
        if (!IsIde(c.path) && HasFault(*before, i, DriveFault::Kind::CorruptWrite) &&
            !OnlyImageOrOld(*before, m, c, i))
            return False(Verdict::FalseSuccess,
                         DriveKey(c, i) + " committed bytes its buffer received wrong;" + facts);
    }
    if (c.damage != Damage::None && said.status != cli::kExitBadPackage)
        return False(Verdict::FalseSuccess,
                     "a damaged package was not refused: status " + std::to_string(said.status));

    // The messages must agree with the status: no success message without the image in every
    // chosen drive, no failure message when it is there.
    const std::string text = said.out + said.err;
    if (Contains(text, success) && !truth)
        return False(Verdict::FalseSuccess, "the success message;" + facts);
    if (Contains(text, engine::Text(engine::UpdateText::Failure, 0)) && truth)
        return False(Verdict::FalseFailure, "the failure message;" + facts);
    if (claimsSuccess && !truth) return False(Verdict::FalseSuccess, "success claimed;" + facts);
    // "Unknown" only where the fault leaves the outcome unknowable; anywhere else it hides a
    // failure or a success the program could have told.
    if (claimsUnknown && !unknowable)
        return False(truth ? Verdict::FalseFailure : Verdict::FalseSuccess,
                     "unknown claimed where the outcome is known;" + facts);
    if (!claimsSuccess && !claimsUnknown && truth)
        return False(Verdict::FalseFailure, "failure claimed;" + facts);
    if (!said.window) {
        auto lines = ParseReport(said.out);
        for (size_t i : chosen) {
            const std::string key = DriveKey(c, i);
            auto line = std::find_if(lines.begin(), lines.end(),
                                     [&](const ReportLine& l) { return l.key == key; });
            const bool holds = Holds(m, c, i);
            // Every drive the run chose has its line, saying what became of it; a drive that
            // fell silent while start-up looked for drives was never offered, and is untouched.
            if (line == lines.end() && said.status == cli::kExitNoDrive &&
                CanGoSilent(m, c, i, inProcess) && Unchanged(*before, m, c, i))
                continue;
            if (line == lines.end())
                return False(holds ? Verdict::FalseFailure : Verdict::FalseSuccess,
                             "no line names " + key + ";" + facts);
            const std::string& t = line->text;
            const bool notFlashed = Contains(t, ": not flashed");
            const bool failed = Contains(t, ": the flash failed");
            const bool unknown = Contains(t, "outcome is unknown");
            if (!notFlashed && !failed && !unknown && !holds)
                return False(Verdict::FalseSuccess, key + " said flashed: " + t + ";" + facts);
            if ((notFlashed || failed) && holds)
                return False(Verdict::FalseFailure, key + " said not flashed: " + t + ";" + facts);
            if (unknown && !MayBeUnknown(*before, m, c, i, inProcess))
                return False(holds ? Verdict::FalseFailure : Verdict::FalseSuccess,
                             key + " said unknown: " + t + ";" + facts);
            if (notFlashed) {
                if (!Unchanged(*before, m, c, i))
                    return False(Verdict::FalseSuccess,
                                 key + " said not flashed but was changed: " + t + ";" + facts);
                continue;
            }
            if (Contains(t, "now: the drive did not answer")) {
                if (!CanGoSilent(m, c, i, inProcess))
                    return False(Verdict::FalseFailure, key + " said silent: " + t + ";" + facts);
                continue;
            }
            size_t now = t.rfind(", now ");
            std::string said_ = now == std::string::npos ? "" : t.substr(now + 6);
            if (said_ != Reports(m, c, i)) {
                return False(said_ == kNewRevision ? Verdict::FalseSuccess : Verdict::FalseFailure,
                             key + " said to report \"" + said_ + "\";" + facts);
            }
        }
    }
    if (claimsUnknown) return {Verdict::Unknown, "unknown;" + facts, ""};
    return {};
}

// The check after the restart passes exactly when the drive it names holds the image and reports
// the package's revision (an image that carries another revision fails it).
Judgement JudgeCheck(const Case& c, const Said& said, Machine& m, Judgement run) {
    if (!said.checkRan || run.verdict == Verdict::FalseSuccess ||
        run.verdict == Verdict::FalseFailure)
        return run;
    run.checked = true;
    size_t drive = static_cast<size_t>(std::max(said.checkIndex, 0));
    if (IsIde(c.path)) drive = said.checkIndex == 0 ? 0 : 3;  // the listed slots
    const bool holds =
        drive < DriveCount(m, c) && Holds(m, c, drive) && Reports(m, c, drive) == kNewRevision;
    if (said.checkPassed && !holds)
        return False(Verdict::FalseSuccess, "the check after the restart passed");
    if (!said.checkPassed && holds)
        return False(Verdict::FalseFailure, "the check after the restart failed");
    return run;
}

// Power comes back and the faults of the run are gone: what the bench holds after a restart.
void ClearFaults(Machine& m) {
    for (auto& drive : m.drives) {
        DriveSettings s = drive->Settings();
        s.faults.clear();
        drive = std::make_shared<OpticalDrive>(s);
    }
    for (auto& slot : m.ide.driveSlots)
        slot.faults.clear();
}

struct Observed {
    Said said;
    std::shared_ptr<Machine> machine;
};

// Where the runs of this process keep their history: one bench place, cleared before each run.
const fs::path& InProcessBench() {
    static const fs::path bench = [] {
        fs::path dir = fs::temp_directory_path() /
                       ("brenvo-matrix-" + std::to_string(static_cast<long>(::getpid())));
        fs::create_directories(dir);
        return dir / "bench.json";
    }();
    return bench;
}

fs::path HistoryOf(const fs::path& bench) {
    return bench.parent_path() / (bench.stem().string() + ".history.jsonl");
}

// The exit status a recorded verdict stands for.
std::optional<int> StatusOfVerdict(const std::string& verdict) {
    if (verdict == "succeeded") return cli::kExitOk;
    if (verdict == "failed") return cli::kExitFlashFailed;
    if (verdict == "unknown") return cli::kExitOutcomeUnknown;
    if (verdict == "stopped") return cli::kExitDeclined;
    return std::nullopt;
}

// What is wrong with the history a run left, or "". `wrote`: the run sent a writing command
// (nullopt where that cannot be told: then a run that changed a drive, or claims success or an
// unknown outcome, must have written). A run whose flash began keeps its record even when its
// drive failed before the first write (lost power at its flash identification, say).
std::string HistoryWrong(const Case& c, const Said& said, Machine& after, const fs::path& file,
                         std::optional<bool> wrote) {
    std::string problem;
    auto history = engine::ReadHistory(file.string(), problem);
    if (!history) return "the history cannot be read: " + problem;
    if (history->unreadable > 0) return "the history holds a line that is no record";
    const size_t records = history->records.size();
    if (!wrote) {
        auto before = BuildMachine(c);
        bool changed = said.status == cli::kExitOk || said.status == cli::kExitOutcomeUnknown;
        for (size_t i = 0; i < DriveCount(after, c); ++i)
            changed = changed || !Unchanged(*before, after, c, i);
        if (changed) wrote = true;
    }
    if (wrote && *wrote && records != 1)
        return std::to_string(records) + " records of a run that wrote";
    if (records > 1) return std::to_string(records) + " records of one run";
    if (records == 0) return "";
    const nlohmann::json& record = history->records[0];
    const std::string verdict = record.value("verdict", "");
    const auto status = StatusOfVerdict(verdict);
    if (!status || *status != said.status)
        return "the record says " + verdict + ", the run ended with status " +
               std::to_string(said.status);
    return "";
}

// Whether the run sent any writing command to a drive (the emulated drives count them).
bool SentWrite(Machine& m, const Case& c) {
    if (IsIde(c.path)) {
        using directide::DriverRequest;
        for (DriverRequest r :
             {DriverRequest::ProgramPage, DriverRequest::ProgramBlock, DriverRequest::EraseFlash}) {
            if (m.ide.requestsSeen[static_cast<size_t>(r) % m.ide.requestsSeen.size()] > 0)
                return true;
        }
        return false;
    }
    for (const auto& drive : m.drives) {
        for (CommandKind k :
             {CommandKind::WriteBuffer, CommandKind::Profile, CommandKind::Commit,
              CommandKind::DownloadOpen, CommandKind::DownloadBlock, CommandKind::DownloadCommit}) {
            if (drive->Received(k) > 0) return true;
        }
    }
    return false;
}

Observed Observe(const Case& c) {
    Observed o;
    o.machine = BuildMachine(c);
    std::error_code ignored;
    fs::remove(HistoryOf(InProcessBench()), ignored);
    o.machine->benchPath = InProcessBench().string();
    std::vector<uint8_t> block = PackagedBlock(c);
    {
        platform::ScopedSystem scope(
            std::make_unique<platform::emulated::EmulatedSystem>(o.machine));
        std::istringstream in;
        std::ostringstream out, err;
        cli::ConsoleView view(in, out, err, cli::Answers::Yes, false);
        package::Package package(block);
        engine::UpdateEngine engine(package, view);
        if (c.recover) engine.ForRecovery();
        const engine::StartEnd start = engine.StartUp();
        if (start != engine::StartEnd::Ready) {
            o.said.status = engine::StartExitStatus(start);
        } else if (c.recover) {
            // As brenvo-cli's update --recover does: the one drive in its boot loader.
            int item = -1;
            for (int i = 0; i < static_cast<int>(engine.ListLines().size()) && item < 0; ++i) {
                const device::DriveRecord* r = engine.ListedDrive(i);
                if (r && engine::InBootLoader(*r)) item = i;
            }
            std::string reason;
            if (item < 0) {
                o.said.status = cli::kExitNoDrive;
            } else if (!engine.PrepareRecovery(item, reason)) {
                err << "not recovered: " << reason << "\n";
                o.said.status = cli::kExitDeclined;
            } else {
                engine.UpdateClick();
                view.RunUntilIdle(engine);
                if (c.uiVariant == 2 && engine.LastRun().end == engine::RunEnd::Succeeded)
                    engine::WriteRestartCheck(engine.SelectedItem(),
                                              engine.Revisions().newRevision);
                o.said.status = cli::ReportRun(engine.LastRun(), view.Unanswered(), out, err);
            }
        } else {
            // As brenvo-cli's update does.
            engine.UpdateClick();
            view.RunUntilIdle(engine);
            o.said.status = cli::ReportRun(engine.LastRun(), view.Unanswered(), out, err);
        }
        o.said.out = out.str();
        o.said.err = err.str();
    }
    return o;
}

// The check the run left for the next start, run after an emulated restart.
void CheckAfterRestart(const Case& c, Observed& o) {
    Machine& m = *o.machine;
    const auto* entry = m.FindRegistry(kRunOnce, engine::kRestartValueName);
    if (!entry) return;
    engine::CheckRequest request =
        engine::ParseCheckCommandLine(common::SplitCommandLine(entry->value));
    m.RemoveRegistry(kRunOnce, engine::kRestartValueName);
    ClearFaults(m);
    m.Restart();
    platform::ScopedSystem scope(std::make_unique<platform::emulated::EmulatedSystem>(o.machine));
    std::vector<uint8_t> block = PackagedBlock(c);
    std::istringstream in;
    std::ostringstream out, err;
    cli::ConsoleView view(in, out, err, cli::Answers::Yes, false);
    view.SetAcceptNotice(true);
    package::Package package(block);
    engine::UpdateEngine engine(package, view);
    o.said.checkRan = true;
    o.said.checkIndex = request.driveIndex;
    o.said.checkPassed =
        engine.StartUp(request) == engine::StartEnd::Ready &&
        engine::VerifyUpdate(engine, request).outcome == engine::CheckOutcome::Matches;
}

std::map<CommandKind, int> Probe(const Case& base) {
    Observed o = Observe(base);
    std::map<CommandKind, int> counts;
    for (int k = 1; k < static_cast<int>(CommandKind::Count); ++k) {
        auto kind = static_cast<CommandKind>(k);
        if (kind == CommandKind::Other) continue;
        int n = o.machine->drives[0]->Received(kind);
        if (n > 0) counts[kind] = n;
    }
    return counts;
}

const char* PathName(Path p) {
    switch (p) {
        case Path::Verified:
            return "verified";
        case Path::VerifiedSmallChip:
            return "verified-small-chip";
        case Path::TwoBank:
            return "two-bank";
        case Path::Block:
            return "block";
        case Path::DirectIde:
            return "direct-ide";
        case Path::DirectIde98:
            return "direct-ide-98";
        case Path::DirectIdePage:
            return "direct-ide-page";
    }
    return "";
}

const char* StateName(DriveState s) {
    static const char* names[] = {"flashed", "failed", "stopped", "skipped"};
    return names[static_cast<int>(s)];
}

void AddDriveFaultCases(Path path, Transport transport, std::vector<Case>& cases) {
    Case base;
    base.path = path;
    base.transport = transport;
    const std::string prefix =
        std::string(PathName(path)) + (transport == Transport::Aspi ? "/aspi/" : "/pass-through/");
    auto add = [&](const std::string& name, std::vector<DriveFault> faults) {
        Case c = base;
        c.name = prefix + name;
        c.faults = std::move(faults);
        // Each user-interface variant, attended and unattended, in turn; a third of the cases
        // are checked after a restart.
        c.uiVariant = static_cast<int>(cases.size() % 3);
        c.unattended = cases.size() / 3 % 2;
        cases.push_back(c);
    };
    for (auto [kind, count] : Probe(base)) {
        const std::string kindName = platform::emulated::CommandKindName(kind);
        std::set<int> positions = {1, (count + 1) / 2, count};
        for (int nth : positions) {
            const std::string at = kindName + " #" + std::to_string(nth);
            // One, two and three attempts in a row: each failure costs the next attempt.
            for (int times : count >= 3 ? std::vector<int>{1, 2, 3} : std::vector<int>{1}) {
                const std::string x = " x" + std::to_string(times);
                add("fail " + at + x, {{DriveFault::Kind::FailCommand, kind, nth, times}});
                add("transport " + at + x,
                    {{DriveFault::Kind::TransportFailure, kind, nth, times}});
                if (kind == CommandKind::ReadBuffer) {
                    add("corrupt " + at + x,
                        {{DriveFault::Kind::CorruptReadBack, kind, nth, times}});
                }
                // The drive's buffer receives wrong bytes: the host must not commit them.
                if (kind == CommandKind::WriteBuffer || kind == CommandKind::DownloadBlock ||
                    kind == CommandKind::Profile) {
                    add("corrupt write " + at + x,
                        {{DriveFault::Kind::CorruptWrite, kind, nth, times}});
                }
            }
            // A power cut and a time-out on each attempt: after none, one or two failed ones.
            for (int attempt = 1; attempt <= (count >= 3 ? 3 : 1); ++attempt) {
                std::vector<DriveFault> before;
                if (attempt > 1)
                    before.push_back({DriveFault::Kind::FailCommand, kind, nth, attempt - 1});
                const std::string on = attempt > 1 ? " on attempt " + std::to_string(attempt) : "";
                auto cut = before;
                cut.push_back({DriveFault::Kind::PowerCut, kind, nth + attempt - 1, 1});
                add("power cut " + at + on, cut);
                auto slow = before;
                slow.push_back({DriveFault::Kind::SlowCommand, kind, nth + attempt - 1, 1});
                slow.back().seconds = kTimeOutSeconds;
                add("time-out " + at + on, slow);
            }
            // The block arrives without its last two bytes (a two-bank commit loses its bank).
            add("short block " + at, {{DriveFault::Kind::ShortBlock, kind, nth, 1}});
        }
        add("short block every " + kindName, {{DriveFault::Kind::ShortBlock, kind, 1, 0}});
    }
    add("never ready", {{DriveFault::Kind::NeverReady, CommandKind::Any, 1, 0}});
    add("unit attention forever",
        {{DriveFault::Kind::UnitAttentionForever, CommandKind::Any, 1, 0}});
}

void AddIdeFaultCases(Path path, std::vector<Case>& cases) {
    const size_t size = ImageSize(path);
    const std::vector<int64_t> addresses = {0, static_cast<int64_t>(size / 2),
                                            static_cast<int64_t>(size - kIdeChunk)};
    const std::pair<IdeFaultKind, const char*> kinds[] = {
        {IdeFaultKind::Program, "program"},    {IdeFaultKind::Verify, "verify"},
        {IdeFaultKind::ReadOnce, "read-once"}, {IdeFaultKind::Erase, "erase"},
        {IdeFaultKind::Identify, "identify"},  {IdeFaultKind::NeverReady, "never-ready"}};
    for (auto [kind, name] : kinds) {
        const bool addressed = kind == IdeFaultKind::Program || kind == IdeFaultKind::Verify ||
                               kind == IdeFaultKind::ReadOnce;
        for (int64_t address : addressed ? addresses : std::vector<int64_t>{0}) {
            for (int times : {1, 3, 6, -1}) {
                Case c;
                c.path = path;
                c.name = std::string(PathName(path)) + "/" + name + " @" + std::to_string(address) +
                         " x" + std::to_string(times);
                c.ideFaults = {{kind, address, times}};
                c.uiVariant = cases.size() % 2 ? 2 : 0;
                cases.push_back(c);
            }
        }
    }
}

// Two and three drives in every combination of states, attended and unattended. On the verified
// path over pass-through every combination runs in every variant; on the other paths and
// transports the variants take turns.
// Each driver request the direct path sends fails at its first, a middle and its last position,
// once, three times in a row and from there on.
void AddIdeRequestCases(Path path, std::vector<Case>& cases) {
    Case base;
    base.path = path;
    const auto seen = Observe(base).machine->ide.requestsSeen;
    for (size_t request = 0; request < seen.size(); ++request) {
        const int count = seen[request];
        if (count == 0) continue;
        for (int nth : std::set<int>{1, (count + 1) / 2, count}) {
            for (int times : {1, 3, -1}) {
                Case c = base;
                IdeFault fault{IdeFaultKind::RequestFails, -1, times};
                fault.request = static_cast<int>(request);
                fault.nth = nth;
                c.ideFaults = {fault};
                c.uiVariant = static_cast<int>(cases.size() % 3);
                c.unattended = cases.size() / 3 % 2;
                c.name = std::string(PathName(path)) + "/request " + std::to_string(request) +
                         " #" + std::to_string(nth) + " x" + std::to_string(times);
                cases.push_back(c);
            }
        }
    }
}

void AddDriveStateCases(Path path, Transport transport, std::vector<Case>& cases) {
    const bool everyVariant = path == Path::Verified && transport == Transport::PassThrough;
    const std::string prefix =
        path == Path::Verified && transport == Transport::PassThrough
            ? "drives/"
            : std::string("drives/") + PathName(path) +
                  (transport == Transport::Aspi ? "/aspi/" : "/pass-through/");
    for (size_t drives : {2u, 3u}) {
        size_t combinations = 1;
        for (size_t i = 0; i < drives; ++i)
            combinations *= 4;
        for (size_t n = 0; n < combinations; ++n) {
            std::vector<DriveState> states;
            std::string name;
            for (size_t i = 0, rest = n; i < drives; ++i, rest /= 4) {
                states.push_back(static_cast<DriveState>(rest % 4));
                name += std::string(i ? "," : "") + StateName(states.back());
            }
            for (bool unattended : {false, true}) {
                for (int variant : {0, 1, 2}) {
                    if (!everyVariant && variant != static_cast<int>((n + unattended) % 3))
                        continue;
                    Case c;
                    c.path = path;
                    c.transport = transport;
                    c.states = states;
                    c.unattended = unattended;
                    c.uiVariant = variant;
                    c.name = prefix + name + (unattended ? "/unattended" : "/attended") + "/ui" +
                             std::to_string(variant);
                    cases.push_back(c);
                }
            }
        }
    }
}

// Packages damaged after packing, on each path: refused at start, every drive untouched.
void AddDamagedPackageCases(std::vector<Case>& cases) {
    const std::pair<Damage, const char*> damages[] = {{Damage::Image, "image"},
                                                      {Damage::KeyTable, "key table"},
                                                      {Damage::Size, "size"},
                                                      {Damage::ChecksumDigit, "checksum digit"}};
    for (Path path : {Path::Verified, Path::TwoBank, Path::Block, Path::DirectIde}) {
        for (auto [damage, name] : damages) {
            for (bool unattended : {false, true}) {
                Case c;
                c.path = path;
                c.damage = damage;
                c.unattended = unattended;
                c.uiVariant = static_cast<int>(cases.size() % 3);
                c.name = std::string(PathName(path)) + "/damaged " + name +
                         (unattended ? "/unattended" : "/attended");
                cases.push_back(c);
            }
        }
    }
}

// Ranges that leave the drive out or leave the new revision out, and images that carry another
// revision than the package's label (the drive's own old one among them).
void AddRevisionCases(std::vector<Case>& cases) {
    const std::pair<const char*, const char*> ranges[] = {
        {"QV12", "QV19"}, {"QV05", "QV10"}, {"QV11", "QV11"}, {"QV10", "QV11"}, {"QV00", "QV99"}};
    for (Path path : {Path::Verified, Path::TwoBank, Path::Block, Path::DirectIde}) {
        for (auto [low, high] : ranges) {
            for (const char* image : {"", "QV13", "QV11"}) {
                for (bool unattended : {false, true}) {
                    Case c;
                    c.path = path;
                    c.rangeLow = low;
                    c.rangeHigh = high;
                    c.imageRevision = image;
                    c.unattended = unattended;
                    c.uiVariant = cases.size() % 2 ? 2 : 0;
                    c.name = std::string(PathName(path)) + "/range " + low + "-" + high +
                             (*image ? std::string("/image ") + image : "") +
                             (unattended ? "/unattended" : "/attended");
                    cases.push_back(c);
                }
            }
        }
    }
}

// Packages that update QV10-QV11 to QV12, each run ending with the check after the restart: one
// drive of the family beside another maker's, and two of the family in every combination.
void AddRangeBelowCases(std::vector<Case>& cases) {
    using K = DriveFault::Kind;
    const std::pair<const char*, std::vector<DriveFault>> runs[] = {
        {"clean", {}},
        {"power cut commit #1", {{K::PowerCut, CommandKind::Commit, 1, 1}}},
        {"short block every commit", {{K::ShortBlock, CommandKind::Commit, 1, 0}}},
        {"fail writeBuffer #1 x3", {{K::FailCommand, CommandKind::WriteBuffer, 1, 3}}}};
    for (Path path : {Path::Verified, Path::TwoBank}) {
        for (const auto& [name, faults] : runs) {
            Case c;
            c.path = path;
            c.uiVariant = 2;
            c.rangeBelowNew = true;
            c.faults = faults;
            c.name = std::string(PathName(path)) + "/range-below/" + name;
            cases.push_back(c);
        }
    }
    for (size_t n = 0; n < 16; ++n) {
        std::vector<DriveState> states = {static_cast<DriveState>(n % 4),
                                          static_cast<DriveState>(n / 4)};
        for (bool unattended : {false, true}) {
            Case c;
            c.states = states;
            c.unattended = unattended;
            c.uiVariant = 2;
            c.rangeBelowNew = true;
            c.name = std::string("drives/range-below/") + StateName(states[0]) + "," +
                     StateName(states[1]) + (unattended ? "/unattended" : "/attended");
            cases.push_back(c);
        }
    }
}

// Drives whose loader shows only one of its two signs (revision "0000" alone, or FLASH INCOMPLETE
// alone): a flash that leaves such a drive in its loader is still a failure, and one that ends
// well is still a success.
void AddLoaderSignCases(std::vector<Case>& cases) {
    using K = DriveFault::Kind;
    using Signs = DriveSettings::LoaderSigns;
    const std::pair<const char*, std::vector<DriveFault>> runs[] = {
        {"clean", {}},
        {"bad cell", {{.kind = K::BadCell, .address = 0x1234}}},
        {"power cut commit #1", {{K::PowerCut, CommandKind::Commit, 1, 1}}},
        {"short block every commit", {{K::ShortBlock, CommandKind::Commit, 1, 0}}}};
    for (Path path : {Path::Verified, Path::TwoBank, Path::Block}) {
        for (Signs signs : {Signs::RevisionOnly, Signs::TextOnly}) {
            for (const auto& [name, faults] : runs) {
                Case c;
                c.path = path;
                c.faults = faults;
                c.loaderSigns = signs;
                c.uiVariant = static_cast<int>(cases.size() % 3);
                c.name =
                    std::string(PathName(path)) + "/loader-shows-" +
                    (signs == Signs::RevisionOnly ? "0000-alone/" : "flash-incomplete-alone/") +
                    name;
                cases.push_back(c);
            }
        }
    }
}

// Drives that start in their boot loader, left there by a cut flash: the family's drive that the
// package names, another maker's, and the family's that two images name; each by an ordinary run
// (which never writes to a loader) and by a recovery (which writes only to the first), on every
// path of pass-through, attended and unattended, clean or with a fault in the recovery itself.
void AddStartsInLoaderCases(std::vector<Case>& cases) {
    using K = DriveFault::Kind;
    const std::pair<Loader, const char*> loaders[] = {
        {Loader::Family, "family"}, {Loader::Foreign, "foreign"}, {Loader::Ambiguous, "ambiguous"}};
    for (Path path : {Path::Verified, Path::TwoBank, Path::Block}) {
        // The vendor download ends on its own commit command.
        const CommandKind commit =
            path == Path::Block ? CommandKind::DownloadCommit : CommandKind::Commit;
        const std::pair<const char*, std::vector<DriveFault>> runs[] = {
            {"clean", {}},
            {"power cut commit #1", {{K::PowerCut, commit, 1, 1}}},
            {"bad cell", {{.kind = K::BadCell, .address = 0x1234}}}};
        for (const auto& [loader, loaderName] : loaders) {
            for (bool recover : {false, true}) {
                for (bool unattended : {false, true}) {
                    for (const auto& [name, faults] : runs) {
                        Case c;
                        c.path = path;
                        c.faults = faults;
                        c.startsInLoader = loader;
                        c.recover = recover;
                        c.unattended = unattended;
                        c.uiVariant = static_cast<int>(cases.size() % 3);
                        c.name = std::string(PathName(path)) + "/starts-in-loader-" + loaderName +
                                 (recover ? "/recover/" : "/update/") +
                                 (unattended ? "unattended/" : "attended/") + name;
                        cases.push_back(c);
                    }
                }
            }
        }
    }
}

std::string Slug(const std::string& name) {
    std::string s;
    for (char ch : name)
        s += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return s;
}

int Run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A copy of the program carrying the case's package, made once per package.
std::string PackedProgram(const std::string& program, const Case& c, const std::string& dir) {
    const auto& block = PackagedBlock(c);
    const std::string name = fs::path(program).filename().string() + "-" +
                             std::to_string(common::Crc32(block)) + "-" + Slug(OptionsFor(c));
    const fs::path packed = fs::path(dir) / "programs" / name;
    if (fs::exists(packed)) return packed.string();
    fs::create_directories(packed.parent_path());
    std::string bytes = ReadText(program);
    std::span<uint8_t> file(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    int64_t at = package::LocateBlock(file);
    if (at < 0) throw std::runtime_error("no package block in " + program);
    std::copy(block.begin(), block.end(), file.begin() + at);
    const fs::path temporary = packed.string() + ".tmp";
    std::ofstream(temporary, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fs::permissions(temporary, fs::perms::owner_all);
    fs::rename(temporary, packed);
    return packed.string();
}

}  // namespace

bool UnattendedChoosesNothing(const Case& c) {
    Case unattended = c;
    unattended.unattended = true;
    return Chosen(unattended).empty();
}

const char* VerdictName(Verdict v) {
    static const char* names[] = {"true", "FALSE SUCCESS", "FALSE FAILURE", "unknown", "HANG"};
    return names[static_cast<int>(v)];
}

std::vector<Case> GenerateCases(bool full) {
    std::vector<Case> cases;
    for (Path path : {Path::Verified, Path::VerifiedSmallChip, Path::TwoBank, Path::Block}) {
        for (Transport transport : {Transport::PassThrough, Transport::Aspi})
            AddDriveFaultCases(path, transport, cases);
    }
    for (Path path : {Path::DirectIde, Path::DirectIde98, Path::DirectIdePage}) {
        AddIdeFaultCases(path, cases);
        AddIdeRequestCases(path, cases);
    }
    for (Path path : {Path::Verified, Path::VerifiedSmallChip, Path::TwoBank, Path::Block}) {
        for (Transport transport : {Transport::PassThrough, Transport::Aspi})
            AddDriveStateCases(path, transport, cases);
    }
    AddRangeBelowCases(cases);
    AddDamagedPackageCases(cases);
    AddRevisionCases(cases);
    AddLoaderSignCases(cases);
    AddStartsInLoaderCases(cases);
    if (full) return cases;
    // The test suite's share: every 20th case, so each path and state keeps a few.
    std::vector<Case> subset;
    for (size_t i = 0; i < cases.size(); i += 20)
        subset.push_back(cases[i]);
    return subset;
}

Judgement RunInProcess(const Case& c) {
    Observed o = Observe(c);
    // What the drives report is judged before the restart brings them back.
    Judgement run = Judge(c, o.said, *o.machine, true);
    run.historyChecked = true;
    run.historyWrong =
        HistoryWrong(c, o.said, *o.machine, HistoryOf(InProcessBench()), SentWrite(*o.machine, c));
    CheckAfterRestart(c, o);
    Judgement judged = JudgeCheck(c, o.said, *o.machine, run);
    judged.transcript = o.said.out + o.said.err;
    return judged;
}

namespace {
// The same run killed part way (after a delay chosen by the case's name, so each case cuts at
// its own point) on a bench whose history holds three runs already: the history must still read
// whole, the three runs in it, and at most the killed run's record besides.
std::string KilledRunWrong(const Case& c, const std::string& program, const fs::path& dir) {
    fs::create_directories(dir);
    auto machine = BuildMachine(c);
    platform::emulated::SaveBench(*machine, (dir / "bench.json").string());
    const fs::path file = dir / "bench.history.jsonl";
    {
        std::ofstream seeded(file, std::ios::binary);
        for (int i = 0; i < 3; ++i)
            seeded << "{\"time\":\"seeded " << i << "\",\"verdict\":\"failed\"}\n";
    }
    static constexpr const char* kDelays[] = {"0.02", "0.05", "0.1", "0.2", "0.4"};
    const char* delay =
        kDelays[common::Crc32(
                    std::span(reinterpret_cast<const uint8_t*>(c.name.data()), c.name.size())) %
                std::size(kDelays)];
    Run("cd '" + dir.string() + "' && BRENVO_MACHINE=bench.json timeout -s KILL " + delay + " '" +
        program + "' update --yes --force --no-reboot > out.txt 2>&1 < /dev/null");
    std::string problem;
    auto history = engine::ReadHistory(file.string(), problem);
    if (!history) return "after a kill the history cannot be read: " + problem;
    if (history->unreadable > 0) return "after a kill the history holds a line that is no record";
    const auto& records = history->records;
    if (records.size() < 3 || records.size() > 4 || records[0].value("time", "") != "seeded 0")
        return "after a kill the history holds " + std::to_string(records.size()) + " records";
    return "";
}
}  // namespace

Judgement RunProgram(const Case& asked, const Programs& programs, bool window) {
    // The window starts a run by itself only for an unattended package: the standard variant,
    // or the OEM wizard, whose check after the restart runs through the window as well.
    Case c = asked;
    if (window) {
        c.unattended = true;
        c.uiVariant = asked.uiVariant == 2 ? 2 : 0;
        c.recover = false;  // the window recovers only when a person says yes to its question
    }
    const fs::path dir = fs::path(programs.workDir) / Slug(c.name + (window ? "-window" : ""));
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto machine = BuildMachine(c);
    platform::emulated::SaveBench(*machine, (dir / "bench.json").string());
    const std::string program =
        PackedProgram(window ? programs.window : programs.cli, c, programs.workDir);
    const std::string env = "cd '" + dir.string() + "' && BRENVO_MACHINE=bench.json " +
                            (window ? "QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 " : "");
    Said said;
    said.window = window;
    // A window that never ends is a fault of its own; the time limit keeps the matrix going.
    said.status = Run(env + "timeout 30 '" + program + "'" +
                      (window ? "" : " update --yes --force --reboot") +
                      (c.recover ? " --recover" : "") + " > out.txt 2> err.txt < /dev/null");
    said.out = ReadText(dir / "out.txt");
    said.err = ReadText(dir / "err.txt");
    if (said.status == 124) return {Verdict::Hang, "the program did not end", ""};
    auto after = platform::emulated::LoadBench((dir / "bench.json").string());
    Judgement judged = Judge(c, said, *after, false);
    judged.historyChecked = true;
    judged.historyWrong = HistoryWrong(c, said, *after, dir / "bench.history.jsonl", std::nullopt);
    if (judged.historyWrong.empty() && !window)
        judged.historyWrong = KilledRunWrong(c, program, dir / "killed");
    if (judged.verdict == Verdict::FalseSuccess || judged.verdict == Verdict::FalseFailure)
        return judged;
    const auto* entry = after->FindRegistry(kRunOnce, engine::kRestartValueName);
    const std::vector<size_t> chosen = Chosen(c);
    if (window && !entry && c.uiVariant == 2 && said.status == 0 && !chosen.empty()) {
        // The wizard in script mode restarts nothing; the check it would leave runs through the
        // window after an emulated restart, for the drive the run chose first.
        const size_t drive = chosen.front();
        const int index = IsIde(c.path) ? (drive == 0 ? 0 : 1) : static_cast<int>(drive);
        ClearFaults(*after);
        after->Restart();
        platform::emulated::SaveBench(*after, (dir / "bench.json").string());
        int check = Run(env + "timeout 60 '" + program + "' /QVCHECK " + std::to_string(index) +
                        " " + kNewRevision + " > boot.txt 2>&1 < /dev/null");
        if (check == 124) return {Verdict::Hang, "the check after the restart did not end", ""};
        said.checkRan = true;
        said.checkIndex = index;
        said.checkPassed = check == 0;
        auto rebooted = platform::emulated::LoadBench((dir / "bench.json").string());
        judged = JudgeCheck(c, said, *rebooted, judged);
        judged.transcript = said.out + said.err + ReadText(dir / "boot.txt");
        return judged;
    }
    if (!entry) return judged;
    engine::CheckRequest request =
        engine::ParseCheckCommandLine(common::SplitCommandLine(entry->value));
    ClearFaults(*after);
    platform::emulated::SaveBench(*after, (dir / "bench.json").string());
    int boot = Run(env + "timeout 60 '" + programs.benchTool +
                   "' boot bench.json > boot.txt 2>&1 < /dev/null");
    if (boot == 124) return {Verdict::Hang, "the check after the restart did not end", ""};
    said.checkRan = true;
    said.checkIndex = request.driveIndex;
    // The wizard's result page says it in the window; in script mode its status says it.
    said.checkPassed = boot == 0 && (window || Contains(ReadText(dir / "boot.txt"),
                                                        "The firmware update was successful."));
    auto rebooted = platform::emulated::LoadBench((dir / "bench.json").string());
    judged = JudgeCheck(c, said, *rebooted, judged);
    judged.transcript = said.out + said.err + ReadText(dir / "boot.txt");
    return judged;
}

}  // namespace matrix
