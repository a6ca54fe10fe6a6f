"""What the loopback benches share: the image bench's generator, the small C++ helpers they
compile, and the options and preparation each of them starts with."""
import argparse
import importlib.util
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def _load(name: str, path: Path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


image_bench = _load("image_bench", ROOT / "bench" / "image" / "bench.py")


def compile_helper(source: Path, out: Path):
    if not out.exists() or out.stat().st_mtime < source.stat().st_mtime:
        subprocess.run(["g++", "-O2", "-std=c++20", "-o", str(out), str(source)], check=True)


def parser(doc: str, runs: int, mib: int, work: str) -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default=str(ROOT / "build"))
    p.add_argument("--runs", type=int, default=runs)
    p.add_argument("--mib", type=int, default=mib)
    p.add_argument("--work", default=work)
    # For CI on a shared machine, where times say nothing: the run itself is what is checked.
    p.add_argument("--report-only", action="store_true",
                   help="show the targets but end with 0 whether they are met or not")
    return p


def prepare(args, helper_source: Path):
    """The work folder, runstat, the bench's own helper compiled from helper_source, and an
    image of args.mib MiB with its S-record file: (bin_dir, work, runstat, helper, image, s19)."""
    bin_dir = Path(args.build) / "bin"
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    runstat = work / "runstat"
    helper = work / helper_source.stem
    compile_helper(ROOT / "bench" / "image" / "runstat.cpp", runstat)
    compile_helper(helper_source, helper)
    image, s19, _ = image_bench.generate(work, args.mib)
    return bin_dir, work, runstat, helper, image, s19


class Targets:
    """Prints one line per target, met or MISSED, and remembers whether every one was met."""

    def __init__(self, name_width: int, text_width: int):
        self.ok = True
        self.name_width = name_width
        self.text_width = text_width

    def __call__(self, name: str, met: bool, text: str):
        self.ok = self.ok and met
        print(f"{name:{self.name_width}}{text:>{self.text_width}}  {'met' if met else 'MISSED'}")


def exit_code(args, met: bool) -> int:
    return 0 if met or args.report_only else 1
