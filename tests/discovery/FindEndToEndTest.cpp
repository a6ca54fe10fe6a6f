// Find through the real program in the console host, against the simulated modules. The tool
// broadcasts, so every case runs only inside a private network namespace (lo its only
// interface) and skips anywhere else. The simulator starts first and holds port 20034, so the
// tool binds 20035 without a word, as beside a second copy of itself. All cases share port 20034
// and therefore run one at a time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include "module-sim/discovery/NetworkScope.h"
#include "net/UniqueFd.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using omblor::net::UniqueFd;
using omblor::testing::BackgroundProgram;
using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;

std::size_t Count(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class FindEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!omblor::modulesim::InPrivateNetwork()) {
            GTEST_SKIP() << "broadcasts only inside a private network namespace (scripts/test)";
        }
        dir_ = fs::temp_directory_path() /
               ("omblor-find-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        sim_.reset();
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    // The modules' source addresses must be local for their sockets to bind to them.
    static void AddAddresses(std::initializer_list<const char*> addresses) {
        for (const char* a : addresses) {
            const std::string command = std::string("ip addr add ") + a + "/32 dev lo 2>/dev/null";
            [[maybe_unused]] const int ignored = std::system(command.c_str());  // may exist already
        }
    }
    void StartModules(const std::string& lines, std::vector<std::string> extra = {}) {
        const fs::path file = dir_ / "modules.txt";
        std::ofstream(file) << lines;
        std::vector<std::string> args = {"discover", "--modules", file.string(), "--timeout", "30"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<BackgroundProgram>("module-sim", args);
        ASSERT_TRUE(sim_->WaitForLine("listening"));
    }
    ProgramResult Omblor(const std::string& input) {
        return RunProgram("omblor", {}, input,
                          {{"OMBLOR_UI", "console"}, {"OMBLOR_HKLM", (dir_ / "HKLM.reg").string()}},
                          std::chrono::seconds(60));
    }
    std::string Hive() const {
        std::ifstream in(dir_ / "HKLM.reg");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::unique_ptr<BackgroundProgram> sim_;
};

constexpr const char* kIpNotSet = "[message \"omblor\"]\nIP not set\n[/message]\n";

TEST_F(FindEndToEnd, the_module_found_is_listed_selected_and_taken_into_the_main_window) {
    AddAddresses({"10.1.2.3"});
    StartModules("02-00-00-00-12-34 - 0 10.1.2.3 - QX19 App 10.1.2.3 0\n");
    // One dump while the search runs, one after the third acknowledgement (4.5 s).
    const auto r =
        Omblor("click 1004\nwait 1000\ndump\nwait 4500\ndump\nselect 1\nclick 1\ndump\n");
    const std::string item = "item 1 state=2 \"QX19  at 10.1.2.3 running :App\" *\n";
    const auto during = r.out.find("1008 button disabled \"Search Again\"");
    const auto after = r.out.find("1008 button enabled \"Search Again\"");
    ASSERT_NE(during, std::string::npos) << r.out;
    ASSERT_NE(after, std::string::npos) << r.out;
    EXPECT_LT(during, after);
    EXPECT_EQ(Count(r.out, item), 2U) << r.out;
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
    AddAddresses({"10.77.2.1", "10.77.2.2", "10.77.2.3"});
    // The delays fix the order of arrival: Ethernet, then WiFi of the same module, then a
    // module whose active address is not where its reply came from.
    StartModules(
        "02-00-00-00-01-01 0a-00-00-00-00-01 0 10.77.2.1 10.77.2.1 QX19 App 10.77.2.1 0\n"
        "02-00-00-00-01-02 0a-00-00-00-00-01 1 0.0.0.0 - QX19 App 10.77.2.2 150\n"
        "02-00-00-00-56-78 - 1 10.5.5.5 10.6.6.6 QX19-512 Unknown 10.77.2.3 300\n");
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
    AddAddresses({"10.77.3.1"});
    StartModules("02-00-00-00-00-31 - 2 10.77.3.1 - QX19 App 10.77.3.1 1000\n");
    const auto r = Omblor("click 1004\nwait 1600\ncancel\nok\ndump\n");
    EXPECT_NE(r.out.find("[end 129 2]\n" + std::string(kIpNotSet)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1000 edit enabled \"0\"\n"), std::string::npos) << r.out;
    EXPECT_EQ(Hive().find("IPAddr"), std::string::npos) << Hive();
}

TEST_F(FindEndToEnd, relayed_replies_from_loopback_list_the_module_at_its_relayed_address) {
    StartModules("02-00-00-00-00-41 - 0 10.9.8.7 - QX19 Relayed 10.9.8.7 0\n", {"--relay"});
    const auto r = Omblor("click 1004\nwait 1000\ndump\nselect 1\nclick 1\n");
    EXPECT_NE(r.out.find("item 1 state=2 \"QX19  at 10.9.8.7 running :Relayed\" *\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(Hive().find("\"IPAddr\"=dword:0a090807"), std::string::npos) << Hive();
}

}  // namespace
