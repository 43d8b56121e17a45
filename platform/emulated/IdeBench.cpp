#include "platform/emulated/IdeBench.h"

#include "common/Text.h"
#include "platform/FlashChips.h"

namespace platform::emulated {
namespace {
using common::Fields;
using nlohmann::ordered_json;

struct SetupEntryName {
    const char* name;
    bool SetupApi::*flag;
};
constexpr SetupEntryName kSetupEntries[] = {
    {"SetupDiGetClassDevsA", &SetupApi::getClassDevs},
    {"SetupDiEnumDeviceInfo", &SetupApi::enumDeviceInfo},
    {"SetupDiGetDeviceInstallParamsA", &SetupApi::getDeviceInstallParams},
    {"SetupDiSetClassInstallParamsA", &SetupApi::setClassInstallParams},
    {"SetupDiCallClassInstaller", &SetupApi::callClassInstaller},
};

uint8_t Byte(Fields& f, const std::string& key, uint8_t fallback) {
    return static_cast<uint8_t>(f.Integer(key, fallback, 0, 0xFF));
}

// The chip's contents: a "flash" object, or in older benches a base64 text of the chip's start,
// erased beyond. A chip's contents file is read and checked with the bench: the direct path reads
// every chip it reaches, and the chips are small.
void ReadSlotFlash(Fields& f, IdeSlot& slot, const std::string& benchFolder) {
    const nlohmann::json* flash = f.Raw("flash");
    if (slot.chipRow < 0) {
        if (flash && !(flash->is_string() && flash->get<std::string>().empty()))
            f.Fail("flash", "a slot without a chip (chipRow -1) holds no flash contents");
        return;
    }
    const size_t chipSize = directide::kFlashChips[static_cast<size_t>(slot.chipRow)].size;
    if (flash && flash->is_object()) {
        Fields contents(*flash, f.Where() + ".flash");
        slot.flash = ReadFlashObject(contents, benchFolder, static_cast<int64_t>(chipSize));
        if (slot.flash.size() != chipSize)
            contents.Fail("size", "the chip holds " + std::to_string(chipSize) + " bytes");
        contents.Finish();
        try {
            slot.flash.Bytes();
        } catch (const FlashFileError& e) {
            contents.Fail("file", e.what());
        }
        return;
    }
    if (flash && !flash->is_string())
        f.Fail("flash", "expected {\"size\": ..., \"fill\": 255} or a contents file");
    auto decoded = common::Base64Decode(flash ? flash->get<std::string>() : "");
    if (!decoded) f.Fail("flash", "not valid base64");
    if (decoded->size() > chipSize) {
        f.Fail("flash", "holds " + std::to_string(decoded->size()) +
                            " bytes, more than the chip's " + std::to_string(chipSize));
    }
    if (decoded->empty()) {
        slot.flash = FlashContents(chipSize, 0xFF);
        return;
    }
    decoded->resize(chipSize, 0xFF);
    slot.flash = FlashContents(std::move(*decoded));
}

void ReadSlot(Fields& f, IdeMachine& ide, const std::string& benchFolder) {
    if (!f.Has("slot")) f.Fail("slot", "each slot needs its number 0 to 7");
    int index = static_cast<int>(f.Integer("slot", 0, 0, 7));
    IdeSlot& slot = ide.driveSlots[static_cast<size_t>(index)];
    if (slot.present) f.Fail("slot", "slot " + std::to_string(index) + " is listed twice");
    slot.present = true;
    slot.kind = static_cast<int>(f.Integer("kind", slot.kind, 0, 255));
    slot.identifyPolls = static_cast<int>(f.Integer("identifyPolls", slot.identifyPolls, 1, 1000));
    slot.vendor = f.String("vendor", "");
    slot.product = f.String("product", "");
    slot.revision = f.String("revision", "");
    if (slot.vendor.size() > 8) f.Fail("vendor", "at most 8 characters");
    if (slot.product.size() > 16) f.Fail("product", "at most 16 characters");
    if (slot.revision.size() > 4) f.Fail("revision", "at most 4 characters");
    slot.mwdmaSupported = Byte(f, "mwdmaSupported", slot.mwdmaSupported);
    slot.mwdmaSelected = Byte(f, "mwdmaSelected", slot.mwdmaSelected);
    slot.udmaSupported = Byte(f, "udmaSupported", slot.udmaSupported);
    slot.udmaSelected = Byte(f, "udmaSelected", slot.udmaSelected);
    slot.chipRow = static_cast<int>(f.Integer("chipRow", -1, -1, directide::kFlashChipRows - 2));
    slot.alternateSequence = f.Bool("alternateSequence", false);
    slot.flashIncomplete = f.Bool("flashIncomplete", false);
    slot.seed = static_cast<uint64_t>(f.Integer("seed", 1, 0, int64_t{1} << 53));
    ReadSlotFlash(f, slot, benchFolder);
    f.Array("faults", [&](Fields& ff, size_t) {
        IdeFault fault;
        std::string kind = ff.String("kind", "");
        if (!IdeFaultFromName(kind, fault.kind)) {
            ff.Fail("kind", "unknown fault " + common::QuotedExcerpt(kind) +
                                " (program, verify, erase, identify, readOnce, neverReady or "
                                "requestFails)");
        }
        fault.address = ff.Integer("address", -1, -1, int64_t{1} << 32);
        fault.times = static_cast<int>(ff.Integer("times", -1, -1, 1'000'000'000));
        fault.request = static_cast<int>(ff.Integer("request", -1, -1, 15));
        fault.nth = static_cast<int>(ff.Integer("nth", 1, 1, 1'000'000'000));
        if (fault.address >= static_cast<int64_t>(slot.flash.size()) && !slot.flash.empty()) {
            ff.Fail("address", "beyond the end of the chip");
        }
        slot.faults.push_back(fault);
    });
}

}  // namespace

std::string IdeFlashName(size_t slot) {
    return "ide" + std::to_string(slot);
}

void ReadIdeSection(Fields& f, Machine& m, const std::string& benchFolder) {
    IdeMachine& ide = m.ide;
    ide.present = true;
    ide.setupApiPresent = f.Bool("setupApi", true);
    if (const auto* missing = f.Raw("missingSetupEntries")) {
        if (!missing->is_array()) f.Fail("missingSetupEntries", "expected a list of entry names");
        for (const auto& name : *missing) {
            bool known = false;
            for (const auto& e : kSetupEntries) {
                if (name == e.name) {
                    ide.setupEntries.*(e.flag) = false;
                    known = true;
                }
            }
            if (!known) f.Fail("missingSetupEntries", "unknown entry " + common::Excerpt(name));
        }
    }
    ide.swapTemporaryDriver = f.Bool("swapTemporaryDriver", false);
    if (f.Has("dosDevices")) {
        f.Array("dosDevices", [&](Fields& d, size_t) {
            ide.dosDevices[common::UpperAscii(d.String("name", ""))] = d.String("target", "");
        });
    } else {
        AddDefaultDosDevices(ide);
    }
    f.Array("services", [&](Fields& s, size_t) {
        EmulatedService service;
        service.config.name = s.String("name", "");
        if (service.config.name.empty()) s.Fail("name", "a service needs its name");
        service.config.displayName = s.String("displayName", "");
        service.config.serviceType = static_cast<uint32_t>(s.Integer("type", 1, 0, 0xFFFF));
        service.config.startType = static_cast<uint32_t>(s.Integer("start", 3, 0, 4));
        service.config.errorControl = static_cast<uint32_t>(s.Integer("errorControl", 0, 0, 3));
        service.config.imagePath = s.String("imagePath", "");
        service.running = s.Bool("running", false);
        ide.services[common::UpperAscii(service.config.name)] = service;
    });
    f.Array("cdroms", [&](Fields& c, size_t) {
        CdromDevice device;
        device.instance = c.String("instance", "");
        device.started = c.Bool("started", true);
        device.needsReboot = c.Bool("needsReboot", false);
        device.changeFails = c.Bool("changeFails", false);
        ide.cdroms.push_back(device);
    });
    f.Object("pci", [&](Fields& p) {
        ide.pci.hostVendor = static_cast<uint16_t>(p.Integer("hostVendor", 0x8086, 0, 0xFFFF));
        ide.pci.hostDevice = static_cast<uint16_t>(p.Integer("hostDevice", 0x7190, 0, 0xFFFF));
        ide.pci.sisIdeDevice = static_cast<int>(p.Integer("sisIdeDevice", -1, -1, 31));
        ide.pci.timing40 = static_cast<uint32_t>(p.Integer("timing40", 0, 0, 0xFFFFFFFF));
        ide.pci.timing44 = static_cast<uint32_t>(p.Integer("timing44", 0, 0, 0xFFFFFFFF));
    });
    f.Array("slots", [&](Fields& s, size_t) { ReadSlot(s, ide, benchFolder); });
}

ordered_json WriteIdeSection(const Machine& m, FlashWriter& flashes) {
    const IdeMachine& ide = m.ide;
    ordered_json out;
    out["setupApi"] = ide.setupApiPresent;
    ordered_json missing = ordered_json::array();
    for (const auto& e : kSetupEntries) {
        if (!(ide.setupEntries.*(e.flag))) missing.push_back(e.name);
    }
    out["missingSetupEntries"] = missing;
    out["swapTemporaryDriver"] = ide.swapTemporaryDriver;
    ordered_json dos = ordered_json::array();
    for (const auto& [name, target] : ide.dosDevices) {
        dos.push_back({{"name", name}, {"target", target}});
    }
    out["dosDevices"] = dos;
    ordered_json services = ordered_json::array();
    for (const auto& [key, s] : ide.services) {
        services.push_back({{"name", s.config.name},
                            {"displayName", s.config.displayName},
                            {"type", s.config.serviceType},
                            {"start", s.config.startType},
                            {"errorControl", s.config.errorControl},
                            {"imagePath", s.config.imagePath},
                            {"running", s.running}});
    }
    out["services"] = services;
    ordered_json cdroms = ordered_json::array();
    for (const auto& c : ide.cdroms) {
        cdroms.push_back({{"instance", c.instance},
                          {"started", c.started},
                          {"needsReboot", c.needsReboot},
                          {"changeFails", c.changeFails}});
    }
    out["cdroms"] = cdroms;
    out["pci"] = {{"hostVendor", ide.pci.hostVendor},
                  {"hostDevice", ide.pci.hostDevice},
                  {"sisIdeDevice", ide.pci.sisIdeDevice},
                  {"timing40", ide.pci.timing40},
                  {"timing44", ide.pci.timing44}};
    ordered_json slots = ordered_json::array();
    for (size_t i = 0; i < ide.driveSlots.size(); ++i) {
        const IdeSlot& s = ide.driveSlots[i];
        if (!s.present) continue;
        ordered_json faults = ordered_json::array();
        for (size_t k = 0; k < s.faults.size(); ++k) {
            const IdeFault& fault = s.faults[k];
            int times = fault.times;
            auto fired = s.faultFired.find(static_cast<int64_t>(k));
            if (times >= 0 && fired != s.faultFired.end()) times -= fired->second;
            faults.push_back(
                {{"kind", IdeFaultName(fault.kind)}, {"address", fault.address}, {"times", times}});
            if (fault.kind == IdeFaultKind::RequestFails) {
                faults.back()["request"] = fault.request;
                faults.back()["nth"] = fault.nth;
            }
        }
        slots.push_back(
            {{"slot", i},
             {"kind", s.kind},
             {"identifyPolls", s.identifyPolls},
             {"vendor", s.vendor},
             {"product", s.product},
             {"revision", s.revision},
             {"mwdmaSupported", s.mwdmaSupported},
             {"mwdmaSelected", s.mwdmaSelected},
             {"udmaSupported", s.udmaSupported},
             {"udmaSelected", s.udmaSelected},
             {"chipRow", s.chipRow},
             {"alternateSequence", s.alternateSequence},
             {"flashIncomplete", s.flashIncomplete},
             {"seed", s.seed},
             {"flash", s.chipRow >= 0 ? flashes.Store(IdeFlashName(i), s.flash) : ordered_json("")},
             {"faults", faults}});
    }
    out["slots"] = slots;
    return out;
}

}  // namespace platform::emulated
