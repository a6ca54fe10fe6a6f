// The module's side of the exchange in one process: a small scripted tool on the same loop
// talks to an UpdateServer on 127.0.0.1, and the report says what the module made of it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "module-sim/SimOptions.h"
#include "module-sim/UpdateServer.h"
#include "net/PollEventLoop.h"

namespace {

using namespace omblor::modulesim;
using namespace std::chrono_literals;
using namespace std::string_literals;
using omblor::net::PollEventLoop;
using omblor::net::ScopedTimer;
using omblor::net::ScopedWatch;
using omblor::net::UniqueFd;

std::string Header(std::uint32_t base, std::uint32_t length) {
    std::string bytes;
    for (const std::uint32_t v : {base, length}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += static_cast<char>((v >> shift) & 0xFF);
    }
    return bytes;
}

// What the tool writes back; the default answers a module that wants user "op", password "pw".
struct Behaviour {
    std::string credentials = "op\0pw\r\n"s;
    std::string image = "abcdef";
    std::string header = Header(0x10000, 6);
    std::string reboot = "R";
    int closeAtCode = 0;   // close instead of answering this code
    std::string afterEnd;  // written after the last line, before closing
};

// The tool's side, kept dumb: answers each line by its leading code, records what came.
class FakeTool {
  public:
    FakeTool(std::uint16_t port, Behaviour behaviour) : behaviour_(std::move(behaviour)) {
        fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Loopback connects complete from the backlog, before the module accepts.
        EXPECT_EQ(::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::fcntl(fd_.Get(), F_SETFL, O_NONBLOCK);
        watch_ = ScopedWatch(fd_.Get(), omblor::net::kFdRead, [this](int, unsigned ready) {
            if ((ready & omblor::net::kFdWrite) != 0) Flush();
            if ((ready & omblor::net::kFdRead) != 0) Read();
        });
    }

    std::vector<std::string> lines;
    std::vector<std::string> chunks;  // each read as it came
    [[nodiscard]] bool Closed() const { return !fd_.Valid(); }

  private:
    void Read() {
        char buffer[4096];
        const ssize_t n = ::recv(fd_.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            Close();
            return;
        }
        chunks.emplace_back(buffer, static_cast<std::size_t>(n));
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; fd_.Valid() && (end = pending_.find("\r\n")) != std::string::npos;) {
            lines.push_back(pending_.substr(0, end));
            pending_.erase(0, end + 2);
            React(std::atoi(lines.back().c_str()));
        }
    }
    void React(int code) {
        if (code == behaviour_.closeAtCode) return Close();
        if (code == 101) Send(behaviour_.credentials);
        if (code == 102) Send(behaviour_.header);
        if (code == 103) Send(behaviour_.image);
        if (code == 105) Send(behaviour_.reboot);
        if (code == 106 || code == 107 || (code >= 201 && code <= 300)) {
            Send(behaviour_.afterEnd);
            closeWhenFlushed_ = true;
            Flush();
        }
    }
    void Send(const std::string& bytes) {
        out_ += bytes;
        Flush();
    }
    void Flush() {
        while (!out_.empty()) {
            const ssize_t n = ::send(fd_.Get(), out_.data(), out_.size(), MSG_NOSIGNAL);
            if (n <= 0) break;
            out_.erase(0, static_cast<std::size_t>(n));
        }
        if (!out_.empty()) return watch_.SetEvents(omblor::net::kFdRead | omblor::net::kFdWrite);
        watch_.SetEvents(omblor::net::kFdRead);
        if (closeWhenFlushed_) Close();
    }
    void Close() {
        watch_.Reset();
        fd_.Reset();
    }

    Behaviour behaviour_;
    UniqueFd fd_;
    ScopedWatch watch_;
    std::string pending_;
    std::string out_;
    bool closeWhenFlushed_ = false;
};

// What each side saw; the tools themselves go with the loop.
struct Played {
    std::vector<SessionReport> reports;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::vector<std::string>> chunks;
};

// Runs the module with `args` against one tool per behaviour, all connecting at once.
Played Play(std::vector<std::string_view> args, const std::vector<Behaviour>& behaviours) {
    PollEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);
    args.insert(args.begin(), {"--port", "0", "--end-wait", "1"});
    const auto parsed = ParseSimOptions(args);
    EXPECT_EQ(parsed.error, "");
    Played run;
    {
        UpdateServer server(parsed.options, {});
        EXPECT_EQ(server.Listen(), std::nullopt);
        std::vector<std::unique_ptr<FakeTool>> tools;
        tools.reserve(behaviours.size());
        for (const auto& b : behaviours)
            tools.push_back(std::make_unique<FakeTool>(server.Port(), b));
        // Generous: a case takes milliseconds; only a hang gets near this.
        bool expired = false;
        const ScopedTimer guard(5s, omblor::net::Repeat::No, [&] { expired = true; });
        // The tools too must have seen everything: the module may be done before they read.
        loop.RunUntil([&] {
            return expired || (server.Done() && std::all_of(tools.begin(), tools.end(),
                                                            [](auto& t) { return t->Closed(); }));
        });
        EXPECT_FALSE(expired);
        run.reports = server.Reports();
        for (const auto& tool : tools) {
            run.lines.push_back(tool->lines);
            run.chunks.push_back(tool->chunks);
        }
    }
    omblor::net::EventLoop::SetCurrent(nullptr);
    return run;
}

