// The update session against a scripted module on 127.0.0.1, with an owner that records what it
// is told: the reply each code calls for, how a session ends, and that nothing changes after.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/AppImageReader.h"
#include "net/DefaultEventLoop.h"
#include "net/SocketService.h"
#include "update/SampleApp.h"
#include "update/ScriptedModule.h"
#include "update/UpdateSession.h"

namespace {

using namespace std::chrono_literals;
using omblor::testing::kHeader;
using omblor::testing::kImage;
using omblor::testing::kLoopback;
using omblor::testing::kRecords;
using omblor::testing::ScriptedModule;
using namespace omblor::update;
using Then = ScriptedModule::Step::Then;

struct Owner final : UpdateSessionOwner {
    void OnProgress(int position) override { progress.push_back(position); }
    std::optional<Credentials> OnCredentialsNeeded() override { return std::nullopt; }
    void OnNotice(std::string_view text) override { notices.emplace_back(text); }
    void OnEnded(Outcome how, std::string_view why) override {
        ++ends;
        outcome = how;
        text = why;
        if (afterEnd) afterEnd();
    }
    std::vector<int> progress;
    std::vector<std::string> notices;
    int ends = 0;
    std::optional<Outcome> outcome;
    std::string text;
    std::function<void()> afterEnd;
};

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(omblor::net::StartSocketService());
        omblor::net::EventLoop::SetCurrent(&loop_);
        WriteFile("QX19", kRecords);
    }
    void TearDown() override {
        omblor::net::EventLoop::SetCurrent(nullptr);
        omblor::net::StopSocketService();
        std::filesystem::remove(path_);
    }
    void WriteFile(const std::string& header, const std::string& records) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << "S0" << header << "\r\n"
                                                                 << records;
    }

    // Runs one session to its end (and `linger` beyond it), ticking every `tickMs`.
    std::unique_ptr<UpdateSession> Run(std::uint16_t port, unsigned tickMs = 1000,
                                       bool endOnLost = false,
                                       std::chrono::milliseconds linger = 0ms) {
        struct NoMessages final : omblor::image::MessageSink {
            void Show(std::string_view text) override { ADD_FAILURE() << text; }
        } sink;
        image_ = omblor::image::LoadAppImage(path_.string(), sink);
        auto session = std::make_unique<UpdateSession>(owner, *image_, kLoopback, port, true);
        session->EndOnLostConnection(endOnLost);
        session->Start();
        bool expired = false;
        omblor::net::ScopedTimer guard(10s, omblor::net::Repeat::No, [&] { expired = true; });
        omblor::net::ScopedTimer ticks(std::chrono::milliseconds(tickMs), omblor::net::Repeat::Yes,
                                       [&] { session->Tick(); });
        loop_.RunUntil([&] { return owner.ends > 0 || expired; });
        bool lingered = linger.count() == 0;
        omblor::net::ScopedTimer wait(linger, omblor::net::Repeat::No, [&] { lingered = true; });
        loop_.RunUntil([&] { return lingered; });
        EXPECT_FALSE(expired);
        return session;
    }

    omblor::net::DefaultEventLoop loop_;
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("omblor-session-" + std::to_string(::getpid()) + "_APP.s19");
    std::optional<omblor::image::AppImage> image_;
    Owner owner;
};

// Declining the reboot ('D') and credentials are checked end to end and in the dialog's tests.
TEST_F(Session, answers_each_code_and_completes) {
    ScriptedModule module({{0, "100 Platform:QX19:1.0\r\n200\r\n102\r\n"},
                           {8, "103\r\n"},
                           {16, "301\r\n350\r\n450\r\n105\r\n"},
                           {17, "106\r\n"}});
    const auto session = Run(module.port);
    EXPECT_EQ(owner.outcome, Outcome::Completed);
    EXPECT_EQ(module.received, kHeader + kImage + "R");
    EXPECT_EQ(owner.progress, (std::vector<int>{1, 50, 150}));
    EXPECT_EQ(session->PlatformName(), "QX19");
    EXPECT_EQ(session->ImageBytesSent(), 8U);
    EXPECT_TRUE(owner.notices.empty());
}

