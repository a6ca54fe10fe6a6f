#!/usr/bin/env python3
"""Update benchmark: programs a 64 MiB image into the simulated module on loopback with
`omblor -A` and sets it beside a raw loopback transfer of the same bytes and `omblorctl image
convert` of the same file, all measured on this machine in this run.

  transfer phase   from the module's 103 line to the last image byte at the module (the
                   simulator's image-ms), against the raw transfer
  whole run        `omblor -A` from start to exit, against convert + raw transfer
  peak RSS         of `omblor`, against the file size

  python3 bench/update/bench.py [--build build] [--mib 64] [--runs 5] [--report-only]
"""
import re
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
import common  # noqa: E402
from common import image_bench  # noqa: E402


def main():
    args = common.parser(__doc__, runs=5, mib=64, work="/tmp/omblor-bench-update").parse_args()
    bin_dir, work, runstat, raw, image, s19 = common.prepare(args, HERE / "raw_copy.cpp")
    size = s19.stat().st_size
    length = image.stat().st_size

    raws, converts, wholes, transfers, rsss = [], [], [], [], []
    for run in range(args.runs):
        raws.append(float(subprocess.run([str(raw), str(image)], check=True, stdout=subprocess.PIPE).stdout))
        out = work / f"convert{run}.bin"
        wall, _ = image_bench.run_once(runstat, [str(bin_dir / "omblorctl"), "image", "convert", str(s19), str(out)])
        converts.append(wall)
        out.unlink()

        received = work / "received.bin"
        sim = subprocess.Popen([str(bin_dir / "module-sim"), "--address", "127.0.0.1", "--expect-length", str(length),
                                "--save-image", str(received), "--timeout", "120"],
                               stdout=subprocess.PIPE, text=True)
        assert sim.stdout.readline().startswith("listening")
        with tempfile.TemporaryDirectory() as hive:
            proc = subprocess.run([str(runstat), str(bin_dir / "omblor"), "-A", f"-F{s19}", "-I127.0.0.1"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True,
                                  env={"OMBLOR_UI": "console", "OMBLOR_HKLM": f"{hive}/HKLM.reg", "PATH": "/usr/bin:/bin"})
        report = sim.communicate(timeout=120)[0]
        if proc.returncode != 0 or sim.returncode != 0:
            sys.exit(f"update failed: omblor {proc.returncode}, module-sim {sim.returncode}\n{proc.stdout}\n{report}")
        if not image_bench.same(image, received):
            sys.exit("the module received a different image")
        received.unlink()
        wall, rss = proc.stdout.split()[-2:]
        wholes.append(float(wall))
        rsss.append(int(rss))
        transfers.append(float(re.search(r"image-ms=([0-9.]+)", report).group(1)) / 1000)

    med = statistics.median
    raw_s, convert_s, whole_s, transfer_s = med(raws), med(converts), med(wholes), med(transfers)
    rss = max(rsss)
    mb = length / 1e6
    print(f"image {args.mib} MiB ({size / 1e6:.0f} MB of S-record text), {args.runs} runs, medians")
    print(f"{'':28}{'seconds':>10}{'MB/s':>10}")
    print(f"{'raw loopback transfer':28}{raw_s:10.3f}{mb / raw_s:10.0f}")
    print(f"{'omblor transfer phase':28}{transfer_s:10.3f}{mb / transfer_s:10.0f}")
    print(f"{'omblorctl image convert':28}{convert_s:10.3f}")
    print(f"{'omblor -A whole run':28}{whole_s:10.3f}")
    print()
    targets = common.Targets(40, 28)

    def target(name, value, limit, text):
        targets(name, value <= limit, text)

    target("transfer phase / raw transfer", transfer_s / raw_s, 1.3, f"{transfer_s / raw_s:.2f}x (<= 1.30x)")
    budget = convert_s + raw_s + 0.100
    target("whole run vs convert + raw + 100 ms", whole_s, budget, f"{whole_s:.3f} s (<= {budget:.3f} s)")
    target("peak RSS vs file size + 16 MiB", rss, size + (16 << 20),
           f"+{(rss - size) / (1 << 20):.1f} MiB (<= +16 MiB)")
    return common.exit_code(args, targets.ok)


if __name__ == "__main__":
    sys.exit(main())
