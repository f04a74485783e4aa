#!/usr/bin/env python3
"""End-to-end runs of viewer-mode playback, each case under its own Xvfb: --frame blends, playing and pausing,
stepping keyframes and animations from the keyboard, the weapon drawn with the body, and the command-line faults
playback options can make. The models are small flat squares written here, so that where a keyframe is drawn
can be read off the picture."""
import os
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

# The 3D view between the red title (rows 26-42) and the texts at the bottom (notice, status line, readout).
VIEW_TOP, VIEW_BOTTOM = 48, 430
# Everything but the frame-rate readout in the bottom 16 rows: the title, the view and the status line.
STEADY_BOTTOM = harness.HEIGHT - 16

# A 20 x 20 square in the plane x = 0, facing +X, the side the viewer opens looking at.
SQUARE = [(0, 0, 0), (0, 20, 0), (0, 20, 20), (0, 0, 20)]
SQUARE_TRIANGLES = [(0, 2, 1), (0, 3, 2)]


def md2_bytes(frames, triangles):
    """An MD2 file: frames as (name, (x, y, z) offset, [vertex bytes (x, y, z)]), each with a scale of 1, so a
    vertex sits at its offset plus its bytes. One texture coordinate, no skins, no GL commands."""
    vertex_count = len(frames[0][2])
    header_size = 68
    texcoords = struct.pack("<2h", 0, 0)
    tris = b"".join(struct.pack("<6h", a, b, c, 0, 0, 0) for a, b, c in triangles)
    body = b""
    for name, offset, vertices in frames:
        body += struct.pack("<6f", 1, 1, 1, *offset) + name.encode().ljust(16, b"\0")
        body += b"".join(struct.pack("<4B", x, y, z, 0) for x, y, z in vertices)
    ofs_st = header_size
    ofs_tris = ofs_st + len(texcoords)
    ofs_frames = ofs_tris + len(tris)
    ofs_end = ofs_frames + len(body)
    header = struct.pack("<4s16i", b"IDP2", 8, 64, 64, 40 + 4 * vertex_count, 0, vertex_count, 1, len(triangles), 0,
                         len(frames), header_size, ofs_st, ofs_tris, ofs_frames, ofs_end, ofs_end)
    return header + texcoords + tris + body


def squares(*placed):
    """One square per keyframe: (name, offset) pairs."""
    return md2_bytes([(name, offset, SQUARE) for name, offset in placed], SQUARE_TRIANGLES)


# Two keyframes that move every vertex across and up the screen.
SLIDE = squares(("slide1", (0, 0, 0)), ("slide2", (0, 60, 40)))
# walk1..walk4 then jump1, jump2: six places in a row, no two alike, so each picture names its keyframe.
WALK_JUMP = squares(*[("walk%d" % (k + 1), (0, 24 * k, 0)) for k in range(4)],
                    *[("jump%d" % (k + 1), (0, 24 * (k + 4), 30)) for k in range(2)])


def lit(rgb):
    return not harness.is_black(rgb)


def rows(img, top, bottom):
    width, _, data = img
    return data[top * width * 3:bottom * width * 3]


def view(img):
    return rows(img, VIEW_TOP, VIEW_BOTTOM)


def steady(img):
    return rows(img, 0, STEADY_BOTTOM)


def rows_of_status(steady_rows):
    """The status line's rows (16 above the readout) out of a picture's steady rows."""
    width = harness.WIDTH * 3
    return steady_rows[(STEADY_BOTTOM - 16) * width:]


def lit_pixels(img, excluding=None):
    """The lit pixels of the 3D view, less those lit in `excluding` (a picture of the same view)."""
    found = set()
    for y in range(VIEW_TOP, VIEW_BOTTOM):
        for x in range(0, harness.WIDTH):
            if lit(harness.pixel(img, x, y)) and not (excluding and lit(harness.pixel(excluding, x, y))):
                found.add((x, y))
    return found


def centroid(pixels):
    assert pixels, "no model pixels"
    return (sum(x for x, _ in pixels) / len(pixels), sum(y for _, y in pixels) / len(pixels))


