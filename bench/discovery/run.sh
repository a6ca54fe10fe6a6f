#!/usr/bin/env bash
# Discovery benchmark: 2000 simulated modules answer one search of the real program (console
# host); reports how many reached the tree, when the last one was listed, and how late the
# dialog's three acknowledgements left (its timer ticks on time or not), beside a search with no
# modules as the baseline. With --qt, the Find dialog in the Qt host instead (run-qt.sh). The
# search broadcasts, so this script runs itself inside a private network namespace (lo only)
# that vanishes with it.
#   bench/discovery/run.sh [--qt] [--smoke] [BUILD_DIR]
#       (default build/; needs omblor and module-sim, with --qt bench-qt-find and module-sim)
# --smoke: the baseline and one search of 20 modules, to show the bench still runs (CI); its
# figures mean nothing.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/../.."
. scripts/lib.sh

# The generated modules answer from 10.78.0.1 up; a prefix on lo makes all of them local.
netns_self --address 10.78.0.0/16 "$self" "$@"
qt=0 smoke=0
[ "${1:-}" = --qt ] && { qt=1; shift; }
[ "${1:-}" = --smoke ] && { smoke=1; shift; }
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
programs=(omblor module-sim)
[ $qt = 0 ] || programs=(bench-qt-find module-sim)
for program in "${programs[@]}"; do
  [ -x "$bin/$program" ] || { echo "build $program first (in $build)" >&2; exit 2; }
done

echo "machine: $(nproc) CPU, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -r)"
echo "socket buffers: rmem_default=$(cat /proc/sys/net/core/rmem_default) rmem_max=$(cat /proc/sys/net/core/rmem_max)"

if [ $qt = 1 ]; then
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
  exit
fi

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
