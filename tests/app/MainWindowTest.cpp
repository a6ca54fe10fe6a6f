// The real program in the console host, driven through stdin as a scripted operator would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("omblor-main-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        hive_ = (dir_ / "HKLM.reg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    ProgramResult Run(const std::vector<std::string>& args, const std::string& input,
                      std::map<std::string, std::string> env = {}) {
        env["OMBLOR_UI"] = "console";
        env["OMBLOR_HKLM"] = hive_;
        return RunProgram("omblor", args, input, env);
    }
    void StoreAddress(const char* dword) {
        std::ofstream(hive_) << "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR\\Settings]\n"
                                "\"IPAddr\"=dword:"
                             << dword << "\n";
    }
    std::string Hive() const {
        std::ifstream in(hive_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string hive_;
};

constexpr const char* kAddressBoxes =
    "1000 edit enabled \"10\"\n1001 edit enabled \"1\"\n1002 edit enabled \"2\"\n"
    "1003 edit enabled \"3\"\n";

TEST_F(MainWindow, command_line_fills_the_window_and_dismiss_exits_255) {
    const auto r = Run({"-I10.1.2.3", "-F//c/apps/x_APP.s19"}, "dump\ncancel\n");
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.out.find("[open 102 \"DRUVANE\"]\n1 button enabled \"Update\" [focus]\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(kAddressBoxes), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1006 edit enabled \"//c/apps/x_APP.s19\""), std::string::npos);
    EXPECT_NE(r.out.find("1012 checkbox enabled \"Reboot when complete\" checked=1"),
              std::string::npos);
    EXPECT_NE(r.out.find("[end 102 2]"), std::string::npos);
}

TEST_F(MainWindow, stored_address_is_used_unless_a_switch_replaces_it) {
    StoreAddress("0a010203");
    EXPECT_NE(Run({}, "dump\n").out.find(kAddressBoxes), std::string::npos);
    const auto bogus = Run({"-Ibogus"}, "dump\n");
    EXPECT_NE(bogus.out.find("1000 edit enabled \"0\"\n1001 edit enabled \"0\""),
              std::string::npos)
        << bogus.out;
    EXPECT_EQ(bogus.exitCode, 255);  // end of input: the operator left, as if Esc were pressed
}



TEST_F(MainWindow, zero_address_is_refused_and_not_stored) {
    const auto r = Run({}, "click 1\nok\ncancel\n");
    EXPECT_NE(r.out.find("[message \"omblor\"]\nInvalid IP address \n[/message]"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Hive().find("IPAddr"), std::string::npos);
}

TEST_F(MainWindow, browse_fills_the_box_and_remembers_the_full_path) {
    const auto r = Run({}, "click 1005\nchoose /tmp/apps/x_APP.s19\ndump\nclick 1005\ncancel\n");
    EXPECT_NE(r.out.find("[chooser \"Application Files *_APP.s19\" \"*_APP.s19\" initial=\"\"]"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1006 edit enabled \"/tmp/apps/x_APP.s19\""), std::string::npos);
    EXPECT_NE(r.out.find("initial=\"/tmp/apps/x_APP.s19\"]"), std::string::npos);
    EXPECT_NE(Hive().find("\"FileDir\"=\"/tmp/apps/x_APP.s19\""), std::string::npos) << Hive();

    // Cancel closes the chooser at once (the dump comes after it) and keeps the name.
    const auto cancelled = Run({"-Fkeep_APP.s19"}, "click 1005\ncancel\ndump\n");
    EXPECT_NE(cancelled.out.find("[/chooser]\n1 button"), std::string::npos) << cancelled.out;
    EXPECT_NE(cancelled.out.find("1006 edit enabled \"keep_APP.s19\""), std::string::npos);
}

TEST_F(MainWindow, system_menu_item_opens_the_about_box_and_returns) {
    const auto r = Run({"-I10.1.2.3"}, "menu 16\ndump\nclick 1\ndump\n");
    EXPECT_NE(r.out.find("[open 100 \"About Druvane\"]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Version " ), std::string::npos);
    EXPECT_NE(r.out.find("[end 100 1]"), std::string::npos);
    EXPECT_NE(r.out.find(kAddressBoxes), std::string::npos);
}

TEST_F(MainWindow, unknown_actions_are_reported_and_change_nothing) {
    const auto r = Run({}, "ok\nclick 4242\nset 9 x\nfrobnicate\nchoose /x\n");
    for (const char* line : {"[ignored ok]", "[ignored click 4242]", "[ignored set 9]",
                             "[ignored frobnicate]", "[ignored choose /x]"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
}

}  // namespace