class PlaybackTest(harness.ViewerCase):
    CASE_TIMEOUT = 180

    def folder_with(self, **models):
        return self.run_dir(model=None, files=models)

    def open_viewer(self, env, folder, args, title):
        proc = self.start(env, args, cwd=folder)
        wid = self.find_viewer_window(env, title)
        self.wait_for_picture(env, wid)
        return proc, wid

    def picture_of(self, env, folder, args, title):
        """The window's picture of one run, after its first frame; the run is ended and its window gone before
        this returns, so the next run's window is the only one with the title."""
        proc, wid = self.open_viewer(env, folder, args, title)
        try:
            img = harness.grab(env, wid)
            self.assertIsNone(proc.poll(), "the viewer ended")
        finally:
            harness.stop(proc)
        deadline = time.monotonic() + 10
        while harness.find_windows(env, title) and time.monotonic() < deadline:
            time.sleep(0.05)
        return img

    def wait_for_steady(self, env, wid, wanted=None, timeout=10):
        """The picture once it stops changing (two grabs 0.3 s apart agree, readout aside), or once its steady
        rows equal `wanted`; fails if neither happens in time."""
        deadline = time.monotonic() + timeout
        previous = harness.grab(env, wid)
        while time.monotonic() < deadline:
            time.sleep(0.3)
            img = harness.grab(env, wid)
            if steady(img) == (wanted if wanted is not None else steady(previous)):
                return img
            previous = img
        self.fail("the picture did not settle%s within %d s" % (" on the one expected" if wanted else "", timeout))

    def test_a_fractional_frame_draws_the_blend_of_its_two_keyframes(self):
        folder = self.folder_with(**{"slide.md2": SLIDE})
        title = "^slide.md2 - Brevant$"
        with self.display() as env:
            centres = {frame: centroid(lit_pixels(self.picture_of(env, folder, ["--no-skin", "--frame", frame,
                                                                                 "slide.md2"], title)))
                       for frame in ("0", "1", "0.5")}
        (x0, y0), (x1, y1), (xh, yh) = centres["0"], centres["1"], centres["0.5"]
        self.assertGreater(abs(x1 - x0), 40, "the keyframes are not drawn apart: %s" % centres)
        self.assertGreater(abs(y1 - y0), 25, "the keyframes are not drawn apart: %s" % centres)
        self.assertLessEqual(abs(xh - (x0 + x1) / 2), 2, centres)
        self.assertLessEqual(abs(yh - (y0 + y1) / 2), 2, centres)

    def test_space_pauses_and_resumes_the_animation_that_plays_at_start(self):
        folder = self.folder_with(**{"moves.md2": WALK_JUMP})
        with self.display() as env:
            proc, wid = self.open_viewer(env, folder, ["--no-skin", "moves.md2"], "^moves.md2 - Brevant$")

            def distinct_views(count=5, gap=0.15):
                seen = set()
                for _ in range(count):
                    seen.add(view(harness.grab(env, wid)))
                    time.sleep(gap)
                return len(seen)

            # Four keyframes at 10 a second: 0.6 s covers more than a whole loop.
            self.assertGreaterEqual(distinct_views(), 3, "the model does not move while playing")
            harness.press_key(env, wid, "space")
            paused = self.wait_for_steady(env, wid)
            time.sleep(0.5)
            self.assertEqual(steady(harness.grab(env, wid)), steady(paused), "the picture changed while paused")
            harness.press_key(env, wid, "space")
            self.assertGreaterEqual(distinct_views(), 3, "Space did not resume playing")
            self.assertIsNone(proc.poll(), "the viewer ended")

    def test_comma_period_and_page_keys_step_to_the_pictures_of_those_keyframes(self):
        folder = self.folder_with(**{"moves.md2": WALK_JUMP})
        title = "^moves.md2 - Brevant$"
        with self.display() as env:
            # What each keyframe looks like shown with --frame, status line included ("walk 2/4").
            keyframes = [steady(self.picture_of(env, folder, ["--no-skin", "--frame", str(k), "moves.md2"], title))
                         for k in range(5)]
            self.assertEqual(len(set(keyframes)), 5, "two keyframes look alike")
            self.assertNotEqual(rows_of_status(keyframes[0]), rows_of_status(keyframes[1]),
                                "the status line does not follow the keyframe")

            proc, wid = self.open_viewer(env, folder, ["--no-skin", "moves.md2"], title)
            harness.press_key(env, wid, "period")
            stepped = steady(self.wait_for_steady(env, wid))
            self.assertIn(stepped, keyframes[:4], "'.' while playing did not pause on a whole keyframe of walk")
            shown = keyframes.index(stepped)
            # Stepping wraps within the animation playing (walk, keyframes 0-3).
            for key, step in (("period", 1), ("period", 1), ("comma", -1), ("comma", -1), ("comma", -1)):
                shown = (shown + step) % 4
                harness.press_key(env, wid, key)
                self.wait_for_steady(env, wid, wanted=keyframes[shown])
            # Page Down goes to the next animation's first keyframe, still paused; Page Up back to walk's first.
            # Changing animation keeps the camera, and R frames the animation shown as --frame frames it.
            harness.press_key(env, wid, "Next")
            harness.press_key(env, wid, "r")
            self.wait_for_steady(env, wid, wanted=keyframes[4])
            time.sleep(0.4)
            self.assertEqual(steady(harness.grab(env, wid)), keyframes[4], "Page Down started playing")
            harness.press_key(env, wid, "Prior")
            harness.press_key(env, wid, "r")
            self.wait_for_steady(env, wid, wanted=keyframes[0])
            self.assertIsNone(proc.poll(), "the viewer ended")

    def test_a_weapon_is_drawn_with_the_body_keyframe_and_holds_its_last_past_its_end(self):
        # The body: two squares at opposite corners that never move, spanning the box the weapon moves in, so
        # the weapon leaves the framing as it is and adds only its own pixels.
        corners = [(x, y + dy, z + dz) for dy, dz in ((0, 0), (80, 80)) for x, y, z in SQUARE]
        corner_triangles = SQUARE_TRIANGLES + [(a + 4, b + 4, c + 4) for a, b, c in SQUARE_TRIANGLES]
        body = md2_bytes([("stand%d" % (k + 1), (0, 0, 0), corners) for k in range(3)], corner_triangles)
        weapon = squares(("stand1", (0, 25, 40)), ("stand2", (0, 55, 25)))
        folder = self.folder_with(**{"body.md2": body, "weapon.md2": weapon})
        title = "^body.md2 - Brevant$"
        with self.display() as env:
            alone = self.picture_of(env, folder, ["--no-skin", "--frame", "0", "body.md2"], title)
            armed = {frame: self.picture_of(env, folder, ["--no-skin", "--frame", frame, "--weapon", "weapon.md2",
                                                          "body.md2"], title)
                     for frame in ("0", "0.5", "1", "2")}
        body_pixels = lit_pixels(alone)
        self.assertGreater(len(body_pixels), 100, "the body is not in view")
        for frame, img in armed.items():
            with self.subTest(frame=frame):
                self.assertEqual({p for p in body_pixels if not lit(harness.pixel(img, *p))}, set(),
                                 "the body is not drawn as it is without the weapon")
                self.assertGreater(len(lit_pixels(img, excluding=alone)), 100, "no weapon pixels")
        weapon_at = {frame: centroid(lit_pixels(img, excluding=alone)) for frame, img in armed.items()}
        (x0, y0), (x1, y1), (xh, yh) = weapon_at["0"], weapon_at["1"], weapon_at["0.5"]
        self.assertGreater(abs(x1 - x0), 30, weapon_at)
        self.assertLessEqual(abs(xh - (x0 + x1) / 2), 2, weapon_at)
        self.assertLessEqual(abs(yh - (y0 + y1) / 2), 2, weapon_at)
        # The body's keyframe 2 is past the weapon's two: the weapon holds its last.
        self.assertEqual(view(armed["2"]), view(armed["1"]), "past its end the weapon is not at its last keyframe")

    def test_playback_options_the_model_cannot_take_are_refused_before_a_window_opens(self):
        folder = self.folder_with(**{"moves.md2": WALK_JUMP, "broken.md2": WALK_JUMP[:100]})
        cases = [
            (["--frame", "6", "moves.md2"], 2, ["--frame 6", "0-5"]),
            (["--frame", "5.5", "moves.md2"], 2, ["0-5"]),
            (["--anim", "run", "moves.md2"], 2, ['"run"', "walk", "jump"]),
            (["--weapon", "broken.md2", "moves.md2"], 1, ["brevant: broken.md2: cut short"]),
            (["--weapon", "absent.md2", "moves.md2"], 1, ["brevant: absent.md2: "]),
        ]
        for args, code, words in cases:
            with self.subTest(args=args):
                status, _, err = self.run_to_end(args, cwd=folder)
                self.assertEqual(status, code, err)
                for word in words:
                    self.assertIn(word, err)
                if code == 1:
                    self.assertEqual(len(err.strip().splitlines()), 1, err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
