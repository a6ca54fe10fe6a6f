#!/usr/bin/env bash
# Find benchmark in the Qt host: 16,384 simulated modules answer one search (relayed through
# 127.0.0.1, about 0.2 s for all of them); reports how many reached the list and the Qt tree,
# how late the three acknowledgements left and the worst gap between 10 ms loop ticks, offscreen
# and, when Xvfb is installed, on a real X server. The search broadcasts, so it runs inside a
# private network namespace (lo only) that vanishes with it. run.sh --qt does the work.
#   bench/discovery/run-qt.sh [--smoke] [BUILD_DIR]     (default build/; needs bench-qt-find, module-sim)
# --smoke: the baseline and one search of 20 relayed modules, offscreen, to show the bench still
# runs (CI); its figures mean nothing.
exec "$(dirname "$0")/run.sh" --qt "$@"
