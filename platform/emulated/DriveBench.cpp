#include "platform/emulated/DriveBench.h"

#include <algorithm>
#include <cstdio>

#include "common/Text.h"
#include "platform/emulated/FlashFiles.h"

namespace platform::emulated {
namespace {
using nlohmann::json;
using nlohmann::ordered_json;

constexpr int64_t kLargestFlash = 16 << 20;

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02x", b);
        if (!text.empty()) text += ' ';
        text += part;
    }
    return text;
}

std::optional<std::array<uint8_t, 4>> ParseFlashId(const std::string& text) {
    std::array<uint8_t, 4> id{};
    unsigned v[4];
    char tail;
    if (std::sscanf(text.c_str(), "%2x %2x %2x %2x%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4)
        return std::nullopt;
    for (int i = 0; i < 4; ++i)
        id[i] = static_cast<uint8_t>(v[i]);
    return id;
}

DriveFault ReadFault(common::Fields& f) {
    DriveFault fault;
    std::string kind = f.String("kind", "");
    auto k = FaultKindFromName(kind);
    if (!k)
        f.Fail("kind",
               "unknown fault " + common::QuotedExcerpt(kind) +
                   " (failCommand, corruptReadBack, neverReady, unitAttentionForever, "
                   "transportFailure, slowCommand, powerCut, shortBlock, badCell, corruptWrite)");
    fault.kind = *k;
    std::string command = f.String("command", "any");
    auto c = CommandKindFromName(command);
    if (!c) f.Fail("command", "unknown command kind " + common::QuotedExcerpt(command));
    fault.command = *c;
    fault.nth = static_cast<int>(f.Integer("nth", 1, 1, 1'000'000'000));
    fault.times = static_cast<int>(f.Integer("times", 1, 0, 1'000'000'000));
    if (const json* sense = f.Raw("sense")) {
        if (!sense->is_array() || sense->size() != 3)
            f.Fail("sense", "expected [key, asc, ascq], found " + common::Excerpt(*sense));
        for (size_t i = 0; i < 3; ++i) {
            const json& v = (*sense)[i];
            if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > 255 ||
                (i == 0 && v.get<int64_t>() > 15))
                f.Fail("sense", "expected [key 0-15, asc 0-255, ascq 0-255], found " +
                                    common::Excerpt(*sense));
            fault.sense[i] = static_cast<uint8_t>(v.get<int64_t>());
        }
    }
    fault.seconds = f.Number("seconds", 0, 0, 1e9);
    fault.seed = static_cast<uint32_t>(f.Integer("seed", 1, 0, 0xFFFFFFFF));
    fault.address = f.Integer("address", 0, 0, kLargestFlash - 1);
    return fault;
}
}  // namespace

std::optional<std::array<int, 4>> ParseAddress(const std::string& text) {
    std::array<int, 4> a{};
    char tail;
    if (std::sscanf(text.c_str(), "%d:%d:%d:%d%c", &a[0], &a[1], &a[2], &a[3], &tail) != 4)
        return std::nullopt;
    if (std::any_of(a.begin(), a.end(), [](int v) { return v < 0 || v > 255; }))
        return std::nullopt;
    return a;
}

std::string FormatAddress(const std::array<int, 4>& a) {
    return std::to_string(a[0]) + ":" + std::to_string(a[1]) + ":" + std::to_string(a[2]) + ":" +
           std::to_string(a[3]);
}

std::string DriveFlashName(const DriveSettings& d, size_t index) {
    if (!d.letter.empty()) return d.letter.substr(0, 1);
    return "drive" + std::to_string(index);
}

void ReadDrive(common::Fields& f, Machine& m, const std::string& benchFolder) {
    DriveSettings d;
    d.letter = common::UpperAscii(f.String("letter", ""));
    if (!d.letter.empty() &&
        (d.letter.size() != 2 || d.letter[1] != ':' || d.letter[0] < 'D' || d.letter[0] > 'Z'))
        f.Fail("letter", "expected a drive letter from \"D:\" to \"Z:\", found " +
                             common::QuotedExcerpt(d.letter));
    if (!d.letter.empty() && m.FindDrive(d.letter))
        f.Fail("letter", "two drives have the letter " + d.letter);
    if (auto address = f.NullableString("address", std::nullopt)) {
        d.address = ParseAddress(*address);
        if (!d.address)
            f.Fail("address", "expected \"port:path:target:lun\" (0-255 each), found " +
                                  common::QuotedExcerpt(*address));
    }
    d.openError = static_cast<uint32_t>(f.Integer("openError", 0, 0, 0xFFFFFFFF));
    d.vendor = f.String("vendor", "");
    d.product = f.String("product", "");
    d.revision = f.String("revision", "");
    d.vendorSpecific = f.String("vendorSpecific", "");
    if (d.vendor.size() > 8) f.Fail("vendor", "at most 8 characters");
    if (d.product.size() > 16) f.Fail("product", "at most 16 characters");
    if (d.revision.size() > 4) f.Fail("revision", "at most 4 characters");
    if (d.vendorSpecific.size() > 16) f.Fail("vendorSpecific", "at most 16 characters");
    d.driveTag = f.NullableString("driveTag", std::nullopt);
    if (d.driveTag && d.driveTag->size() > 7) f.Fail("driveTag", "at most 7 characters");
    if (auto id = f.NullableString("flashId", std::nullopt)) {
        d.flashId = ParseFlashId(*id);
        if (!d.flashId) f.Fail("flashId", "expected four hex bytes like \"bf d8 00 0a\"");
    }
    f.Object("flash", [&](common::Fields& flash) {
        d.flash = ReadFlashObject(flash, benchFolder, kLargestFlash);
    });
    if (d.flash.empty())
        f.Fail("flash", "a drive needs its flash ({\"size\": ..., \"fill\": 255})");
    d.trayOpen = f.Choice("tray", "closed", {"closed", "open"}) == "open";
    d.medium = f.Bool("medium", d.medium);
    d.trayLocked = f.Bool("trayLocked", d.trayLocked);
    d.unitAttention = f.Bool("unitAttention", d.unitAttention);
    d.readyAt = f.Number("readyAt", 0, 0, 1e12);
    d.backgroundFormat = static_cast<int>(f.Integer("backgroundFormat", 0, 0, 3));
    d.flashIncomplete = f.Bool("flashIncomplete", false);
    const std::string signs =
        f.Choice("loaderSigns", "both", {"both", "revision", "flashIncomplete"});
    d.loaderSigns = signs == "revision"          ? DriveSettings::LoaderSigns::RevisionOnly
                    : signs == "flashIncomplete" ? DriveSettings::LoaderSigns::TextOnly
                                                 : DriveSettings::LoaderSigns::Both;
    d.heldBy = f.String("heldBy", "");
    f.Array("faults", [&](common::Fields& fault, size_t) { d.faults.push_back(ReadFault(fault)); });
    m.drives.push_back(std::make_shared<OpticalDrive>(std::move(d)));
}

void ReadAspi(common::Fields& f, AspiSettings& a) {
    a.present = f.Bool("present", a.present);
    a.supportStatus = static_cast<int>(f.Integer("supportStatus", a.supportStatus, 0, 255));
    if (const json* missing = f.Raw("missingEntries")) {
        if (!missing->is_array()) f.Fail("missingEntries", "expected a list of entry names");
        for (const auto& name : *missing) {
            if (name == "GetASPI32SupportInfo")
                a.getSupportInfoEntry = false;
            else if (name == "SendASPI32Command")
                a.sendCommandEntry = false;
            else
                f.Fail("missingEntries", "unknown entry " + common::Excerpt(name) +
                                             " (GetASPI32SupportInfo or SendASPI32Command)");
        }
    }
    a.completesByEvent = f.Choice("completion", a.completesByEvent ? "event" : "synchronous",
                                  {"event", "synchronous"}) == "event";
    a.eventsFail = f.Bool("eventsFail", a.eventsFail);
}

ordered_json WriteDrive(const DriveSettings& d, ordered_json flash) {
    ordered_json j;
    j["letter"] = d.letter;
    j["address"] = d.address ? ordered_json(FormatAddress(*d.address)) : ordered_json(nullptr);
    j["openError"] = d.openError;
    j["vendor"] = d.vendor;
    j["product"] = d.product;
    j["revision"] = d.revision;
    j["vendorSpecific"] = d.vendorSpecific;
    j["driveTag"] = d.driveTag ? ordered_json(*d.driveTag) : ordered_json(nullptr);
    j["flashId"] = d.flashId ? ordered_json(HexBytes(*d.flashId)) : ordered_json(nullptr);
    j["flash"] = std::move(flash);
    j["tray"] = d.trayOpen ? "open" : "closed";
    j["medium"] = d.medium;
    j["trayLocked"] = d.trayLocked;
    j["unitAttention"] = d.unitAttention;
    j["readyAt"] = d.readyAt;
    j["backgroundFormat"] = d.backgroundFormat;
    j["flashIncomplete"] = d.flashIncomplete;
    if (d.loaderSigns != DriveSettings::LoaderSigns::Both)
        j["loaderSigns"] = d.loaderSigns == DriveSettings::LoaderSigns::RevisionOnly
                               ? "revision"
                               : "flashIncomplete";
    if (!d.heldBy.empty()) j["heldBy"] = d.heldBy;
    ordered_json faults = ordered_json::array();
    for (const auto& fault : d.faults) {
        ordered_json written = {{"kind", FaultKindName(fault.kind)},
                                {"command", CommandKindName(fault.command)},
                                {"nth", fault.nth},
                                {"times", fault.times},
                                {"sense", {fault.sense[0], fault.sense[1], fault.sense[2]}},
                                {"seconds", fault.seconds},
                                {"seed", fault.seed}};
        if (fault.kind == DriveFault::Kind::BadCell) written["address"] = fault.address;
        faults.push_back(std::move(written));
    }
    j["faults"] = faults;
    return j;
}

ordered_json WriteAspi(const AspiSettings& a) {
    ordered_json missing = ordered_json::array();
    if (!a.getSupportInfoEntry) missing.push_back("GetASPI32SupportInfo");
    if (!a.sendCommandEntry) missing.push_back("SendASPI32Command");
    return {{"present", a.present},
            {"supportStatus", a.supportStatus},
            {"missingEntries", missing},
            {"completion", a.completesByEvent ? "event" : "synchronous"},
            {"eventsFail", a.eventsFail}};
}

}  // namespace platform::emulated
