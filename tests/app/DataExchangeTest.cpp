#include <gtest/gtest.h>

#include <cstdlib>

#include "app/COmblorApp.h"
#include "app/COmblorDlg.h"
#include "framework/CDataExchange.h"
#include "support/FakeHost.h"
#include "support/IsolatedSettings.h"

namespace {

using omblor::app::COmblorDlg;
using omblor::framework::IDCANCEL;
using omblor::framework::ParseByteBox;

TEST(ParseByteBox, reads_a_leading_number_up_to_255) {
    const std::pair<const char*, int> cases[] = {
        {"0", 0},     {"255", 255}, {"256", -1},     {"300", -1}, {"", -1},
        {"   ", -1},  {" 12abc", 12}, {"12 34", 12}, {"abc", -1}, {"+7", 7},
        {"-1", -1},   {"-0", 0},    {"007", 7},      {"99999999999999999999", -1},
        {"\t 9", 9},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ParseByteBox(text), expected) << text;
}

// The windows here start from the defaults, whatever this machine has stored.
const bool kSettingsIsolated = omblor::testing::IsolateSettings();

// Runs `body` inside the main window's modal loop, then closes it.
void WithOpenWindow(COmblorDlg& dlg, omblor::testing::FakeHost& host,
                    const std::function<void()>& body) {
    host.loop.Post([&] {
        body();
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST(MainWindowExchange, first_failing_box_stops_the_exchange) {
    omblor::testing::FakeHost host;
    COmblorDlg dlg("-I10.1.2.3 -Fold");
    WithOpenWindow(dlg, host, [&] {
        dlg.FindControl(1000)->text = "11";
        dlg.FindControl(1001)->text = "";
        dlg.FindControl(1002)->text = "13";
        dlg.FindControl(1006)->text = "new";
        EXPECT_FALSE(dlg.UpdateData(true));
        EXPECT_EQ(dlg.FocusId(), 1001);
    });
    EXPECT_EQ(host.messages, std::vector<std::string>{"Enter an integer between 0 and 255."});
    EXPECT_EQ(host.captions, std::vector<std::string>{"omblor"});
    EXPECT_EQ(dlg.addressBytes[0], 11);
    EXPECT_EQ(dlg.addressBytes[1], 1);  // later fields keep their old values
    EXPECT_EQ(dlg.addressBytes[2], 2);
    EXPECT_EQ(dlg.fileName, "old");
}

TEST(MainWindowExchange, reading_takes_every_field_in_order) {
    omblor::testing::FakeHost host;
    COmblorDlg dlg("");
    WithOpenWindow(dlg, host, [&] {
        EXPECT_EQ(dlg.FindControl(1000)->text, "0");
        EXPECT_EQ(dlg.FindControl(1012)->checked, 1);
        dlg.FindControl(1000)->text = " 192x";
        dlg.FindControl(1003)->text = "50";
        dlg.FindControl(1006)->text = "a_APP.s19";
        dlg.FindControl(1012)->checked = 0;
        EXPECT_TRUE(dlg.UpdateData(true));
    });
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(dlg.Address(), 0xC0000032U);
    EXPECT_EQ(dlg.fileName, "a_APP.s19");
    EXPECT_EQ(dlg.rebootWhenComplete, 0);
}

TEST(Application, socket_service_failure_shows_its_message_and_exits_0) {
    omblor::testing::FakeHost host;
    omblor::app::COmblorApp app;
    app.startSocketService = [](int, int) { return false; };
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Windows sockets initialization failed."});
    EXPECT_TRUE(host.ended.empty());  // no window opened
}

}  // namespace
