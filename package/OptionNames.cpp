#include "package/OptionNames.h"

#include <stdexcept>

#include "package/PackageBlock.h"

namespace package {

std::string OptionsWith(std::initializer_list<std::pair<std::string_view, int>> named,
                        std::string base) {
    if (base.size() != kOptionDigits) throw std::invalid_argument("options are 32 digits");
    for (const auto& [name, value] : named) {
        const OptionName* option = nullptr;
        for (const auto& o : kOptionNames)
            if (name == o.name) option = &o;
        if (option == nullptr)
            throw std::invalid_argument("no option is named \"" + std::string(name) + "\"");
        if (value < 0 || value > 9)
            throw std::invalid_argument(std::string(name) + " is one digit, not " +
                                        std::to_string(value));
        base[static_cast<size_t>(option->digit - 1)] = static_cast<char>('0' + value);
    }
    return base;
}

}  // namespace package
