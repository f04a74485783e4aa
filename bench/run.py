#!/usr/bin/env python3
"""Runs every benchmark in one go and prints one table of ratios measured in this run.

Usage: bench/run.py [--build DIR] [--rounds N] [--load-repetitions N] [--playback-rounds N] [--export-rounds N]
       [--info-pairs N] [--picture-rounds N] [--archive-rounds N]

Loading: bench/loadBench.cpp (Google Benchmark) times the viewer's model start-up, reading the file whole
(the floor) and assimp's importer, interleaved at random; the table takes the median CPU time over the
repetitions (CPU time, since other work on a shared machine stretches wall time and not CPU time).
Frame loop, start-up and memory: the shipped viewer (brevant) and empty_loop (the same window, only clear and
swap) take turns, round after round, under one private Xvfb with Mesa's llvmpipe and vblank_mode=0. Both are
timed from outside by the same preload library, bench/frameReport.cpp, which wraps SDL_GL_SwapWindow and ends
the run with a quit event after --frames presents. Each ratio is the median of the rounds' ratios, so a burst
of load from elsewhere on the machine spoils one round rather than one side.

Playback: the shipped viewer on the limits model (bench/limits.md2, 512 keyframes) with --no-skin and
--max-frame-rate 0 (flat out, paused or not), playing its one animation against paused on keyframe 0 (--frame 0),
round after round in turns, under the same preload; the
ratio is the median of the rounds' ratios. Heap allocations per frame come from one further run of each with
BREVANT_BENCH_ATTRIBUTE=1, in which the preload also counts malloc and its kin over the timed frames and puts
each call down to the program's own code or to a library (GL driver, SDL, Xlib).

Idle: the same model as a user runs it, without a frame cap given: the share of one core from /proc/PID/stat over
5 s, paused and untouched (it waits for events), and playing (at most 120 frames a second).

Export: bench/exportBench.py, a 198-keyframe model to .glb against `assimp export` of one keyframe, and a batch
of 200 models: models a second and peak memory.

--info: bench/infoBench.py, `brevant --info` on a 198-keyframe model against `assimp info` on the same file,
whole processes in turns.
Archives: bench/archiveBench.py, --info of a generated 1,000-model .pk3 (time and peak memory), and one model with
its skin opened from inside it against the same files extracted.

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
sys.path.insert(0, os.path.join(SOURCE_DIR, "bench"))
import harness  # noqa: E402
from archiveBench import archive_figures, archive_rows  # noqa: E402
from exportBench import export_figures, export_rows  # noqa: E402
from infoBench import info_figures, info_rows  # noqa: E402
from pictureBench import picture_figures, picture_rows  # noqa: E402

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


def run_program(path, cwd, env, args=()):
    """One whole run: start-up in milliseconds, frames per second, and the program's stderr."""
    started = time.monotonic_ns()
    process = harness.start([path, *args], cwd=cwd, env=env, stdout=subprocess.DEVNULL)
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


def allocations_per_frame(err):
    """(by the program's own code, by everything) per timed frame, from an attributing run's stderr."""
    every = re.search(r"^bench: allocations (\d+) over (\d+) frames$", err, re.M)
    program = re.search(r"^bench: program allocations (\d+) over (\d+) frames$", err, re.M)
    if not every or not program:
        raise SystemExit(f"bench: no allocation counts in:\n{err}")
    return int(program.group(1)) / int(program.group(2)), int(every.group(1)) / int(every.group(2))


def playback_figures(build, rounds, frames):
    """Playing against paused on the limits model: median fps of each, the median ratio, and allocations per
    frame (program's, all) of each."""
    viewer = harness.viewer_command(build=build)[0]
    model = os.path.join(build, "bench", "limits.md2")
    # Flat out, paused or not: the figures are the drawing's cost, not the idle loop's pacing.
    modes = {"playing": ["--max-frame-rate", "0", "--no-skin", model],
             "paused": ["--max-frame-rate", "0", "--no-skin", "--frame", "0", model]}
    fps = {mode: [] for mode in modes}
    ratios = []
    with harness.Xvfb() as server:
        env = server.environment()
        env.update(vblank_mode="0", GALLIUM_DRIVER="llvmpipe", LIBGL_ALWAYS_SOFTWARE="1",
                   LD_PRELOAD=os.path.join(build, "frame_report.so"), BREVANT_BENCH_FRAMES=str(frames))
        # The attributing runs come first and also serve as each mode's unmeasured warm-up run.
        attributing = dict(env, BREVANT_BENCH_ATTRIBUTE="1")
        allocations = {mode: allocations_per_frame(run_program(viewer, build, attributing, args)[2])
                       for mode, args in modes.items()}
        for round_index in range(rounds):
            order = ("playing", "paused") if round_index % 2 == 0 else ("paused", "playing")
            figures = {mode: run_program(viewer, build, env, modes[mode])[1] for mode in order}
            for mode, rate in figures.items():
                fps[mode].append(rate)
            ratios.append(figures["playing"] / figures["paused"])
            print(f"bench: playback round {round_index + 1}/{rounds}: {figures['playing']:.0f} fps playing, "
                  f"{figures['paused']:.0f} fps paused", file=sys.stderr)
    return ({mode: statistics.median(values) for mode, values in fps.items()}, statistics.median(ratios),
            allocations)


