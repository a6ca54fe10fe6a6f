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

// Records each event as a short line, so a case states the whole story it expects.
struct Owner final : UpdateSessionOwner {
    void OnPlatformNamed(std::string_view name) override {
        events.push_back("platform " + std::string(name));
    }
    std::optional<Credentials> OnCredentialsNeeded() override {
        events.emplace_back("credentials?");
        return credentials;
    }
    void OnHeaderAnswered(HeaderAnswer answer) override {
        events.emplace_back(answer == HeaderAnswer::Sent ? "header sent" : "header refused");
    }
    void OnImageSent(std::uint64_t sent, std::uint64_t total) override {
        const std::string line = "image " + std::to_string(sent) + "/" + std::to_string(total);
        if (events.empty() || events.back() != line) events.push_back(line);
    }
    void OnProgress(int position) override {
        events.push_back("progress " + std::to_string(position));
    }
    void OnRebootAnswered(RebootChoice choice) override {
        events.emplace_back(choice == RebootChoice::Reboot ? "reboot" : "stay");
    }
    void OnTrouble(Failure failure, int error) override { troubles.emplace_back(failure, error); }
    void OnEnded(const SessionEnd& how) override {
        ++ends;
        end = how;
        if (afterEnd) afterEnd();
    }
    std::optional<Credentials> credentials;
    std::vector<std::string> events;
    std::vector<std::pair<Failure, int>> troubles;
    int ends = 0;
    SessionEnd end;
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
                                       LostConnection lost = LostConnection::WaitForTimeOut,
                                       std::chrono::milliseconds linger = 0ms,
                                       RebootChoice reboot = RebootChoice::Reboot) {
        struct NoMessages final : omblor::image::MessageSink {
            void Show(std::string_view text) override { ADD_FAILURE() << text; }
        } sink;
        image_ = omblor::image::LoadAppImage(path_.string(), sink);
        auto session = std::make_unique<UpdateSession>(owner, *image_, kLoopback, port, reboot);
        session->EndOnLostConnection(lost);
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

TEST_F(Session, tells_each_step_in_order) {
    using Events = std::vector<std::string>;
    const struct {
        const char* name;
        std::vector<ScriptedModule::Step> script;
        std::optional<Credentials> credentials;
        RebootChoice reboot;
        std::string received;
        Events events;
        SessionResult result;
    } cases[] = {
        {"whole",
         {{0, "100 Platform:QX19:1.0\r\n200\r\n102\r\n"},
          {8, "103\r\n"},
          {16, "301\r\n350\r\n450\r\n105\r\n"},
          {17, "106\r\n"}},
         std::nullopt,
         RebootChoice::Reboot,
         kHeader + kImage + "R",
         {"platform QX19", "header sent", "image 8/8", "progress 1", "progress 50", "progress 150",
          "reboot"},
         SessionResult::Completed},
        {"credentials and no reboot",
         {{0, "101\r\n"}, {7, "102\r\n"}, {15, "103\r\n"}, {23, "105\r\n"}, {24, "107\r\n"}},
         Credentials("op", "pw"),
         RebootChoice::Stay,
         std::string("op\0pw\r\n", 7) + kHeader + kImage + "D",
         {"credentials?", "header sent", "image 8/8", "stay"},
         SessionResult::Completed},
        {"no credentials",
         {{0, "101\r\n"}},
         std::nullopt,
         RebootChoice::Reboot,
         "",
         {"credentials?"},
         SessionResult::Cancelled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        owner = {};
        owner.credentials = c.credentials;
        ScriptedModule module(c.script);
        const auto session = Run(module.port, 1000, LostConnection::WaitForTimeOut, 0ms, c.reboot);
        EXPECT_EQ(owner.events, c.events);
        EXPECT_EQ(owner.end.result, c.result);
        EXPECT_EQ(module.received, c.received);
        EXPECT_TRUE(owner.troubles.empty());
    }
    // A module that asks for credentials nobody has is told apart from a plain cancel.
    EXPECT_EQ(owner.end.failure, Failure::CredentialsNeeded);
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
        Run(module.port);
        EXPECT_EQ(module.received, c.refused ? std::string(8, '\0') : kHeader) << c.platformLine;
        EXPECT_EQ(owner.events.back(), c.refused ? "header refused" : "header sent");
        EXPECT_EQ(owner.end.result, SessionResult::Completed);
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
        EXPECT_EQ(owner.end.result, SessionResult::Failed) << line;
        EXPECT_EQ(owner.end.failure, Failure::ModuleError) << line;
        EXPECT_EQ(owner.end.moduleText, text) << line;
    }
}

TEST_F(Session, once_ending_later_lines_and_ticks_change_nothing) {
    ScriptedModule* current = nullptr;
    owner.afterEnd = [&] { current->Send("106\r\n260 Again\r\n"); };
    ScriptedModule module({{0, "250 First\r\n"}});
    current = &module;
    const auto session = Run(module.port, 5, LostConnection::WaitForTimeOut, 300ms);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(owner.end.failure, Failure::ModuleError);
    EXPECT_EQ(owner.end.moduleText, " First");
    session->Cancel();
    EXPECT_EQ(owner.ends, 1);
}

// A closed stream ends the session by the time-out, or at once when asked; a refusal at once.
TEST_F(Session, a_lost_connection_ends_by_time_out_or_at_once_when_asked) {
    std::unique_ptr<UpdateSession> session;
    for (const auto lost : {LostConnection::WaitForTimeOut, LostConnection::EndAtOnce}) {
        owner = {};
        const bool atOnce = lost == LostConnection::EndAtOnce;
        ScriptedModule closes({{0, "100 P:QX19:1\r\n", Then::Close}});
        session = Run(closes.port, atOnce ? 1000 : 5, lost);
        EXPECT_EQ(owner.end.failure, atOnce ? Failure::ClosedByModule : Failure::TimedOut);
        // Only the time-out has something to add: the last line heard.
        EXPECT_EQ(owner.end.details.find("Last line heard: 100 P:QX19:1") == std::string::npos,
                  atOnce);
    }

    owner = {};
    const std::uint16_t nobody = [] {
        ScriptedModule gone({});
        return gone.port;
    }();
    session = Run(nobody, 1000, LostConnection::EndAtOnce);
    EXPECT_EQ(owner.end.failure, Failure::ConnectError);
    EXPECT_EQ(owner.end.error, ECONNREFUSED);
}

// A module that falls silent is given up on at the thirtieth silent tick, the 30 s the window
// and omblorctl promise, and not one tick before.
TEST_F(Session, the_thirtieth_silent_tick_ends_it_and_not_one_before) {
    ScriptedModule quiet({{0, "100 P:QX19:1\r\n"}});
    struct NoMessages final : omblor::image::MessageSink {
        void Show(std::string_view text) override { ADD_FAILURE() << text; }
    } sink;
    image_ = omblor::image::LoadAppImage(path_.string(), sink);
    UpdateSession session(owner, *image_, kLoopback, quiet.port, RebootChoice::Reboot);
    session.Start();
    bool settled = false;
    omblor::net::ScopedTimer settle(200ms, omblor::net::Repeat::No, [&] { settled = true; });
    loop_.RunUntil([&] { return settled; });
    for (int tick = 1; tick < 30; ++tick) session.Tick();
    EXPECT_EQ(owner.ends, 0);
    session.Tick();
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(owner.end.failure, Failure::TimedOut);
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
    Run(resets.port, 10);
    EXPECT_EQ(owner.end.result, SessionResult::Failed);
    EXPECT_EQ(owner.end.failure, Failure::ReceiveError);
    EXPECT_EQ(owner.end.error, ECONNRESET);

    owner = {};
    // Closed after its last lines: they are still read, but nothing can be sent any more.
    ScriptedModule gone({{0, "102\r\n103\r\n", Then::Close}});
    Run(gone.port, 10);
    EXPECT_EQ(owner.troubles, (std::vector<std::pair<Failure, int>>{{Failure::SendError, 0}}));
}

}  // namespace
