#!/usr/bin/env python3
"""Runs every benchmark in one go and prints one table of ratios measured in this run.

Usage: bench/run.py [--build DIR] [--rounds N] [--load-repetitions N]

Loading: bench/loadBench.cpp (Google Benchmark) times the viewer's model start-up, reading the file whole
(the floor) and assimp's importer, interleaved at random; the table takes the median CPU time over the
repetitions (CPU time, since other work on a shared machine stretches wall time and not CPU time).
Frame loop, start-up and memory: the shipped viewer (brevant) and empty_loop (the same window, only clear and
swap) take turns, round after round, under one private Xvfb with Mesa's llvmpipe and vblank_mode=0. Both are
timed from outside by the same preload library, bench/frameReport.cpp, which wraps SDL_GL_SwapWindow and ends
the run with a quit event after --frames presents. Each ratio is the median of the rounds' ratios, so a burst
of load from elsewhere on the machine spoils one round rather than one side.

Start-up is CLOCK_MONOTONIC from just before this script starts the program (fork and exec included)
to the return of the program's first buffer swap, which the preload prints on stderr. Peak memory is the
"Maximum resident set size" that /usr/bin/time -v reports for a separate run of each program.
"""
import argparse
import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "support"))
import harness  # noqa: E402

RUN_TIMEOUT = 60


def machine(renderer, gl_version):
    cpu = "unknown"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mesa = re.search(r"Mesa [0-9][^ ]*", gl_version or "")
    return {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "nproc": str(os.cpu_count()),
        "cpu": cpu,
        "kernel": platform.release(),
        "mesa": mesa.group(0) if mesa else (gl_version or "unknown"),
        "renderer": renderer or "unknown",
        "load": "%.2f %.2f %.2f" % os.getloadavg(),
    }


