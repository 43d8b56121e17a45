// The option digits by name: which of the 32 digits of PARA_OPT= each option is, so a package's
// options can be written as `uiVariant=2 unattended=1` rather than as 32 digits.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace package {

struct OptionName {
    int digit;  // counted from 1
    const char* name;
};

// Digits 3 and 16 are read by nothing; 19 to 32 hold the checksum that packing writes.
inline constexpr OptionName kOptionNames[] = {
    {1, "uiVariant"},         {2, "language"},           {4, "warnNewer"},  {5, "checkTray"},
    {6, "commitVariant"},     {7, "rebootAfterSuccess"}, {8, "unattended"}, {9, "exitWhenDone"},
    {10, "noticeKind"},       {11, "imageCount"},        {12, "directIde"}, {13, "listMatchedOnly"},
    {14, "stayAfterSuccess"}, {15, "askBeforeReboot"},   {17, "warnSame"},  {18, "skipCurrent"},
};

// The options of the package the program ships with: the standard variant in English, warning of
// newer firmware, commit mode 0xA0, asking before the restart, one image, staying after success.
inline constexpr char kShippedOptions[] = "00010110001001100000000000000000";

// `base` with each named option set to its value. Throws std::invalid_argument for a name that
// is no option or a value that is no digit.
std::string OptionsWith(std::initializer_list<std::pair<std::string_view, int>> named,
                        std::string base = kShippedOptions);

}  // namespace package