TEST(ModuleSimSession, each_reply_is_checked_and_the_outcome_reported) {
    const auto with = [](auto change) {
        Behaviour b;
        change(b);
        return b;
    };
    const struct {
        const char* name;
        std::vector<std::string_view> args;
        Behaviour tool;
        Outcome outcome;
        std::string_view mismatch;  // empty: the session passes
        std::string lastLine;       // the last line the tool got
    } cases[] = {
        {"full exchange",
         {"--credentials", "op:pw"},
         {},
         Outcome::Completed,
         "",
         "106 Programming complete"},
        {"wrong password",
         {"--credentials", "op:xx", "--expect", "denied"},
         {},
         Outcome::Denied,
         "",
         "252 Login failed"},
        {"no separator",
         {"--credentials", "op:pw", "--expect", "denied"},
         with([](Behaviour& b) { b.credentials = "oppw\r\n"; }),
         Outcome::Denied,
         "no zero byte",
         "252 Login failed"},
        {"refused platform",
         {"--expect", "refused"},
         with([](Behaviour& b) { b.header = std::string(8, '\0'); }),
         Outcome::Refused,
         "",
         "251 Platform not supported"},
        {"wrong length",
         {"--expect-length", "7"},
         {},
         Outcome::Aborted,
         "header length 6, expected 7",
         "253 Wrong image length"},
        {"too large",
         {"--max-image", "4", "--expect", "aborted"},
         {},
         Outcome::Aborted,
         "more than --max-image",
         "102 Send header"},
        {"reboot choice",
         {"--expect-reboot", "D"},
         {},
         Outcome::Completed,
         "reboot reply R, expected D",
         "106 Programming complete"},
        {"odd reboot byte",
         {},
         with([](Behaviour& b) { b.reboot = "x"; }),
         Outcome::Completed,
         "neither R nor D",
         "106 Programming complete"},
        {"failure line", {"--fail-at", "image"}, {}, Outcome::Failed, "", "250 Programming failed"},
        {"early close",
         {"--close-at", "header"},
         {},
         Outcome::Dropped,
         "",
         "100 Platform:QX19:1.0"},
        {"cancelled credentials",
         {"--credentials", "op:pw", "--expect", "closed"},
         with([](Behaviour& b) { b.closeAtCode = 101; }),
         Outcome::Closed,
         "",
         "101 Login required"},
        {"bytes after the end",
         {},
         with([](Behaviour& b) { b.afterEnd = "junk"; }),
         Outcome::Completed,
         "4 bytes came after the end",
         "106 Programming complete"},
        {"empty image",
         {},
         with([](Behaviour& b) {
             b.header = Header(0x10000, 0);
             b.image.clear();
         }),
         Outcome::Completed,
         "",
         "106 Programming complete"},
        // 103 goes out before the header reply is in; the replies still come in order.
        {"image line with the header line",
         {"--coalesce", "image"},
         {},
         Outcome::Completed,
         "",
         "106 Programming complete"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Played run = Play(c.args, {c.tool});
        ASSERT_EQ(run.reports.size(), 1U);
        const SessionReport& report = run.reports.front();
        EXPECT_EQ(report.outcome, c.outcome) << report.Format();
        if (c.mismatch.empty()) {
            EXPECT_TRUE(report.Passed()) << report.Format();
        } else {
            ASSERT_FALSE(report.mismatches.empty()) << report.Format();
            EXPECT_NE(report.mismatches.front().find(c.mismatch), std::string::npos)
                << report.mismatches.front();
        }
        ASSERT_FALSE(run.lines.front().empty());
        EXPECT_EQ(run.lines.front().back(), c.lastLine);
    }
}

TEST(ModuleSimSession, a_split_line_goes_in_two_writes_and_a_joined_one_shares_a_write) {
    const Played run = Play({"--split", "platform=cr", "--coalesce", "header"}, {{}});
    ASSERT_GE(run.chunks.front().size(), 2U);
    // One thread runs both sides: the tool reads the first write long before the split timer.
    EXPECT_EQ(run.chunks.front()[0], "100 Platform:QX19:1.0\r");
    EXPECT_EQ(run.chunks.front()[1], "\n102 Send header\r\n");
    EXPECT_TRUE(run.reports.front().Passed()) << run.reports.front().Format();
}

TEST(ModuleSimSession, image_and_transcript_files_hold_exactly_what_came) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("module-sim-session-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string imagePath = (dir / "image.bin").string();
    const std::string transcriptPath = (dir / "transcript.bin").string();
    Behaviour tool;
    // Larger than one socket buffer, so the image arrives over many reads.
    tool.image.resize(3U << 20);
    for (std::size_t i = 0; i < tool.image.size(); ++i)
        tool.image[i] = static_cast<char>(i * 7 + i / 251);
    tool.header = Header(0x8000, static_cast<std::uint32_t>(tool.image.size()));
    const Played run = Play({"--credentials", "op:pw", "--save-image", imagePath, "--transcript",
                             transcriptPath, "--expect-base", "0x8000"},
                            {tool});
    const auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    EXPECT_TRUE(run.reports.front().Passed()) << run.reports.front().Format();
    EXPECT_EQ(run.reports.front().imageReceived, tool.image.size());
    EXPECT_TRUE(slurp(imagePath) == tool.image);
    EXPECT_TRUE(slurp(transcriptPath) == tool.credentials + tool.header + tool.image + "R");
    std::filesystem::remove_all(dir);
}

TEST(ModuleSimSession, connections_are_served_one_after_the_other) {
    Behaviour wrong;
    wrong.reboot = "D";
    const Played run = Play({"--connections", "2", "--expect-reboot", "R"}, {{}, wrong});
    ASSERT_EQ(run.reports.size(), 2U);
    EXPECT_TRUE(run.reports[0].Passed()) << run.reports[0].Format();
    EXPECT_FALSE(run.reports[1].Passed()) << run.reports[1].Format();
    EXPECT_EQ(run.reports[1].number, 2);
}

}  // namespace
