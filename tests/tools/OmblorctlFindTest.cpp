// omblorctl find against `module-sim discover`.
#include <gtest/gtest.h>

#include <string>

#include "discovery/DiscoverSim.h"
#include "image/ImageTestSupport.h"
#include "support/RunProgram.h"

namespace {

using omblor::testing::BackgroundProgram;
using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;

class OmblorctlFind : public omblor::discovery::testing::DiscoverSim {
  protected:
    static ProgramResult Find(std::vector<std::string> args) {
        args.insert(args.begin(), "find");
        return RunProgram("omblorctl", args, "", {}, std::chrono::seconds(30));
    }
};

TEST_F(OmblorctlFind, lists_every_module_as_a_table_and_as_json_lines) {
    StartModules(
        "02-00-00-00-12-34 - 0 10.77.5.1 - QX19 Pump 10.77.5.1 0\n"
        "02-00-00-00-01-01 0a-00-00-00-00-01 0 10.77.5.2 10.77.5.2 QX19 Gate\"way 10.77.5.2 0\n"
        "02-00-00-00-01-02 0a-00-00-00-00-01 1 0.0.0.0 - QX19 Gate\"way 10.77.5.3 100\n",
        {"10.77.5.1", "10.77.5.2", "10.77.5.3"});
    const auto table = Find({});
    EXPECT_EQ(table.exitCode, 0) << table.out;
    EXPECT_EQ(table.out,
              "ADDRESS    PLATFORM  APPLICATION  AGREES  RELAYED  INTERFACE          TYPE      AT"
              "         AGREES\n"
              "10.77.5.2  QX19      Gate\\\"way    yes     no       02-00-00-00-01-01  Ethernet  "
              "10.77.5.2  yes\n"
              "                                                   02-00-00-00-01-02  WiFi      "
              "10.77.5.3  yes\n"
              "10.77.5.1  QX19      Pump         yes     no       02-00-00-00-12-34  Ethernet  "
              "10.77.5.1  yes\n");

    const auto json = Find({"--json"});
    EXPECT_EQ(json.exitCode, 0) << json.out;
    EXPECT_EQ(
        json.out,
        "{\"address\": \"10.77.5.2\", \"platform\": \"QX19\", \"application\": "
        "\"Gate\\\"way\", \"agrees\": true, \"relayed\": false, \"interfaces\": ["
        "{\"mac\": \"02-00-00-00-01-01\", \"type\": \"Ethernet\", \"address\": \"10.77.5.2\", "
        "\"agrees\": true}, "
        "{\"mac\": \"02-00-00-00-01-02\", \"type\": \"WiFi\", \"address\": \"10.77.5.3\", "
        "\"agrees\": true}]}\n"
        "{\"address\": \"10.77.5.1\", \"platform\": \"QX19\", \"application\": \"Pump\", "
        "\"agrees\": true, \"relayed\": false, \"interfaces\": [{\"mac\": "
        "\"02-00-00-00-12-34\", \"type\": \"Ethernet\", \"address\": \"10.77.5.1\", "
        "\"agrees\": true}]}\n");
}

TEST_F(OmblorctlFind, no_answer_exits_1_and_a_relayed_reply_is_marked_at_the_relayed_address) {
    const auto none = Find({});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "");
    StartModules("02-00-00-00-00-41 - 0 10.9.8.7 - QX19 Relayed 10.9.8.7 0\n", {}, {"--relay"});
    const auto r = Find({"--json", "--seconds", "0.5"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("{\"address\": \"10.9.8.7\", \"platform\": \"QX19\", \"application\": "
                         "\"Relayed\", \"agrees\": true, \"relayed\": true,"),
              std::string::npos)
        << r.out;
}

// update --found: what the search lists and the file's platform accepts is programmed; the rest
// is reported and never connected to.
TEST_F(OmblorctlFind, update_found_programs_the_modules_whose_platform_the_file_accepts) {
    // The first answers from 10.77.5.1 but names 127.0.50.1 as its active address: the one its
    // update goes to, where the simulator may listen.
    StartModules(
        "02-00-00-00-00-51 - 0 0.0.0.0 127.0.50.1 QX19-512 Pump 10.77.5.1 0\n"
        "02-00-00-00-00-52 - 0 10.77.5.2 - QX20 Pump 10.77.5.2 0\n",
        {"10.77.5.1", "10.77.5.2"});
    BackgroundProgram module(
        "module-sim", {"--address", "127.0.50.1", "--platform", "QX19-512", "--timeout", "30"});
    ASSERT_TRUE(module.WaitForLine("listening"));
    const std::string file = dir_.Write(
        "t_APP.s19",
        "S0QX19\r\n" + omblor::image::testing::Record(3, 0x10000, {1, 2, 3, 4}) + "\r\n");
    const auto r = RunProgram("omblorctl", {"update", file, "--found", "--json"}, "", {},
                              std::chrono::seconds(30));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("{\"address\": \"127.0.50.1\", \"outcome\": \"programmed\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"address\": \"10.77.5.2\", \"outcome\": \"skipped\", \"detail\": "
                         "\"platform QX20\", \"seconds\": 0.000, \"bytes\": 0, \"attempts\": 0}"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(module.Finish().exitCode, 0);
}

}  // namespace
