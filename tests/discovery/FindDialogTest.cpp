// The discovery dialog over its search, the "broadcast" going to a relay on 127.0.0.1: the bind
// box, OK without a selection, the tree and Search Again's state. The search's own schedule is
// checked in DiscoverySearchTest.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "LoopbackRelay.h"
#include "discovery/CIdFindDlg.h"
#include "support/FakeHost.h"

namespace {

using namespace std::chrono_literals;
using omblor::discovery::CIdFindDlg;
using omblor::discovery::testing::BoundUdp;
using omblor::discovery::testing::LoopbackRelay;
using omblor::framework::CDialog;
using omblor::framework::IDCANCEL;
using omblor::net::ScopedTimer;
using omblor::platform::UniqueFd;

class FindDialog : public ::testing::Test {
  protected:
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
    LoopbackRelay module;
    CDialog* dialog = nullptr;
    ScopedTimer poll;
};

// With only the first port held the request goes out from the fallback (DiscoverySearchTest).
TEST_F(FindDialog, two_held_ports_warn_once_and_ok_without_a_selection_asks_for_one) {
    const UniqueFd holdFirst = BoundUdp(module.first);
    const UniqueFd holdFallback = BoundUdp(module.fallback);
    int step = 0;
    Drive([&](CDialog& d) {
        if (step++ == 0) {
            d.HandleCommand(omblor::framework::IDOK);
            return false;
        }
        d.HandleCancel();
        return true;
    });
    CIdFindDlg find(nullptr, module.Ports());
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
    CIdFindDlg find(nullptr, module.Ports());
    EXPECT_EQ(find.DoModal(), IDCANCEL);
    // Cancelled during the second search: while the dialog object lives on (its caller shows a
    // box), no acknowledgement follows.
    bool waited = false;
    const ScopedTimer wait(1700ms, omblor::net::Repeat::No, [&] { waited = true; });
    omblor::net::EventLoop::Current()->RunUntil([&] { return waited; });
    EXPECT_TRUE(disabledDuringSearch);
    // A request, acknowledgements listing the one interface heard, and the new search's request.
    EXPECT_EQ(module.sizes, (std::vector<std::size_t>{153, 12, 12, 12, 153}));
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
