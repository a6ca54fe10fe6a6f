// The module's side of the exchange in one process: a dumb tool on the other end of a socket
// pair answers the session's lines; the lines it got and the module's report say what each
// option does to the exchange.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "module-sim/Script.h"
#include "module-sim/SimOptions.h"
#include "module-sim/UpdateSession.h"
#include "net/PollEventLoop.h"
#include "update/UpdateProtocol.h"

namespace {

using namespace omblor::modulesim;
using namespace std::string_literals;
namespace code = omblor::update::code;
using omblor::net::UniqueFd;

// What the tool writes back; the default answers a module that wants user "op", password "pw".
struct Behaviour {
    std::string credentials = "op\0pw\r\n"s;
    std::string header = "\0\1\0\0\0\0\0\6"s;  // base 0x10000, length 6
    std::string image = "abcdef";
    std::string reboot = "R";
    int closeAtCode = 0;   // close instead of answering this code
    std::string afterEnd;  // written after the last line, before closing
};

template <typename T>
Behaviour With(T Behaviour::*field, T value) {
    Behaviour b;
    b.*field = std::move(value);
    return b;
}

struct Played {
    SessionReport report;
    std::string codes;                // the leading code of each line the tool got
    std::vector<std::string> chunks;  // each read as it came
};

// Runs the module with the blank-separated args against a dumb tool at the other end of a
// socket pair, which answers each line by its leading code.
Played Play(const std::string& args, const Behaviour& tool = {}) {
    omblor::net::PollEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);
    std::vector<std::string> argv;
    std::istringstream words(args);
    for (std::string word; words >> word;) argv.push_back(word);
    auto parsed = ParseSimOptions(argv);
    EXPECT_EQ(parsed.error, "");
    parsed.options.endWait = std::chrono::seconds(1);
    const Script script = Script::Build(parsed.options);
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    UniqueFd end(fds[1]);
    Played run;
    bool finished = false;
    {
        UpdateSession module(1, UniqueFd(fds[0]), parsed.options, script, -1,
                             [&](const SessionReport& report) {
                                 run.report = report;
                                 finished = true;
                             });
        module.Start();
        std::string pending;
        std::string out;
        bool closing = false;
        // Generous: a case takes milliseconds; only a hang gets near this.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!(finished && !end.Valid()) && std::chrono::steady_clock::now() < limit) {
            loop.PumpOnce(std::chrono::milliseconds(1));
            char buffer[4096];
            ssize_t n = 0;
            while (end.Valid() && (n = ::recv(end.Get(), buffer, sizeof buffer, 0)) > 0) {
                run.chunks.emplace_back(buffer, static_cast<std::size_t>(n));
                pending.append(buffer, static_cast<std::size_t>(n));
            }
            const bool eof = n == 0;
            for (std::size_t eol;
                 end.Valid() && (eol = pending.find("\r\n")) != std::string::npos;) {
                const int number = std::atoi(pending.c_str());
                run.codes += (run.codes.empty() ? "" : " ") + pending.substr(0, 3);
                pending.erase(0, eol + 2);
                if (number == tool.closeAtCode) end.Reset();
                if (number == code::kCredentials) out += tool.credentials;
                if (number == code::kImageHeader) out += tool.header;
                if (number == code::kImage) out += tool.image;
                if (number == code::kRebootChoice) out += tool.reboot;
                if (number == code::kComplete ||
                    (number >= code::kFirstError && number <= code::kLastError)) {
                    out += tool.afterEnd;
                    closing = true;
                }
            }
            while (end.Valid() && !out.empty() &&
                   (n = ::send(end.Get(), out.data(), out.size(), MSG_NOSIGNAL)) > 0) {
                out.erase(0, static_cast<std::size_t>(n));
            }
            if (eof || (closing && out.empty())) end.Reset();
        }
        EXPECT_TRUE(finished && !end.Valid()) << "the exchange did not end";
    }
    omblor::net::EventLoop::SetCurrent(nullptr);
    return run;
}

