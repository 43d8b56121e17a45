#include "tools/tracecmp/TraceCompare.h"

#include <nlohmann/json.hpp>

#include <charconv>

namespace tracecmp {

namespace {

constexpr size_t kSentBlockHex = 24;    // 12 bytes
constexpr size_t kKernelBlockHex = 20;  // the 10 bytes the kernel keeps of a 12-byte block

std::optional<uint8_t> HexOpcode(std::string_view hex) {
    uint8_t opcode = 0;
    if (hex.size() < 2) return std::nullopt;
    auto [end, error] = std::from_chars(hex.data(), hex.data() + 2, opcode, 16);
    if (error != std::errc() || end != hex.data() + 2) return std::nullopt;
    return opcode;
}

}  // namespace

std::string Normalise(std::string_view line) {
    nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(line, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::string(line);
    parsed.erase("t");
    auto cdb = parsed.find("cdb");
    if (cdb != parsed.end() && cdb->is_string()) {
        std::string hex = cdb->get<std::string>().substr(0, kSentBlockHex);
        const std::optional<uint8_t> opcode = HexOpcode(hex);
        if (hex.size() == kSentBlockHex && opcode && (*opcode == 0x3b || *opcode >= 0xc0))
            hex.replace(kKernelBlockHex, kSentBlockHex - kKernelBlockHex, "0000");
        *cdb = hex;
    }
    return parsed.dump();
}

std::vector<std::string> Collapsed(std::istream& trace) {
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(trace, line)) {
        std::string normalised = Normalise(line);
        if (lines.empty() || lines.back() != normalised) lines.push_back(std::move(normalised));
    }
    return lines;
}

std::optional<uint8_t> Opcode(std::string_view line) {
    static constexpr std::string_view kKey = "\"cdb\":\"";
    const size_t at = line.find(kKey);
    if (at == std::string_view::npos) return std::nullopt;
    return HexOpcode(line.substr(at + kKey.size()));
}

Comparison Compare(const std::vector<std::string>& reference, const std::vector<std::string>& run,
                   const std::set<uint8_t>& kernelOpcodes) {
    Comparison result;
    result.referenceLines = reference.size();
    for (const std::string& line : run) {
        if (result.matched < reference.size() && line == reference[result.matched]) {
            ++result.matched;
            continue;
        }
        const std::optional<uint8_t> opcode = Opcode(line);
        if (opcode && kernelOpcodes.contains(*opcode)) {
            ++result.kernelCommands;
            continue;
        }
        result.unexpected.push_back(line);
    }
    return result;
}

std::string Report(const Comparison& comparison, const std::vector<std::string>& reference) {
    std::string text;
    for (const std::string& line : comparison.unexpected)
        text += "unexpected: " + line + "\n";
    if (comparison.matched < reference.size()) {
        text += "missing from line " + std::to_string(comparison.matched + 1) + ": " +
                reference[comparison.matched] + "\n";
    }
    text += "kernel commands: " + std::to_string(comparison.kernelCommands) + "\n";
    return text;
}

}  // namespace tracecmp
