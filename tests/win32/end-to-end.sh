#!/usr/bin/env bash
# omblor.exe under wine, in its console host, against the Linux module simulator on 127.0.0.1:
# an update that succeeds (the image arrives byte for byte, exit code 0) and one whose platform
# the module refuses ("Update Failed", and exit code 255 (-1) once the input has ended); then
# omblorctl.exe programming three modules at once, one of which refuses, and finding three. Port
# 20034 must be free, so scripts/build-windows runs this inside a network namespace of its own,
# with a wine session started there too (wine makes its sockets in the wine server).
#   tests/win32/end-to-end.sh OMBLOR_EXE OMBLORCTL_EXE MODULE_SIM OMBLORCTL
set -euo pipefail
# The loader of the wine session scripts/build-windows started (Debian names wine64 in full).
wine=${WINE:-wine}
exe=$1 ctl_exe=$2 sim=$3 omblorctl=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/lib.sh
. "$here/../../scripts/lib.sh"
work=$(mktemp -d /tmp/omblor-e2e.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; [ -n "${KEEP_E2E:-}" ] || rm -rf "$work"' EXIT

fail() {
  echo "end-to-end: $*" >&2
  for f in "$work"/*.log "$work"/*.out; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done
  exit 1
}

cp "$here/../../examples/demo_APP.s19" "$work/demo_APP.s19"
"$omblorctl" image convert "$work/demo_APP.s19" "$work/expected.bin" 2>/dev/null

# Starts the simulator with the given options and waits until it listens.
start_module() { start_sim "$work/sim.log" "$sim" --timeout 60 "$@" || fail "the simulator did not start"; }

# 1. Programmed: the file given in the //drive/dir/file form (wine's Z: is the Linux root).
start_module --platform QX19 --save-image "$work/got.bin"
code=0
"$wine" "$exe" -A "-F//z${work}/demo_APP.s19" -I127.0.0.1 </dev/null >"$work/ok.out" 2>&1 || code=$?
wait "$sim_pid" || true
[ "$code" = 0 ] || fail "a successful update ended with exit code $code"
cmp -s "$work/got.bin" "$work/expected.bin" || fail "the module received a different image"
grep -q '^result .*ok' "$work/sim.log" || fail "the simulator did not report success"

# 2. Refused: the module runs another platform; the main window stays until input ends.
start_module --platform QX20
code=0
"$wine" "$exe" -A "-F$("$wine" winepath -w "$work/demo_APP.s19")" -I127.0.0.1 </dev/null >"$work/refused.out" 2>&1 || code=$?
wait "$sim_pid" || true
[ "$code" = 255 ] || fail "a refused update ended with exit code $code, not 255"
grep -q '^Update Failed' "$work/refused.out" || fail "no \"Update Failed\" message"

# 3. omblorctl.exe: the same image from its converter (the second time over the first file), then
# three modules behind one password file, the second on another platform.
for _ in 1 2; do
  "$wine" "$ctl_exe" image convert "$work/demo_APP.s19" "$work/converted.bin" </dev/null ||
    fail "omblorctl.exe image convert failed"
done
cmp -s "$work/converted.bin" "$work/expected.bin" || fail "omblorctl.exe converted a different image"
mkdir "$work/images"
printf 'secret-word\n' >"$work/password"
printf '127.0.0.2 --platform QX20\n' >"$work/variations"
start_module --modules 3 --credentials op:secret-word --save-image "$work/images" \
  --variations "$work/variations"
code=0
"$wine" "$ctl_exe" update "$work/demo_APP.s19" 127.0.0.1 127.0.0.2 127.0.0.3 --user op \
  --password-file "$work/password" --json </dev/null >"$work/fleet.out" 2>"$work/fleet.err" || code=$?
wait "$sim_pid" || true
[ "$code" = 1 ] || fail "omblorctl.exe with one refusing module ended with $code, not 1"
for m in 1 3; do
  grep -q "\"127.0.0.$m\", \"outcome\": \"programmed\"" "$work/fleet.out" ||
    fail "127.0.0.$m is not reported as programmed"
  cmp -s "$work/images/127.0.0.$m.bin" "$work/expected.bin" || fail "127.0.0.$m got a different image"
done
grep -q '"127.0.0.2", "outcome": "refused"' "$work/fleet.out" || fail "127.0.0.2 is not reported as refused"
! grep -q secret-word "$work/fleet.out" "$work/fleet.err" || fail "the password appeared in the output"

# 4. omblorctl.exe find: Winsock's broadcast search against three simulated modules. It broadcasts,
# so only where loopback is the only interface (the private namespace scripts/build-windows makes).
if [ "$(ip -o link show | wc -l)" != 1 ]; then
  echo "end-to-end: 3 passed, 0 failed, find skipped (not in a private network namespace)"
  exit 0
fi
for m in 1 2 3; do ip addr add "10.78.0.$m/32" dev lo 2>/dev/null || true; done
start_sim "$work/discover.log" "$sim" discover --generate 3 --timeout 30 || fail "the simulator did not start"
code=0
"$wine" "$ctl_exe" find --json --seconds 2 </dev/null >"$work/find.out" 2>&1 || code=$?
[ "$code" = 0 ] || fail "omblorctl.exe find ended with $code"
for m in 1 2 3; do
  grep -q "^{\"address\": \"10.78.0.$m\", \"platform\": \"QX19\"" "$work/find.out" ||
    fail "omblorctl.exe find did not list 10.78.0.$m"
done

echo "end-to-end: 4 passed, 0 failed"
