#!/usr/bin/env bash
# Find benchmark in the Qt host: 16,384 simulated modules answer one search (relayed through
# 127.0.0.1, about 0.2 s for all of them); reports how many reached the list and the Qt tree,
# how late the three acknowledgements left and the worst gap between 10 ms loop ticks, offscreen
# and, when Xvfb is installed, on a real X server. The search broadcasts, so this script runs
# itself inside a private network namespace (lo only) that vanishes with it.
#   bench/discovery/run-qt.sh [--smoke] [BUILD_DIR]     (default build/; needs bench-qt-find, module-sim)
# --smoke: the baseline and one search of 20 relayed modules, offscreen, to show the bench still
# runs (CI); its figures mean nothing.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/../.."
. bench/discovery/common.sh
bench_start "$self" "bench-qt-find module-sim" "$@"

m=bench/discovery/qt_measure.py
python3 $m --bin "$bin" --modules 0 --label "baseline, offscreen"
if [ $smoke = 1 ]; then
  python3 $m --bin "$bin" --modules 20 --relay --label "20 relayed, offscreen"
  exit
fi
for run in 1 2 3; do
  python3 $m --bin "$bin" --modules 16384 --relay --label "16384 relayed, offscreen ($run)"
done
if command -v xvfb-run >/dev/null; then
  for run in 1 2 3; do
    xvfb-run -a -s "-screen 0 1280x1024x24" python3 $m --bin "$bin" --modules 16384 --relay \
      --platform xcb --label "16384 relayed, Xvfb ($run)"
  done
fi
