#include "package/PackageFlaws.h"

#include "common/Text.h"
#include "package/Package.h"
#include "package/PackageBlock.h"

namespace package {
namespace {

std::string Characters(size_t n) {
    return std::to_string(n) + (n == 1 ? " character" : " characters");
}

}  // namespace

std::string UnsendableImage(size_t size, bool directIde) {
    if (directIde) {
        if (size <= kLargestDirectIdeImage) return "";
        return "is " + std::to_string(size) +
               " bytes; the direct-IDE path flashes at most 1 MiB (1048576 bytes)";
    }
    if (size == kTwoBankImageSize) return "";
    if (size > 0 && size % kChunkSize == 0 && size <= kLargestChunkedImage) return "";
    return "is " + std::to_string(size) +
           " bytes, not a whole number of 2048-byte chunks (up to 16 MiB) nor a two-bank image "
           "of 131072 bytes; the SCSI pass-through path cannot send it whole";
}

size_t RevisionWidth(bool longRevisions, bool directIde) {
    return longRevisions && !directIde ? kMaxRevisionLength : 4;
}

bool AsksForLongRevisions(const std::string& low) {
    return common::TrimBlanks(low).size() > 4 && low.find("#FLS") == std::string::npos;
}

std::string ComparedRevision(const std::string& text, size_t width) {
    if (width > 4) return common::TrimBlanks(text);
    return text.substr(0, std::min<size_t>(width, text.size()));
}

std::string RevisionTooWide(const std::string& text, size_t width) {
    const size_t length = common::TrimBlanks(text).size();
    if (length <= width) return "";
    return common::QuotedShown(text) + " is " + Characters(length) +
           "; this package's revisions are compared in " + Characters(width) + " (as " +
           (width > 4 ? "a drive tag holds" : "a drive reports") +
           " them), so it would be read as " + common::QuotedShown(ComparedRevision(text, width));
}

std::string EmptyRange(const std::string& low, const std::string& high, size_t width) {
    const std::string from = ComparedRevision(low, width), to = ComparedRevision(high, width);
    if (from.empty() || to.empty() || from <= to) return "";
    return common::QuotedShown(low) + " is above the upper bound " + common::QuotedShown(high) +
           "; no revision lies between them, so no drive would ever match";
}

std::vector<std::string> PackageFlaws(const Package& p) {
    std::vector<std::string> flaws;
    const PackageOptions& o = p.Options();
    const size_t width = RevisionWidth(p.LongRevisionMode(), o.directIde);
    for (int n = 1; n <= o.imageCount && n <= kMaxImages; ++n) {
        const std::string image = "image " + std::to_string(n);
        if (std::string why = UnsendableImage(static_cast<size_t>(p.ImageSize(n)), o.directIde);
            !why.empty()) {
            flaws.push_back(image + " " + why);
        }
        if (std::string why = RevisionTooWide(p.NewRevisionLabel(n), width); !why.empty())
            flaws.push_back(image + ", new revision: " + why);
        for (int e = 1; e <= kEntriesPerImage; ++e) {
            if (p.EntryIsPlaceholder(n, e)) continue;
            const std::string entry = image + ", constraint " + std::to_string(e);
            const std::string low = p.EntryLow(n, e), high = p.EntryHigh(n, e);
            for (const auto& [name, text] :
                 {std::pair{"lower bound", low}, {"upper bound", high}}) {
                if (std::string why = RevisionTooWide(text, width); !why.empty())
                    flaws.push_back(entry + ", " + name + ": " + why);
            }
            if (std::string why = EmptyRange(low, high, width); !why.empty())
                flaws.push_back(entry + ", lower bound: " + why);
        }
    }
    return flaws;
}

}  // namespace package
