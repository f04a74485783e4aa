#!/usr/bin/env python3
"""Starts a private Xvfb for a test and ends it by its PID; also runs a command under one.

Usage as a wrapper: xvfb.py [--timeout SECONDS] -- command args...
"""
import os
import signal
import subprocess
import sys
import time


class Xvfb:
    """A private X server on a free display number, picked by the server itself (-displayfd)."""

    def __init__(self, width=1024, height=768):
        self.width = width
        self.height = height
        self.process = None
        self.display = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{self.width}x{self.height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        with os.fdopen(read_end, "rb") as reader:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = reader.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.__exit__(None, None, None)
            raise RuntimeError("Xvfb did not report a display number")
        self.display = ":" + number.decode().strip()
        return self

    def environment(self, base=None):
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.display
        return env

    def __exit__(self, *exc):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return False


def main(argv):
    timeout = 600.0
    if argv[:1] == ["--timeout"]:
        timeout = float(argv[1])
        argv = argv[2:]
    if argv[:1] != ["--"] or len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    with Xvfb() as server:
        child = subprocess.Popen(argv[1:], env=server.environment(), start_new_session=True)
        try:
            return child.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            print(f"xvfb.py: {argv[1]} timed out after {timeout} s", file=sys.stderr)
            return 124


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
