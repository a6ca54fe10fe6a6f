// The update dialog against a scripted module on 127.0.0.1: the bar, the boxes and how it ends.
// Typed credentials and failure boxes are checked end to end and in the Qt window tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/ResourceIds.h"
#include "support/FakeHost.h"
#include "support/ScratchDir.h"
#include "update/CUpdateDlg.h"
#include "update/SampleApp.h"
#include "update/ScriptedModule.h"

namespace {

using namespace omblor::testing;
using omblor::framework::CDialog;
using omblor::framework::IDCANCEL;
using omblor::framework::IDOK;

class UpdateDialog : public ::testing::Test {
  protected:
    int Run(ScriptedModule& module, unsigned tickMs = 1000, int reboot = 1) {
        omblor::update::CUpdateDlg dlg(file_, kLoopback, reboot, nullptr);
        dlg.port = module.port;
        dlg.tickMs = tickMs;
        dlg_ = &dlg;
        const int result = dlg.DoModal();
        dlg_ = nullptr;
        return result;
    }
    // The status line as it stands while the dialog runs.
    std::string Status() {
        const auto* status = dlg_->FindControl(omblor::resources::IDC_STATUS);
        return status != nullptr ? status->text : std::string();
    }

    omblor::update::CUpdateDlg* dlg_ = nullptr;
    FakeHost host;
    ScratchDir dir_;
    std::string file_ = dir_.Write("update_APP.s19", SampleFile());
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

TEST_F(UpdateDialog, a_cancelled_prompt_or_operator_cancel_ends_it_without_a_byte_or_message) {
    host.onShown = [](CDialog& d) {
        if (d.TemplateId() == 131) d.HandleCancel();
    };
    ScriptedModule prompted({{0, "101\r\n"}});
    EXPECT_EQ(Run(prompted), IDCANCEL);
    EXPECT_EQ(prompted.received, "");

    host.onShown = [&](CDialog& d) {
        if (d.TemplateId() == 130) host.loop.Post([&d] { d.HandleCancel(); });
    };
    ScriptedModule module({{0, "100 x\r\n"}});
    EXPECT_EQ(Run(module), IDCANCEL);
    EXPECT_TRUE(host.messages.empty());
}

// Each case's module falls silent after its last line; the status line then still tells where
// the update stood when the time-out box comes.
TEST_F(UpdateDialog, the_status_line_tells_the_last_step) {
    const struct {
        std::string fileHeader;
        std::vector<ScriptedModule::Step> script;
        int reboot;
        std::string status;
    } cases[] = {
        {"QX19", {{0, ""}}, 1, "Connecting to 127.0.0.1 port "},
        {"QX19", {{0, "100 Platform:QX19:1.0\r\n"}}, 1, "Connected; module platform QX19"},
        {"QX19", {{0, "102\r\n"}}, 1, "Image header sent: 8 bytes at 0x00010000"},
        {"QX19-512",
         {{0, "100 P:QX19:2\r\n102\r\n"}},
         1,
         "Platform does not match the file; told the module so"},
        {"QX19", {{0, "102\r\n"}, {8, "103\r\n"}}, 1, "Sending the image: 8 of 8 bytes"},
        {"QX19", {{0, "350\r\n"}}, 1, "Programming: 50%"},
        {"QX19", {{0, "105\r\n"}}, 0, "Told the module not to reboot"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        file_ = dir_.Write("status_APP.s19", SampleFile(c.fileHeader));
        std::string shown;
        host.onMessage = [&](const std::string&) { shown = Status(); };
        ScriptedModule module(c.script);
        EXPECT_EQ(Run(module, 5, c.reboot), IDCANCEL);
        EXPECT_EQ(shown.substr(0, c.status.size()), c.status);
    }
}

// Closed after its last lines: they are read, the image cannot go out, the update times out.
TEST_F(UpdateDialog, a_short_send_is_told) {
    ScriptedModule gone({{0, "102\r\n103\r\n", ScriptedModule::Step::Then::Close}});
    EXPECT_EQ(Run(gone, 10), IDCANCEL);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Send Error", "Error: Timed out"}));
}

}  // namespace
