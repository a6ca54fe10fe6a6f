#!/usr/bin/env bash
# Find benchmark in the Qt host: 16,384 simulated modules answer one search (relayed through
# 127.0.0.1, about 0.2 s for all of them); reports how many reached the list and the Qt tree,
# how late the three acknowledgements left and the worst gap between 10 ms loop ticks, offscreen
# and, when Xvfb is installed, on a real X server. The search broadcasts, so this script runs
# itself inside a private network namespace (lo only) that vanishes with it.
#   bench/discovery/run-qt.sh [BUILD_DIR]     (default build/; needs bench-qt-find, module-sim-discovery)
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
bin=$(cd "$build/bin" && pwd)
for program in bench-qt-find module-sim-discovery; do
  [ -x "$bin/$program" ] || { echo "build $program first (in $build)" >&2; exit 2; }
done

if [ "${OMBLOR_BENCH_IN_NETNS:-}" != 1 ]; then
  exec env OMBLOR_BENCH_IN_NETNS=1 unshare --net "$0" "$@"
fi
if [ "$(ip -o link show | awk -F": " "{print \$2}")" != lo ]; then
  echo "not in a private network namespace; refusing" >&2
  exit 2
fi
ip link set lo up
ip addr add 10.77.0.9/32 dev lo
ip route add default dev lo

echo "machine: $(nproc) CPU, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -r)"
echo "socket buffers: rmem_default=$(cat /proc/sys/net/core/rmem_default) rmem_max=$(cat /proc/sys/net/core/rmem_max)"
m=bench/discovery/qt_measure.py
python3 $m --bin "$bin" --modules 0 --label "baseline, offscreen"
for run in 1 2 3; do
  python3 $m --bin "$bin" --modules 16384 --relay --label "16384 relayed, offscreen ($run)"
done
if command -v xvfb-run >/dev/null; then
  for run in 1 2 3; do
    xvfb-run -a -s "-screen 0 1280x1024x24" python3 $m --bin "$bin" --modules 16384 --relay \
      --platform xcb --label "16384 relayed, Xvfb ($run)"
  done
fi
