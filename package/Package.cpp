#include "package/Package.h"

#include <algorithm>
#include <limits>

#include "common/Text.h"
#include "package/PackageChecksum.h"

namespace package {

int32_t DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Past 2^31 the value only needs to stay out of range; the clamp below does the rest.
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 32);
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

Package::Package(std::span<uint8_t> block) : block_(block.first(kBlockSize)) {}

std::string Package::Shown(size_t offset, size_t size) const {
    return common::ShownText(FieldText(block_, offset, size));
}

std::string Package::OptionDigits() const {
    return Shown(kParaOptOffset + 9, kOptionDigits + 1);
}

ParseResult Package::Parse() {
    ParseResult result;
    // Judged on the block as packed, before anything below writes into it.
    const ChecksumState checksum = CheckChecksum(block_);

    // 1. Terminate every bound and look for long revisions.
    longRevisionMode_ = false;
    for (int k = 1; k <= kMaxImages; ++k) {
        for (int e = 1; e <= kEntriesPerImage; ++e) {
            size_t at = EntryOffset(k, e);
            block_[at + kEntryLowOffset + 7] = 0;
            block_[at + kEntryHighOffset + 7] = 0;
            std::string low = common::TrimBlanks(EntryLow(k, e));
            if (low.size() > 4 && low.find("#FLS") == std::string::npos) longRevisionMode_ = true;
        }
    }

    // 2. The caption.
    result.caption = Title();

    // 3. The image area.
    options_ = PackageOptions{};
    options_.imageData = block_.data() + kImageAreaOffset;

    // 4. The option digits, each checked before it is converted.
    const uint8_t* digits = block_.data() + kParaOptOffset + 8;  // digit d is at d + 8 from here
    for (int d : kReadDigits) {
        uint8_t c = digits[d];
        if (c < '0' || c > '9') {
            result.problem = PackageProblem::BadOptionDigit;
            std::string shown = c >= 0x20 && c < 0x7F ? std::string("'") + char(c) + "'"
                                                      : "byte " + std::to_string(c);
            result.message = "The firmware package is damaged: option digit " + std::to_string(d) +
                             " of PARA_OPT= is " + shown + ", not a digit.";
            return result;
        }
    }
    auto integer = [&](int d) { return static_cast<int32_t>(digits[d] - '0'); };
    auto flag = [&](int d) { return digits[d] != '0'; };
    options_.uiVariant = integer(1);
    options_.language = integer(2);
    options_.warnNewer = flag(4);
    options_.checkTray = flag(5);
    options_.commitVariant = flag(6);
    options_.rebootAfterSuccess = flag(7);
    options_.unattended = flag(8);
    options_.exitWhenDone = flag(9);
    options_.noticeKind = integer(10);
    options_.imageCount = static_cast<int16_t>(integer(11));
    options_.directIde = flag(12);
    options_.listMatchedOnly = flag(13);
    options_.stayAfterSuccess = flag(14);
    options_.askBeforeReboot = flag(15);
    options_.warnSame = flag(17);
    options_.skipCurrent = flag(18);

    // 5. No image chosen yet.
    options_.imageStart = 0;
    options_.imageSize = 0;

    // Checks of our own: the matching reads only 4 images' entries, and an update must never read
    // outside the image area.
    if (options_.imageCount == 0) {
        result.problem = PackageProblem::NoImages;
        return result;
    }
    if (options_.imageCount > kMaxImages) {
        result.problem = PackageProblem::TooManyImages;
        result.message = "The firmware package is damaged: it claims " +
                         std::to_string(options_.imageCount) +
                         " images, but a package holds at most 4.";
        return result;
    }
    for (int n = 1; n <= options_.imageCount; ++n) {
        if (!ImageFits(n)) {
            result.problem = PackageProblem::BadImage;
            result.message = "The firmware package is damaged: image " + std::to_string(n) +
                             " (start " + std::to_string(ImageStart(n)) + ", size " +
                             std::to_string(ImageSize(n)) +
                             ") is empty or does not lie inside the 2 MiB image area.";
            return result;
        }
    }
    if (checksum == ChecksumState::Differs || checksum == ChecksumState::BadMarker) {
        result.problem = PackageProblem::BadChecksum;
        result.message = std::string("The firmware package is damaged: ") +
                         (checksum == ChecksumState::Differs
                              ? "it differs from what was packed (the package checksum does not "
                                "match)."
                              : "its checksum digits (option digits 19-32) are neither a checksum "
                                "nor zeros.");
    } else if (!ChecksumCoversWholeBlock(block_)) {
        // Stored packages of the older kinds keep running; their user hears what is unchecked.
        result.notice =
            "This package's checksum does not cover its options and constraints (it was packed "
            "by an older brenvo-pack, or without a checksum), so damage to them would go "
            "unnoticed. Repack it with brenvo-pack to cover them.";
    }
    return result;
}

