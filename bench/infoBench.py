#!/usr/bin/env python3
"""--info figures for `make bench` (bench/run.py imports this; it also runs alone).

`brevant --info` on a generated 198-keyframe, 1,000-vertex model against `assimp info` (Debian's assimp-utils)
on the same file, both as whole processes, taken in turns; the ratio is the median of the pairs' ratios, so a
burst of load from elsewhere spoils one pair rather than one side.

Usage: bench/infoBench.py [--build DIR] [--pairs N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from exportBench import torus_md2  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=60)
    return time.perf_counter() - start


def info_figures(build, pairs):
    """Median seconds of each side and the median of the pairs' ratios; None where assimp is absent."""
    brevant = os.path.join(build, "brevant")
    with tempfile.TemporaryDirectory(prefix="brevant-info-bench-") as folder:
        with open(os.path.join(folder, "player.md2"), "wb") as out:
            out.write(torus_md2(25, 40))
        try:
            timed(["assimp", "info", "player.md2"], folder)
        except (OSError, subprocess.CalledProcessError):
            return None
        timed([brevant, "--info", "player.md2"], folder)  # warm the page cache for both
        ours, theirs, ratios = [], [], []
        for index in range(pairs):
            sides = [("brevant", [brevant, "--info", "player.md2"]), ("assimp", ["assimp", "info", "player.md2"])]
            if index % 2:
                sides.reverse()
            took = {name: timed(command, folder) for name, command in sides}
            ours.append(took["brevant"])
            theirs.append(took["assimp"])
            ratios.append(took["brevant"] / took["assimp"])
        return statistics.median(ours), statistics.median(theirs), statistics.median(ratios)


def info_rows(figures):
    if figures is None:
        return [("--info 198 keyframes vs assimp info", "-", "assimp absent", "-", "<= 1.0 x", False)]
    ours, theirs, ratio = figures
    return [("--info 198 keyframes vs assimp info", f"{ours * 1000:.1f} ms", f"{theirs * 1000:.1f} ms",
             f"{ratio:.2f} x", "<= 1.0 x", ratio <= 1.0)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build"))
    parser.add_argument("--pairs", type=int, default=20)
    args = parser.parse_args()
    for row in info_rows(info_figures(os.path.abspath(args.build), args.pairs)):
        print(" | ".join(str(cell) for cell in row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
