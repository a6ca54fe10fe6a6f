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
        {"0", 0},    {"255", 255},   {"256", -1},   {"300", -1}, {"", -1},
        {"   ", -1}, {" 12abc", 12}, {"12 34", 12}, {"abc", -1}, {"+7", 7},
        {"-1", -1},  {"-0", 0},      {"007", 7},    {"\t 9", 9}, {"99999999999999999999", -1}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(ParseByteBox(text), expected) << text;
}

// The windows here start from the defaults, whatever this machine has stored.
const bool kSettingsIsolated = omblor::testing::IsolateSettings();

TEST(MainWindowExchange, the_first_failing_box_stops_it_and_a_good_one_takes_every_field) {
    omblor::testing::FakeHost host;
    COmblorDlg dlg("-I10.1.2.3 -Fold");
    host.loop.Post([&] {  // from inside the window's modal loop
        EXPECT_EQ(dlg.FindControl(1000)->text, "10");
        EXPECT_EQ(dlg.FindControl(1012)->checked, 1);
        dlg.FindControl(1000)->text = "11";
        dlg.FindControl(1001)->text = "";
        dlg.FindControl(1002)->text = "13";
        dlg.FindControl(1006)->text = "new";
        EXPECT_FALSE(dlg.UpdateData(true));
        EXPECT_EQ(dlg.FocusId(), 1001);
        // Later fields keep their old values.
        EXPECT_EQ(dlg.addressBytes, (std::array<std::uint8_t, 4>{11, 1, 2, 3}));
        EXPECT_EQ(dlg.fileName, "old");

        dlg.FindControl(1000)->text = " 192x";
        // Not `= "0"`: mingw's GCC 12 warns wrongly (-Wrestrict) about that assignment here.
        dlg.FindControl(1001)->text.assign(1, '0');
        dlg.FindControl(1003)->text = "50";
        dlg.FindControl(1006)->text = "a_APP.s19";
        dlg.FindControl(1012)->checked = 0;
        EXPECT_TRUE(dlg.UpdateData(true));
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Enter an integer between 0 and 255."});
    EXPECT_EQ(host.captions, std::vector<std::string>{"omblor"});
    EXPECT_EQ(dlg.Address(), 0xC0000D32U);
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
