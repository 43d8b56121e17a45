#include "platform/AccessDenial.h"

namespace platform {
namespace {
AccessDenialSource& Source() {
    static AccessDenialSource source;
    return source;
}
}  // namespace

void SetAccessDenialSource(AccessDenialSource source) {
    Source() = std::move(source);
}

std::optional<AccessDenial> WhyAccessDenied() {
    return Source() ? Source()() : std::nullopt;
}

}  // namespace platform
