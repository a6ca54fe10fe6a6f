#!/usr/bin/env bash
# Discovery benchmark: 2000 simulated modules answer one search of the real program (console
# host); reports how many reached the tree, when the last one was listed, and how late the
# dialog's three acknowledgements left (its timer ticks on time or not), beside a search with no
# modules as the baseline. The search broadcasts, so this script runs itself inside a private
# network namespace (lo only) that vanishes with it.
#   bench/discovery/run.sh [--smoke] [BUILD_DIR]     (default build/; needs omblor, module-sim)
# --smoke: the baseline and one search of 20 modules, to show the bench still runs (CI); its
# figures mean nothing.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/../.."
. bench/discovery/common.sh
bench_start "$self" "omblor module-sim" "$@"

m=bench/discovery/measure.py
python3 $m --bin "$bin" --modules 0 --label "baseline, no modules"
if [ $smoke = 1 ]; then
  python3 $m --bin "$bin" --modules 20 --poll 50 --label "20, tree read /50 ms"
  exit
fi
python3 $m --bin "$bin" --modules 2000 --poll 0 --label "2000, tree read at 5 s"
for run in 1 2 3; do
  python3 $m --bin "$bin" --modules 2000 --poll 50 --label "2000, tree read /50 ms ($run)"
done
python3 $m --bin "$bin" --modules 2000 --rate 0 --poll 0 --label "2000 unpaced, at 5 s"
python3 $m --bin "$bin" --modules 2000 --rate 0 --poll 0 --answer-acks --label "2000 unpaced, acks answered"
