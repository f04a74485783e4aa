#!/usr/bin/env python3
"""The unit tests and the real viewer built with AddressSanitizer and UndefinedBehaviorSanitizer: the viewer
runs on the default assets and on every malformed or foreign file, as "tris.md2" or as "font.tga", draws,
and ends with 0 on Esc, with no sanitizer report. Needs BREVANT_SANITIZED_BUILD_DIR (`make test` sets it)."""
import glob
import os
import signal
import subprocess
import tempfile
import time
import unittest

import viewer
from viewer import Xvfb

SANITIZED = os.environ.get("BREVANT_SANITIZED_BUILD_DIR", "")
FIXTURES = os.path.join(os.environ.get("BREVANT_FIXTURES", ""), "fixtures")
SOURCE_DIR = os.environ.get("BREVANT_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
REPORT_MARKERS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")
RUN_TIMEOUT = 60


def sanitizer_env(base):
    env = dict(base)
    env["ASAN_OPTIONS"] = "detect_leaks=1:halt_on_error=1"
    env["LSAN_OPTIONS"] = "suppressions=%s:print_suppressions=0" % os.path.join(
        SOURCE_DIR, "tests", "sanitizer", "lsan.supp")
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    return env


def viewer_sanitizer_env(base):
    """Mesa unloads its driver at exit, which leaves LeakSanitizer with frames it cannot name or suppress;
    keeping the driver loaded from the start lets its allocations be attributed (and suppressed)."""
    env = sanitizer_env(base)
    drivers = glob.glob("/usr/lib/*/dri/swrast_dri.so")
    if drivers:
        env["LD_PRELOAD"] = drivers[0]
        env["ASAN_OPTIONS"] += ":verify_asan_link_order=0"
    return env


def fixtures(kind):
    folder = os.path.join(FIXTURES, kind)
    return sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith("." + kind))


class SanitizedTest(unittest.TestCase):
    def setUp(self):
        if not SANITIZED:
            self.fail("BREVANT_SANITIZED_BUILD_DIR is not set: run the suite with `make test`")

    def assert_no_report(self, text, what):
        for marker in REPORT_MARKERS:
            self.assertNotIn(marker, text, "%s: sanitizer report\n%s" % (what, text[-4000:]))

    def test_unit_tests_pass_under_sanitizers(self):
        result = subprocess.run([os.path.join(SANITIZED, "brevant_unit_tests")], cwd=SANITIZED,
                                env=sanitizer_env(os.environ), capture_output=True, timeout=300)
        output = (result.stdout + result.stderr).decode(errors="replace")
        self.assert_no_report(output, "unit tests")
        self.assertEqual(result.returncode, 0, output[-4000:])

    def run_viewer(self, env, tmp, model, font, what):
        folder = viewer.make_run_dir(tmp, model=model, font=font)
        proc = viewer.start_viewer([os.path.join(SANITIZED, "brevant")], cwd=folder, env=viewer_sanitizer_env(env))
        try:
            wid = viewer.find_window(env, "^OpenGL$", timeout=RUN_TIMEOUT)
            self.assertIsNotNone(wid, "%s: no window" % what)
            self.assertIsNotNone(viewer.wait_for_picture(env, wid, timeout=RUN_TIMEOUT), "%s: nothing drawn" % what)
            time.sleep(1.0)  # a few hundred frames over whatever was loaded
            self.assertIsNone(proc.poll(), "%s: the viewer ended by itself" % what)
            viewer.press_key(env, wid, "Escape")
            try:
                _, err = proc.communicate(timeout=RUN_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.fail("%s: Esc did not end the viewer" % what)
            text = err.decode(errors="replace")
            self.assert_no_report(text, what)
            self.assertEqual(proc.returncode, 0, "%s: %s" % (what, text[-4000:]))
        finally:
            viewer.stop(proc)

    def test_viewer_survives_every_malformed_file(self):
        default_model = os.path.join(viewer.build_dir(), "tris.md2")
        with open(default_model, "rb") as source:
            model_bytes = source.read()
        cases = [("default assets", viewer.DEFAULT, viewer.DEFAULT),
                 ("model cut short", model_bytes[: len(model_bytes) // 3], viewer.DEFAULT),
                 ("model not MD2", b"IDP2" + b"\xff" * 200, viewer.DEFAULT),
                 ("font missing", viewer.DEFAULT, None),
                 ("font empty", viewer.DEFAULT, b"")]
        cases += [("model " + os.path.basename(path), path, viewer.DEFAULT) for path in fixtures("md2")]
        cases += [("font " + os.path.basename(path), viewer.DEFAULT, path) for path in fixtures("tga")]
        with Xvfb() as server, tempfile.TemporaryDirectory() as tmp:
            env = server.environment()
            for what, model, font in cases:
                with self.subTest(what):
                    self.run_viewer(env, tmp, model, font, what)


if __name__ == "__main__":
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(TimeoutError("sanitized suite ran over")))
    signal.alarm(540)
    unittest.main(verbosity=2)
