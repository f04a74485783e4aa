#!/usr/bin/env python3
"""What `make run` does without a display: the viewer draws its default model (tris.md2 in the build folder)
offscreen, with no X server, and saves that first frame with --screenshot, as BUILD_DIR/screenshots/screenshot.png.

A folder of its own, because a lone picture beside tris.md2 would be taken for the model's skin.

Usage: screenshot.py BUILD_DIR [--output FILE]"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import harness  # noqa: E402


def screenshot(build, output, timeout=60):
    """Runs the viewer to its end; returns (exit code, its error output)."""
    env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
    proc = harness.start(harness.viewer_command("--screenshot", output, build=build), cwd=build, env=env)
    try:
        _, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "the viewer did not end within %d s" % timeout
    finally:
        harness.stop(proc)
    return proc.returncode, err.decode(errors="replace")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--output", help="where to save the picture (default BUILD_DIR/screenshots/screenshot.png)")
    args = parser.parse_args(argv)
    build = os.path.abspath(args.build)
    output = os.path.abspath(args.output or os.path.join(build, "screenshots", "screenshot.png"))
    os.makedirs(os.path.dirname(output), exist_ok=True)
    code, err = screenshot(build, output)
    if code != 0:
        sys.stderr.write(err)
        print("screenshot.py: the viewer ended with %s; no screenshot" % code, file=sys.stderr)
        return 1
    print(output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
