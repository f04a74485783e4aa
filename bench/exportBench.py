#!/usr/bin/env python3
"""Export figures for `make bench` (bench/run.py imports this; it also runs alone).

One model: a generated 198-keyframe, 1,000-vertex model with a 256 x 256 skin written to .glb by brevant
--export (every keyframe and animation), against `assimp export` (Debian's assimp-utils) of the same file to
OBJ, which keeps one keyframe; the median wall time of whole runs, taken in turns.
Batch: 200 generated models of a Quake II player's size (198 keyframes, 500 vertices) into a folder in one
brevant run: models a second, and the peak memory /usr/bin/time -v reports.

Usage: bench/exportBench.py [--build DIR] [--rounds N]
"""
import argparse
import math
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

# A Quake II player's 198 keyframes, run by run.
PLAYER_RUNS = (("stand", 40, 2), ("run", 6, 1), ("attack", 8, 1), ("pain1", 4, 2), ("pain2", 4, 2),
               ("pain3", 4, 2), ("jump", 6, 1), ("flip", 12, 2), ("salute", 11, 2), ("taunt", 17, 2),
               ("wave", 11, 2), ("point", 12, 2), ("crstnd", 19, 2), ("crwalk", 6, 1), ("crattak", 9, 1),
               ("crpain", 4, 1), ("crdeath", 5, 1), ("death1", 6, 2), ("death2", 6, 2), ("death3", 8, 2))


def frame_names():
    names = []
    for prefix, count, digits in PLAYER_RUNS:
        names += ["%s%0*d" % (prefix, digits, i + 1) for i in range(count)]
    return names


def torus_md2(rings, tubes, seed=0):
    """A rippling torus of rings x tubes vertices, two triangles a cell, every keyframe different."""
    names = frame_names()
    vertices = rings * tubes
    texcoords = b"".join(struct.pack("<2h", r * 255 // rings, t * 255 // tubes)
                         for r in range(rings) for t in range(tubes))
    triangles = b""
    for r in range(rings):
        for t in range(tubes):
            a, b = r * tubes + t, ((r + 1) % rings) * tubes + t
            c, d = r * tubes + (t + 1) % tubes, ((r + 1) % rings) * tubes + (t + 1) % tubes
            triangles += struct.pack("<6h", a, b, c, a, b, c) + struct.pack("<6h", c, b, d, c, b, d)
    frames = b""
    for k, name in enumerate(names):
        packed = bytearray()
        for r in range(rings):
            for t in range(tubes):
                u, v = 2 * math.pi * r / rings, 2 * math.pi * t / tubes
                tube = 0.3 + 0.05 * math.sin(3 * u + 0.2 * k + seed)
                x, y, z = ((1 + tube * math.cos(v)) * math.cos(u), (1 + tube * math.cos(v)) * math.sin(u),
                           tube * math.sin(v))
                packed += bytes((int((x + 1.5) * 85), int((y + 1.5) * 85), int((z + 1.5) * 85), (r + t) % 162))
        frames += struct.pack("<3f3f16s", 0.3, 0.3, 0.3, -38.0, -38.0, -38.0, name.encode()) + packed
    skins = b"torus.tga".ljust(64, b"\0")
    # One GL command, the list's terminator, after the frames: assimp refuses frames that end at the file's end.
    commands = struct.pack("<i", 0)
    offsets = [68]
    for block in (skins, texcoords, triangles, frames, commands):
        offsets.append(offsets[-1] + len(block))
    ofs_skins, ofs_texcoords, ofs_triangles, ofs_frames, ofs_commands, ofs_end = offsets
    header = struct.pack("<4s16i", b"IDP2", 8, 256, 256, 40 + 4 * vertices, 1, vertices, vertices,
                         2 * vertices, 1, len(names), ofs_skins, ofs_texcoords, ofs_triangles, ofs_frames,
                         ofs_commands, ofs_end)
    return header + skins + texcoords + triangles + frames + commands


def skin_tga(side=256):
    """A 24-bit TGA with detail, so its PNG does not shrink to nothing."""
    header = struct.pack("<BBB5sHHHHBB", 0, 0, 2, b"\0" * 5, 0, 0, side, side, 24, 0)
    pixels = bytes((x * 7 + y * 3) % 256 if c == 0 else (x ^ y) % 256 if c == 1 else (x * y) % 256
                   for y in range(side) for x in range(side) for c in range(3))
    return header + pixels


def timed(command, cwd):
    started = time.monotonic()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    return time.monotonic() - started


def peak_kib(command, cwd):
    with tempfile.NamedTemporaryFile(mode="r", suffix=".txt") as report:
        subprocess.run(["/usr/bin/time", "-v", "-o", report.name, *command], cwd=cwd, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report.read()).group(1))


def export_figures(build, rounds):
    brevant = os.path.join(build, "brevant")
    assimp = shutil.which("assimp")
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "torus.md2"), "wb") as out:
            out.write(torus_md2(40, 25))
        with open(os.path.join(folder, "torus.tga"), "wb") as out:
            out.write(skin_tga())
        ours, peer = [], []
        for index in range(rounds + 1):
            pair = [("ours", [brevant, "--export", "torus.glb", "torus.md2"]),
                    ("peer", [assimp, "export", "torus.md2", "torus.obj"])]
            for who, command in (pair if index % 2 == 0 else pair[::-1]):
                seconds = timed(command, folder)
                if index > 0:  # the first round only warms the caches
                    (ours if who == "ours" else peer).append(seconds)
        glb_size = os.path.getsize(os.path.join(folder, "torus.glb"))

        batch = os.path.join(folder, "batch")
        models = []
        for i in range(200):
            path = os.path.join(batch, "m%03d" % (i // 50), "model%03d.md2" % i)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if i < 4:
                data = torus_md2(25, 20, seed=i)
                first = data
            with open(path, "wb") as out:
                out.write(data if i < 4 else first)
            models.append(os.path.relpath(path, folder))
        command = [brevant, "--export", "out/", "--no-skin", *models]
        batch_seconds = []
        for _ in range(max(rounds // 2, 1)):
            shutil.rmtree(os.path.join(folder, "out"), ignore_errors=True)
            batch_seconds.append(timed(command, folder))
        shutil.rmtree(os.path.join(folder, "out"), ignore_errors=True)
        peak = peak_kib(command, folder)
    return {"glb": statistics.median(ours), "assimp": statistics.median(peer), "glb_bytes": glb_size,
            "batch_rate": 200 / statistics.median(batch_seconds), "batch_peak_kib": peak}


def export_rows(figures):
    ours, peer = figures["glb"], figures["assimp"]
    rate, peak = figures["batch_rate"], figures["batch_peak_kib"]
    return [("export 198 keyframes to .glb vs assimp, 1", f"{ours * 1000:,.0f} ms", f"{peer * 1000:,.0f} ms",
             f"{ours / peer:.2f} x", "<= 1 x", ours <= peer),
            ("export batch of 200: models a second", f"{rate:,.0f} /s", "-", "-", ">= 100 /s", rate >= 100),
            ("export batch of 200: peak memory", f"{peak / 1024:.1f} MiB", "-", "-", "< 100 MB",
             peak * 1024 < 100e6)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                                        "build"))
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    figures = export_figures(os.path.abspath(args.build), args.rounds)
    for row in export_rows(figures):
        print(" | ".join(str(cell) for cell in row))
    print(f"torus.glb: {figures['glb_bytes']:,} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
