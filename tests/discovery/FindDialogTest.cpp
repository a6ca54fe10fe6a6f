// The discovery dialog with its "broadcast" going to a module socket on 127.0.0.1 that the test
// plays, so nothing here needs a private network namespace.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "ReplyBuilder.h"
#include "discovery/CIdFindDlg.h"
#include "net/CAsyncSocket.h"
#include "platform/UniqueFd.h"
#include "support/FakeHost.h"

namespace {

using namespace std::chrono_literals;
using omblor::discovery::CIdFindDlg;
using omblor::discovery::FindSocketPorts;
using omblor::discovery::Ipv4Address;
using omblor::discovery::testing::ReplyBuilder;
using omblor::framework::CDialog;
using omblor::framework::IDCANCEL;
using omblor::framework::IDOK;
using omblor::net::ScopedTimer;
using omblor::net::ScopedWatch;
using omblor::platform::UniqueFd;

UniqueFd BoundUdp(std::uint16_t port = 0) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const sockaddr_in a = omblor::net::CAsyncSocket::MakeAddress(INADDR_LOOPBACK, port);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) fd.Reset();
    return fd;
}

std::uint16_t PortOf(const UniqueFd& fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A port nobody holds right now.
std::uint16_t FreePort() {
    return PortOf(BoundUdp());
}

// Plays a relay on 127.0.0.1: records every datagram and answers requests with one reply, the
// module's own address appended as the relay trailer.
struct Module {
    Module() : fd(BoundUdp()), port(PortOf(fd)) {
        watch = ScopedWatch(fd.Get(), omblor::net::kFdRead, [this](int, unsigned) {
            std::uint8_t buffer[2048];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const auto n = ::recvfrom(fd.Get(), buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0) return;
            sizes.push_back(static_cast<std::size_t>(n));
            if (n != 153) return;
            auto reply = ReplyBuilder{.configured = Ipv4Address{{10, 1, 2, 3}}}.Datagram();
            reply.insert(reply.end(), {10, 1, 2, 3});
            ::sendto(fd.Get(), reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     len);
        });
    }
    UniqueFd fd;
    std::uint16_t port = 0;
    ScopedWatch watch;
    std::vector<std::size_t> sizes;
};

class FindDialog : public ::testing::Test {
  protected:
    FindSocketPorts Ports() const {
        return {first, fallback, Ipv4Address{{127, 0, 0, 1}}, module.port};
    }
    // Runs `step` once the dialog's loop runs and again every 50 ms until it returns true.
    void Drive(const std::function<bool(CDialog&)>& step) {
        host.onShown = [this, step](CDialog& d) {
            if (d.TemplateId() != 129) return;
            dialog = &d;
            poll = ScopedTimer(50ms, omblor::net::Repeat::Yes, [this, step] {
                if (dialog != nullptr && step(*dialog)) poll.Stop();
            });
        };
    }
    omblor::testing::FakeHost host;
    Module module;
    std::uint16_t first = FreePort();
    std::uint16_t fallback = FreePort();
    CDialog* dialog = nullptr;
    ScopedTimer poll;
};

// With only the first port held the request goes out from the fallback (FindEndToEndTest).
TEST_F(FindDialog, two_held_ports_warn_once_and_ok_without_a_selection_asks_for_one) {
    const UniqueFd holdFirst = BoundUdp(first);
    const UniqueFd holdFallback = BoundUdp(fallback);
    int step = 0;
    Drive([&](CDialog& d) {
        if (step++ == 0) {
            d.HandleCommand(IDOK);
            return false;
        }
        d.HandleCancel();
        return true;
    });
    CIdFindDlg find(nullptr, Ports());
    find.resultAddress = 0x01020304;
    EXPECT_EQ(find.DoModal(), IDCANCEL);
    EXPECT_EQ(find.resultAddress, 0x01020304U);  // cancel keeps it
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{"Unable to Bind socket, is Omblor already open?",
                                        "You must first select a device in the\nSelect a Unit in "
                                        "the tree."}));
}

// The main window taking the address is checked end to end (FindEndToEndTest).
TEST_F(FindDialog, a_search_lists_the_module_and_search_again_empties_the_tree_and_searches_anew) {
    bool disabledDuringSearch = true;
    int phase = 0;
    Drive([&](CDialog& d) {
        auto* tree = d.FindControl(1015);
        auto* again = d.FindControl(1008);
        // Until the second acknowledgement has arrived the third cannot have gone out, so the
        // search is still running.
        if (module.sizes.size() < 3) disabledDuringSearch = disabledDuringSearch && !again->enabled;
        if (phase == 0 && module.sizes.size() == 4) {  // the request and three acknowledgements
            EXPECT_TRUE(again->enabled);
            EXPECT_EQ(tree->items.size(), 1U);
            EXPECT_EQ(tree->selected, tree->items.at(0).handle);  // the first module is selected
            EXPECT_EQ(tree->items.at(0).text, "QX19  at 10.1.2.3 running :App");
            d.HandleCommand(1008);
            EXPECT_TRUE(tree->items.empty());
            EXPECT_FALSE(again->enabled);
            phase = 1;
            return false;
        }
        if (phase == 1 && module.sizes.size() == 5) {
            d.HandleCancel();
            return true;
        }
        return false;
    });
    CIdFindDlg find(nullptr, Ports());
    EXPECT_EQ(find.DoModal(), IDCANCEL);
    EXPECT_TRUE(disabledDuringSearch);
    // A request, acknowledgements listing the one interface heard, and the new search's request.
    EXPECT_EQ(module.sizes, (std::vector<std::size_t>{153, 12, 12, 12, 153}));
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
