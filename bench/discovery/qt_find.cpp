// One search of the Find dialog in the Qt host (offscreen or a real X server), as the operator
// would open it: prints how many modules the list and the Qt tree hold at the end, and the worst
// gap between the ticks of a 10 ms loop timer while the dialog was open (how long the loop was
// ever kept from its timers). Broadcasts: run it only inside a private network namespace
// (bench/discovery/run-qt.sh does).
//   bench-qt-find [SECONDS]     how long the dialog stays open (default 6)
#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "discovery/CIdFindDlg.h"
#include "framework/qt/QtHost.h"
#include "net/EventLoop.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int CountItems(QTreeWidget& tree) {
    int n = 0;
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) ++n;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    return omblor::framework::RunWithQtHost(argc, argv, [seconds] {
        omblor::discovery::CIdFindDlg find(nullptr);
        double worstGapMs = 0;
        double worstAtMs = 0;
        const auto start = Clock::now();
        Clock::time_point last = start;
        omblor::net::ScopedTimer tick(10ms, omblor::net::Repeat::Yes, [&] {
            const auto now = Clock::now();
            const double gap = std::chrono::duration<double, std::milli>(now - last).count();
            if (gap > worstGapMs) {
                worstGapMs = gap;
                worstAtMs = std::chrono::duration<double, std::milli>(now - start).count();
            }
            last = now;
        });
        int treeItems = 0;
        omblor::net::ScopedTimer end(std::chrono::seconds(seconds), omblor::net::Repeat::No, [&] {
            if (auto* tree = QApplication::activeModalWidget()->findChild<QTreeWidget*>()) {
                treeItems = CountItems(*tree);
            }
            find.EndDialog(omblor::framework::IDCANCEL);
        });
        find.DoModal();
        std::printf("records=%zu tree=%d worst_gap_ms=%.1f ending_at_ms=%.0f\n",
                    find.Devices().RecordCount(), treeItems, worstGapMs, worstAtMs);
        return 0;
    });
}
