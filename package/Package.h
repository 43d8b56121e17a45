// The package a program carries: its options, texts, constraint entries and images.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "package/PackageBlock.h"

namespace package {

// What PARA_OPT= selects, plus the image chosen for the drive being updated.
struct PackageOptions {
    int32_t uiVariant = 0;  // 0 standard, 1 custom dialogs, 2 OEM wizard
    int32_t language = 0;   // 1 Traditional Chinese, 2 Japanese, else English
    bool warnNewer = false;
    bool checkTray = false;
    bool commitVariant = false;  // commit mode 0xA0 when set, 0x80 when clear
    bool rebootAfterSuccess = false;
    bool unattended = false;
    bool exitWhenDone = false;
    int32_t noticeKind = 0;
    int16_t imageCount = 0;
    bool directIde = false;
    bool listMatchedOnly = false;
    bool stayAfterSuccess = false;
    bool askBeforeReboot = false;
    bool warnSame = false;
    bool skipCurrent = false;

    int32_t imageSize = 0;
    int32_t imageStart = 0;
    const uint8_t* imageData = nullptr;
};

// Why a package cannot be used. NoImages has its own message in the package's language; the others
// mean the block is damaged.
enum class PackageProblem {
    None,
    NoImages,
    TooManyImages,
    BadOptionDigit,
    BadImage,
    BadChecksum,  // what the flash depends on differs from what was packed
};

struct ParseResult {
    PackageProblem problem = PackageProblem::None;
    std::string message;  // for the damaged cases: what is wrong, in plain words
    std::string caption;  // the title, for the main window's caption
    // For a package that runs but whose checksum leaves its options and constraints out (packed
    // before the whole block was covered): what to tell the user, once. Empty otherwise.
    std::string notice;
    bool ok() const { return problem == PackageProblem::None; }
};

// Decimal conversion as the block's numbers use it: leading blanks skipped, an optional sign,
// leading zeros allowed, stops at the first non-digit, no digits give 0. Saturates at the 32-bit
// limits.
int32_t DecimalValue(const std::string& text);

// The option digits in the order start-up reads them.
inline constexpr int kReadDigits[] = {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17, 18};

class Package {
  public:
    // Works on the block in place (the program's own, or one read from a file).
    explicit Package(std::span<uint8_t> block);

    // The start-up parse: normalises the entries, derives longRevisionMode, takes the caption,
    // points imageData at the image area and reads the options. Refuses a block whose option
    // digits are not digits, that claims more than 4 images, or whose images do not lie inside
    // the image area.
    ParseResult Parse();

    PackageOptions& Options() { return options_; }
    const PackageOptions& Options() const { return options_; }
    bool LongRevisionMode() const { return longRevisionMode_; }

    // The package's texts, which only ever reach a screen, a window or a log: a package comes
    // from whoever made it, so they are read escaped (common::ShownText), once, here. The texts
    // that decide (constraint entries, the new revision compared) are read as they are.
    std::string Title() const { return Shown(kTitleOffset, kTitleSize); }
    std::string DriveName() const { return Shown(kDriveNameOffset, kDriveNameSize); }
    std::string CreditTag() const { return Shown(kCreditOffset, kCreditSize); }
    std::string ToolTag() const { return Shown(kToolTagOffset, kToolTagSize); }
    std::string BuildDate() const { return Shown(kBuildDateOffset, kBuildDateSize); }
    std::string VersionTag() const { return Shown(kVersionTagOffset, kVersionTagSize); }
    // The 32 digits behind "PARA_OPT=" (up to the terminator), escaped as the texts are.
    std::string OptionDigits() const;

    // Constraint entry e (1..8) of image k (1..4): the raw 48 bytes.
    std::span<const uint8_t> Entry(int image, int entry) const;
    std::string EntryLow(int image, int entry) const;
    std::string EntryHigh(int image, int entry) const;
    std::string EntryVendor(int image, int entry) const;
    std::string EntryProduct(int image, int entry) const;
    // An entry the packaging step did not fill ("#FLSH" + numbers, "#" elsewhere).
    bool EntryIsPlaceholder(int image, int entry) const;

    // Image n (1..4) as the block describes it.
    int32_t ImageStart(int n) const;
    int32_t ImageSize(int n) const;
    // The zero-terminated NEW_FW value as stored, escaped (the label shows this).
    std::string NewRevisionLabel(int n) const;
    // The new revision used for comparison: with `longForm`, the whole value (eighth byte forced
    // to zero) trimmed of blanks; otherwise its first 4 characters.
    std::string NewRevision(int n, bool longForm) const;
    std::span<const uint8_t> KeyTable(int n) const;
    // True when image n lies inside the image area and is not empty.
    bool ImageFits(int n) const;
    std::span<const uint8_t> StoredImage(int n) const;

    // Image selection for a drive whose imageIndex is k (0-based): sets imageSize, imageStart and
    // imageData and returns a copy of the stored (scrambled) image. Empty when the image does not
    // lie inside the image area.
    std::vector<uint8_t> SelectImage(int k);

    std::span<uint8_t> Block() { return block_; }
    std::span<const uint8_t> Block() const { return block_; }

  private:
    std::string Shown(size_t offset, size_t size) const;

    std::span<uint8_t> block_;
    PackageOptions options_;
    bool longRevisionMode_ = false;
};

}  // namespace package
