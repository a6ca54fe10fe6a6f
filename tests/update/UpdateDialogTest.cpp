// The update dialog against a scripted module on 127.0.0.1, in one process: what the operator
// sees (the bar, the message boxes, the credentials prompt) and how the dialog ends. The
// exchange's own rules are the session's tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/FakeHost.h"
#include "update/CPassDlg.h"
#include "update/CUpdateDlg.h"
#include "update/SampleApp.h"
#include "update/ScriptedModule.h"

namespace {

using namespace std::chrono_literals;
using omblor::framework::CDialog;
using omblor::framework::IDCANCEL;
using omblor::framework::IDOK;
using omblor::testing::kHeader;
using omblor::testing::kImage;
using omblor::testing::kLoopback;
using omblor::testing::kRecords;
using omblor::testing::ScriptedModule;
using omblor::update::CUpdateDlg;

class UpdateDialog : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("omblor-update-" + std::to_string(::getpid()) + "_APP.s19");
        std::ofstream(path_, std::ios::binary) << "S0QX19\r\n" << kRecords;
    }
    void TearDown() override { std::filesystem::remove(path_); }

    int Run(ScriptedModule& module, int reboot = 1, unsigned tickMs = 1000) {
        CUpdateDlg dlg(path_.string(), kLoopback, reboot, nullptr);
        dlg.port = module.port;
        dlg.tickMs = tickMs;
        return dlg.DoModal();
    }

    omblor::testing::FakeHost host;
    std::filesystem::path path_;
};

TEST_F(UpdateDialog, the_bar_follows_the_module_and_success_ends_it_with_ok) {
    ScriptedModule module({{0, "100 Platform:QX19:1.0\r\n102\r\n"},
                           {8, "103\r\n"},
                           {16, "350\r\n450\r\n105\r\n"},
                           {17, "106\r\n"}});
    EXPECT_EQ(Run(module), IDOK);
    EXPECT_EQ(module.received, kHeader + kImage + "R");
    EXPECT_EQ(host.progress, (std::vector<int>{0, 50, 100}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(UpdateDialog, a_failure_is_shown_after_error_colon) {
    ScriptedModule module({{0, "250 Flash failed\r\n"}});
    EXPECT_EQ(Run(module), IDCANCEL);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Error: Flash failed"});
}

TEST_F(UpdateDialog, credentials_are_sent_as_typed_and_a_cancelled_prompt_sends_nothing) {
    host.onShown = [](CDialog& d) {
        if (d.TemplateId() != 131) return;
        d.FindControl(1013)->text = "op";
        d.FindControl(1014)->text = "pw";
        d.HandleCommand(IDOK);
    };
    ScriptedModule module({{0, "101\r\n"}, {7, "101\r\n"}, {14, "106\r\n"}});
    EXPECT_EQ(Run(module), IDOK);
    EXPECT_EQ(module.received, std::string("op\0pw\r\nop\0pw\r\n", 14));

    // The second prompt starts empty: OK without typing sends only the separator and CR LF.
    host.onShown = [](CDialog& d) {
        if (d.TemplateId() == 131) d.HandleCommand(IDOK);
    };
    ScriptedModule empty({{0, "101\r\n"}, {3, "106\r\n"}});
    EXPECT_EQ(Run(empty), IDOK);
    EXPECT_EQ(empty.received, std::string("\0\r\n", 3));

    host.onShown = [](CDialog& d) {
        if (d.TemplateId() == 131) d.HandleCancel();
    };
    ScriptedModule cancelled({{0, "101\r\n"}});
    EXPECT_EQ(Run(cancelled), IDCANCEL);
    EXPECT_EQ(cancelled.received, "");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(UpdateDialog, operator_cancel_ends_it_as_failed_without_a_message) {
    host.onShown = [&](CDialog& d) {
        if (d.TemplateId() == 130) host.loop.Post([&d] { d.HandleCancel(); });
    };
    ScriptedModule module({{0, "100 x\r\n"}});
    EXPECT_EQ(Run(module), IDCANCEL);
    EXPECT_TRUE(host.messages.empty());
}

// An image that cannot be sent is told in a box; the update goes on to its time-out.
TEST_F(UpdateDialog, a_short_send_is_told) {
    // Closed after its last lines: they are still read, but nothing can be sent any more.
    ScriptedModule gone({{0, "102\r\n103\r\n", ScriptedModule::Step::Then::Close}});
    EXPECT_EQ(Run(gone, 1, 10), IDCANCEL);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Send Error", "Error: Timed out"}));
}

}  // namespace
