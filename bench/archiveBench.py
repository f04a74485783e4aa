#!/usr/bin/env python3
"""Archive figures for `make bench` (bench/run.py imports this; it also runs alone).

A generated .pk3 of 1,000 models of a Quake II player's size (198 keyframes, 500 vertices), deflated, each with
a 256 x 256 skin at its game path: about 250 MB. --info of the whole archive: wall time and the peak memory
/usr/bin/time -v reports. Opening one model with its skin from inside the archive against the same two files
extracted to a folder: whole runs of --screenshot (start, first frame drawn and written, exit) under a private
Xvfb, taken in turns; the ratio of the medians.

Usage: bench/archiveBench.py [--build DIR] [--rounds N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from exportBench import peak_kib, skin_tga, timed, torus_md2  # noqa: E402

MODELS = 1000


def write_archive(path):
    """Four distinct models, each copy made different by its own skin name, so no two entries are alike."""
    bases = [torus_md2(25, 20, seed=i) for i in range(4)]
    skin = skin_tga()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for i in range(MODELS):
            folder = "models/set%02d/m%04d" % (i // 50, i)
            data = bytearray(bases[i % 4])
            name = ("%s/skin.tga" % folder).encode().ljust(64, b"\0")
            data[68:132] = name
            archive.writestr(folder + "/tris.md2", bytes(data))
            if i % 100 == 0:
                archive.writestr(folder + "/skin.tga", skin)
    return "models/set10/m0500"


def archive_figures(build, rounds):
    brevant = os.path.join(build, "brevant")
    with tempfile.TemporaryDirectory() as folder:
        pk3 = os.path.join(folder, "pak0.pk3")
        inner = write_archive(pk3)
        size = os.path.getsize(pk3)
        info = [brevant, "--info", pk3]
        timed(info, folder)  # warms the page cache
        info_seconds = statistics.median(timed(info, folder) for _ in range(max(rounds, 1)))
        info_peak = peak_kib(info, folder)

        extracted = os.path.join(folder, "extracted")
        with zipfile.ZipFile(pk3) as archive:
            for name in (inner + "/tris.md2", inner + "/skin.tga"):
                archive.extract(name, extracted)
        with harness.Xvfb() as server:
            env = server.environment()
            env.update(GALLIUM_DRIVER="llvmpipe", LIBGL_ALWAYS_SOFTWARE="1")
            commands = {"archive": [brevant, pk3 + "/" + inner + "/tris.md2", "--screenshot", "a.png"],
                        "folder": [brevant, os.path.join(extracted, inner, "tris.md2"), "--screenshot", "f.png"]}
            runs = {"archive": [], "folder": []}
            for index in range(rounds + 1):
                order = ("archive", "folder") if index % 2 == 0 else ("folder", "archive")
                for who in order:
                    seconds = timed_in(commands[who], folder, env)
                    if index > 0:
                        runs[who].append(seconds)
    return {"bytes": size, "info": info_seconds, "info_peak_kib": info_peak,
            "archive": statistics.median(runs["archive"]), "folder": statistics.median(runs["folder"])}


def timed_in(command, cwd, env):
    started = time.monotonic()
    subprocess.run(command, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)
    return time.monotonic() - started


def archive_rows(figures):
    size = figures["bytes"] / 2**20
    info, peak = figures["info"], figures["info_peak_kib"]
    ours, floor = figures["archive"], figures["folder"]
    return [(f"--info of {MODELS} models in a {size:,.0f} MiB .pk3", f"{info * 1000:,.0f} ms", "-", "-", "<= 1 s",
             info <= 1.0),
            ("--info of the archive: peak memory", f"{peak / 1024:.1f} MiB", "-", "-", "<= 64 MB",
             peak * 1024 <= 64e6),
            ("one model and skin: in the archive vs extracted", f"{ours * 1000:,.0f} ms", f"{floor * 1000:,.0f} ms",
             f"{ours / floor:.2f} x", "<= 1.1 x", ours / floor <= 1.1)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))), "build"))
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    figures = archive_figures(os.path.abspath(args.build), args.rounds)
    for row in archive_rows(figures):
        print(" | ".join(str(cell) for cell in row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
