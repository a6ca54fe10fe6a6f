// The update dialog against a scripted module on 127.0.0.1, in one process: what goes on the
// wire, what the operator sees, and how the dialog ends.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/UniqueFd.h"
#include "support/FakeHost.h"
#include "update/CPassDlg.h"
#include "update/CUpdateDlg.h"

namespace {

using namespace std::chrono_literals;
using omblor::framework::CDialog;
using omblor::framework::IDCANCEL;
using omblor::framework::IDOK;
using omblor::net::ScopedWatch;
using omblor::net::UniqueFd;
using omblor::update::CUpdateDlg;

constexpr std::uint32_t kLoopback = 0x7F000001;

// A module that plays a script: it sends the first step's text on connection, then each later
// step's text once it has received `after` bytes in all.
class ScriptedModule {
public:
    struct Step {
        std::size_t after = 0;
        std::string send;
        enum class Then { Stay, Close, Reset } then = Then::Stay;
    };
    explicit ScriptedModule(std::vector<Step> steps) : steps_(std::move(steps)) {
        listen_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(kLoopback);
        ::bind(listen_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_.Get(), 1);
        socklen_t len = sizeof a;
        ::getsockname(listen_.Get(), reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        acceptWatch_ = ScopedWatch(listen_.Get(), omblor::net::kFdRead, [this](int, unsigned) {
            peer_.Reset(::accept4(listen_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            ++connections;
            Advance();
            readWatch_ = ScopedWatch(peer_.Get(), omblor::net::kFdRead,
                                     [this](int, unsigned) { OnReadable(); });
        });
    }
    void Send(std::string_view text) const {
        [[maybe_unused]] auto n = ::write(peer_.Get(), text.data(), text.size());
    }

    std::uint16_t port = 0;
    int connections = 0;
    std::string received;

private:
    void OnReadable() {
        char buffer[65536];
        const auto n = ::read(peer_.Get(), buffer, sizeof buffer);
        if (n <= 0) {
            readWatch_.Reset();
            return;
        }
        received.append(buffer, static_cast<std::size_t>(n));
        Advance();
    }
    void Advance() {
        while (peer_.Valid() && next_ < steps_.size() && received.size() >= steps_[next_].after) {
            const Step& step = steps_[next_++];
            Send(step.send);
            if (step.then != Step::Then::Stay) {
                const linger abort{1, 0};
                if (step.then == Step::Then::Reset)
                    ::setsockopt(peer_.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                readWatch_.Reset();
                peer_.Reset();
            }
        }
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    UniqueFd listen_;
    UniqueFd peer_;
    ScopedWatch acceptWatch_;
    ScopedWatch readWatch_;
};

// Two S3 records at 0x10000, 6 bytes in all (padded to 8), header "QX19".
constexpr const char* kFile =
    "S0QX19\r\n"
    "S3090001000001020304EB\r\n"
    "S307000100040506E8\r\n"
    "S70500010000F9\r\n";
const std::string kImage("\x01\x02\x03\x04\x05\x06\x00\x00", 8);
const std::string kHeader("\x00\x01\x00\x00\x00\x00\x00\x08", 8);

class UpdateDialog : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("omblor-update-" + std::to_string(::getpid()) + "_APP.s19");
        std::ofstream(path_, std::ios::binary) << kFile;
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

TEST_F(UpdateDialog, programs_a_module_byte_for_byte) {
    for (const int reboot : {1, 0}) {
        ScriptedModule module({{0, "100 Platform:QX19:1.0\r\n102\r\n"},
                               {8, "103\r\n"},
                               {16, "350\r\n450\r\n105\r\n"},
                               {17, "106\r\n"}});
        host.progress.clear();
        EXPECT_EQ(Run(module, reboot), IDOK);
        EXPECT_EQ(module.received, kHeader + kImage + (reboot != 0 ? "R" : "D"));
        EXPECT_EQ(host.progress, (std::vector<int>{0, 50, 100}));
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(UpdateDialog, a_512_module_takes_a_plain_image_but_not_the_other_way_round) {
    ScriptedModule accepts({{0, "100 P:QX19-512:2\r\n102\r\n"}, {8, "107\r\n"}});
    EXPECT_EQ(Run(accepts), IDOK);
    EXPECT_EQ(accepts.received, kHeader);

    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        << std::string(kFile).replace(2, 4, "QX19-512");
    ScriptedModule refuses({{0, "100 P:QX19:2\r\n102\r\n"}, {8, "250 Wrong platform\r\n"}});
    EXPECT_EQ(Run(refuses), IDCANCEL);
    EXPECT_EQ(refuses.received, std::string(8, '\0'));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Error: Wrong platform"});
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

TEST_F(UpdateDialog, error_lines_show_the_module_text_after_the_code) {
    const std::pair<const char*, const char*> cases[] = {
        {"250 Flash failed\r\n", "Error: Flash failed"},
        {"201\r\n", "Error:"},
        {"300x\r\n", "Error:x"},
        {"  299 lead\r\n", "Error:99 lead"},  // counted from the true start
    };
    for (const auto& [line, message] : cases) {
        host.messages.clear();
        ScriptedModule module({{0, line}});
        EXPECT_EQ(Run(module), IDCANCEL) << line;
        EXPECT_EQ(host.messages, std::vector<std::string>{message}) << line;
    }
}

TEST_F(UpdateDialog, once_the_update_failed_later_lines_change_nothing) {
    ScriptedModule* current = nullptr;
    // While the error box is open the module still reports completion and more errors.
    host.onMessage = [&](const std::string&) {
        current->Send("106\r\n260 Again\r\n");
        bool waited = false;
        omblor::net::ScopedTimer t(100ms, omblor::net::Repeat::No, [&] { waited = true; });
        host.loop.RunUntil([&] { return waited; });
    };
    ScriptedModule module({{0, "250 First\r\n"}});
    current = &module;
    EXPECT_EQ(Run(module), IDCANCEL);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Error: First"});
}

TEST_F(UpdateDialog, an_unreadable_file_ends_before_any_connection) {
    std::filesystem::remove(path_);
    ScriptedModule module({{0, "100 x\r\n"}});
    EXPECT_EQ(Run(module), IDCANCEL);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Failed to open file"});
    host.loop.PumpOnce(50ms);
    EXPECT_EQ(module.connections, 0);
}

TEST_F(UpdateDialog, operator_cancel_ends_it_as_failed_without_a_message) {
    host.onShown = [&](CDialog& d) {
        if (d.TemplateId() == 130) host.loop.Post([&d] { d.HandleCancel(); });
    };
    ScriptedModule module({{0, "100 x\r\n"}});
    EXPECT_EQ(Run(module), IDCANCEL);
    EXPECT_TRUE(host.messages.empty());
}

// A connection lost while the image still goes out, an image that cannot be sent: each is told,
// and the update ends as failed.
TEST_F(UpdateDialog, socket_failures_are_told_and_end_the_update) {
    // Enough records for an image that cannot go out in one write.
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file << "S0QX19\r\n";
    for (std::uint32_t at = 0; at < (4U << 20); at += 32) {
        char record[80];
        unsigned sum = 37 + (at >> 24) + ((at >> 16) & 0xFF) + ((at >> 8) & 0xFF) + (at & 0xFF);
        std::snprintf(record, sizeof record, "S325%08X", at);
        file << record << std::string(64, '0');
        std::snprintf(record, sizeof record, "%02X\r\n", ~sum & 0xFF);
        file << record;
    }
    file.close();
    ScriptedModule resets({{0, "102\r\n"}, {8, "103\r\n"}, {8 + (64U << 10), "", ScriptedModule::Step::Then::Reset}});
    EXPECT_EQ(Run(resets, 1, 10), IDCANCEL);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.front(), "Error: Receive error");

    host.messages.clear();
    // Closed after its last lines: they are still read, but nothing can be sent any more.
    ScriptedModule gone({{0, "102\r\n103\r\n", ScriptedModule::Step::Then::Close}});
    EXPECT_EQ(Run(gone, 1, 10), IDCANCEL);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.front(), "Send Error");

}

}  // namespace