TEST(ModuleSimSession, each_reply_is_checked_and_the_outcome_reported) {
    const std::string all = "100 102 103 325 350 375 400 105 106";
    const std::string quick = "100 102 103 105 106";  // with --progress none
    Behaviour emptyImage = With(&Behaviour::header, "\0\1\0\0\0\0\0\0"s);
    emptyImage.image.clear();
    const struct {
        std::string args;
        Behaviour tool;
        Outcome outcome;
        std::string mismatch;  // empty: the session passes
        std::string codes;     // of the lines the tool got
    } cases[] = {
        {"", {}, Outcome::Completed, "", all},
        {"--credentials op:pw --progress 350,450",
         {},
         Outcome::Completed,
         "",
         "100 101 102 103 350 450 105 106"},
        {"--credentials op:xx --expect denied", {}, Outcome::Denied, "", "100 101 252"},
        {"--credentials op:pw --expect denied", With(&Behaviour::credentials, "oppw\r\n"s),
         Outcome::Denied, "no zero byte", "100 101 252"},
        {"--credentials op:pw --expect closed", With(&Behaviour::closeAtCode, code::kCredentials),
         Outcome::Closed, "", "100 101"},
        {"--expect refused", With(&Behaviour::header, std::string(8, '\0')), Outcome::Refused, "",
         "100 102 251"},
        {"--expect-length 7", {}, Outcome::Aborted, "header length 6, expected 7", "100 102 253"},
        {"--expect-reboot D", {}, Outcome::Completed, "reboot reply R, expected D", all},
        {"--progress none", With(&Behaviour::reboot, "x"s), Outcome::Completed, "neither R nor D",
         quick},
        {"--fail-at image", {}, Outcome::Failed, "", "100 102 250"},
        {"--close-at header", {}, Outcome::Dropped, "", "100"},
        {"", With(&Behaviour::afterEnd, "junk"s), Outcome::Completed, "4 bytes came after the end",
         all},
        {"--progress none", emptyImage, Outcome::Completed, "", quick},
        // 103 goes out before the header reply is in; the replies still come in order.
        {"--coalesce image --progress none", {}, Outcome::Completed, "", quick},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Played run = Play(c.args, c.tool);
        EXPECT_EQ(run.report.outcome, c.outcome) << run.report.Format();
        EXPECT_EQ(run.codes, c.codes);
        EXPECT_EQ(run.report.Passed(), c.mismatch.empty()) << run.report.Format();
        const auto& mismatches = run.report.mismatches;
        EXPECT_NE((mismatches.empty() ? "" : mismatches.front()).find(c.mismatch),
                  std::string::npos)
            << run.report.Format();
    }
}

TEST(ModuleSimSession, lines_are_shaped_as_asked_and_a_large_image_saved_whole) {
    const auto file =
        std::filesystem::temp_directory_path() / ("module-sim-image-" + std::to_string(::getpid()));
    Behaviour tool;
    // Far larger than a socket buffer: the image arrives over many reads.
    tool.header = "\0\0\x80\0\0\x30\0\0"s;  // base 0x8000, length 3 MiB
    tool.image.resize(3U << 20);
    for (std::size_t i = 0; i < tool.image.size(); ++i)
        tool.image[i] = static_cast<char>(i * 7 + i / 251);
    const Played run = Play(
        "--split platform=cr --coalesce header --split image=4 --pad reboot=14 --progress none "
        "--fail-at complete --fail-line 260\\x20No\\x21 --save-image " +
            file.string(),
        tool);
    // One thread runs both sides: the tool reads each write long before the split timer.
    EXPECT_EQ(run.chunks,
              (std::vector<std::string>{"100 Platform:QX19:1.0\r", "\n102 Send header\r\n", "103 ",
                                        "Send image\r\n", "105 Reboot?...\r\n", "260 No!\r\n"}));
    EXPECT_TRUE(run.report.Passed()) << run.report.Format();
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == tool.image);
    std::filesystem::remove(file);
}

}  // namespace
