#!/usr/bin/env python3
"""Chaos benchmark: one `omblorctl update --retries 2 --retry-delay 1` run against 1,000 simulated
modules (one `module-sim --modules 1000` with a variations file) of which a fifth misbehave, each
in a way drawn at random (seeded): refuse their first connection, close at a random byte of the
image every time, stay silent, drip their lines a byte at a time, or send lines of noise. Then
it checks the run:

  every module ends once, with the outcome and attempts its script dictates (refused first:
    programmed after 2; cut off: receive error after 3; silent: timed out after 3; dripping and
    noisy: programmed after 1), and the simulator agrees every connection went as scripted
  the --log file holds one line per attempt
  open descriptors of omblorctl (sampled from /proc/PID/fd) stay within --parallel + 16
  peak RSS of omblorctl stays within the S-record file's size + 32 MiB
  the run ends within 5 s of the slowest scripted module (a silent one: three 30 s silences
    and two retry delays)

Runs inside a private network namespace or on 127.0.0.0/8 only; every process has a time limit.

  python3 bench/fleet/chaos.py [--build build] [--modules 1000] [--parallel 64] [--kib 64]
                               [--seed 1] [--report-only]
"""
import argparse
import collections
import json
import os
import random
import signal
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import bench as fleet  # noqa: E402

LIMIT = 300  # seconds any one process may take
SILENCE = 31.0  # the tool gives up after 30 ticks of 1 s without a line; one tick of slack
RETRY_DELAY = 1.0  # --retry-delay: 1 s, then 2 s, each stretched by up to a quarter
FD_SLACK = 16  # descriptors besides the connections: stdio, the file, the log, the loop's own
# The bytes of the plain exchange's lines (100, 102, 103, four progress lines, 105, 106), for the
# time a dripping module takes.
EXCHANGE_BYTES = 23 + 17 + 16 + 4 * 17 + 13 + 26
STEPS = ["platform", "header", "image", "progress", "reboot"]


def retry_delays(retries: int) -> float:
    return sum(RETRY_DELAY * 2 ** i * 1.25 for i in range(retries))


