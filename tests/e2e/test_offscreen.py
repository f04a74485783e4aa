#!/usr/bin/env python3
"""Drawing without a display: the EGL offscreen context, with DISPLAY unset, draws the fixed program's frame as
the SDL window under Xvfb draws it, and a blended, mipmapped texture under text within one step of it; where
EGL cannot give a context, the run fails saying which step failed and EGL's reason."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

WIDTH, HEIGHT = 640, 480
PICTURE_BYTES = WIDTH * HEIGHT * 3
PROGRAM = os.path.join(harness.build_dir(), "brevant_frame_picture")


def no_display_environment(**extra):
    env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
    # Xvfb draws with llvmpipe; on a machine with a GPU the surfaceless display would take it instead.
    env.update(LIBGL_ALWAYS_SOFTWARE="1", **extra)
    return env


def channel_differences(first, second):
    """(how many channel values differ, the largest difference) between two equally long byte strings."""
    count, largest = 0, 0
    for a, b in zip(first, second):
        if a != b:
            count += 1
            largest = max(largest, abs(a - b))
    return count, largest


@unittest.skipUnless(os.path.exists(PROGRAM), "brevant_frame_picture is not built (Linux builds only)")
class OffscreenTest(harness.ViewerCase):
    CASE_TIMEOUT = 120

    def draw(self, backend, env, name):
        """Runs the picture program in a folder holding the default model and font: (frame, textured picture)."""
        folder = self.run_dir(name)
        out = os.path.join(folder, "pictures.rgb")
        code, stdout, err = self.run_to_end((backend, out), cwd=folder, env=env, command=[PROGRAM], timeout=60)
        self.assertEqual(code, 0, err)
        self.assertIn("renderer: llvmpipe", stdout)
        self.assertIn("Compatibility Profile", stdout)
        with open(out, "rb") as source:
            data = source.read()
        self.assertEqual(len(data), 2 * PICTURE_BYTES)
        return data[:PICTURE_BYTES], data[PICTURE_BYTES:]

    def window_pictures(self, **extra):
        with self.display() as env:
            env.update(extra)
            return self.draw("window", env, "window")

    def test_offscreen_draws_the_windows_pictures(self):
        # EGL_PLATFORM=x11 would send a plain eglGetDisplay to the absent X server; the surfaceless display is
        # asked for by name, so it must not matter.
        offscreen = self.draw("offscreen", no_display_environment(EGL_PLATFORM="x11"), "offscreen")
        window = self.window_pictures()

        frame = (WIDTH, HEIGHT, offscreen[0])
        self.assertGreater(harness.differing_pixels(frame, (WIDTH, HEIGHT, bytes(PICTURE_BYTES)), HEIGHT), 5000,
                           "the offscreen frame is nearly black")
        # "Brevant" is drawn in red 42 pixels below the top: rows must come out top first.
        self.assertTrue(any(harness.is_reddish(harness.pixel(frame, x, y)) for y in range(20, 40)
                            for x in range(0, 100)), "no red title near the top: rows flipped?")
        self.assertEqual(offscreen[0], window[0], "the fixed frame differs between offscreen and window")

        # Linear texture filtering rounds a few texels one step apart between the window's buffer and the
        # framebuffer object; nearest filtering (below) shows everything else is the same.
        count, largest = channel_differences(offscreen[1], window[1])
        self.assertLessEqual(largest, 1, "the textured picture differs by more than one step")
        self.assertLess(count, PICTURE_BYTES // 10000, "too many channel values differ: %d" % count)
        # The yellow text line 8 pixels above the bottom left corner.
        textured = (WIDTH, HEIGHT, offscreen[1])
        self.assertTrue(any(min(harness.pixel(textured, x, y)[:2]) > 200 and harness.pixel(textured, x, y)[2] < 80
                            for y in range(HEIGHT - 28, HEIGHT - 4) for x in range(8, 300)), "no text drawn")

    def test_without_linear_filtering_the_textured_picture_is_identical(self):
        offscreen = self.draw("offscreen", no_display_environment(LP_PERF="no_linear"), "offscreen")
        window = self.window_pictures(LP_PERF="no_linear")
        self.assertEqual(channel_differences(offscreen[1], window[1]), (0, 0))

    def test_failing_steps_are_named_with_egls_reason(self):
        cases = (
            ("no EGL driver installed", {"__EGL_VENDOR_LIBRARY_FILENAMES": os.path.join(self.tmp, "none.json")},
             (64, 64), "EGL has no surfaceless platform"),
            ("no Mesa driver found", {"LIBGL_DRIVERS_PATH": os.path.join(self.tmp, "no-drivers")},
             (64, 64), "eglInitialize failed (EGL_NOT_INITIALIZED)"),
            ("a size of nothing", {}, (0, 480), "size 0 x 480 is not drawable"),
            ("a size past the renderer's limit", {}, (100000, 16), "size 100000 x 16 is over the context's limit"),
        )
        for name, extra, size, reason in cases:
            with self.subTest(name):
                code, _, err = self.run_to_end(("open",) + tuple(str(side) for side in size), cwd=self.tmp,
                                               env=no_display_environment(**extra), command=[PROGRAM])
                self.assertEqual(code, 1, err)
                self.assertIn("cannot draw offscreen: " + reason, err)
        code, out, err = self.run_to_end(("open", "64", "64"), cwd=self.tmp, env=no_display_environment(),
                                         command=[PROGRAM])
        self.assertEqual(code, 0, err)
        self.assertIn("Compatibility Profile", out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
