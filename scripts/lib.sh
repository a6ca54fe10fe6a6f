# shellcheck shell=bash
# Helpers the scripts share, sourced (`. scripts/lib.sh`), never run: the private network
# namespace that keeps broadcasts on this machine, starting the simulated module, the check of an
# installed tree, and the project's version. Defines functions and nothing else.

# The project's version, as CMakeLists.txt declares it.
project_version() {
  sed -n 's/^project(omblor VERSION \([0-9.]*\).*/\1/p' "$(dirname "${BASH_SOURCE[0]}")/../CMakeLists.txt"
}

# netns_run [--address A[/PREFIX]]... COMMAND [ARG...]
# Runs COMMAND in a network namespace of its own that vanishes with it: loopback only, up, with
# 10.77.0.9/32 (and each further address given) on it and the default route leading to it, so
# nothing leaves the machine, broadcasts included. Needs root (unshare).
netns_run() {
  local setup='ip link set lo up && ip addr add 10.77.0.9/32 dev lo'
  while [ "${1:-}" = --address ]; do
    # Spliced into the shell line below: only an address goes through.
    [[ $2 =~ ^[0-9]+(\.[0-9]+){3}(/[0-9]+)?$ ]] || { echo "netns_run: not an address: $2" >&2; return 2; }
    setup+=" && ip addr add $2 dev lo"
    shift 2
  done
  unshare --net sh -c "$setup"' && ip route add default dev lo && exec "$@"' sh "$@"
}

# netns_run's --address options for the modules of examples/demo_modules.txt, one a line: each
# module answers from an address of its own (the SOURCE column).
demo_module_addresses() {
  awk '!/^#/ && NF { print "--address"; print $8 }' "$(dirname "${BASH_SOURCE[0]}")/../examples/demo_modules.txt"
}

# netns_self [--address A[/PREFIX]]... "$0" "$@"
# For a script that broadcasts: the first time, runs the script again through netns_run and exits
# with its code; inside, returns, after refusing (exit 2) should any interface but lo be visible.
netns_self() {
  if [ "${OMBLOR_IN_NETNS:-}" != 1 ]; then
    local addresses=()
    while [ "${1:-}" = --address ]; do
      addresses+=("$1" "$2")
      shift 2
    done
    netns_run "${addresses[@]}" env OMBLOR_IN_NETNS=1 "$@"
    exit
  fi
  if [ "$(ip -o link show | awk -F': ' '{print $2}')" != lo ]; then
    echo "not in a private network namespace; refusing" >&2
    exit 2
  fi
}

# start_sim LOG PROGRAM [ARG...]
# Starts the simulated module PROGRAM (module-sim, or its discover role) in the background, its
# output in LOG, and waits until it says it is listening (at most 10 s). Sets sim_pid; returns 1,
# with the log on stderr, when it does not start.
start_sim() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 200); do
    grep -q '^listening' "$log" 2>/dev/null && return 0
    # Gone: a last look, in case it listened and ended between the two checks.
    kill -0 "$sim_pid" 2>/dev/null || { grep -q '^listening' "$log" && return 0; break; }
    sleep 0.05
  done
  echo "the simulated module did not start:" >&2
  cat "$log" >&2
  return 1
}

# check_install PREFIX
# What `cmake --install` lays out under PREFIX: every file in place, the desktop entry and the
# AppStream data valid, and the installed program answering with the project's version.
check_install() {
  local prefix=$1 f version
  for f in bin/omblor bin/omblorctl bin/module-sim share/man/man1/{omblor,omblorctl,module-sim}.1.gz \
    share/applications/omblor.desktop share/icons/hicolor/{16x16,32x32,48x48,256x256}/apps/omblor.png \
    share/icons/hicolor/scalable/apps/omblor.svg share/doc/omblor/{README.md,copyright,changelog.gz} \
    share/bash-completion/completions/omblorctl; do
    [ -s "$prefix/$f" ] || { echo "install check: $f missing" >&2; return 1; }
  done
  desktop-file-validate "$prefix/share/applications/omblor.desktop" || return 1
  appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml >/dev/null || return 1
  version=$(project_version)
  [ "$("$prefix/bin/omblor" --version)" = "omblor $version" ] ||
    { echo "install check: omblor --version is not 'omblor $version'" >&2; return 1; }
  echo "install check: ok"
}
