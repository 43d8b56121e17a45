// The fault matrix: update runs generated from the procedures (every path, every command kind
// the path sends, at its first, a middle and its last position, on one, two and three attempts
// in a row; read-backs corrupted, drives never ready or in unit attention for ever, transports
// failing, commands timing out, power cut, command blocks cut short on the way; and runs over
// two and three drives where each drive is flashed, fails, is stopped or skipped, attended and
// unattended, in each user-interface variant),
// each judged both ways: the run reports success exactly when every chosen drive holds the image,
// and what it says each drive reports is what the drive reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/emulated/IdeMachine.h"
#include "platform/emulated/OpticalDrive.h"

namespace matrix {

enum class Path {
    Verified,           // 1 MiB, WRITE BUFFER chunks read back, one commit
    VerifiedSmallChip,  // the same on a chip whose profile goes to 0x80000
    TwoBank,            // 128 KiB in two 64 KiB banks
    Block,              // 128 KiB by the vendor download commands
    DirectIde,          // the direct-IDE path, NT family, 1 MiB chip erased first
    DirectIde98,        // the same on the older family
    DirectIdePage,      // the direct-IDE path on a 512 KiB chip programmed page by page
};
enum class Transport { PassThrough, Aspi };
enum class DriveState { Flashed, Failed, Stopped, Skipped };
// A package damaged after packing, in one of the parts its checksum covers.
enum class Damage { None, Image, KeyTable, Size, ChecksumDigit };
// The first drive starts in its boot loader, left there by a cut flash: a drive of the family
// that the package's one image names by maker and model, another maker's drive beside a package
// whose range reaches 0000 and names no maker, or a drive of the family that two images name.
enum class Loader { None, Family, Foreign, Ambiguous };

struct Case {
    std::string name;
    Path path = Path::Verified;
    Transport transport = Transport::PassThrough;
    int uiVariant = 0;
    bool unattended = false;
    // Runs over several drives: one drive per state, E:, F:, G:. Empty: one drive of the family
    // (E:, or IDE slot 0) beside one the package does not take, with the faults below.
    std::vector<DriveState> states;
    std::vector<platform::emulated::DriveFault> faults;
    std::vector<platform::emulated::IdeFault> ideFaults;
    // The package updates from QV10-QV11 to QV12, the usual way of writing ranges: after its
    // update a drive is outside them (else QV10-QV19, which QV12 is inside).
    bool rangeBelowNew = false;
    // The package's range instead, when set: low and high revision of its one constraint.
    std::string rangeLow, rangeHigh;
    // The revision the image carries, when it is not the one the package's label names.
    std::string imageRevision;
    Damage damage = Damage::None;
    // What the family drive shows of its boot loader once its flash is incomplete.
    platform::emulated::DriveSettings::LoaderSigns loaderSigns =
        platform::emulated::DriveSettings::LoaderSigns::Both;
    Loader startsInLoader = Loader::None;
    bool recover = false;  // the run is brenvo-cli update --recover
};

// How a run's words compare with what happened to the drives.
// Unknown: the run said it cannot tell, where the fault makes the outcome unknowable. Hang: the
// run never ended.
enum class Verdict { True, FalseSuccess, FalseFailure, Unknown, Hang };

struct Judgement {
    Verdict verdict = Verdict::True;
    std::string why;         // for a false verdict: what was said and what is so
    std::string transcript;  // what the front-end wrote
    bool checked = false;    // a check after the restart ran and was judged
    // The history of runs: checked (a run that wrote left exactly one record, with the run's
    // verdict; a run cut by a kill left it readable), and what was wrong with it, if anything.
    bool historyChecked = false;
    std::string historyWrong;
};

// What a front-end said: its exit status and its text (console), or its messages (window).
struct Said {
    int status = 0;
    std::string out, err;
    bool window = false;  // the window's messages, no per-drive lines
    // The check after the restart, when the run left one: the list index and what it said.
    bool checkRan = false;
    bool checkPassed = false;
    int checkIndex = -1;
};

// Every case of the full matrix (`full`), or the fast subset the test suite runs.
std::vector<Case> GenerateCases(bool full);

// Runs the case in this process, the engine with the console's view, and judges it.
Judgement RunInProcess(const Case& c);

// Runs the case through a real program on a bench file in `workDir`: brenvo-cli, or the window
// (brenvo) in script mode when `window` is set, as an unattended run of the standard variant.
// `benchTool` restarts the bench for the check after the restart.
struct Programs {
    std::string cli, window, benchTool, workDir;
};
Judgement RunProgram(const Case& c, const Programs& programs, bool window);

// An unattended run of the case would find nothing to update (every drive skipped): the window
// then waits for its user, as designed, and gives no verdict a script could wait for.
bool UnattendedChoosesNothing(const Case& c);

const char* VerdictName(Verdict v);

}  // namespace matrix
