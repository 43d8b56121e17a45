// What makes a package one that no drive could be updated by, though it parses: a revision range
// that holds no revision, a revision or bound wider than the revisions it is compared with, an
// image its download path cannot send whole. The packer refuses such a package; the programs
// that show a package name each flaw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace package {

class Package;

// The image sizes the download paths send whole: over SCSI pass-through exactly two banks of
// 64 KiB, or whole 2048-byte chunks up to 16 MiB; over the direct-IDE path at most 1 MiB.
inline constexpr size_t kTwoBankImageSize = 2 * 65536;
inline constexpr size_t kChunkSize = 2048;
inline constexpr size_t kLargestChunkedImage = size_t{1} << 24;
inline constexpr size_t kLargestDirectIdeImage = 32 * 32768;

// Why the path cannot send an image of `size` bytes whole ("is not a whole number of ..."); empty
// when it can.
std::string UnsendableImage(size_t size, bool directIde);

// How many characters of a revision the program compares: a drive reports 4, or the 7 of its
// drive tag when a lower bound is longer than 4 and the path is SCSI pass-through.
size_t RevisionWidth(bool longRevisions, bool directIde);
// Whether a lower bound as written asks for long revisions (an untouched placeholder does not).
bool AsksForLongRevisions(const std::string& low);
// A bound or revision as the program compares it, at the given width.
std::string ComparedRevision(const std::string& text, size_t width);

// Why a revision text would not be compared as written ("is 5 characters; ..."); empty when fine.
std::string RevisionTooWide(const std::string& text, size_t width);
// Why a range holds no revision ("is above its upper bound ..."); empty when it holds some.
std::string EmptyRange(const std::string& low, const std::string& high, size_t width);

// Every flaw of a parsed package, one line each, naming the image, constraint and field.
std::vector<std::string> PackageFlaws(const Package& package);

}  // namespace package
