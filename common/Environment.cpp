#include "common/Environment.h"

#include <cstdlib>

#ifdef _WIN32
#include "common/WideText.h"
#include "common/WindowsHeader.h"
#endif

namespace common {

std::string EnvironmentValue(const char* name) {
#ifdef _WIN32
    const std::wstring wideName = Wide(name);
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                     static_cast<DWORD>(value.size()));
        if (size == 0) return "";
        if (size < value.size()) {
            value.resize(size);
            return Utf8(value);
        }
        value.resize(size);  // the size asked for, its terminator counted
    }
#else
    const char* value = std::getenv(name);
    return value ? value : "";
#endif
}

}  // namespace common
