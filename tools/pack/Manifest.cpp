#include "tools/pack/Manifest.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "common/Files.h"
#include "common/JsonFields.h"
#include "common/Text.h"
#include "common/WideText.h"
#include "package/PackageBlock.h"
#include "package/PackageFlaws.h"

namespace pack {
namespace {
namespace fs = std::filesystem;
using common::Fields;
using common::JsonError;

// A text for a field of `size` bytes: it must leave room for the terminating zero.
std::string Text(Fields& f, const std::string& key, size_t size, bool required,
                 const std::string& fallback = "") {
    if (required && !f.Has(key)) f.Fail(key, "missing");
    std::string value = f.String(key, fallback);
    if (value.size() > size - 1) {
        f.Fail(key, common::QuotedExcerpt(value) + " is " + std::to_string(value.size()) +
                        " bytes; the field holds at most " + std::to_string(size - 1));
    }
    if (value.find('\0') != std::string::npos) f.Fail(key, "a text may not contain a zero byte");
    // The programs show a package's texts with control characters escaped; a package is made
    // only from texts that show as they were written.
    if (common::ShownText(value) != value)
        f.Fail(key, common::QuotedExcerpt(value) + " holds a control character");
    return value;
}

// A drive reports its vendor in 8 characters and its product in 16, padded with blanks, and a
// constraint names them as the drive reports them: what a maker writes is padded the same way,
// and a name too long for the drive's own field could never match.
std::string DriveIdentity(Fields& f, const std::string& key, size_t field, size_t reported) {
    std::string value = Text(f, key, field, false);
    if (value.size() > reported) {
        f.Fail(key, common::QuotedExcerpt(value) + " is " + std::to_string(value.size()) +
                        " characters; a drive reports its " + key + " in " +
                        std::to_string(reported) + ", so no drive could match it");
    }
    if (!value.empty()) value.resize(reported, ' ');
    return value;
}

std::vector<uint8_t> ReadFile(Fields& f, const std::string& key, const fs::path& folder,
                              size_t maxBytes) {
    std::string name = f.String(key, "");
    if (name.empty()) f.Fail(key, "missing: the name of a file beside the manifest");
    const std::string path = common::PathText(folder / common::FilePath(name));
    std::string problem;
    auto bytes = common::ReadWholeFile(path, problem, maxBytes);
    if (!bytes) f.Fail(key, path + " " + problem);
    return std::move(*bytes);
}

std::string Today() {
    auto now = std::chrono::system_clock::now();
    std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(now)};
    char text[16];
    std::snprintf(text, sizeof text, "%04d/%02u/%02u", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()));
    return text;
}

// A package that parses can still update no drive at all; such a one is refused here, naming the
// field, rather than shipped to makers' users.
void RefuseWhatCannotWork(const Manifest& m, const std::vector<std::string>& imageWhere,
                          const std::vector<std::vector<std::string>>& constraintWhere) {
    using namespace package;
    const bool directIde = m.options[11] != '0';
    bool longRevisions = false;
    for (const auto& image : m.images)
        for (const auto& c : image.constraints)
            longRevisions |= AsksForLongRevisions(c.low);
    const size_t width = RevisionWidth(longRevisions, directIde);
    auto fail = [](const std::string& where, const std::string& key, const std::string& why) {
        throw JsonError(where + "." + key + ": " + why);
    };
    for (size_t i = 0; i < m.images.size(); ++i) {
        const auto& image = m.images[i];
        if (std::string why = UnsendableImage(image.data.size(), directIde); !why.empty())
            fail(imageWhere[i], "file", image.file + " " + why);
        if (std::string why = RevisionTooWide(image.newRevision, width); !why.empty())
            fail(imageWhere[i], "newRevision", why);
        for (size_t e = 0; e < image.constraints.size(); ++e) {
            const auto& c = image.constraints[e];
            const std::string& where = constraintWhere[i][e];
            if (std::string why = RevisionTooWide(c.low, width); !why.empty())
                fail(where, "low", why);
            if (std::string why = RevisionTooWide(c.high, width); !why.empty())
                fail(where, "high", why);
            if (std::string why = EmptyRange(c.low, c.high, width); !why.empty())
                fail(where, "low", why);
        }
    }
}
}  // namespace

