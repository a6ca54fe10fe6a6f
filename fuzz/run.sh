#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS on one core, starting from the
# checked-in seeds. New corpus entries and any crash go to build-fuzz/, never into the tree;
# a crash input worth keeping is copied into fuzz/corpus/<target>/ by hand as a regression seed.
#   fuzz/run.sh SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_srecord_text fuzz_record_checksum fuzz_discovery_reply fuzz_module_line)

build=${OMBLOR_FUZZ_BUILD:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOMBLOR_WITH_QT=OFF -DOMBLOR_TESTS=OFF -DOMBLOR_FUZZ=ON >/dev/null
ninja -C "$build" -j1 "${targets[@]}"

status=0
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/${target#fuzz_}
  work=$build/corpus/${target#fuzz_}
  artifacts=$build/artifacts/${target#fuzz_}/
  mkdir -p "$work" "$artifacts"
  echo "== $target for ${seconds}s"
  dict=()
  case $target in *srecord*|*checksum*) dict=(-dict=fuzz/srecord.dict) ;; esac
  "$build/bin/$target" "$work" "$seeds" "${dict[@]}" -max_total_time="$seconds" \
    -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" || status=$?
done
exit $status
