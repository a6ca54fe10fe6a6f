#!/usr/bin/env python3
"""Fleet benchmark: one `omblorctl update` run programs a 4 MiB image into 256 simulated modules
on 127.0.1.x at once (one `module-sim --modules 256`), beside a raw loopback transfer of the same
bytes to 256 receivers at once (raw_fanout.cpp), in the same run; then 1,000 modules with a
64 KiB image and --parallel 1000. Loopback only; every process has a time limit.

  aggregate throughput  modules x image bytes / omblorctl's whole run, against the raw fan-out
  peak RSS              of omblorctl, against the S-record file's size + 32 MiB

  python3 bench/fleet/bench.py [--build build] [--runs 3] [--modules 256] [--mib 4] [--many 1000]
                               [--report-only]
"""
import json
import random
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
import common  # noqa: E402
from common import image_bench  # noqa: E402

LIMIT = 300  # seconds any one process may take


def small_file(work: Path, kib: int) -> Path:
    path = work / f"img{kib}k_APP.s19"
    if not path.exists():
        records = image_bench.s3_records(random.Random(kib).randbytes(kib << 10))
        path.write_bytes(("S0" + image_bench.PLATFORM + "\r\n" + records + "S70500010000F9\r\n").encode())
    return path


def addresses(first: str, count: int):
    a, b, c, d = (int(x) for x in first.split("."))
    base = (a << 24) | (b << 16) | (c << 8) | d
    return [".".join(str((base + i) >> s & 255) for s in (24, 16, 8, 0)) for i in range(count)]


def fleet_run(bin_dir: Path, runstat: Path, work_dir: Path, s19: Path, length: int, first: str, count: int,
              parallel: int):
    """One omblorctl run against one simulator playing `count` modules: (wall s, peak RSS bytes)."""
    # The simulator's lines go to a file: a pipe read only at the end would fill, and a simulator
    # blocked on its output stops serving.
    log = work_dir / "sim.log"
    with open(log, "w") as out:
        sim = subprocess.Popen([str(bin_dir / "module-sim"), "--modules", str(count), "--address", first,
                                "--expect-length", str(length), "--timeout", str(LIMIT)],
                               stdout=out, text=True)
    for _ in range(200):
        if log.read_text().startswith("listening"):
            break
        time.sleep(0.05)
    else:
        sys.exit("module-sim did not start listening")
    proc = subprocess.run([str(runstat), str(bin_dir / "omblorctl"), "update", str(s19),
                           *addresses(first, count), "--json", "--parallel", str(parallel)],
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, timeout=LIMIT)
    sim.wait(timeout=LIMIT)
    report = log.read_text()
    lines = proc.stdout.splitlines()
    results = [json.loads(line) for line in lines[:-1]]
    bad = [r for r in results if r["outcome"] != "programmed" or r["bytes"] != length]
    if proc.returncode != 0 or sim.returncode != 0 or len(results) != count or bad:
        sys.exit(f"fleet run failed: omblorctl {proc.returncode}, module-sim {sim.returncode}, "
                 f"{len(results)} results, {len(bad)} not programmed {bad[:3]}\n{report[-2000:]}")
    wall, rss = lines[-1].split()
    return float(wall), int(rss)


def main():
    parser = common.parser(__doc__, runs=3, mib=4, work="/tmp/omblor-bench-fleet")
    parser.add_argument("--modules", type=int, default=256)
    parser.add_argument("--many", type=int, default=1000, help="modules of the 64 KiB run")
    args = parser.parse_args()
    bin_dir, work, runstat, raw, image, s19 = common.prepare(args, HERE / "raw_fanout.cpp")
    length = image.stat().st_size
    size = s19.stat().st_size
    total = args.modules * length

    raws, walls, rsss = [], [], []
    for _ in range(args.runs):
        raws.append(float(subprocess.run([str(raw), str(image), str(args.modules), "127.0.1.1", "20134"],
                                         check=True, stdout=subprocess.PIPE, timeout=LIMIT).stdout))
        wall, rss = fleet_run(bin_dir, runstat, work, s19, length, "127.0.1.1", args.modules,
                              args.modules)
        walls.append(wall)
        rsss.append(rss)

    small = small_file(work, 64)
    many_wall, many_rss = fleet_run(bin_dir, runstat, work, small, 64 << 10, "127.1.0.1", args.many,
                                    args.many)

    med = statistics.median
    raw_s, wall_s, rss = med(raws), med(walls), max(rsss)
    print(f"{args.modules} modules x {args.mib} MiB ({size / 1e6:.1f} MB of S-record text), "
          f"{args.runs} runs, medians")
    print(f"{'':40}{'seconds':>9}{'MB/s':>9}{'peak RSS MiB':>14}")
    print(f"{'raw loopback fan-out':40}{raw_s:9.3f}{total / 1e6 / raw_s:9.0f}")
    print(f"{'omblorctl update, whole run':40}{wall_s:9.3f}{total / 1e6 / wall_s:9.0f}{rss / 2**20:14.1f}")
    print(f"{f'{args.many} modules x 64 KiB, --parallel {args.many}':40}{many_wall:9.3f}"
          f"{args.many * 65536 / 1e6 / many_wall:9.0f}{many_rss / 2**20:14.1f}")
    print()
    target = common.Targets(44, 26)

    ratio = raw_s / wall_s
    target("aggregate throughput / raw fan-out", ratio >= 0.7, f"{ratio:.2f}x (>= 0.70x)")
    target("peak RSS vs file size + 32 MiB", rss <= size + (32 << 20),
           f"+{(rss - size) / 2**20:.1f} MiB (<= +32 MiB)")
    target(f"{args.many} modules all programmed", True, f"{args.many}/{args.many}")
    return common.exit_code(args, target.ok)


if __name__ == "__main__":
    sys.exit(main())
