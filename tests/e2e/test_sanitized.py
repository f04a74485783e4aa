#!/usr/bin/env python3
"""The unit tests and the real viewer built with AddressSanitizer and UndefinedBehaviorSanitizer: the viewer
runs on the default assets and on every malformed or foreign file, as "tris.md2" or as "font.tga", draws,
and ends with 0 on Esc, with no sanitizer report; in viewer mode it refuses each malformed model with its
reason. Needs BREVANT_SANITIZED_BUILD_DIR (`make test` sets it)."""
import glob
import os
import re
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

SANITIZED = os.environ.get("BREVANT_SANITIZED_BUILD_DIR", "")
REPORT_MARKERS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")
RUN_TIMEOUT = 60


# Counts that load with the array absent, each written into the default model: the frame count at -1, -30 and its
# most negative value (where "count less one" overflows), and the other arrays' counts at the most negative value.
NEGATIVE_COUNTS = [("frames", 40, -1), ("frames", 40, -30), ("frames", 40, -2**31), ("triangles", 32, -2**31),
                   ("texcoords", 28, -2**31), ("skins", 20, -2**31)]


def with_negative_counts(model_bytes):
    """(name, bytes) for each of NEGATIVE_COUNTS."""
    return [("%s %d.md2" % (what, value), model_bytes[:offset] + struct.pack("<i", value) + model_bytes[offset + 4:])
            for what, offset, value in NEGATIVE_COUNTS]


def sanitizer_env(base):
    env = dict(base)
    env["ASAN_OPTIONS"] = "detect_leaks=1:halt_on_error=1"
    env["LSAN_OPTIONS"] = "suppressions=%s:print_suppressions=0" % os.path.join(
        harness.SOURCE_DIR, "tests", "sanitizer", "lsan.supp")
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


class SanitizedTest(harness.ViewerCase):
    # Every malformed file, each run to its first frames and Esc under the sanitizers, in one case.
    CASE_TIMEOUT = 540

    def setUp(self):
        super().setUp()
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

    def run_viewer(self, env, model, font, what):
        folder = self.run_dir(model=model, font=font)
        proc = self.start(viewer_sanitizer_env(env), cwd=folder, command=harness.viewer_command(build=SANITIZED))
        try:
            wid = harness.find_window(env, harness.VIEWER_TITLE, timeout=RUN_TIMEOUT)
            self.assertIsNotNone(wid, "%s: no window" % what)
            self.assertIsNotNone(harness.wait_for_picture(env, wid, timeout=RUN_TIMEOUT), "%s: nothing drawn" % what)
            time.sleep(1.0)  # a few hundred frames over whatever was loaded
            self.assertIsNone(proc.poll(), "%s: the viewer ended by itself" % what)
            harness.press_key(env, wid, "Escape")
            try:
                _, err = proc.communicate(timeout=RUN_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.fail("%s: Esc did not end the viewer" % what)
            text = err.decode(errors="replace")
            self.assert_no_report(text, what)
            self.assertEqual(proc.returncode, 0, "%s: %s" % (what, text[-4000:]))
        finally:
            harness.stop(proc)

    def test_viewer_survives_every_malformed_file(self):
        default_model = os.path.join(harness.build_dir(), "tris.md2")
        with open(default_model, "rb") as source:
            model_bytes = source.read()
        cases = [("default assets", harness.DEFAULT, harness.DEFAULT),
                 ("model cut short", model_bytes[: len(model_bytes) // 3], harness.DEFAULT),
                 ("model not MD2", b"IDP2" + b"\xff" * 200, harness.DEFAULT),
                 ("font missing", harness.DEFAULT, None),
                 ("font empty", harness.DEFAULT, b"")]
        cases += [("model " + name, data, harness.DEFAULT) for name, data in with_negative_counts(model_bytes)]
        cases += [("model " + os.path.basename(path), path, harness.DEFAULT) for path in harness.fixtures("md2")]
        cases += [("font " + os.path.basename(path), harness.DEFAULT, path) for path in harness.fixtures("tga")]
        with self.display() as env:
            for what, model, font in cases:
                with self.subTest(what):
                    self.run_viewer(env, model, font, what)

    def test_viewer_mode_refuses_malformed_models_with_a_reason(self):
        with open(os.path.join(harness.build_dir(), "tris.md2"), "rb") as source:
            model_bytes = source.read()
        folder = self.run_dir(model=None, font=None)
        made = {"cut short.md2": model_bytes[: len(model_bytes) // 3], "not md2.md2": b"IDP2" + b"\xff" * 200}
        made.update(with_negative_counts(model_bytes))
        for name, data in made.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
        models = [os.path.join(folder, name) for name in made] + harness.fixtures("md2")
        with self.display() as env:
            for path in models:
                with self.subTest(os.path.basename(path)):
                    picture = os.path.join(folder, "out.png")
                    proc = self.start(viewer_sanitizer_env(env), ["--screenshot", picture, path], cwd=folder,
                                      command=harness.viewer_command(build=SANITIZED))
                    try:
                        _, err = proc.communicate(timeout=RUN_TIMEOUT)
                    except subprocess.TimeoutExpired:
                        self.fail("%s: the viewer did not end" % path)
                    text = err.decode(errors="replace")
                    self.assert_no_report(text, path)
                    # The fixtures hold sound models too: those the plain build reads are drawn, the rest refused
                    # in one line.
                    sound = self.run_to_end(["--info", path], cwd=folder)[0] == 0
                    if not sound:
                        self.assertEqual(proc.returncode, 1, text[-4000:])
                        self.assertRegex(text, r"\Abrevant: %s: [^\n]+\n\Z" % re.escape(path))
                    else:
                        self.assertEqual(proc.returncode, 0, text[-4000:])
                        self.assertTrue(os.path.exists(picture), "%s: no picture saved" % path)
                        os.remove(picture)


if __name__ == "__main__":
    unittest.main(verbosity=2)
