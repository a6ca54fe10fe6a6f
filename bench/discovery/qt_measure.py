#!/usr/bin/env python3
"""One search of the Find dialog in the Qt host against N simulated modules.

Runs module-sim-discovery and bench-qt-find side by side inside the private network namespace
that run-qt.sh made. The simulator prints the arrival of the request and of each
acknowledgement on CLOCK_MONOTONIC; bench-qt-find prints how many modules the list and the Qt
tree hold and the worst gap between its 10 ms loop ticks.
"""
import argparse
import os
import re
import signal
import subprocess
import threading


def run(bin_dir, modules, rate, relay, platform, seconds):
    sim_args = [os.path.join(bin_dir, "module-sim-discovery"), "--generate", str(modules),
                "--timeout", str(seconds + 10), "--rate", str(rate)]
    if relay:
        sim_args.append("--relay")
    sim = subprocess.Popen(sim_args, stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    if not line.startswith("listening"):
        raise SystemExit("simulator did not start: " + line)
    sim_lines = []
    reader = threading.Thread(target=lambda: sim_lines.extend(l.rstrip("\n") for l in sim.stdout),
                              daemon=True)
    reader.start()
    env = dict(os.environ, QT_QPA_PLATFORM=platform)
    out = subprocess.run([os.path.join(bin_dir, "bench-qt-find"), str(seconds)], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                         timeout=seconds + 30).stdout
    sim.send_signal(signal.SIGTERM)
    sim.wait()
    reader.join(2)

    def at(prefix):
        for l in sim_lines:
            if l.startswith(prefix):
                return float(re.search(r" at ([0-9.]+)$", l).group(1)), l
        return None, None

    t0, _ = at("request 1 ")
    done, _ = at("answered request 1:")
    acks = []
    for i in (1, 2, 3):
        t, l = at("acknowledgement %d " % i)
        entries = int(re.search(r"entries=(\d+)", l).group(1)) if l else -1
        acks.append((t - t0 - 1500 * i if t is not None and t0 is not None else None, entries))
    m = re.search(r"records=(\d+) tree=(\d+) worst_gap_ms=([0-9.]+)", out)
    return {
        "records": int(m.group(1)) if m else -1, "tree": int(m.group(2)) if m else -1,
        "gap": float(m.group(3)) if m else None,
        "last_sent_ms": done - t0 if done is not None and t0 is not None else None,
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
    late = ", ".join("%+.1f ms (%d entries)" % (l, e) if l is not None else "missing"
                     for l, e in r["acks"])
    sent = "%.0f ms" % r["last_sent_ms"] if r["last_sent_ms"] is not None else "-"
    print("%-34s listed %5d/%-5d tree %5d  last reply sent %-7s worst tick gap %s ms" %
          (a.label or "%d modules" % a.modules, r["records"], a.modules, r["tree"], sent,
           "%.1f" % r["gap"] if r["gap"] is not None else "-"))
    print("%-34s ack lateness %s" % ("", late))


if __name__ == "__main__":
    main()
