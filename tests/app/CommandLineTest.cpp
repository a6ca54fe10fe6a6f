#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "resources/Strings.h"

namespace {

using omblor::app::CommandLineOptions;
using omblor::app::InformationText;
using omblor::app::ParseDottedAddress;
using omblor::app::ScanCommandLine;

TEST(ParseDottedAddress, follows_its_stop_rules) {
    const std::pair<const char*, std::uint32_t> cases[] = {
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
        {"1.2.300.4", 0x01032C04},    // 300 after the second dot spills by addition
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(ParseDottedAddress(text), want) << text;
}

struct ScanCase {
    const char* line;
    bool autoMode;
    std::optional<std::string> fileName;
    std::optional<std::uint32_t> address;
};

TEST(ScanCommandLine, applies_switches_as_the_main_window_expects) {
    const ScanCase cases[] = {
        {"", false, {}, {}},
        {"-I10.1.2.3 -F//c/apps/x_APP.s19", false, "//c/apps/x_APP.s19", 0x0A010203},
        {"-Ibogus", false, {}, 0},  // replaces the stored address even with 0
        {"-fname", false, "name", {}},
        {"-F name", false, "", {}},
        {"-X -A", true, {}, {}},
        {"-A -", true, {}, {}},
        {"-", false, {}, {}},
        {"-A   ", true, {}, {}},
        {"-a -fone -Ftwo", true, "two", {}},  // the last -F wins
        {"-I1.2.3.4 -I5.6.7.8", false, {}, 0x05060708},
        {"junk -A junk", true, {}, {}},
        {"-r", false, {}, {}},
        {"-Fa\tb -A", true, "a", {}},
        {"-A-Fx", true, {}, {}},              // -A skips to the next blank: -Fx is never seen
        {"-I10.1 -A", true, {}, 0x00000A01},  // the parser reads past the switch
        {"x-Fy", false, "y", {}},
    };
    for (const auto& c : cases) {
        const CommandLineOptions o = ScanCommandLine(c.line);
        EXPECT_EQ(o.autoMode, c.autoMode) << c.line;
        EXPECT_TRUE(o.reboot) << c.line;
        EXPECT_EQ(o.fileName, c.fileName) << c.line;
        EXPECT_EQ(o.address, c.address) << c.line;
    }
}

TEST(InformationText, answers_only_a_whole_line_of_help_or_version) {
    const std::string version = "omblor " + std::string(omblor::resources::VersionText()) + "\n";
    // nullptr: the line goes to the switch scanner.
    const std::pair<const char*, const char*> cases[] = {
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
    for (const auto& [line, starts] : cases) {
        const auto text = InformationText(line);
        ASSERT_EQ(text.has_value(), starts != nullptr) << line;
        EXPECT_TRUE(!text || text->starts_with(starts)) << line;
    }
}

}  // namespace
