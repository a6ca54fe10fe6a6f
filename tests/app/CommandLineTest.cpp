#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "resources/Strings.h"

namespace {

using omblor::app::CommandLineOptions;
using omblor::app::InformationText;
using omblor::app::ParseDottedAddress;
using omblor::app::ScanCommandLine;

struct DottedCase {
    const char* text;
    std::uint32_t expected;
};

TEST(ParseDottedAddress, follows_its_stop_rules) {
    const DottedCase cases[] = {
        {"10.1.2.3", 0x0A010203},
        {"10.1.2.3.99", 0x0A010203},  // stops at the fourth dot
        {"10.1.2.3 -A", 0x0A010203},  // stops at the blank after three dots
        {"10.1.2.3-A", 0x0A010203},
        {"10.1 2.3", 0x000A0C03},   // blank ignored before the third dot: 1 and 2 join
        {"1.2.3.300", 0x0102032C},  // the last number is ORed in
        {"", 0},
        {"bogus", 0},
        {"host.example", 0},
        {"192.168.1.50", 0xC0A80132},
        {"255.255.255.255", 0xFFFFFFFF},
        {"65536.0.0.1", 0x00000001},  // cur wraps at 16 bits
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDottedAddress(c.text), c.expected) << c.text;
}

TEST(ParseDottedAddress, a_number_a_dot_ends_spills_by_addition) {
    // 300 after the second dot: acc = (1*256 + 2)*256 + 300, then *256 | 4.
    EXPECT_EQ(ParseDottedAddress("1.2.300.4"), ((((1U * 256 + 2) * 256) + 300) * 256) | 4);
}

struct ScanCase {
    const char* line;
    bool autoMode;
    const char* fileName;  // nullptr: no -F
    bool hasAddress;
    std::uint32_t address;
};

TEST(ScanCommandLine, applies_switches_as_the_main_window_expects) {
    const ScanCase cases[] = {
        {"", false, nullptr, false, 0},
        {"-I10.1.2.3 -F//c/apps/x_APP.s19", false, "//c/apps/x_APP.s19", true, 0x0A010203},
        {"-Ibogus", false, nullptr, true, 0},  // replaces the stored address even with 0
        {"-fname", false, "name", false, 0},
        {"-F name", false, "", false, 0},
        {"-X -A", true, nullptr, false, 0},
        {"-A -", true, nullptr, false, 0},
        {"-", false, nullptr, false, 0},
        {"-A   ", true, nullptr, false, 0},
        {"-a -fone -Ftwo", true, "two", false, 0},  // the last -F wins
        {"-I1.2.3.4 -I5.6.7.8", false, nullptr, true, 0x05060708},
        {"junk -A junk", true, nullptr, false, 0},
        {"-r", false, nullptr, false, 0},
        {"-Fa\tb -A", true, "a", false, 0},
        {"-A-Fx", true, nullptr, false, 0},  // -A skips to the next blank: -Fx is never seen
        {"-I10.1 -A", true, nullptr, true, 0x00000A01},  // the parser reads past the switch
        {"x-Fy", false, "y", false, 0},
    };
    for (const auto& c : cases) {
        const CommandLineOptions o = ScanCommandLine(c.line);
        EXPECT_EQ(o.autoMode, c.autoMode) << c.line;
        EXPECT_TRUE(o.reboot) << c.line;
        if (c.fileName == nullptr) {
            EXPECT_FALSE(o.fileName.has_value()) << c.line;
        } else {
            EXPECT_EQ(o.fileName.value_or("<none>"), c.fileName) << c.line;
        }
        EXPECT_EQ(o.address.has_value(), c.hasAddress) << c.line;
        if (c.hasAddress) {
            EXPECT_EQ(o.address.value_or(1), c.address) << c.line;
        }
    }
}

struct InformationCase {
    const char* line;
    const char* starts;  // nullptr: the line goes to the switch scanner
};

TEST(InformationText, answers_only_a_whole_line_of_help_or_version) {
    const std::string version = "omblor " + std::string(omblor::resources::VersionText()) + "\n";
    const InformationCase cases[] = {
        {"--help", "usage: omblor [-A] [-F<file>] [-I<a.b.c.d>] [-R]\n"},
        {"--version", version.c_str()},
        {"", nullptr},
        {"-A", nullptr},
        {"--help -A", nullptr},
        {"-A --version", nullptr},
        {" --help", nullptr},
        {"--HELP", nullptr},
        {"-help", nullptr},
        {"--versions", nullptr},
    };
    for (const auto& c : cases) {
        const auto text = InformationText(c.line);
        ASSERT_EQ(text.has_value(), c.starts != nullptr) << c.line;
        if (text) {
            EXPECT_TRUE(text->starts_with(c.starts)) << c.line;
        }
    }
}

}  // namespace