// The rule's own cases are the module line tests.
TEST_F(Session, the_platform_rule_decides_between_header_and_refusal) {
    const struct {
        const char* header;
        const char* platformLine;
        bool refused;
    } cases[] = {
        {"QX19", "100 P:QX19-512:2\r\n", false},  // a 512 module takes a plain image
        {"QX19-512", "100 P:QX19:2\r\n", true},   // but not the other way round
        {"QX19-512", "", false},                  // no 100 line, no check
    };
    for (const auto& c : cases) {
        owner = {};
        WriteFile(c.header, kRecords);
        ScriptedModule module({{0, std::string(c.platformLine) + "102\r\n"}, {8, "107\r\n"}});
        const auto session = Run(module.port);
        EXPECT_EQ(module.received, c.refused ? std::string(8, '\0') : kHeader) << c.platformLine;
        EXPECT_EQ(session->RefusedPlatform(), c.refused) << c.platformLine;
        EXPECT_EQ(owner.outcome, Outcome::Completed);
    }
}

TEST_F(Session, error_lines_end_it_with_the_text_after_the_code) {
    const std::pair<const char*, const char*> cases[] = {
        {"250 Flash failed\r\n", " Flash failed"},
        {"201\r\n", ""},
        {"300x\r\n", "x"},
        {"  299 lead\r\n", "99 lead"},  // counted from the true start
    };
    for (const auto& [line, text] : cases) {
        owner = {};
        ScriptedModule module({{0, line}});
        const auto session = Run(module.port);
        EXPECT_EQ(owner.outcome, Outcome::Failed) << line;
        EXPECT_EQ(owner.text, text) << line;
        EXPECT_EQ(session->FailureCause(), Failure::ModuleLine) << line;
    }
}

TEST_F(Session, once_ending_later_lines_and_ticks_change_nothing) {
    ScriptedModule* current = nullptr;
    owner.afterEnd = [&] { current->Send("106\r\n260 Again\r\n"); };
    ScriptedModule module({{0, "250 First\r\n"}});
    current = &module;
    const auto session = Run(module.port, 5, false, 300ms);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(owner.outcome, Outcome::Failed);
    EXPECT_EQ(owner.text, " First");
    session->Cancel();
    EXPECT_EQ(owner.ends, 1);
}

// A closed stream ends the session by the time-out, or at once when asked; a refusal at once.
TEST_F(Session, a_lost_connection_ends_by_time_out_or_at_once_when_asked) {
    std::unique_ptr<UpdateSession> session;
    for (const bool endOnLost : {false, true}) {
        owner = {};
        ScriptedModule closes({{0, "100 P:QX19:1\r\n", Then::Close}});
        session = Run(closes.port, endOnLost ? 1000 : 5, endOnLost);
        EXPECT_EQ(session->FailureCause(), endOnLost ? Failure::Closed : Failure::TimedOut);
        EXPECT_EQ(owner.text, endOnLost ? " Closed by module" : " Timed out");
    }

    owner = {};
    const std::uint16_t nobody = [] {
        ScriptedModule gone({});
        return gone.port;
    }();
    session = Run(nobody, 1000, true);
    EXPECT_EQ(session->FailureCause(), Failure::Connect);
    EXPECT_EQ(session->SocketError(), ECONNREFUSED);
    EXPECT_EQ(owner.text, " Connect error");
}

// A connection lost while the image still goes out, an image that cannot be sent: each is told.
TEST_F(Session, socket_failures_are_told) {
    // Enough records for an image that cannot go out in one write.
    std::string records;
    for (std::uint32_t at = 0; at < (4U << 20); at += 32) {
        char record[80];
        unsigned sum = 37 + (at >> 24) + ((at >> 16) & 0xFF) + ((at >> 8) & 0xFF) + (at & 0xFF);
        std::snprintf(record, sizeof record, "S325%08X", at);
        records += record + std::string(64, '0');
        std::snprintf(record, sizeof record, "%02X\r\n", ~sum & 0xFF);
        records += record;
    }
    WriteFile("QX19", records);
    ScriptedModule resets({{0, "102\r\n"}, {8, "103\r\n"}, {8 + (64U << 10), "", Then::Reset}});
    auto session = Run(resets.port, 10);
    EXPECT_EQ(owner.outcome, Outcome::Failed);
    EXPECT_EQ(session->FailureCause(), Failure::Receive);
    EXPECT_EQ(session->SocketError(), ECONNRESET);

    owner = {};
    // Closed after its last lines: they are still read, but nothing can be sent any more.
    ScriptedModule gone({{0, "102\r\n103\r\n", Then::Close}});
    Run(gone.port, 10);
    EXPECT_EQ(owner.notices, std::vector<std::string>{"Send Error"});
}

}  // namespace