def cpu_seconds(pid):
    """User plus system time of a process, from /proc/PID/stat."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_figures(build, seconds=5.0):
    """The share of one core the viewer uses on the limits model as users run it (no frame cap given): paused
    and untouched, and playing."""
    viewer = harness.viewer_command(build=build)[0]
    model = os.path.join(build, "bench", "limits.md2")
    modes = {"paused": ["--no-skin", "--frame", "0", model], "playing": ["--no-skin", model]}
    shares = {}
    with harness.Xvfb() as server:
        env = server.environment()
        env.update(GALLIUM_DRIVER="llvmpipe", LIBGL_ALWAYS_SOFTWARE="1")
        for mode, args in modes.items():
            process = harness.start([viewer, *args], cwd=build, env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            try:
                time.sleep(2.0)  # start-up and the first frames are not idling
                start = cpu_seconds(process.pid)
                time.sleep(seconds)
                shares[mode] = (cpu_seconds(process.pid) - start) / seconds
            finally:
                harness.stop(process)
            print(f"bench: {mode}: {100 * shares[mode]:.1f} % of a core", file=sys.stderr)
    return shares


def table(load, medians, ratios, playback, exports, infos, pictures, archives, idle):
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
    playback_fps, playback_ratio, allocations = playback
    rows.append(("limits.md2: fps playing vs paused", f"{playback_fps['playing']:,.0f} fps",
                 f"{playback_fps['paused']:,.0f} fps", f"{playback_ratio:.2f} x", ">= 0.9 x", playback_ratio >= 0.9))
    for mode in ("playing", "paused"):
        own, every = allocations[mode]
        rows.append((f"limits.md2 {mode}: heap allocations a frame", f"{own:.2f} own", f"{every:.1f} in all",
                     "-", "0 own", own == 0))
    rows.append(("limits.md2 paused, untouched: processor share", f"{100 * idle['paused']:.1f} % of a core", "-",
                 "-", "< 2 %", idle["paused"] < 0.02))
    rows.append(("limits.md2 playing (120 fps cap): processor share", f"{100 * idle['playing']:.1f} % of a core",
                 "-", "-", "-", True))
    viewer, empty = medians["startup"]
    rows.append(("start-up to first frame vs empty", f"{viewer:.1f} ms", f"{empty:.1f} ms",
                 f"{ratios['startup']:.2f} x", "<= 1.2 x", ratios["startup"] <= 1.2))
    viewer, empty = medians["rss"]
    rows.append(("peak memory vs empty", f"{viewer / 1024:.1f} MiB", f"{empty / 1024:.1f} MiB",
                 f"{ratios['rss'] / 1024:+.2f} MiB", "<= +2 MB", ratios["rss"] * 1024 <= 2e6))
    rows += export_rows(exports)
    rows += info_rows(infos)
    rows += picture_rows(pictures)
    rows += archive_rows(archives)
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
    parser.add_argument("--playback-rounds", type=int, default=5, help="rounds of playing against paused")
    parser.add_argument("--export-rounds", type=int, default=5, help="rounds of --export against assimp export")
    parser.add_argument("--info-pairs", type=int, default=20, help="pairs of --info against assimp info")
    parser.add_argument("--picture-rounds", type=int, default=9, help="rounds of --thumbnail and --screenshot")
    parser.add_argument("--archive-rounds", type=int, default=5, help="rounds of a model in an archive against extracted")
    parser.add_argument("--frames", type=int, default=1000,
                        help="frames each whole-process run presents; the rate is taken over all but the first 21")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    load = load_figures(build, args.load_repetitions)
    medians, ratios, renderer, gl_version = process_figures(build, args.rounds, args.frames)
    playback = playback_figures(build, args.playback_rounds, args.frames)
    exports = export_figures(build, args.export_rounds)
    infos = info_figures(build, args.info_pairs)
    pictures = picture_figures(build, args.picture_rounds)
    archives = archive_figures(build, args.archive_rounds)
    idle = idle_figures(build)
    about = machine(renderer, gl_version)
    result = table(load, medians, ratios, playback, exports, infos, pictures, archives, idle)
    print(f"Machine: {about['nproc']} x {about['cpu']}, {about['renderer']}, {about['mesa']}, "
          f"Linux {about['kernel']}; {about['date']}; load average at the end {about['load']}")
    print(result)
    return 0


if __name__ == "__main__":
    sys.exit(main())
