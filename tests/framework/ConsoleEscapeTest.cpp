// Outside text printed by the console host stays on one line and reads back unambiguously.
#include <gtest/gtest.h>

#include "framework/console/ConsoleEscape.h"

namespace {

TEST(ConsoleEscape, control_characters_and_backslashes_are_escaped_the_rest_stays) {
    const struct {
        std::string_view in;
        std::string_view out;
    } cases[] = {
        {"plain text, 100%", "plain text, 100%"},
        {"a\r\nb", "a\\r\\nb"},
        {"C:\\dir\\n", "C:\\\\dir\\\\n"},
        {std::string_view("\0\t\x1b\x7f", 4), "\\x00\\x09\\x1b\\x7f"},
        {"\xc3\xbc", "\xc3\xbc"},  // UTF-8 passes through
        {"[/message]\n[end 102 1]", "[/message]\\n[end 102 1]"},
    };
    for (const auto& c : cases) EXPECT_EQ(omblor::framework::EscapeOutsideText(c.in), c.out);
}

}  // namespace
