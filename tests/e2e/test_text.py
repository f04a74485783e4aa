#!/usr/bin/env python3
"""End-to-end runs of the viewer's overlay texts, each under its own Xvfb: the red title and the white frame-rate
readout drawn with the default font, and the notice box an unusable "font.tga" brings up, after which every
character shows as a solid quad."""
import ctypes.util
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402
from harness import is_reddish  # noqa: E402

HEIGHT = harness.HEIGHT
# Window rows (from the top) of the title's quads: y 438 to 454 in the overlay, whose origin is bottom-left.
TITLE_TOP, TITLE_BOTTOM = 26, 42
TITLE_RIGHT = 6 * 12 + 16  # seven quads, 12 apart, 16 wide
READOUT_TOP = HEIGHT - 16
ERROR_FLAG = 0x10  # SDL_MESSAGEBOX_ERROR, what the viewer passes


def is_whitish(rgb):
    return min(rgb) > 150 and max(rgb) - min(rgb) < 40


def column_groups(img, top, bottom, right, test):
    """Runs of neighbouring columns in [0, right) holding a pixel that passes test, as (first, last) pairs."""
    lit = [any(test(harness.pixel(img, x, y)) for y in range(top, bottom)) for x in range(right)]
    groups = []
    for x, on in enumerate(lit):
        if on and (x == 0 or not lit[x - 1]):
            groups.append([x, x])
        elif on:
            groups[-1][1] = x
    return [tuple(group) for group in groups]


def tga_24_bit(side=256):
    """An uncompressed true-colour TGA, 24 bits a pixel: every other field as the viewer wants it."""
    header = bytes([0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, side & 255, side >> 8, side & 255, side >> 8, 24, 0])
    return header + bytes(side * side * 3)


def wait_for_steady_picture(env, wid, timeout=20):
    """The window's picture once two grabs in a row agree and it is not one flat colour (the box is drawn)."""
    deadline = time.monotonic() + timeout
    previous = None
    while time.monotonic() < deadline:
        img = harness.grab(env, wid)
        if img == previous and len(set(img[2][i:i + 3] for i in range(0, len(img[2]), 3 * 97))) > 1:
            return img
        previous = img
        time.sleep(0.2)
    return None


