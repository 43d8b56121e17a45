#include "platform/System.h"

#include <stdexcept>

namespace platform {
namespace {
// Installed once at start, before any worker thread exists; read-only afterwards.
std::unique_ptr<System>& Slot() {
    static std::unique_ptr<System> installed;
    return installed;
}
}  // namespace

System& CurrentSystem() {
    if (!Slot()) throw std::logic_error("no platform::System installed");
    return *Slot();
}

bool HasSystem() {
    return Slot() != nullptr;
}

void InstallSystem(std::unique_ptr<System> system) {
    Slot() = std::move(system);
}

std::unique_ptr<System> RemoveSystem() {
    return std::move(Slot());
}

ScopedSystem::ScopedSystem(std::unique_ptr<System> system) : previous_(RemoveSystem()) {
    InstallSystem(std::move(system));
}

ScopedSystem::~ScopedSystem() {
    InstallSystem(std::move(previous_));
}

}  // namespace platform
