// Option digits by name: each name sets the digit the packer shows it at, and nothing else.
#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <vector>

#include "package/OptionNames.h"
#include "package/PackageBlock.h"
#include "package/PackageFile.h"

// A namespace of its own: the Windows stage builds every test file as one.
namespace option_names_test {
using namespace package;

TEST(OptionNames, EachNameSetsTheDigitThePackageDescriptionShowsItAt) {
    std::vector<uint8_t> block(kBlockSize);
    WriteUnpackagedBlock(block);
    bool usable = false;
    const std::string shown = DescribePackage(block, usable);
    // "    8  unattended         no": the digit, then the name.
    const std::regex line(R"(\n +([0-9]+)  ([A-Za-z]+) )");
    int named = 0;
    for (auto it = std::sregex_iterator(shown.begin(), shown.end(), line);
         it != std::sregex_iterator(); ++it, ++named) {
        const int digit = std::stoi((*it)[1]);
        const std::string name = (*it)[2];
        std::string expected = kShippedOptions;
        const int value = expected[digit - 1] == '0' ? 3 : 0;
        expected[digit - 1] = static_cast<char>('0' + value);
        EXPECT_EQ(OptionsWith({{name, value}}), expected) << name;
    }
    EXPECT_EQ(named, 16) << shown;
    EXPECT_EQ(std::size(kOptionNames), 16u);
}

TEST(OptionNames, ANameThatIsNoOptionOrAValueThatIsNoDigitIsAnError) {
    EXPECT_THROW(OptionsWith({{"unatended", 1}}), std::invalid_argument);
    EXPECT_THROW(OptionsWith({{"uiVariant", 10}}), std::invalid_argument);
    EXPECT_THROW(OptionsWith({{"uiVariant", -1}}), std::invalid_argument);
    EXPECT_EQ(OptionsWith({{"uiVariant", 2}, {"unattended", 1}}, std::string(32, '0')),
              "20000001000000000000000000000000");
}

}  // namespace option_names_test
