#!/usr/bin/env python3
"""One discovery search against N simulated modules, timed from outside the tool.

Runs `module-sim discover` and omblor (console host) side by side, inside the private network
namespace that run.sh made. Times are CLOCK_MONOTONIC milliseconds, the clock the simulator
prints, so its "request" and "acknowledgement" lines line up with the dumps read here.
"""
import argparse
import os
import subprocess
import tempfile
import time

from simulator import Simulator, ack_lateness


def now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


def run(bin_dir, modules, rate, poll_ms, answer_acks):
    sim_args = ["--generate", str(modules), "--timeout", "30", "--rate", str(rate)]
    if answer_acks:
        sim_args += ["--answer-acks", "missing"]
    sim = Simulator(bin_dir, sim_args)

    # The search ends 4.5 s after the request; poll the tree while replies come, then once more
    # after the last acknowledgement.
    script = "click 1004\n"
    if poll_ms > 0:
        script += ("wait %d\ndump\n" % poll_ms) * (1500 // poll_ms)
        script += "wait %d\ndump\n" % (5000 - 1500)
    else:
        script += "wait 5000\ndump\n"
    script += "cancel\nok\n"
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, OMBLOR_UI="console", OMBLOR_HKLM=os.path.join(tmp, "HKLM.reg"))
        tool = subprocess.Popen([os.path.join(bin_dir, "omblor")], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, text=True, env=env)
        tool.stdin.write(script)
        tool.stdin.close()
        dumps = []  # (time of its last line, items)
        items = None
        for l in tool.stdout:
            t = now_ms()
            if l.startswith('1 button enabled "OK"') or l.startswith("[end 129"):
                if items is not None:
                    dumps.append((last, items))
                items = 0 if l.startswith("1 button") else None
            elif items is not None and l.startswith("item "):
                items += 1
            last = t
        tool.wait(timeout=30)
    sim.stop()

    t0, last_sent_ms, acks = sim.search()
    listed = max((n for _, n in dumps), default=0)
    first_full = next((t for t, n in dumps if n == listed), None)
    # The operator's actions go through the same loop: a dump due every poll_ms that comes late
    # means the dialog was busy.
    polled = [t for t, _ in dumps][: max(0, 1500 // poll_ms)] if poll_ms > 0 else []
    gaps = [b - a - poll_ms for a, b in zip(polled, polled[1:])]
    return {
        "modules": modules, "rate": rate, "poll": poll_ms,
        "listed": listed,
        "listed_ms": (first_full - t0) if first_full and t0 else None,
        "last_sent_ms": last_sent_ms,
        "acks": acks, "summary": sim.summary(),
        "dump_late": max(gaps) if gaps else None,
    }


def show(label, r):
    late = ack_lateness(r["acks"])
    # Only a polled tree says when the last one came; a single late read says nothing of it.
    polled = r["poll"] > 0 and r["listed"] > 0 and r["listed_ms"] is not None
    listed_ms = "%.0f ms" % r["listed_ms"] if polled else "-"
    sent_ms = "%.0f ms" % r["last_sent_ms"] if r["last_sent_ms"] is not None else "-"
    print("%-26s listed %4d/%-4d  last listed by %-8s last reply sent %-8s ack lateness %s"
          % (label, r["listed"], r["modules"], listed_ms, sent_ms, late))
    extra = ""
    if r["dump_late"] is not None:
        extra = "  dumps at most %.1f ms late" % r["dump_late"]
    print("%-26s %s%s" % ("", r["summary"], extra))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--bin", required=True)
    p.add_argument("--modules", type=int, default=2000)
    p.add_argument("--rate", type=int, default=20000)
    p.add_argument("--poll", type=int, default=50, help="ms between dumps while replies come")
    p.add_argument("--label", default="")
    p.add_argument("--answer-acks", action="store_true")
    a = p.parse_args()
    show(a.label or "%d modules" % a.modules, run(a.bin, a.modules, a.rate, a.poll, a.answer_acks))


if __name__ == "__main__":
    main()
