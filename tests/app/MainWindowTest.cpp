// The real program in the console host, driven through stdin as a scripted operator would.
#include <gtest/gtest.h>
#include <fstream>

#include "support/RunProgram.h"
#include "support/ScratchDir.h"

namespace {

using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;
using omblor::testing::ScratchDir;

class MainWindow : public ::testing::Test {
  protected:
    ProgramResult Run(const std::vector<std::string>& args, const std::string& input,
                      std::map<std::string, std::string> env = {}) {
        env["OMBLOR_UI"] = "console";
        env["OMBLOR_HKLM"] = hive_;
        return RunProgram("omblor", args, input, env);
    }
    std::string Hive() const { return ScratchDir::Read(hive_); }
    // Each of `parts` is somewhere in `out`.
    static void ExpectAll(const std::string& out, std::initializer_list<std::string> parts) {
        for (const auto& part : parts) EXPECT_NE(out.find(part), std::string::npos) << part << out;
    }

    ScratchDir dir_;
    std::string hive_ = (dir_.path() / "HKLM.reg").string();
};

constexpr const char* kAddressBoxes =
    "1000 edit enabled \"10\"\n1001 edit enabled \"1\"\n1002 edit enabled \"2\"\n"
    "1003 edit enabled \"3\"\n";

// The address comes from the hive unless a switch replaces it.
TEST_F(MainWindow,
       the_hive_and_switches_fill_the_window_the_about_box_returns_and_dismiss_exits_255) {
    std::ofstream(hive_) << "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR\\Settings]\n"
                            "\"IPAddr\"=dword:0a010203\n";
    const auto r = Run({"-F//c/apps/x_APP.s19"}, "dump\nmenu 16\ndump\nclick 1\ncancel\n");
    EXPECT_EQ(r.exitCode, 255);
    ExpectAll(r.out,
              {"[open 102 \"DRUVANE\"]\n1 button enabled \"Update\" [focus]\n", kAddressBoxes,
               "1006 edit enabled \"//c/apps/x_APP.s19\"",
               "1012 checkbox enabled \"Reboot when complete\" checked=1",
               "[open 100 \"About Druvane\"]", "Druvane Version ", "[end 100 1]\n[end 102 2]"});

    const auto bogus = Run({"-Ibogus"}, "dump\n");
    ExpectAll(bogus.out, {"1000 edit enabled \"0\"\n1001 edit enabled \"0\""});
    EXPECT_EQ(bogus.exitCode, 255);  // end of input: the operator left, as if Esc were pressed
}

TEST_F(MainWindow, unknown_actions_change_nothing_and_a_zero_address_is_refused_and_not_stored) {
    const auto r = Run({}, "ok\nclick 4242\nset 9 x\nfrobnicate\nchoose /x\nclick 1\nok\ncancel\n");
    ExpectAll(r.out,
              {"[ignored ok]", "[ignored click 4242]", "[ignored set 9]", "[ignored frobnicate]",
               "[ignored choose /x]", "[message \"omblor\"]\nInvalid IP address \n[/message]"});
    EXPECT_EQ(Hive().find("IPAddr"), std::string::npos);
}

TEST_F(MainWindow, browse_fills_the_box_and_remembers_the_full_path) {
    const auto r = Run({}, "click 1005\nchoose /tmp/apps/x_APP.s19\ndump\nclick 1005\ncancel\n");
    ExpectAll(r.out,
              {"[chooser \"Application Files *_APP.s19\" \"*_APP.s19\" initial=\"\"]",
               "1006 edit enabled \"/tmp/apps/x_APP.s19\"", "initial=\"/tmp/apps/x_APP.s19\"]"});
    ExpectAll(Hive(), {"\"FileDir\"=\"/tmp/apps/x_APP.s19\""});

    // Cancel closes the chooser at once (the dump comes after it) and keeps the name.
    const auto cancelled = Run({"-Fkeep_APP.s19"}, "click 1005\ncancel\ndump\n");
    ExpectAll(cancelled.out, {"[/chooser]\n1 button", "1006 edit enabled \"keep_APP.s19\""});
}

}  // namespace
