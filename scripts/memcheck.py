#!/usr/bin/env python3
"""Runs the real viewer under valgrind's memcheck on a private Xvfb for a few hundred frames, with the model in
view, then quits it with Esc. Passes when memcheck reports no error and no definite leak in the project's own
code: a leak is ours when the allocator's caller is in one of the project's source folders. Errors that belong to Mesa, SDL or the C library are suppressed in tests/sanitizer/valgrind.supp.

Usage: memcheck.py BUILD_DIR [--frames N] [--model PATH] [--font PATH]
Frames are counted from the frame-rate readout, which changes every 21 frames: the count is a lower bound."""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import harness  # noqa: E402

SOURCE_FOLDERS = ("app", "scene", "model", "text", "base", "res")
# valgrind names each frame's file from the source folder down (--fullpath-after), so the folder tells whose
# code it is; a library's frames keep their bare file names or name no file at all.
OWN_SOURCES = re.compile(r"\((?:%s)/[^():]+:\d+\)" % "|".join(SOURCE_FOLDERS))
FRAMES_PER_READOUT = 21


def leak_blocks(text):
    """Each 'definitely lost' record of the log, as its lines."""
    blocks, current = [], None
    for line in text.splitlines():
        body = line.split("== ", 1)[-1] if line.startswith("==") else line
        if "definitely lost in loss record" in body:
            current = []
            blocks.append(current)
        elif current is not None:
            if not body.strip():
                current = None
            else:
                current.append(body)
    return blocks


def allocated_by_own_code(block):
    """Ours when the caller of the allocator is the project's code; a library leaking inside a call that
    main makes (SDL_Init keeping a D-Bus message, say) is the library's."""
    for index, line in enumerate(block):
        if re.search(r"\b(malloc|calloc|realloc|operator new|operator new\[\])\b", line):
            caller = block[index + 1] if index + 1 < len(block) else ""
            if OWN_SOURCES.search(caller):
                return True
    return False


def readout(img):
    """The bottom-left rows where the frame-rate readout is drawn, as bytes to compare."""
    width, height, data = img
    rows = []
    for y in range(height - 16, height):
        start = (y * width) * 3
        rows.append(data[start:start + 120 * 3])
    return b"".join(rows)


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--model", default=None)
    parser.add_argument("--font", default=None)
    parser.add_argument("--timeout", type=float, default=900)
    args = parser.parse_args(argv)
    build = os.path.abspath(args.build)
    log = os.path.join(build, "memcheck.log")
    deadline = time.monotonic() + args.timeout

    with harness.Xvfb() as server, tempfile.TemporaryDirectory() as tmp:
        env = server.environment()
        folder = harness.make_run_dir(tmp, model=args.model or harness.DEFAULT, font=args.font or harness.DEFAULT,
                                      build=build)
        command = ["valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
                   "--show-leak-kinds=definite", "--errors-for-leak-kinds=none", "--num-callers=30",
                   "--fullpath-after=" + harness.SOURCE_DIR.rstrip("/") + "/",
                   "--suppressions=" + os.path.join(harness.SOURCE_DIR, "tests", "sanitizer", "valgrind.supp"),
                   "--log-file=" + log, os.path.join(build, "brevant")]
        proc = harness.start(command, cwd=folder, env=env)
        frames = 0
        try:
            wid = harness.find_window(env, harness.VIEWER_TITLE, timeout=max(1, deadline - time.monotonic()))
            if wid is None:
                print("memcheck: the viewer's window did not appear", file=sys.stderr)
                return 1
            if harness.wait_for_picture(env, wid, timeout=max(1, deadline - time.monotonic())) is None:
                print("memcheck: the viewer drew nothing", file=sys.stderr)
                return 1
            harness.frame_model(env, wid, timeout=max(1, min(300, deadline - time.monotonic())))
            last = readout(harness.grab(env, wid))
            while frames < args.frames and time.monotonic() < deadline:
                time.sleep(0.5)
                current = readout(harness.grab(env, wid))
                if current != last:
                    frames += FRAMES_PER_READOUT
                    last = current
            harness.press_key(env, wid, "Escape")
            try:
                proc.wait(timeout=max(30, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                print("memcheck: Esc did not end the viewer", file=sys.stderr)
                return 1
        finally:
            code = harness.stop(proc)

    with open(log, errors="replace") as handle:
        text = handle.read()
    summary = re.findall(r"ERROR SUMMARY: (\d+) errors", text)
    own_leaks = [block for block in leak_blocks(text) if allocated_by_own_code(block)]
    print("memcheck: at least %d frames drawn; exit code %s; %s; log %s"
          % (frames, code, summary[-1] + " errors" if summary else "no summary", log))
    if frames < args.frames:
        print("memcheck: only %d of %d frames before the time ran out" % (frames, args.frames), file=sys.stderr)
        return 1
    if code != 0 or not summary or summary[-1] != "0" or own_leaks:
        for block in own_leaks:
            print("\n".join(block), file=sys.stderr)
        print("memcheck: errors reported; see %s" % log, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
