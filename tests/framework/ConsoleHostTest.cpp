// The console host in-process, reading actions from a pipe: modal boxes nest and the loop keeps
// running while one is open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "framework/CDataExchange.h"
#include "framework/CDialog.h"
#include "framework/MessageBox.h"
#include "framework/console/ConsoleHost.h"
#include "net/EventLoop.h"
#include "net/PollEventLoop.h"
#include "platform/UniqueFd.h"
#include "text/OutsideText.h"

namespace {

using namespace std::chrono_literals;
using omblor::framework::ConsoleHost;
using omblor::platform::UniqueFd;

struct Console : ::testing::Test {
    Console() {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        input.Reset(fds[0]);
        feed.Reset(fds[1]);
        out = std::tmpfile();
        omblor::net::EventLoop::SetCurrent(&loop);
        host = std::make_unique<ConsoleHost>(loop, input.Get(), out);
        omblor::framework::SetCurrentHost(host.get());
    }
    ~Console() override {
        omblor::framework::SetCurrentHost(nullptr);
        host.reset();
        omblor::net::EventLoop::SetCurrent(nullptr);
        std::fclose(out);
    }
    std::string Output() const {
        std::rewind(out);
        std::string text;
        char buffer[4096];
        while (const auto n = std::fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
        return text;
    }
    void Feed(std::string_view text) const {
        ASSERT_EQ(::write(feed.Get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    omblor::net::PollEventLoop loop;
    UniqueFd input;
    UniqueFd feed;
    std::FILE* out = nullptr;
    std::unique_ptr<ConsoleHost> host;
};

TEST_F(Console, a_message_box_keeps_the_loop_running_until_ok) {
    int ticks = 0;
    omblor::net::ScopedTimer tick(10ms, omblor::net::Repeat::Yes, [&] {
        if (++ticks == 5) Feed("ok\n");
    });
    EXPECT_EQ(omblor::framework::AfxMessageBox("Trailing blank \nand a line"), 1);
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(Output(), "[message \"omblor\"]\nTrailing blank \nand a line\n[/message]\n");
}

// The dialog object may outlive its window (the main window's does); its ticks must not.
TEST_F(Console, a_dialogs_timers_stop_when_its_window_goes) {
    struct Ticking final : omblor::framework::CDialog {
        Ticking() : CDialog(131) {}
        bool OnInitDialog() override {
            SetTimer(7, 5);
            return CDialog::OnInitDialog();
        }
        void OnTick(std::uintptr_t /*id*/) {
            if (++ticks == 3) EndDialog(1);
        }
        [[nodiscard]] omblor::framework::MessageMap GetMessageMap() const override {
            static constexpr auto kTick = &Ticking::OnTick;
            static const omblor::framework::MessageMapEntry kMap[] = {
                omblor::framework::OnTimerEntry<Ticking>(&kTick)};
            return kMap;
        }
        int ticks = 0;
    } dialog;
    EXPECT_EQ(dialog.DoModal(), 1);
    for (int turn = 0; turn < 10; ++turn) loop.PumpOnce(10ms);
    EXPECT_EQ(dialog.ticks, 3);
}

TEST_F(Console, a_password_shows_masked_and_ok_takes_it) {
    struct Prompt final : omblor::framework::CDialog {
        Prompt() : CDialog(131) {}
        std::string user;
        std::string password;
        void DoDataExchange(omblor::framework::CDataExchange* pDX) override {
            omblor::framework::DDX_Text(pDX, 1013, user);
            omblor::framework::DDX_Text(pDX, 1014, password);
        }
    } prompt;
    // Typed while no window takes it: ignored, and the text is not echoed.
    Feed("set 1014 s3cret\n");
    for (int turn = 0; turn < 5; ++turn) loop.PumpOnce(10ms);
    Feed("dump\nset 1014 s3cret\nset 1013 op\ndump\nclick 1\n");
    EXPECT_EQ(prompt.DoModal(), 1);
    EXPECT_EQ(prompt.password, "s3cret");
    const std::string out = Output();
    EXPECT_NE(out.find("1 button enabled \"OK\" [focus]\n"), std::string::npos) << out;
    EXPECT_NE(out.find("1014 edit enabled \"******\"\n"), std::string::npos) << out;
    EXPECT_EQ(out.rfind("[ignored set 1014]\n", 0), 0U) << out;
    EXPECT_EQ(out.find("s3cret"), std::string::npos);
}

// Input that ends while a box is open over a dialog closes the box, then cancels the dialog the
// operator left behind it.
TEST_F(Console, the_end_of_input_under_a_box_closes_the_box_and_then_its_dialog) {
    struct Asking final : omblor::framework::CDialog {
        Asking() : CDialog(131) {}
        bool OnInitDialog() override {
            SetTimer(7, 3000);  // a host that forgot the dialog would leave it waiting
            return CDialog::OnInitDialog();
        }
        void OnAsk() { boxResult = omblor::framework::AfxMessageBox("Sure?"); }
        void OnTick(std::uintptr_t /*id*/) { EndDialog(99); }
        [[nodiscard]] omblor::framework::MessageMap GetMessageMap() const override {
            static constexpr auto kAsk = &Asking::OnAsk;
            static constexpr auto kTick = &Asking::OnTick;
            static const omblor::framework::MessageMapEntry kMap[] = {
                omblor::framework::OnCommandEntry<Asking>(1, &kAsk),
                omblor::framework::OnTimerEntry<Asking>(&kTick)};
            return kMap;
        }
        int boxResult = -1;
    } dialog;
    Feed("click 1\n");
    feed.Reset();
    EXPECT_EQ(dialog.DoModal(), 2);
    EXPECT_NE(dialog.boxResult, -1);
}

TEST(ConsoleEscape, outside_text_stays_in_its_field_and_bodies_in_their_box) {
    struct Row {
        std::string_view text, field, body;
    };
    const Row rows[] = {
        {"a\"b\\c", "a\\\"b\\\\c", "a\"b\\\\c"},
        {"x\n[/message]\r\n[end 102 1]", "x\\n[/message]\\r\\n[end 102 1]",
         "x\n\\[/message]\\r\n\\[end 102 1]"},
        {std::string_view("t\tz\0\x7f\xc3\xa9", 7), "t\\tz\\x00\\x7F\\xC3\\xA9",
         "t\\tz\\x00\\x7F\\xC3\\xA9"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(omblor::text::EscapeOutsideText(row.text), row.field) << row.text;
        EXPECT_EQ(omblor::text::EscapeMessageBody(row.text), row.body) << row.text;
    }
}

// A module's texts reach a dump and a box; each control and item stays one line.
TEST_F(Console, hostile_outside_text_cannot_forge_host_lines_and_end_of_input_cancels) {
    static const std::string hostile = "m\n[end 129 1]\r\"\xff";
    struct Find final : omblor::framework::CDialog {
        Find() : CDialog(129) {}
        bool OnInitDialog() override {
            CDialog::OnInitDialog();
            FindControl(1015)->items.push_back({1, 0, hostile, 0, 0});
            return true;
        }
    } dialog;
    Feed("dump\n");
    feed.Reset();  // the end of input cancels a waiting dialog and closes a box
    EXPECT_EQ(dialog.DoModal(), 2);
    omblor::framework::AfxMessageBox("Error:" + hostile);
    const std::string out = Output();
    EXPECT_NE(out.find("item 1 state=0 \"m\\n[end 129 1]\\r\\\"\\xFF\"\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("[message \"omblor\"]\nError:m\n\\[end 129 1]\\r\"\\xFF\n[/message]\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("\n[end 129 1]\n"), std::string::npos) << out;
}

}  // namespace
