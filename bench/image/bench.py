#!/usr/bin/env python3
"""Times S-record to binary conversion: omblor-image convert beside objcopy, srec_cat and a bare
in-place decoder built here (the practical limit), on random images of 1, 16 and 64 MiB at base
0x10000 written as S3 records of 32 data bytes with CR LF. Every tool's output is compared with
the generated image before its time counts.

  bench/image/bench.py [--sizes 1,16,64] [--runs N] [--tool PATH] [--work DIR]
  bench/image/bench.py --memory-states [--sizes 64] [--runs 5] [--churn-mb 400]

--memory-states times omblor-image against the bare decoder (ordinary and huge pages) in
rounds, each tool once a round, first on a warm machine and then with CHURN_MB of file data
written just before every single run (the state right after other programs wrote a few hundred
MB); the churn file goes in the work folder and is deleted after each run. It reports median
and worst of the rounds as ratios to the bare decoder with ordinary pages.

Needs python3, a C++ compiler, binutils (objcopy) and srecord (srec_cat)."""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
BASE = 0x10000
PLATFORM = "QX19"


def s3_records(image: bytes) -> str:
    lines = []
    for offset in range(0, len(image), 32):
        chunk = image[offset:offset + 32]
        address = BASE + offset
        count = len(chunk) + 5
        total = count + sum(address.to_bytes(4, "big")) + sum(chunk)
        lines.append("S3%02X%08X%s%02X\r\n" % (count, address, chunk.hex().upper(), 0xFF - (total & 0xFF)))
    return "".join(lines)


def hex_s0(name: str) -> str:
    body = b"\0\0" + name.encode()
    count = len(body) + 1
    return "S0%02X%s%02X\r\n" % (count, body.hex().upper(), 0xFF - ((count + sum(body)) & 0xFF))


def generate(work: Path, mib: int):
    """The image, the file as Omblor reads it (plain S0 name) and the same records under a
    hex-encoded S0, which is all objcopy and srec_cat accept."""
    image_path = work / f"img{mib}.bin"
    plain_path = work / f"img{mib}_APP.s19"
    hex_path = work / f"img{mib}_hexS0.s19"
    if not (image_path.exists() and plain_path.exists() and hex_path.exists()):
        image = random.Random(mib).randbytes(mib << 20)
        records = s3_records(image)
        image_path.write_bytes(image)
        plain_path.write_bytes(("S0" + PLATFORM + "\r\n" + records + "S70500010000F9\r\n").encode())
        hex_path.write_bytes((hex_s0(PLATFORM) + records + "S70500010000F9\r\n").encode())
    return image_path, plain_path, hex_path


