// The simulator's command line and the script it makes: which options are refused, and which
// lines, in which shape, a module with given options sends.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "module-sim/Script.h"
#include "module-sim/SimOptions.h"

namespace {

using namespace omblor::modulesim;
using namespace std::string_literals;
using Args = std::vector<std::string_view>;

SimOptions Parse(const Args& args) {
    const auto parsed = ParseSimOptions(args);
    EXPECT_EQ(parsed.error, "") << "for " << (args.empty() ? "" : args.front());
    return parsed.options;
}

TEST(ModuleSimOptions, refuses_what_it_cannot_honour_and_accepts_the_rest) {
    const struct {
        Args args;
        std::string_view error;  // a part of the message; empty when the line is accepted
    } cases[] = {
        {{"--address", "10.1.2.3"}, "outside 127.0.0.0/8"},
        {{"--address", "10.1.2.3", "--allow-any-address"}, ""},
        {{"--address", "127.200.1.2"}, ""},
        {{"--address", "localhost"}, "invalid address"},
        {{"--port"}, "--port needs a value"},
        {{"--port=70000"}, "invalid value for --port"},
        {{"--port=0"}, ""},
        {{"--allow-any-address=1"}, "takes no value"},
        {{"--timeout", "0"}, "invalid value for --timeout"},
        {{"--timeout", "0.25"}, ""},
        {{"--fail-at", "flash"}, "invalid value for --fail-at"},
        {{"--fail-at", "image", "--close-at", "reboot"}, "exclude each other"},
        {{"--skip", "header"}, "invalid value for --skip"},
        {{"--line", "progress=300 x"}, "invalid value for --line"},
        {{"--line", "platform=bad\\q"}, "invalid value for --line"},
        {{"--split", "image=0"}, "invalid value for --split"},
        {{"--credentials", "nocolon"}, "invalid value for --credentials"},
        {{"--expect", "timeout"}, "invalid value for --expect"},
        {{"--expect-reboot", "r"}, "invalid value for --expect-reboot"},
        {{"--progress-codes", "350,x"}, "invalid value for --progress"},
        {{"--bogus"}, "unknown option '--bogus'"},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseSimOptions(c.args);
        if (c.error.empty()) {
            EXPECT_EQ(parsed.error, "") << c.args.front();
        } else {
            EXPECT_NE(parsed.error.find(c.error), std::string::npos)
                << c.args.front() << ": " << parsed.error;
        }
    }
}

TEST(ModuleSimOptions, unescape_gives_any_byte_and_refuses_broken_escapes) {
    const struct {
        std::string_view text;
        std::optional<std::string> bytes;
    } cases[] = {
        {"a\\r\\nb", "a\r\nb"}, {"\\x41\\0z", "A\0z"s},  {"\\\\t", "\\t"},
        {"\\x4", std::nullopt}, {"\\xZZ", std::nullopt}, {"end\\", std::nullopt},
        {"\\q", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Unescape(c.text), c.bytes) << c.text;
}

// Lines as text; an end that is not a line shows as <close> or <silent>.
std::vector<std::string> Texts(const Script& script) {
    std::vector<std::string> texts;
    for (const auto& line : script.Lines()) {
        switch (line.kind) {
            case ScriptLine::Kind::Line:
                texts.push_back(line.bytes);
                break;
            case ScriptLine::Kind::Close:
                texts.emplace_back("<close>");
                break;
            case ScriptLine::Kind::Silent:
                texts.emplace_back("<silent>");
                break;
        }
    }
    return texts;
}

TEST(ModuleSimScript, options_choose_the_lines_and_the_outcome_that_counts_as_success) {
    const struct {
        Args args;
        std::vector<std::string> lines;
        Outcome expected;
    } cases[] = {
        {{},
         {"100 Platform:QX19:1.0\r\n", "102 Send header\r\n", "103 Send image\r\n",
          "325 Programming\r\n", "350 Programming\r\n", "375 Programming\r\n",
          "400 Programming\r\n", "105 Reboot?\r\n", "106 Programming complete\r\n"},
         Outcome::Completed},
        {{"--credentials", "op:pw", "--no-platform", "--progress", "none", "--skip", "reboot",
          "--complete-code", "107"},
         {"101 Login required\r\n", "102 Send header\r\n", "103 Send image\r\n",
          "107 Programming complete\r\n"},
         Outcome::Completed},
        {{"--fail-at", "header", "--fail-line", "260 No\\x21", "--platform", "QX19-512"},
         {"100 Platform:QX19-512:1.0\r\n", "260 No!\r\n"},
         Outcome::Failed},
        // The failure point exists even where its step is left out.
        {{"--fail-at", "credentials"},
         {"100 Platform:QX19:1.0\r\n", "250 Programming failed\r\n"},
         Outcome::Failed},
        {{"--close-at", "image"},
         {"100 Platform:QX19:1.0\r\n", "102 Send header\r\n", "<close>"},
         Outcome::Dropped},
        {{"--silent-at", "platform"}, {"<silent>"}, Outcome::Closed},
        {{"--line", "platform=100 a\\0b", "--pad", "header=18", "--long-line", "3",
          "--progress-codes", "450", "--skip", "complete", "--expect", "denied"},
         {"xxx\r\n", "100 a\0b\r\n"s, "102 Send header...\r\n", "103 Send image\r\n",
          "450 Programming\r\n", "105 Reboot?\r\n"},
         Outcome::Denied},
    };
    for (const auto& c : cases) {
        const Script script = Script::Build(Parse(c.args));
        EXPECT_EQ(Texts(script), c.lines) << (c.args.empty() ? "defaults" : c.args.front());
        EXPECT_EQ(script.Expected(), c.expected);
    }
}

TEST(ModuleSimScript, shaping_options_set_split_join_and_delay_per_line) {
    // Line indexes for the default script with credentials: 0 platform, 1 credentials,
    // 2 header, 3 image, 4..7 progress, 8 reboot, 9 complete.
    const struct {
        Args args;
        std::size_t index;
        std::size_t split;  // 99 stands for "between CR and LF"
        bool coalesce;
        int delayMs;
    } cases[] = {
        {{"--split", "platform=cr"}, 0, 99, false, 0},
        {{"--split", "header=4", "--split-lines"}, 2, 4, false, 0},
        {{"--split", "header=4", "--split-lines"}, 3, 99, false, 0},
        {{"--split", "header=4000"}, 2, 0, false, 0},  // beyond the line: one write
        {{"--together"}, 1, 0, true, 0},
        {{"--together"}, 2, 0, false, 0},
        {{"--coalesce", "progress"}, 4, 0, true, 0},
        {{"--coalesce", "progress"}, 7, 0, true, 0},
        {{"--delay", "reboot=70", "--line-delay", "5"}, 8, 0, false, 70},
        {{"--delay", "reboot=70", "--line-delay", "5"}, 9, 0, false, 5},
    };
    for (const auto& c : cases) {
        Args args = c.args;
        args.insert(args.end(), {"--credentials", "a:b"});
        const Script script = Script::Build(Parse(args));
        ASSERT_EQ(script.Lines().size(), 10U);
        const ScriptLine& line = script.Lines()[c.index];
        const std::size_t split = c.split == 99 ? line.bytes.size() - 1 : c.split;
        EXPECT_EQ(line.split, split) << c.args.front() << " line " << c.index;
        EXPECT_EQ(line.coalesce, c.coalesce) << c.args.front() << " line " << c.index;
        EXPECT_EQ(line.delay.count(), c.delayMs) << c.args.front() << " line " << c.index;
    }
}

}  // namespace
