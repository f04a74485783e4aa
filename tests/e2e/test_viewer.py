#!/usr/bin/env python3
"""End-to-end runs of the real viewer, each under its own Xvfb: the window, the keys (the keypad's arrows
included), both ways of quitting, unusable and huge models, the notice box, and starting with no display."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

# The 3D view without the texts over it: the title sits in rows 26-42 and the rate in rows 464-480.
VIEW_TOP, VIEW_BOTTOM = 48, 460
TITLE_TOP, TITLE_BOTTOM = 26, 42
OVERLAY_ROWS = 20  # the frame-rate readout at the bottom differs from run to run
# About 60 zoom steps back bring the default figure whole into view, where each turn step moves it visibly.
FRAMING_TAPS = (("z", 60),)


class ViewerTest(harness.ViewerCase):
    CASE_TIMEOUT = 90

    def test_window_is_titled_opengl_with_a_fixed_640_by_480_client_area_and_an_icon(self):
        with self.running() as (env, proc, wid):
            self.assertEqual(harness.client_size(env, wid), (640, 480))
            props = subprocess.run(["xprop", "-id", str(wid), "WM_CLASS", "WM_NORMAL_HINTS", "_NET_WM_ICON"],
                                   env=env, capture_output=True, timeout=10, text=True).stdout
            self.assertIn('"OpenGL"', props)
            self.assertIn("minimum size: 640 by 480", props)
            self.assertIn("maximum size: 640 by 480", props)
            self.assertIn("Icon (32 x 32)", props)

    def test_holding_z_brings_the_model_into_view_and_an_arrow_turns_it(self):
        with self.running() as (env, proc, wid):
            before = self.wait_for_picture(env, wid)
            # The eye starts at the model's origin, inside it, where every face is culled.
            self.assertTrue(harness.region_is_black(before, 300, 220, 340, 260), "the centre is not black at start")

            framed = harness.frame_model(env, wid)
            self.assertIsNotNone(framed, "holding Z never brought the model into view")
            self.assertFalse(harness.is_black(harness.pixel(framed, 320, 240)))

            harness.hold_key(env, wid, "Left", 0.3)
            turned = harness.grab(env, wid)
            self.assertTrue(harness.region_differs(framed, turned, 0, VIEW_TOP, 640, VIEW_BOTTOM),
                            "holding Left did not change the picture")
            self.assertIsNone(proc.poll())

    def test_keypad_arrows_with_numlock_off_step_as_the_arrows_do(self):
        # Each direction a different number of times, so a keypad key standing in for another shows.
        steps = (("Right", 8), ("Up", 6), ("Left", 3), ("Down", 2))
        keypad = {"Right": "KP_Right", "Up": "KP_Up", "Left": "KP_Left", "Down": "KP_Down"}
        seen = {}
        for name, taps in (("arrows", steps), ("keypad", tuple((keypad[key], count) for key, count in steps))):
            with self.running() as (env, proc, wid):
                self.assertFalse(harness.numlock_is_on(env), "Num Lock is on")
                self.wait_for_picture(env, wid)
                self.assertTrue(harness.focus(env, wid))
                self.assertIsNone(harness.tap_keys(env, wid, FRAMING_TAPS, watch=True), "framing")
                framed = harness.grab(env, wid)
                self.assertIsNone(harness.tap_keys(env, wid, taps, watch=True), name)
                time.sleep(0.3)
                seen[name] = (framed, harness.grab(env, wid))
                self.assertIsNone(proc.poll(), "the viewer ended")

        rows = harness.HEIGHT - OVERLAY_ROWS
        self.assertEqual(harness.differing_pixels(seen["arrows"][0], seen["keypad"][0], rows), 0,
                         "the two runs were not framed alike")
        self.assertGreater(harness.differing_pixels(seen["arrows"][0], seen["arrows"][1], rows), 1000,
                           "the arrows did not move the model")
        self.assertEqual(harness.differing_pixels(seen["arrows"][1], seen["keypad"][1], rows), 0,
                         "the keypad's arrows left the model elsewhere than the arrows did")

    @harness.needs_fixtures
    def test_a_model_with_fewer_than_31_frames_still_shows(self):
        with self.running(model=harness.fixture("md2", "flag.md2")) as (env, proc, wid):
            self.wait_for_picture(env, wid)
            shown = None
            for _ in range(40):
                harness.hold_key(env, wid, "z", 0.1)
                img = harness.grab(env, wid)
                if not harness.region_is_black(img, 0, VIEW_TOP, 640, VIEW_BOTTOM, step=2):
                    shown = img
                    break
            self.assertIsNotNone(shown, "the 10-frame model never showed")
            self.assertIsNone(proc.poll())

    def test_keys_act_whichever_window_has_the_focus(self):
        with self.running() as (env, proc, wid):
            self.wait_for_picture(env, wid)
            logo = self.start(env, command=["xlogo", "-geometry", "100x100+900+600"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            other = harness.find_window(env, "^xlogo$", timeout=20)
            self.assertIsNotNone(other, "xlogo did not open")
            harness.focus(env, other)
            self.assertEqual(harness.focused_window(env), other)

            self.assertIsNotNone(harness.frame_model(env, wid, focus_window=False),
                                 "Z held while another window had the focus did nothing")
            harness.stop(logo)

    def test_esc_ends_with_exit_code_0(self):
        with self.running() as (env, proc, wid):
            self.wait_for_picture(env, wid)
            harness.press_key(env, wid, "Escape")
            self.assert_ends_with(proc, 0)

    def test_a_close_request_ends_with_exit_code_0(self):
        with self.running() as (env, proc, wid):
            self.wait_for_picture(env, wid)
            harness.send_close_request(env, wid)
            self.assert_ends_with(proc, 0)

    def test_a_missing_or_unusable_model_leaves_a_running_viewer_with_a_black_view(self):
        with open(os.path.join(harness.build_dir(), "tris.md2"), "rb") as default_model:
            cut_short = default_model.read()[:200]
        models = {"missing": None, "not an MD2 file": b"this is not a model\n" * 8, "cut short": cut_short}
        bad_fixture = harness.fixture("md2", "zero_vertices.md2")
        if os.path.exists(bad_fixture):
            models["triangles past the vertices"] = bad_fixture
        for name, model in models.items():
            with self.subTest(model=name), self.running(model=model) as (env, proc, wid):
                self.wait_for_picture(env, wid)
                harness.hold_key(env, wid, "z", 0.5)  # would bring any model into view
                img = harness.grab(env, wid)
                self.assertTrue(harness.region_is_black(img, 0, VIEW_TOP, 640, VIEW_BOTTOM, step=2),
                                "something was drawn in the 3D view")
                self.assertIsNone(proc.poll(), "the viewer ended")

    def peak_memory_of_a_start(self, env, proc, wid, limit_kib=None):
        """The viewer's peak memory (KiB) up to a second after its first picture. With a limit, it is watched
        from the start and ended as soon as it passes the limit, which is then what comes back."""
        deadline = time.monotonic() + 60
        img = None
        while img is None and time.monotonic() < deadline:
            peak = harness.peak_memory_kib(proc.pid)
            if limit_kib is not None and peak is not None and peak > limit_kib:
                harness.stop(proc)
                return peak, None
            img = harness.wait_for_picture(env, wid, timeout=0.05)
        self.assertIsNotNone(img, "the viewer never drew a frame")
        time.sleep(1.0)
        return harness.peak_memory_kib(proc.pid), img

    def test_a_huge_model_file_leaves_a_black_view_without_the_memory_it_would_take(self):
        with open(os.path.join(harness.build_dir(), "tris.md2"), "rb") as default_model:
            sound_start = default_model.read()
        with self.running() as (env, proc, wid):
            normal, _ = self.peak_memory_of_a_start(env, proc, wid)
        self.assertIsNotNone(normal)

        # A sound header and sections at the start, then about 3 GB of holes: little disk, all of it readable.
        folder = self.run_dir("huge", model=None)
        with open(os.path.join(folder, "tris.md2"), "wb") as out:
            out.write(sound_start)
            out.truncate(3 * 1024 ** 3 + 12345)
        limit = normal + 8 * 1024  # a few MB over a normal start; the file would take a thousand times that
        with self.running(cwd=folder) as (env, proc, wid):
            peak, img = self.peak_memory_of_a_start(env, proc, wid, limit_kib=limit)
            self.assertLessEqual(peak, limit, "peak memory %d KiB against %d KiB for a normal start"
                                 % (peak, normal))
            self.assertIsNone(proc.poll(), "the viewer ended")
            harness.hold_key(env, wid, "z", 0.5)  # would bring the model into view
            img = harness.grab(env, wid)
            self.assertTrue(harness.region_is_black(img, 0, VIEW_TOP, 640, VIEW_BOTTOM, step=2),
                            "something was drawn in the 3D view")
            self.assertTrue(any(harness.is_reddish(harness.pixel(img, x, y))
                                for y in range(TITLE_TOP, TITLE_BOTTOM) for x in range(0, 90)), "no title")
            self.assertIsNone(proc.poll(), "the viewer ended")

    def test_a_missing_font_shows_a_notice_before_the_first_frame(self):
        with self.running(font=None) as (env, proc, wid):
            notice = harness.find_window(env, "^" + harness.NOTICE_CAPTION + "$", timeout=30)
            self.assertIsNotNone(notice, "no notice box appeared")
            self.assertTrue(harness.region_is_black(harness.grab(env, wid), 0, 0, 640, 480, step=4),
                            "a frame was drawn while the notice was up")
            self.assertEqual(harness.dismiss_notices(env), 1)
            self.wait_for_picture(env, wid)
            self.assertIsNone(proc.poll())

    def test_without_a_display_it_exits_nonzero_with_an_error(self):
        base = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        folder = self.run_dir()
        with self.display() as env:
            cases = {
                "DISPLAY unset": dict(base),
                "DISPLAY unset, offscreen driver asked for": dict(base, SDL_VIDEODRIVER="offscreen"),
                # SDL's invisible drivers would run the viewer where nobody sees it.
                "offscreen driver on a real display": dict(base, DISPLAY=env["DISPLAY"], SDL_VIDEODRIVER="offscreen"),
                "dummy driver on a real display": dict(base, DISPLAY=env["DISPLAY"], SDL_VIDEODRIVER="dummy"),
            }
            for name, case_env in cases.items():
                with self.subTest(name):
                    code, _, err = self.run_to_end(cwd=folder, env=case_env, timeout=20)
                    self.assertNotEqual(code, 0)
                    self.assertIn("display", err.lower())


if __name__ == "__main__":
    unittest.main(verbosity=2)
