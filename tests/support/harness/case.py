"""The base of the e2e test cases: a time limit per case, a temp folder, private X servers, and the programs
under test started, found, waited on and ended by their PID however the case ends."""
import contextlib
import os
import signal
import subprocess
import tempfile
import time
import unittest

from xvfb import Xvfb

from harness import paths, processes, viewer
from harness.xdisplay import find_window


class CaseTimeout(Exception):
    pass


class ViewerCase(unittest.TestCase):
    """Subclasses set CASE_TIMEOUT (seconds for one case, start-up included) as they need."""
    CASE_TIMEOUT = 90

    def setUp(self):
        def on_alarm(signum, frame):
            raise CaseTimeout("test case ran over %d s" % self.CASE_TIMEOUT)
        signal.signal(signal.SIGALRM, on_alarm)
        signal.alarm(self.CASE_TIMEOUT)
        self.addCleanup(signal.alarm, 0)
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.tmp = tmp.name

    @contextlib.contextmanager
    def display(self, width=1024, height=768):
        """A private Xvfb for a block: yields the environment whose DISPLAY names it."""
        with Xvfb(width, height) as server:
            yield server.environment()

    def run_dir(self, name="run", **assets):
        """A fresh working folder under the case's temp folder; assets as paths.make_run_dir takes them."""
        return paths.make_run_dir(os.path.join(self.tmp, name), **assets)

    def start(self, env, args=(), cwd=None, command=None, **streams):
        """Starts the viewer (or command) with args; it is ended by its PID when the case ends, if not before.

        Without cwd the viewer runs in a working folder holding the build's default assets. stdout and stderr
        are pipes unless given (a file, subprocess.DEVNULL)."""
        if cwd is None:
            cwd = self.run_dir()
        proc = processes.start(list(command or paths.viewer_command()) + list(args), cwd=cwd, env=env, **streams)
        self.addCleanup(processes.stop, proc)
        return proc

    def find_viewer_window(self, env, title=viewer.VIEWER_TITLE, timeout=30):
        wid = find_window(env, title, timeout=timeout)
        self.assertIsNotNone(wid, "no window named %s appeared" % title)
        return wid

    @contextlib.contextmanager
    def running(self, args=(), model=paths.DEFAULT, font=paths.DEFAULT, cwd=None, title=viewer.VIEWER_TITLE):
        """A viewer under a fresh Xvfb, in cwd or else in the case's run folder holding model and font: yields
        (env, process, window id)."""
        folder = cwd or self.run_dir(model=model, font=font)
        with self.display() as env:
            proc = self.start(env, args, cwd=folder)
            try:
                yield env, proc, self.find_viewer_window(env, title)
            finally:
                processes.stop(proc)

    def wait_for_picture(self, env, wid, timeout=20):
        img = viewer.wait_for_picture(env, wid, timeout=timeout)
        self.assertIsNotNone(img, "the viewer never drew a frame")
        return img

    def assert_ends_with(self, proc, code, timeout=15):
        """Waits for the program to end and checks its exit code; returns (stdout, stderr) as text."""
        try:
            out, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end within %d s" % timeout)
        out = out.decode(errors="replace") if isinstance(out, bytes) else out or ""
        err = err.decode(errors="replace") if isinstance(err, bytes) else err or ""
        self.assertEqual(proc.returncode, code, err[-4000:])
        return out, err

    def run_to_end(self, args=(), cwd=None, env=None, command=None, timeout=30):
        """Runs the viewer (or command) with args to its end: (exit code, stdout, stderr) as text. Without env it
        runs with no display at all, as the modes that open no window must."""
        if env is None:
            env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        proc = self.start(env, args, cwd=cwd, command=command)
        try:
            out, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.fail("%s did not end within %d s" % (" ".join(proc.args), timeout))
        return proc.returncode, out.decode(errors="replace"), err.decode(errors="replace")

    def dismiss_notice(self, env, caption=viewer.NOTICE_CAPTION, timeout=15):
        """Acknowledges the one open notice box and waits until it is gone, so that nothing later aims a key at
        a window that is being destroyed."""
        self.assertEqual(viewer.dismiss_notices(env, caption), 1)
        deadline = time.monotonic() + timeout
        while viewer.notices(env, caption) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(viewer.notices(env, caption), [], "the box stayed after Return")
