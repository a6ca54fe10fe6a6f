// Find through the real program in the console host, against the simulated modules; the tool
// binds 20035 without a word, as beside a second copy of itself.
#include <gtest/gtest.h>

#include <string>

#include "discovery/DiscoverSim.h"
#include "support/RunProgram.h"

namespace {

using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;
using omblor::testing::ScratchDir;

class FindEndToEnd : public omblor::discovery::testing::DiscoverSim {
  protected:
    ProgramResult Omblor(const std::string& input) {
        return RunProgram(
            "omblor", {}, input,
            {{"OMBLOR_UI", "console"}, {"OMBLOR_HKLM", (dir_.path() / "HKLM.reg").string()}},
            std::chrono::seconds(60));
    }
    std::string Hive() const { return ScratchDir::Read(dir_.path() / "HKLM.reg"); }
};

TEST_F(FindEndToEnd, the_module_found_is_listed_selected_and_taken_into_the_main_window) {
    StartModules("02-00-00-00-12-34 - 0 10.1.2.3 - QX19 App 10.1.2.3 0\n", {"10.1.2.3"});
    // OK only after the third acknowledgement (4.5 s), so the module sees the whole search.
    const auto r = Omblor("click 1004\nwait 5500\ndump\nselect 1\nclick 1\ndump\n");
    // Search Again's state during and after the search is checked in FindDialogTest.
    EXPECT_NE(r.out.find("item 1 state=2 \"QX19  at 10.1.2.3 running :App\" *\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("[end 129 1]\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1000 edit enabled \"10\"\n1001 edit enabled \"1\"\n"
                         "1002 edit enabled \"2\"\n1003 edit enabled \"3\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("[message"), std::string::npos) << r.out;
    EXPECT_NE(Hive().find("\"IPAddr\"=dword:0a010203"), std::string::npos) << Hive();
    // The search as the module saw it: one request, then three acknowledgements naming it.
    EXPECT_TRUE(sim_->WaitForLine("request 1 from 10.77.0.9:20035", std::chrono::seconds(1)));
    EXPECT_TRUE(sim_->WaitForLine("acknowledgement 3 from 10.77.0.9:20035 entries=1 flagged=0",
                                  std::chrono::seconds(1)));
}

TEST_F(FindEndToEnd, a_grouped_module_shows_its_interfaces_and_a_disagreeing_one_is_red) {
    // The delays fix the order of arrival: Ethernet, then WiFi of the same module, then a
    // module whose active address is not where its reply came from.
    StartModules(
        "02-00-00-00-01-01 0a-00-00-00-00-01 0 10.77.2.1 10.77.2.1 QX19 App 10.77.2.1 0\n"
        "02-00-00-00-01-02 0a-00-00-00-00-01 1 0.0.0.0 - QX19 App 10.77.2.2 150\n"
        "02-00-00-00-56-78 - 1 10.5.5.5 10.6.6.6 QX19-512 Unknown 10.77.2.3 300\n",
        {"10.77.2.1", "10.77.2.2", "10.77.2.3"});
    const auto r = Omblor("click 1004\nwait 1000\ndump\nselect 1.2\nclick 1\n");
    EXPECT_NE(r.out.find("1015 tree enabled \"\"\n"
                         "item 1 state=1 \"QX19 running :App\" *\n"
                         "item 1.1 state=2 \"Ethernet at 10.77.2.1\"\n"
                         "item 1.2 state=4 \"WiFi DHCP'd at 10.77.2.2\"\n"
                         "item 2 state=5 \"QX19-512  at 10.6.6.6 running \"\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(Hive().find("\"IPAddr\"=dword:0a4d0202"), std::string::npos) << Hive();
}

TEST_F(FindEndToEnd, cancel_leaves_ip_not_set_and_stores_nothing) {
    StartModules("02-00-00-00-00-31 - 2 10.77.3.1 - QX19 App 10.77.3.1 1000\n", {"10.77.3.1"});
    const auto r = Omblor("click 1004\nwait 1600\ncancel\nok\ndump\n");
    EXPECT_NE(r.out.find("[end 129 2]\n[message \"omblor\"]\nIP not set\n[/message]\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1000 edit enabled \"0\"\n"), std::string::npos) << r.out;
    EXPECT_EQ(Hive().find("IPAddr"), std::string::npos) << Hive();
}

}  // namespace
