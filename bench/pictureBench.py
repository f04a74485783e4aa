#!/usr/bin/env python3
"""Pictures without a display: --thumbnail 256 of a typical model (a textured torus of 1,000 vertices) as a file
manager starts it, one fresh process per file, plain and inside a bwrap sandbox that shows only the one file; and
--screenshot drawn offscreen against the same drawn through the SDL window under Xvfb.

Usage: pictureBench.py [--build BUILD] [--rounds N]"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "support"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "bench"))
import harness  # noqa: E402
from exportBench import skin_tga, torus_md2  # noqa: E402


def without_display():
    env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["LIBGL_ALWAYS_SOFTWARE"] = "1"
    return env


CPU_SECONDS = {}  # command's first word and mode -> processor seconds of each run, user and system


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, cwd, env, label=None):
    """Wall seconds of one run; its processor seconds go to CPU_SECONDS[label] (a busy machine stretches the
    wall time, not these)."""
    cpu = children_cpu()
    started = time.monotonic()
    subprocess.run(command, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=120)
    wall = time.monotonic() - started
    if label:
        CPU_SECONDS.setdefault(label, []).append(children_cpu() - cpu)
    return wall


def sandboxed(program_folder, model, out_folder):
    return [shutil.which("bwrap"), "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib",
            "--symlink", "usr/lib64", "/lib64", "--symlink", "usr/bin", "/bin", "--proc", "/proc", "--dev", "/dev",
            "--tmpfs", "/tmp", "--ro-bind", program_folder, "/opt/brevant", "--ro-bind", model, "/tmp/in.md2",
            "--bind", out_folder, "/tmp/out", "--chdir", "/", "--unshare-all", "--die-with-parent", "--clearenv",
            "--setenv", "LIBGL_ALWAYS_SOFTWARE", "1",
            "/opt/brevant/brevant", "--thumbnail", "256", "/tmp/in.md2", "/tmp/out/thumb.png"]


def picture_figures(build, rounds):
    brevant = os.path.join(build, "brevant")
    figures = {}
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "torus.md2"), "wb") as out:
            out.write(torus_md2(40, 25))
        with open(os.path.join(folder, "torus.tga"), "wb") as out:
            out.write(skin_tga())
        env = without_display()
        thumbnail = [brevant, "--thumbnail", "256", "torus.md2", "thumb.png"]
        timed(thumbnail, folder, env)  # warms the caches
        figures["thumbnail"] = statistics.median(timed(thumbnail, folder, env, "thumbnail") for _ in range(rounds))

        if shutil.which("bwrap"):
            program = os.path.join(folder, "program")
            os.mkdir(program)
            shutil.copy(brevant, program)
            out_folder = os.path.join(folder, "out")
            os.mkdir(out_folder)
            command = sandboxed(program, os.path.join(folder, "torus.md2"), out_folder)
            timed(command, folder, {})
            figures["sandbox"] = statistics.median(timed(command, folder, {}) for _ in range(rounds))

        shot = [brevant, "--frame", "0", "--screenshot", "shot.png", "torus.md2"]
        offscreen, window = [], []
        with harness.Xvfb() as server:
            window_env = dict(server.environment(), BREVANT_PICTURE_WINDOW="1", LIBGL_ALWAYS_SOFTWARE="1")
            timed(shot, folder, window_env)
            timed(shot, folder, env)
            for index in range(rounds):
                pair = [(offscreen, env), (window, window_env)]
                for samples, run_env in (pair if index % 2 == 0 else pair[::-1]):
                    label = "offscreen" if samples is offscreen else "window"
                    samples.append(timed(shot, folder, run_env, label))
        figures["offscreen"] = statistics.median(offscreen)
        figures["window"] = statistics.median(window)
    for label, values in CPU_SECONDS.items():
        figures[label + "_cpu"] = statistics.median(values)
    return figures


def picture_rows(figures):
    rows = [("--thumbnail 256: a file, fresh process", f"{figures['thumbnail'] * 1000:,.0f} ms",
             f"{figures['thumbnail_cpu'] * 1000:,.0f} ms CPU", "-", "<= 300 ms", figures["thumbnail"] <= 0.3)]
    if "sandbox" in figures:
        # bwrap's own child in the new PID namespace is not counted among ours, so no processor time here.
        rows.append(("--thumbnail 256 inside bwrap", f"{figures['sandbox'] * 1000:,.0f} ms", "-", "-", "<= 300 ms",
                     figures["sandbox"] <= 0.3))
    ours, peer = figures["offscreen"], figures["window"]
    rows.append(("--screenshot offscreen vs under Xvfb", f"{ours * 1000:,.0f} ms", f"{peer * 1000:,.0f} ms",
                 f"{ours / peer:.2f} x", "<= 1 x", ours <= peer))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build"))
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    for row in picture_rows(picture_figures(os.path.abspath(args.build), args.rounds)):
        print(" | ".join(str(cell) for cell in row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