def scripts(count: int, length: int, seed: int):
    """Per module: (variation options, expected outcome, expected attempts, latest end in s)."""
    rng = random.Random(seed)
    plan = [([], "programmed", 1, 0.0) for _ in range(count)]
    kinds = ["refuse first", "cut", "silent", "drip", "noise"]
    rng.shuffle(kinds)
    # A fifth misbehave, the kinds taking turns so even a small run has each.
    chosen = {index: kinds[n % len(kinds)] for n, index in enumerate(rng.sample(range(count), count // 5))}
    for index, kind in chosen.items():
        if kind == "refuse first":
            plan[index] = (["--close-at", "platform", "--faulty", "1"], "programmed", 2, retry_delays(1))
        elif kind == "cut":
            plan[index] = (["--close-in-image", str(rng.randrange(length)), "--connections", "3"],
                           "receive error", 3, retry_delays(2))
        elif kind == "silent":
            plan[index] = (["--silent-at", rng.choice(STEPS), "--connections", "3"], "timed out", 3,
                           3 * SILENCE + retry_delays(2))
        elif kind == "drip":
            ms = rng.randint(10, 60)
            plan[index] = (["--drip", str(ms)], "programmed", 1, EXCHANGE_BYTES * ms / 1000)
        else:
            plan[index] = ([f"--garbage={rng.choice(STEPS + ['complete'])}={rng.randint(1, 5)}"],
                           "programmed", 1, 0.0)
    return plan, collections.Counter(chosen.values())


def open_fds(pid: int) -> int:
    try:
        return len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return 0


def run(args, bin_dir: Path, work: Path, s19: Path, length: int):
    first = "127.2.0.1"
    addresses = fleet.addresses(first, args.modules)
    plan, kinds = scripts(args.modules, length, args.seed)
    variations = work / "chaos-variations.txt"
    variations.write_text("".join(f"{a} {' '.join(p[0])}\n" for a, p in zip(addresses, plan) if p[0]))
    log = work / "chaos.log"
    log.unlink(missing_ok=True)
    sim_log = work / "chaos-sim.log"
    with open(sim_log, "w") as out:
        sim = subprocess.Popen([str(bin_dir / "module-sim"), "--modules", str(args.modules), "--address", first,
                                "--variations", str(variations), "--expect-length", str(length),
                                "--timeout", str(LIMIT)], stdout=out, text=True)
    for _ in range(400):
        if sim_log.read_text().startswith("listening") or sim.poll() is not None:
            break
        time.sleep(0.05)
    if not sim_log.read_text().startswith("listening"):
        sim.kill()
        sys.exit("module-sim did not start listening:\n" + sim_log.read_text()[-2000:])

    results_file = work / "chaos-results.jsonl"
    start = time.monotonic()
    with open(results_file, "w") as out:
        tool = subprocess.Popen([str(bin_dir / "omblorctl"), "update", str(s19), *addresses, "--retries", "2",
                                 "--retry-delay", "1", "--parallel", str(args.parallel), "--json",
                                 "--log", str(log)],
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    peak_fds = 0
    status, usage = None, None
    while status is None:
        peak_fds = max(peak_fds, open_fds(tool.pid))
        pid, code, rusage = os.wait4(tool.pid, os.WNOHANG)
        if pid == tool.pid:
            status, usage = code, rusage
        elif time.monotonic() - start > LIMIT:
            tool.kill()
        else:
            time.sleep(0.02)
    wall = time.monotonic() - start
    tool.returncode = os.waitstatus_to_exitcode(status)
    try:
        sim.wait(timeout=30)
    except subprocess.TimeoutExpired:
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=30)

    results = [json.loads(line) for line in results_file.read_text().splitlines() if line.strip()]
    attempts = [json.loads(line) for line in log.read_text().splitlines()] if log.exists() else []
    return dict(plan=plan, kinds=kinds, addresses=addresses, results=results, attempts=attempts, wall=wall,
                rss=usage.ru_maxrss * 1024, fds=peak_fds, code=tool.returncode, sim_code=sim.returncode,
                sim_summary=(sim_log.read_text().splitlines() or [""])[-1])


def judge(r):
    """The modules that did not end as scripted, each with what went wrong."""
    expected = dict(zip(r["addresses"], r["plan"]))
    seen = {}
    wrong = []
    for result in r["results"]:
        address = result.get("address")
        if address in seen:
            wrong.append(f"{address}: reported twice")
        seen[address] = result
        if address not in expected:
            wrong.append(f"{address}: not one of the modules")
            continue
        _, outcome, attempts, _ = expected[address]
        if result.get("outcome") != outcome or result.get("attempts", 1) != attempts:
            wrong.append(f"{address}: {result.get('outcome')} after {result.get('attempts')} attempts, "
                         f"scripted {outcome} after {attempts}")
    wrong += [f"{a}: lost" for a in r["addresses"] if a not in seen]
    return wrong


def judge_log(r):
    """Whether the log holds exactly one line per attempt of every module, and why not."""
    if not r["attempts"]:
        return False, "no log written"
    want = {(a, n) for a, p in zip(r["addresses"], r["plan"]) for n in range(1, p[2] + 1)}
    got = [(line.get("address"), line.get("attempt")) for line in r["attempts"]]
    if len(got) != len(set(got)) or set(got) != want or any("outcome" not in line for line in r["attempts"]):
        return False, f"{len(got)} lines for {len(want)} attempts"
    return True, f"{len(got)} lines, one per attempt"


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default=str(fleet.common.ROOT / "build"))
    p.add_argument("--work", default="/tmp/omblor-bench-chaos")
    p.add_argument("--modules", type=int, default=1000)
    p.add_argument("--parallel", type=int, default=64)
    p.add_argument("--kib", type=int, default=64)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--report-only", action="store_true",
                   help="show the targets but end with 0 whether the figures are met or not")
    args = p.parse_args()
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    s19 = fleet.small_file(work, args.kib)
    length = args.kib << 10
    r = run(args, Path(args.build) / "bin", work, s19, length)

    slowest = max(p[3] for p in r["plan"])
    size = s19.stat().st_size
    wrong = judge(r)
    log_ok, log_text = judge_log(r)
    faulty = sum(r["kinds"].values())
    print(f"chaos run: {args.modules} modules x {args.kib} KiB, {faulty} misbehaving "
          f"({', '.join(f'{n} {k}' for k, n in sorted(r['kinds'].items()))}), --parallel {args.parallel}, "
          f"seed {args.seed}")
    print(f"omblorctl exit {r['code']}, {len(r['results'])} results; module-sim exit {r['sim_code']}: "
          f"{r['sim_summary']}")
    for line in wrong[:10]:
        print(f"  {line}")
    print()
    target = fleet.common.Targets(44, 34)

    target("modules ended once, as scripted", not wrong, f"{args.modules - len(wrong)}/{args.modules}")
    target("simulator: every connection as scripted", r["sim_code"] == 0, f"exit {r['sim_code']}")
    target("log: one line per attempt", log_ok, log_text)
    target("open descriptors vs --parallel + 16", r["fds"] <= args.parallel + FD_SLACK,
           f"{r['fds']} (<= {args.parallel + FD_SLACK})")
    target("peak RSS vs file size + 32 MiB", r["rss"] <= size + (32 << 20),
           f"+{(r['rss'] - size) / 2**20:.1f} MiB (<= +32 MiB)")
    target("whole run vs slowest scripted module + 5 s", r["wall"] <= slowest + 5,
           f"{r['wall']:.1f} s (<= {slowest + 5:.1f} s)")
    # Modules lost, doubled or mixed up are a wrong run, not a missed figure: --report-only
    # does not pass them.
    if wrong or r["sim_code"] != 0:
        return 1
    return 0 if target.ok or args.report_only else 1


if __name__ == "__main__":
    sys.exit(main())