std::span<const uint8_t> Package::Entry(int image, int entry) const {
    return std::span<const uint8_t>(block_).subspan(EntryOffset(image, entry), kEntrySize);
}

std::string Package::EntryLow(int k, int e) const {
    return FieldText(block_, EntryOffset(k, e) + kEntryLowOffset, kEntryLowSize);
}
std::string Package::EntryHigh(int k, int e) const {
    return FieldText(block_, EntryOffset(k, e) + kEntryHighOffset, kEntryHighSize);
}
std::string Package::EntryVendor(int k, int e) const {
    return FieldText(block_, EntryOffset(k, e) + kEntryVendorOffset, kEntryVendorSize);
}
std::string Package::EntryProduct(int k, int e) const {
    return FieldText(block_, EntryOffset(k, e) + kEntryProductOffset, kEntryProductSize);
}

bool Package::EntryIsPlaceholder(int k, int e) const {
    std::string low = EntryLow(k, e);
    auto startsWithHash = [](const std::string& s) { return !s.empty() && s[0] == '#'; };
    return low.rfind("#FLS", 0) == 0 && startsWithHash(EntryHigh(k, e)) &&
           startsWithHash(EntryVendor(k, e)) && startsWithHash(EntryProduct(k, e));
}

int32_t Package::ImageStart(int n) const {
    return DecimalValue(FieldText(block_, BinStartValueOffset(n), kNumberDigits + 1));
}

int32_t Package::ImageSize(int n) const {
    return DecimalValue(FieldText(block_, BinSizeValueOffset(n), kNumberDigits + 1));
}

std::string Package::NewRevisionLabel(int n) const {
    return Shown(NewFwValueOffset(n), kNewFwValueSize);
}

std::string Package::NewRevision(int n, bool longForm) const {
    std::string value = FieldText(block_, NewFwValueOffset(n), kMaxRevisionLength);
    if (longForm) return common::TrimBlanks(value);
    return value.substr(0, std::min<size_t>(4, value.size()));
}

std::span<const uint8_t> Package::KeyTable(int n) const {
    return std::span<const uint8_t>(block_).subspan(KeyTableOffset(n), kKeyTableSize);
}

bool Package::ImageFits(int n) const {
    int64_t start = ImageStart(n), size = ImageSize(n);
    return start >= 0 && size > 0 && start + size <= static_cast<int64_t>(kImageAreaSize);
}

std::span<const uint8_t> Package::StoredImage(int n) const {
    if (!ImageFits(n)) return {};
    return std::span<const uint8_t>(block_).subspan(kImageAreaOffset + ImageStart(n), ImageSize(n));
}

std::vector<uint8_t> Package::SelectImage(int k) {
    int n = k + 1;
    options_.imageSize = ImageSize(n);
    options_.imageStart = ImageStart(n);
    auto stored = StoredImage(n);
    if (stored.empty()) return {};
    options_.imageData = stored.data();
    return std::vector<uint8_t>(stored.begin(), stored.end());
}

}  // namespace package
