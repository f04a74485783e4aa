#!/usr/bin/env python3
"""What `make run` does without a display: runs the viewer under a private Xvfb, holds Z until the model is in
view, and saves a PNG of the window as BUILD_DIR/screenshot.png.

Usage: screenshot.py BUILD_DIR [--seconds S]"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import harness  # noqa: E402


def screenshot(build, seconds, output):
    """Raises RuntimeError when the viewer shows nothing to save; returns the viewer's exit code."""
    with harness.Xvfb(harness.WIDTH, harness.HEIGHT) as server:
        env = server.environment()
        proc = harness.start(harness.viewer_command(build=build), cwd=build, env=env)
        try:
            wid = harness.find_window(env, harness.VIEWER_TITLE, timeout=20)
            if wid is None:
                raise RuntimeError("the viewer's window did not appear")
            start = time.monotonic()
            if harness.wait_for_picture(env, wid) is None:
                raise RuntimeError("the viewer drew nothing")
            harness.frame_model(env, wid, timeout=20)
            time.sleep(max(0.0, seconds - (time.monotonic() - start)))
            result = subprocess.run(["import", "-silent", "-window", str(wid), output], env=env,
                                    capture_output=True, timeout=30)
            if result.returncode != 0:
                raise RuntimeError(result.stderr.decode(errors="replace"))
        finally:
            code = harness.stop(proc)
    return code


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--seconds", type=float, default=4.0, help="how long the viewer runs before the picture")
    args = parser.parse_args(argv)
    build = os.path.abspath(args.build)
    output = os.path.join(build, "screenshot.png")
    try:
        screenshot(build, args.seconds, output)
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        print("screenshot.py: %s" % error, file=sys.stderr)
        return 1
    print(output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