def run_once(runstat: Path, argv):
    proc = subprocess.run([str(runstat)] + argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed ({proc.returncode}): {proc.stderr.decode(errors='replace')}")
    # The tools print nothing on stdout when they succeed; runstat's line is the last.
    wall, rss = proc.stdout.decode().split()[-2:]
    return float(wall), int(rss)


def same(a: Path, b: Path, skip_b: int = 0) -> bool:
    return subprocess.run(["cmp", "-s", "-i", f"0:{skip_b}", str(a), str(b)]).returncode == 0


def churn(work: Path, mib: int):
    """Writes mib MiB of data to a file of the work folder, as another program would; the caller
    deletes it. Not synced: the page cache holds it, partly dirty, as after a build or a copy."""
    path = work / "churn.bin"
    block = random.Random(7).randbytes(1 << 20)
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(block)
    return path


def memory_states(tool: str, bare: Path, runstat: Path, work: Path, sizes, runs: int, churn_mb: int):
    for mib in sizes:
        image_path, plain_path, _ = generate(work, mib)
        text_bytes = plain_path.stat().st_size
        out = work / "out.bin"
        tools = [
            ("omblor-image", [tool, "convert", str(plain_path), str(out)]),
            ("bare", [str(bare), str(plain_path), str(out)]),
            ("bare huge pages", [str(bare), "--huge", str(plain_path), str(out)]),
        ]
        print(f"\n{mib} MiB image, {text_bytes / 1e6:.1f} MB of text, {runs} rounds, each tool once a round")
        print(f"{'state':<6} {'tool':<16} {'median s':>9} {'worst s':>8} {'median/bare':>12} {'worst/bare':>11} {'RSS-file MiB':>13}")
        for state in ("warm", "churn"):
            walls = {name: [] for name, _ in tools}
            rss = {name: 0 for name, _ in tools}
            for _ in range(runs):
                for name, argv in tools:
                    if out.exists():
                        out.unlink()
                    written = churn(work, churn_mb) if state == "churn" else None
                    try:
                        wall, peak = run_once(runstat, argv)
                    finally:
                        if written is not None:
                            written.unlink()
                    if not same(image_path, out):
                        sys.exit(f"{name}: output differs from the image")
                    walls[name].append(wall)
                    rss[name] = max(rss[name], peak)
            base_median = statistics.median(walls["bare"])
            base_worst = max(walls["bare"])
            for name, _ in tools:
                median, worst = statistics.median(walls[name]), max(walls[name])
                print(f"{state:<6} {name:<16} {median:9.3f} {worst:8.3f} {median / base_median:11.2f}x "
                      f"{worst / base_worst:10.2f}x {(rss[name] - text_bytes) / 2**20:13.1f}")


def main():
    sys.stdout.reconfigure(line_buffering=True)
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", default="1,16,64")
    parser.add_argument("--runs", type=int, default=0, help="runs per tool (default 5, 3 for 64 MiB)")
    parser.add_argument("--tool", default=None, help="omblor-image to time")
    parser.add_argument("--work", default="/tmp/omblor-bench-image")
    parser.add_argument("--memory-states", action="store_true",
                        help="omblor-image and the bare decoder, warm and after churn")
    parser.add_argument("--churn-mb", type=int, default=400)
    args = parser.parse_args()

    tool = args.tool
    if tool is None:
        for candidate in ("build/bin/omblor-image", "build-image/bin/omblor-image"):
            if (ROOT / candidate).exists():
                tool = str(ROOT / candidate)
                break
    if tool is None or not Path(tool).exists():
        sys.exit("omblor-image not found: build it or pass --tool")
    for needed in ("objcopy", "srec_cat", "cmp", "c++"):
        if shutil.which(needed) is None:
            sys.exit(f"{needed} is missing (Debian: binutils, srecord, diffutils, g++)")

    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    bare = work / "bare_decoder"
    runstat = work / "runstat"
    for program in (bare, runstat):
        subprocess.run(["c++", "-O2", "-o", str(program), str(HERE / (program.name + ".cpp"))], check=True)

    print(f"omblor-image: {tool}")
    if args.memory_states:
        sizes = [int(x) for x in args.sizes.split(",")] if args.sizes != "1,16,64" else [64]
        memory_states(tool, bare, runstat, work, sizes, args.runs or 5, args.churn_mb)
        return
    header = f"{'size':>6} {'tool':<16} {'median s':>9} {'MB/s':>8} {'peak RSS MiB':>13} {'RSS-file MiB':>13}"
    for mib in (int(s) for s in args.sizes.split(",")):
        image_path, plain_path, hex_path = generate(work, mib)
        text_bytes = plain_path.stat().st_size
        runs = args.runs or (3 if mib >= 64 else 5)
        out = work / "out.bin"
        tools = [
            ("omblor-image", [tool, "convert", str(plain_path), str(out)], 0),
            ("objcopy", ["objcopy", "-I", "srec", "-O", "binary", str(hex_path), str(out)], 0),
            ("srec_cat", ["srec_cat", str(hex_path), "-motorola", "-o", str(out), "-binary"], BASE),
            ("bare", [str(bare), str(plain_path), str(out)], 0),
            ("bare huge pages", [str(bare), "--huge", str(plain_path), str(out)], 0),
        ]
        print(f"\n{mib} MiB image, {text_bytes / 1e6:.1f} MB of text, {runs} runs each")
        print(header)
        results = {}
        for name, argv, skip in tools:
            walls, rss = [], 0
            for _ in range(runs):
                # Every tool creates a new file: replacing one makes ext4 flush it first.
                if out.exists():
                    out.unlink()
                wall, peak = run_once(runstat, argv)
                walls.append(wall)
                rss = max(rss, peak)
            # srec_cat writes absolute addresses: its file starts with BASE zero bytes.
            if not same(image_path, out, skip):
                sys.exit(f"{name}: output differs from the image")
            median = statistics.median(walls)
            results[name] = (median, rss)
            print(f"{mib:>4}Mi {name:<16} {median:9.3f} {text_bytes / median / 1e6:8.0f} "
                  f"{rss / 2**20:13.1f} {(rss - text_bytes) / 2**20:13.1f}")
        ours, ours_rss = results["omblor-image"]
        print(f"  omblor-image / bare          {ours / results['bare'][0]:5.2f}x  (target <= 1.25x)")
        print(f"  omblor-image / bare huge     {ours / results['bare huge pages'][0]:5.2f}x")
        print(f"  objcopy / omblor-image       {results['objcopy'][0] / ours:5.2f}x  (target >= 3x)")
        print(f"  srec_cat / omblor-image      {results['srec_cat'][0] / ours:5.2f}x  (target >= 15x)")
        print(f"  omblor-image peak RSS - file {(ours_rss - text_bytes) / 2**20:5.1f} MiB  (target <= 8 MiB)")


if __name__ == "__main__":
    main()