class TextTest(harness.ViewerCase):
    CASE_TIMEOUT = 120

    def start_with_font(self, env, font=harness.DEFAULT):
        return self.start(env, cwd=self.run_dir(font=font))

    def reference_box(self, env, text):
        """The picture of a box SDL shows for the caption "TGA: ERROR" and this text, shown by a separate
        process through the same library call the viewer makes; dismissed again before returning."""
        library = ctypes.util.find_library("SDL2-2.0") or "libSDL2-2.0.so.0"
        script = ("import ctypes, sys\n"
                  "sdl = ctypes.CDLL(sys.argv[1])\n"
                  "sdl.SDL_ShowSimpleMessageBox.argtypes = [ctypes.c_uint32, ctypes.c_char_p, ctypes.c_char_p,"
                  " ctypes.c_void_p]\n"
                  "sys.exit(sdl.SDL_ShowSimpleMessageBox(int(sys.argv[2]), sys.argv[3].encode(),"
                  " sys.argv[4].encode(), None))\n")
        proc = self.start(env, command=[sys.executable, "-c", script, library, str(ERROR_FLAG),
                                        harness.NOTICE_CAPTION, text], stdout=subprocess.DEVNULL)
        try:
            box = harness.find_window(env, "^" + harness.NOTICE_CAPTION + "$", timeout=30)
            self.assertIsNotNone(box, "the reference box for %r did not appear" % text)
            img = wait_for_steady_picture(env, box)
            self.assertIsNotNone(img, "the reference box for %r was never drawn" % text)
            self.dismiss_notice(env)
            self.assert_ends_with(proc, 0)
            return img
        finally:
            harness.stop(proc)

    def test_title_is_red_glyphs_twelve_apart_in_rows_26_to_41(self):
        with self.display() as env:
            self.start_with_font(env)
            wid = self.find_viewer_window(env)
            img = self.wait_for_picture(env, wid)

            red_rows = {y for y in range(0, 80) for x in range(0, 120) if is_reddish(harness.pixel(img, x, y))}
            self.assertTrue(red_rows, "no red title")
            self.assertGreaterEqual(min(red_rows), TITLE_TOP)
            self.assertLess(max(red_rows), TITLE_BOTTOM)
            self.assertGreaterEqual(max(red_rows) - min(red_rows), 9, "the title is not glyph-high")

            # One group of red columns per character of "Brevant", each inside its own 12-pixel step.
            groups = column_groups(img, TITLE_TOP, TITLE_BOTTOM, 120, is_reddish)
            self.assertEqual(len(groups), 7, groups)
            for index, (first, last) in enumerate(groups):
                self.assertGreater(first, 12 * index, groups)
                self.assertLess(last, 12 * (index + 1), groups)

    def test_readout_is_white_at_the_bottom_left_after_the_first_measurement(self):
        with self.display() as env:
            self.start_with_font(env)
            wid = self.find_viewer_window(env)
            self.wait_for_picture(env, wid)
            time.sleep(1.5)  # 21 frames, however slow the machine
            deadline = time.monotonic() + 20
            while True:
                img = harness.grab(env, wid)
                groups = column_groups(img, READOUT_TOP, HEIGHT, 200, is_whitish)
                if len(groups) >= 7 or time.monotonic() > deadline:
                    break
                time.sleep(0.5)
            # "FPS: 60.0" and the like: a group per visible character, starting in the first step.
            self.assertGreaterEqual(len(groups), 7, groups)
            self.assertLess(groups[0][0], 12, groups)
            for first, last in groups:
                self.assertLess(last - first, 12, groups)
            white_rows = {y for y in range(READOUT_TOP - 20, HEIGHT) for x in range(0, 130)
                          if is_whitish(harness.pixel(img, x, y))}
            self.assertGreaterEqual(min(white_rows), READOUT_TOP)

    def test_unusable_font_shows_its_notice_then_characters_are_solid_quads(self):
        cases = {
            "missing": (None, "TGA: File not found"),
            "24-bit": (tga_24_bit(), "TGA: Image bit depth not 32"),
        }
        for name, (font, text) in cases.items():
            with self.subTest(font=name), self.display() as env:
                expected = self.reference_box(env, text)
                other = self.reference_box(env, "TGA: Format bad")
                self.assertNotEqual(expected[2], other[2], "boxes with different texts look the same")

                proc = self.start_with_font(env, font=font)
                box = harness.find_window(env, "^" + harness.NOTICE_CAPTION + "$", timeout=30)
                self.assertIsNotNone(box, "no notice box appeared")
                shown = wait_for_steady_picture(env, box)
                self.assertIsNotNone(shown, "the notice box was never drawn")
                self.assertEqual(shown[:2], expected[:2], "the box is not the size of one showing %r" % text)
                self.assertTrue(shown[2] == expected[2], "the box does not show %r" % text)
                self.dismiss_notice(env)

                wid = self.find_viewer_window(env)
                self.wait_for_picture(env, wid)
                time.sleep(1.5)
                img = harness.grab(env, wid)
                self.assertIsNone(proc.poll(), "the viewer ended")
                self.assertEqual(harness.notices(env), [], "a second box appeared")

                # The title: seven overlapping quads, solid red, nothing red around them.
                for y in range(TITLE_TOP - 4, TITLE_BOTTOM + 4):
                    for x in range(0, TITLE_RIGHT + 8):
                        inside = TITLE_TOP <= y < TITLE_BOTTOM and x < TITLE_RIGHT
                        rgb = harness.pixel(img, x, y)
                        if inside:
                            self.assertEqual(rgb, (255, 0, 0), "title pixel (%d, %d)" % (x, y))
                        else:
                            self.assertFalse(is_reddish(rgb), "red outside the title at (%d, %d)" % (x, y))
                # The readout: at least "FPS: 9.9", eight quads, solid white.
                for y in range(READOUT_TOP, HEIGHT):
                    for x in range(0, 7 * 12 + 16):
                        self.assertEqual(harness.pixel(img, x, y), (255, 255, 255), "readout pixel (%d, %d)" % (x, y))
                harness.stop(proc)


if __name__ == "__main__":
    unittest.main(verbosity=2)
