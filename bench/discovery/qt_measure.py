#!/usr/bin/env python3
"""One search of the Find dialog in the Qt host against N simulated modules.

Runs `module-sim discover` and bench-qt-find side by side inside the private network namespace
that run-qt.sh made. The simulator prints the arrival of the request and of each
acknowledgement on CLOCK_MONOTONIC; bench-qt-find prints how many modules the list and the Qt
tree hold and the worst gap between its 10 ms loop ticks.
"""
import argparse
import os
import re
import subprocess

from simulator import Simulator, ack_lateness


def run(bin_dir, modules, rate, relay, platform, seconds):
    sim_args = ["--generate", str(modules), "--timeout", str(seconds + 10), "--rate", str(rate)]
    if relay:
        sim_args.append("--relay")
    sim = Simulator(bin_dir, sim_args)
    env = dict(os.environ, QT_QPA_PLATFORM=platform)
    out = subprocess.run([os.path.join(bin_dir, "bench-qt-find"), str(seconds)], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                         timeout=seconds + 30).stdout
    sim.stop()
    _, last_sent_ms, acks = sim.search()
    m = re.search(r"records=(\d+) tree=(\d+) worst_gap_ms=([0-9.]+)", out)
    return {
        "records": int(m.group(1)) if m else -1, "tree": int(m.group(2)) if m else -1,
        "gap": float(m.group(3)) if m else None,
        "last_sent_ms": last_sent_ms,
        "acks": acks,
    }


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--bin", required=True)
    p.add_argument("--modules", type=int, default=16384)
    p.add_argument("--rate", type=int, default=80000)
    p.add_argument("--relay", action="store_true")
    p.add_argument("--platform", default="offscreen")
    p.add_argument("--seconds", type=int, default=6)
    p.add_argument("--label", default="")
    a = p.parse_args()
    r = run(a.bin, a.modules, a.rate, a.relay, a.platform, a.seconds)
    late = ack_lateness(r["acks"])
    sent = "%.0f ms" % r["last_sent_ms"] if r["last_sent_ms"] is not None else "-"
    print("%-34s listed %5d/%-5d tree %5d  last reply sent %-7s worst tick gap %s ms" %
          (a.label or "%d modules" % a.modules, r["records"], a.modules, r["tree"], sent,
           "%.1f" % r["gap"] if r["gap"] is not None else "-"))
    print("%-34s ack lateness %s" % ("", late))


if __name__ == "__main__":
    main()