def load_figures(build, repetitions):
    """Median real time in microseconds per benchmark name, e.g. 'brevant/dolphin.md2'."""
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([os.path.join(build, "load_bench"),
                        f"--benchmark_repetitions={repetitions}",
                        "--benchmark_enable_random_interleaving=true",
                        "--benchmark_min_time=0.05",
                        f"--benchmark_out={out.name}", "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)
        report = json.load(out)
    times = {}
    for entry in report["benchmarks"]:
        if entry.get("run_type") != "iteration":
            continue
        if entry.get("error_occurred"):
            raise SystemExit(f"bench: {entry['name']}: {entry.get('error_message')}")
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry["time_unit"]]
        times.setdefault(entry["run_name"], []).append(entry["cpu_time"] * scale)
    return {name: statistics.median(values) for name, values in times.items()}


def run_program(path, cwd, env):
    """One whole run: start-up in milliseconds, frames per second, and the program's stderr."""
    started = time.monotonic_ns()
    process = harness.start([path], cwd=cwd, env=env, stdout=subprocess.DEVNULL)
    try:
        _, err = process.communicate(timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        harness.stop(process)
        raise SystemExit(f"bench: {path} did not finish within {RUN_TIMEOUT} s")
    err = err.decode(errors="replace")
    first = re.search(r"^bench: first-present-ns (\d+)$", err, re.M)
    fps = re.search(r"^bench: fps ([0-9.]+)", err, re.M)
    if process.returncode != 0 or not first or not fps:
        raise SystemExit(f"bench: {path} failed (exit {process.returncode}):\n{err}")
    return (int(first.group(1)) - started) / 1e6, float(fps.group(1)), err


def peak_rss_kib(path, cwd, env):
    with tempfile.NamedTemporaryFile(mode="r", suffix=".txt") as report:
        subprocess.run(["/usr/bin/time", "-v", "-o", report.name, path], cwd=cwd, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=RUN_TIMEOUT)
        found = re.search(r"Maximum resident set size \(kbytes\): (\d+)", report.read())
    if not found:
        raise SystemExit(f"bench: /usr/bin/time gave no peak memory for {path}")
    return int(found.group(1))


def process_figures(build, rounds, frames):
    viewer = harness.viewer_command(build=build)[0]
    empty = os.path.join(build, "empty_loop")
    samples = {key: [] for key in ("startup", "fps", "rss")}
    ratios = {key: [] for key in ("startup", "fps", "rss")}
    renderer = gl_version = None
    with harness.Xvfb() as server:
        env = server.environment()
        env.update(vblank_mode="0", GALLIUM_DRIVER="llvmpipe", LIBGL_ALWAYS_SOFTWARE="1",
                   LD_PRELOAD=os.path.join(build, "frame_report.so"), BREVANT_BENCH_FRAMES=str(frames))
        for program in (empty, viewer):  # one unmeasured run each: caches warm, shaders compiled once
            run_program(program, build, env)
        for round_index in range(rounds):
            # Alternate who goes first, so neither always runs right after the other.
            order = (viewer, empty) if round_index % 2 == 0 else (empty, viewer)
            figures = {}
            for program in order:
                startup, fps, err = run_program(program, build, env)
                rss = peak_rss_kib(program, build, env)
                figures[program] = (startup, fps, rss)
                if program == empty:
                    renderer = re.search(r"^bench: renderer (.*)$", err, re.M).group(1)
                    gl_version = re.search(r"^bench: version (.*)$", err, re.M).group(1)
            for index, key in enumerate(("startup", "fps", "rss")):
                samples[key].append((figures[viewer][index], figures[empty][index]))
            ratios["startup"].append(figures[viewer][0] / figures[empty][0])
            ratios["fps"].append(figures[viewer][1] / figures[empty][1])
            ratios["rss"].append(figures[viewer][2] - figures[empty][2])
            print(f"bench: round {round_index + 1}/{rounds}: start-up {figures[viewer][0]:.1f} / "
                  f"{figures[empty][0]:.1f} ms, {figures[viewer][1]:.0f} / {figures[empty][1]:.0f} fps, "
                  f"{figures[viewer][2]} / {figures[empty][2]} KiB", file=sys.stderr)
    medians = {key: (statistics.median(v for v, _ in values), statistics.median(e for _, e in values))
               for key, values in samples.items()}
    return medians, {key: statistics.median(values) for key, values in ratios.items()}, renderer, gl_version


def table(load, medians, ratios):
    rows = []
    for model in ("dolphin.md2", "limits.md2"):
        ours = load[f"brevant/{model}"]
        floor = load[f"read/{model}"]
        peer = load[f"assimp/{model}"]
        rows.append((f"load {model}: brevant vs read floor", f"{ours:,.0f} us", f"{floor:,.0f} us",
                     f"{ours / floor:.2f} x", "< 2 x", ours / floor < 2))
        rows.append((f"load {model}: assimp vs brevant", f"{ours:,.0f} us", f"{peer:,.0f} us",
                     f"{peer / ours:.2f} x", ">= 5 x", peer / ours >= 5))
    viewer, empty = medians["fps"]
    rows.append(("frame loop: fps vs empty loop", f"{viewer:,.0f} fps", f"{empty:,.0f} fps",
                 f"{ratios['fps']:.2f} x", ">= 0.9 x", ratios["fps"] >= 0.9))
    viewer, empty = medians["startup"]
    rows.append(("start-up to first frame vs empty", f"{viewer:.1f} ms", f"{empty:.1f} ms",
                 f"{ratios['startup']:.2f} x", "<= 1.2 x", ratios["startup"] <= 1.2))
    viewer, empty = medians["rss"]
    rows.append(("peak memory vs empty", f"{viewer / 1024:.1f} MiB", f"{empty / 1024:.1f} MiB",
                 f"{ratios['rss'] / 1024:+.2f} MiB", "<= +2 MB", ratios["rss"] * 1024 <= 2e6))
    header = ("Measure", "Brevant", "Floor / peer", "Ratio", "Goal", "Met")
    cells = [header] + [row[:5] + ("yes" if row[5] else "NO",) for row in rows]
    widths = [max(len(row[i]) for row in cells) for i in range(len(header))]
    lines = ["| " + " | ".join(cell.ljust(width) for cell, width in zip(row, widths)) + " |" for row in cells]
    lines.insert(1, "|" + "|".join("-" * (width + 2) for width in widths) + "|")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build"))
    parser.add_argument("--rounds", type=int, default=9, help="rounds of the whole-process runs")
    parser.add_argument("--load-repetitions", type=int, default=9)
    parser.add_argument("--frames", type=int, default=1000,
                        help="frames each whole-process run presents; the rate is taken over all but the first 21")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    load = load_figures(build, args.load_repetitions)
    medians, ratios, renderer, gl_version = process_figures(build, args.rounds, args.frames)
    about = machine(renderer, gl_version)
    result = table(load, medians, ratios)
    print(f"Machine: {about['nproc']} x {about['cpu']}, {about['renderer']}, {about['mesa']}, "
          f"Linux {about['kernel']}; {about['date']}; load average at the end {about['load']}")
    print(result)
    return 0


if __name__ == "__main__":
    sys.exit(main())
