# shellcheck shell=bash
# The start both discovery benches share, sourced from the top of the tree.
# shellcheck source-path=SCRIPTDIR source=../../scripts/lib.sh
. scripts/lib.sh

# bench_start SCRIPT "PROGRAM..." [--smoke] [BUILD_DIR]
# Runs SCRIPT again inside a private network namespace of its own (the search broadcasts) and
# goes on only there; sets smoke (1 with --smoke) and bin (BUILD_DIR/bin, default build/bin),
# fails (exit 2) unless each PROGRAM is built there, and prints the machine's lines that go with
# every set of figures.
# shellcheck disable=SC2034 # smoke and bin are for the script that calls it
bench_start() {
  local self=$1 programs=$2 build program
  shift 2
  # The generated modules answer from 10.78.0.1 up; a prefix on lo makes all of them local.
  netns_self --address 10.78.0.0/16 "$self" "$@"
  smoke=0
  [ "${1:-}" = --smoke ] && { smoke=1; shift; }
  build=${1:-build}
  bin=$(cd "$build/bin" && pwd)
  for program in $programs; do
    [ -x "$bin/$program" ] || { echo "build $program first (in $build)" >&2; exit 2; }
  done
  echo "machine: $(nproc) CPU, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -r)"
  echo "socket buffers: rmem_default=$(cat /proc/sys/net/core/rmem_default) rmem_max=$(cat /proc/sys/net/core/rmem_max)"
}
