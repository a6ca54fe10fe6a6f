// The tools' command lines as scripts and operators meet them: --version, --help and the exit
// codes of refusals, the manual pages against what --help names, and omblorctl's bash
// completion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "image/ImageTestSupport.h"
#include "support/RunProgram.h"
#include "support/ScratchDir.h"

namespace {

using omblor::testing::RunProgram;
using omblor::testing::ScratchDir;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The options a text names: every "--word" in it.
std::set<std::string> OptionsNamed(const std::string& text) {
    static const std::regex kOption("--[a-z][a-z0-9-]*");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kOption);
         it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    return names;
}

TEST(ToolCommandLine, the_manual_pages_name_every_option_help_names) {
    const struct {
        std::string program;
        std::vector<std::string> command;
    } cases[] = {
        {"omblorctl", {}},        {"omblorctl", {"find"}}, {"omblorctl", {"update"}},
        {"omblorctl", {"image"}}, {"module-sim", {}},      {"module-sim", {"discover"}},
    };
    for (const auto& c : cases) {
        std::string page =
            ScratchDir::Read(Env("OMBLOR_SOURCE_DIR") + "/packaging/man/" + c.program + ".1.in");
        ASSERT_FALSE(page.empty()) << c.program;
        // Roff writes a dash as \-.
        page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
        auto args = c.command;
        args.emplace_back("--help");
        const auto r = RunProgram(c.program, args, "");
        ASSERT_EQ(r.exitCode, 0) << c.program << " " << args.front();
        const auto inPage = OptionsNamed(page);
        for (const auto& option : OptionsNamed(r.out))
            EXPECT_TRUE(inPage.contains(option))
                << c.program << " " << args.front() << ": " << option;
    }
}

TEST(ToolCommandLine, version_help_and_refusals_have_their_exit_codes) {
    const ScratchDir dir;
    const std::string good = dir.Write(
        "good_APP.s19", "S0QX19\r\n" + omblor::image::testing::Record(3, 0x10000, {1, 2, 3, 4}) +
                            "\r\nS70500010000F9\r\n");
    const std::string missing = (dir.path() / "missing_APP.s19").string();
    const std::string version = Env("OMBLOR_VERSION");
    const struct {
        std::string program;
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // a part of stdout
    } cases[] = {
        {"omblorctl", {"--version"}, 0, "omblorctl " + version + "\n"},
        {"module-sim", {"--version"}, 0, "module-sim " + version + "\n"},
        {"omblorctl", {"image", "--help"}, 0, "usage: omblorctl image info FILE\n"},
        // A file that cannot be read is a file error in update as in image.
        {"omblorctl", {"update", missing, "127.0.0.1"}, 2, ""},
        {"omblorctl", {"find", "--seconds", "3601"}, 2, ""},
        {"omblorctl", {"update", "--parallel", "0", good, "127.0.0.1"}, 2, ""},
        {"omblorctl", {"update", good}, 2, ""},
        {"omblorctl", {"update", good, "127.0.0.1", "--password-file", good}, 2, ""},
        {"omblorctl", {"update", good, "--bogus"}, 2, ""},
        {"omblorctl", {"update", good, "127.0.0.1", "--confirm", "--no-reboot"}, 2, ""},
        {"omblorctl", {"update", "--retries", "101", good, "127.0.0.1"}, 2, ""},
        {"omblorctl", {"update", "--confirm-timeout", "0", good, "127.0.0.1"}, 2, ""},
        // Nobody listens there and no password is at hand: a dry run needs neither.
        {"omblorctl",
         {"update", good, "127.9.250.1", "--dry-run", "--user", "op", "--json"},
         0,
         R"({"address": "127.9.250.1", "outcome": "would program")"},
        {"omblorctl", {"bogus"}, 2, ""},
    };
    ASSERT_FALSE(version.empty());
    for (const auto& c : cases) {
        const auto r = RunProgram(c.program, c.args, "", {}, std::chrono::seconds(20));
        const std::string what = c.program + " " + c.args.front() + " " + c.args.back();
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        if (c.exitCode == 2) {
            EXPECT_EQ(r.out, "") << what;  // refusals go to stderr
        } else {
            EXPECT_NE(r.out.find(c.out), std::string::npos) << what << "\n" << r.out;
        }
    }
}

TEST(ToolCommandLine, the_bash_completion_offers_commands_options_and_file_names) {
    const std::string helpers = "/usr/share/bash-completion/bash_completion";
    if (!std::filesystem::exists(helpers)) GTEST_SKIP() << "bash-completion is not installed";
    const ScratchDir dir;
    const auto script = RunProgram("omblorctl", {"--bash-completion"}, "");
    ASSERT_EQ(script.exitCode, 0);
    dir.Write("omblorctl.bash", script.out);
    dir.Write("app.s19", "");
    dir.Write("pw", "");
    const struct {
        std::string words;  // the last is the one being completed
        std::string offered;
    } cases[] = {
        {"omblorctl ''", "find update image --help --version"},
        {"omblorctl u", "update"},
        {"omblorctl find --", "--json --seconds --help"},
        {"omblorctl find ''", ""},
        {"omblorctl update --p", "--password-file --parallel"},
        {"omblorctl update --password-file p", "pw"},
        {"omblorctl update --user ''", ""},
        {"omblorctl update a", "app.s19"},
        {"omblorctl image ''", "info convert"},
        {"omblorctl image convert app.s19 a", "app.s19"},
    };
    std::string run = "cd '" + dir.path().string() + "' && . " + helpers +
                      " && . ./omblorctl.bash || exit 1\n"
                      "t() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMP_LINE=\"$*\";\n"
                      "      COMP_POINT=${#COMP_LINE}; COMPREPLY=(); _omblorctl;\n"
                      "      echo \"${COMPREPLY[*]}\"; }\n";
    std::string expected;
    for (const auto& c : cases) {
        run += "t " + c.words + "\n";
        expected += c.offered + "\n";
    }
    const auto r = RunProgram("/bin/bash", {"-c", run}, "");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected);
}

}  // namespace