Manifest LoadManifest(const std::string& path) {
    std::string problem;
    auto content = common::ReadWholeFile(path, problem, common::kMaxSmallJsonBytes);
    if (!content) throw JsonError(path + ": the manifest " + problem);
    return ParseManifest(
        std::string_view(reinterpret_cast<const char*>(content->data()), content->size()), path);
}

Manifest ParseManifest(std::string_view text, const std::string& path) {
    nlohmann::json root = common::ParseJson(text, path);
    const fs::path folder = common::FilePath(path).parent_path();
    using namespace package;

    Manifest m;
    Fields top(root, path);
    // Where each image and constraint was read, for the checks that need the whole manifest.
    std::vector<std::string> imageWhere;
    std::vector<std::vector<std::string>> constraintWhere;
    m.title = Text(top, "title", kTitleSize, true);
    m.driveName = Text(top, "driveName", kDriveNameSize, true);
    m.buildDate = Text(top, "buildDate", kBuildDateSize, false, Today());
    m.creditTag = Text(top, "creditTag", kCreditSize, false, "[Brenvo package]");
    m.toolTag = Text(top, "toolTag", kToolTagSize, false, "brenvo-pack 0.1");
    m.versionTag = Text(top, "versionTag", kVersionTagSize, false, "");
    if (!top.Has("options")) top.Fail("options", "missing: the 32 option digits");
    m.options = top.String("options", "");
    if (m.options.size() != kOptionDigits ||
        m.options.find_first_not_of("0123456789") != std::string::npos) {
        top.Fail("options",
                 "expected exactly 32 digits, found " + common::QuotedExcerpt(m.options));
    }
    if (!top.Has("images")) top.Fail("images", "missing: a list of 1 to 4 images");
    top.Array("images", [&](Fields& f, size_t) {
        ImageSpec image;
        imageWhere.push_back(f.Where());
        constraintWhere.emplace_back();
        image.file = f.String("file", "");
        image.data = ReadFile(f, "file", folder, kImageAreaSize);
        if (image.data.empty()) f.Fail("file", image.file + " is empty");
        image.keyFile = f.String("key", "");
        image.key = ReadFile(f, "key", folder, kImageAreaSize);
        if (image.key.size() != kKeyTableSize) {
            f.Fail("key",
                   "a key table is 1024 bytes; this one is " + std::to_string(image.key.size()));
        }
        image.newRevision = Text(f, "newRevision", kMaxRevisionLength + 1, true);
        if (f.Has("start")) image.start = f.Integer("start", 0, 0, kImageAreaSize);
        f.Array("constraints", [&](Fields& c, size_t) {
            Constraint constraint;
            constraintWhere.back().push_back(c.Where());
            constraint.low = Text(c, "low", kEntryLowSize, false);
            constraint.high = Text(c, "high", kEntryHighSize, false);
            constraint.vendor = DriveIdentity(c, "vendor", kEntryVendorSize, 8);
            constraint.product = DriveIdentity(c, "product", kEntryProductSize, 16);
            image.constraints.push_back(constraint);
        });
        if (image.constraints.size() > kEntriesPerImage) {
            f.Fail("constraints", "an image takes at most 8 constraints; this one has " +
                                      std::to_string(image.constraints.size()));
        }
        m.images.push_back(std::move(image));
    });
    top.Finish();
    if (m.images.empty()) {
        top.Fail("images", "the list is empty; a package holds 1 to 4 images");
    }
    if (m.options[0] > '2') {
        top.Fail("options", std::string("option digit 1 (the user-interface variant) is ") +
                                m.options[0] +
                                "; the variants are 0 (message boxes), 1 (custom dialogs) and 2 "
                                "(OEM wizard)");
    }
    if (m.images.size() > static_cast<size_t>(kMaxImages)) {
        top.Fail("images", "a package holds at most 4 images; the manifest lists " +
                               std::to_string(m.images.size()));
    }
    int countDigit = m.options[10] - '0';
    if (countDigit != static_cast<int>(m.images.size())) {
        top.Fail("options", "option digit 11 (the image count) is " + std::to_string(countDigit) +
                                " but the manifest lists " + std::to_string(m.images.size()) +
                                " images");
    }
    RefuseWhatCannotWork(m, imageWhere, constraintWhere);
    return m;
}

}  // namespace pack
