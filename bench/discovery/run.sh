#!/usr/bin/env bash
# Discovery benchmark: 2000 simulated modules answer one search of the real program (console
# host); reports how many reached the tree, when the last one was listed, and how late the
# dialog's three acknowledgements left (its timer ticks on time or not), beside a search with no
# modules as the baseline. The search broadcasts, so this script runs itself inside a private
# network namespace (lo only) that vanishes with it.
#   bench/discovery/run.sh [BUILD_DIR]     (default build/; needs omblor, module-sim)
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
bin=$(cd "$build/bin" && pwd)
for program in omblor module-sim; do
  [ -x "$bin/$program" ] || { echo "build $program first (in $build)" >&2; exit 2; }
done

if [ "${OMBLOR_BENCH_IN_NETNS:-}" != 1 ]; then
  exec env OMBLOR_BENCH_IN_NETNS=1 unshare --net "$0" "$@"
fi
# Never broadcast anywhere but here: refuse if any interface besides lo is visible.
if [ "$(ip -o link show | awk -F": " "{print \$2}")" != lo ]; then
  echo "not in a private network namespace; refusing" >&2
  exit 2
fi
ip link set lo up
ip addr add 10.77.0.9/32 dev lo
ip route add default dev lo
# The generated modules answer from 10.78.0.1 up; a prefix on lo makes all of them local.
ip addr add 10.78.0.0/16 dev lo

echo "machine: $(nproc) CPU, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -r)"
echo "socket buffers: rmem_default=$(cat /proc/sys/net/core/rmem_default) rmem_max=$(cat /proc/sys/net/core/rmem_max)"
m=bench/discovery/measure.py
python3 $m --bin "$bin" --modules 0 --label "baseline, no modules"
python3 $m --bin "$bin" --modules 2000 --poll 0 --label "2000, tree read at 5 s"
for run in 1 2 3; do
  python3 $m --bin "$bin" --modules 2000 --poll 50 --label "2000, tree read /50 ms ($run)"
done
python3 $m --bin "$bin" --modules 2000 --rate 0 --poll 0 --label "2000 unpaced, at 5 s"
python3 $m --bin "$bin" --modules 2000 --rate 0 --poll 0 --answer-acks --label "2000 unpaced, acks answered"
