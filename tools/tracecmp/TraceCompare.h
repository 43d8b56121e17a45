// A run's trace as the drive saw it behind the kernel, held to the emulated PC's trace of the same
// run. The kernel passes on only the bytes of a command block it derives from the opcode, sends
// commands of its own when a node is opened, and a wait polls as often as its clock lets it: the
// comparison allows exactly these differences and nothing else.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tracecmp {

// The commands the kernel's sr driver sends a drive by itself (TEST UNIT READY, REQUEST SENSE,
// PREVENT ALLOW MEDIUM REMOVAL, READ CAPACITY, READ TOC, GET CONFIGURATION, GET EVENT STATUS
// NOTIFICATION, READ DISC INFORMATION, MODE SENSE(10)).
inline const std::set<uint8_t> kKernelOpcodes{0x00, 0x03, 0x1e, 0x25, 0x43, 0x46, 0x4a, 0x51, 0x5a};

// One trace line made comparable: no time, the command block cut to the 12 bytes a drive is sent,
// and bytes 10 and 11 of a WRITE BUFFER or a vendor command (0xC0 and above) zeroed, as the kernel
// keeps only 10 of them. A line that is not a JSON object stays as it is.
std::string Normalise(std::string_view line);

// The trace's lines normalised, each run of one identical line kept once.
std::vector<std::string> Collapsed(std::istream& trace);

// The opcode of a normalised command line, if it has one.
std::optional<uint8_t> Opcode(std::string_view line);

struct Comparison {
    size_t referenceLines = 0;
    size_t matched = 0;         // reference lines found in the run, in order
    size_t kernelCommands = 0;  // the kernel's own commands between them
    std::vector<std::string> unexpected;
    bool Equal() const { return matched == referenceLines && unexpected.empty(); }
};

// Every reference line must come in the run, in order and unchanged; any other line of the run must
// be a command whose opcode is one of kernelOpcodes.
Comparison Compare(const std::vector<std::string>& reference, const std::vector<std::string>& run,
                   const std::set<uint8_t>& kernelOpcodes = kKernelOpcodes);

// For people: each unexpected line, the first reference line missing, the kernel's commands.
std::string Report(const Comparison& comparison, const std::vector<std::string>& reference);

}  // namespace tracecmp
