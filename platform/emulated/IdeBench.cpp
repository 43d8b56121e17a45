#include "platform/emulated/IdeBench.h"

#include "common/Text.h"
#include "directide/FlashChips.h"

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

void ReadSlot(Fields& f, IdeMachine& ide) {
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
    slot.seed = static_cast<uint64_t>(f.Integer("seed", 1, 0, int64_t{1} << 53));
    std::string flash = f.String("flash", "");
    if (slot.chipRow >= 0) {
        slot.flash.assign(directide::kFlashChips[static_cast<size_t>(slot.chipRow)].size, 0xFF);
        auto decoded = common::Base64Decode(flash);
        if (!decoded) f.Fail("flash", "not valid base64");
        if (decoded->size() > slot.flash.size()) {
            f.Fail("flash", "holds " + std::to_string(decoded->size()) +
                                " bytes, more than the chip's " +
                                std::to_string(slot.flash.size()));
        }
        std::copy(decoded->begin(), decoded->end(), slot.flash.begin());
    } else if (!flash.empty()) {
        f.Fail("flash", "a slot without a chip (chipRow -1) holds no flash contents");
    }
    f.Array("faults", [&](Fields& ff, size_t) {
        IdeFault fault;
        std::string kind = ff.String("kind", "");
        if (!IdeFaultFromName(kind, fault.kind)) {
            ff.Fail("kind", "unknown fault " + common::QuotedExcerpt(kind) +
                                " (program, verify, erase, identify, readOnce or neverReady)");
        }
        fault.address = ff.Integer("address", -1, -1, int64_t{1} << 32);
        fault.times = static_cast<int>(ff.Integer("times", -1, -1, 1'000'000'000));
        if (fault.address >= static_cast<int64_t>(slot.flash.size()) && !slot.flash.empty()) {
            ff.Fail("address", "beyond the end of the chip");
        }
        slot.faults.push_back(fault);
    });
}

}  // namespace

void ReadIdeSection(Fields& f, Machine& m) {
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
    f.Array("slots", [&](Fields& s, size_t) { ReadSlot(s, ide); });
}

ordered_json WriteIdeSection(const Machine& m) {
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
        // The erased tail of the chip is left out: an erased chip costs nothing in the file.
        size_t used = s.flash.size();
        while (used > 0 && s.flash[used - 1] == 0xFF)
            --used;
        ordered_json faults = ordered_json::array();
        for (size_t k = 0; k < s.faults.size(); ++k) {
            const IdeFault& fault = s.faults[k];
            int times = fault.times;
            auto fired = s.faultFired.find(static_cast<int64_t>(k));
            if (times >= 0 && fired != s.faultFired.end()) times -= fired->second;
            faults.push_back(
                {{"kind", IdeFaultName(fault.kind)}, {"address", fault.address}, {"times", times}});
        }
        slots.push_back({{"slot", i},
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
                         {"seed", s.seed},
                         {"flash", common::Base64Encode(std::span(s.flash.data(), used))},
                         {"faults", faults}});
    }
    out["slots"] = slots;
    return out;
}

}  // namespace platform::emulated
