#!/usr/bin/env python3
"""End-to-end runs of the real viewer, each under its own Xvfb: the window, the keys, both ways of quitting,
unusable models, the notice box, and starting with no display."""
import contextlib
import os
import subprocess
import tempfile
import unittest

import viewer
from viewer import Xvfb

CASE_TIMEOUT = 90  # seconds for one test case, start-up included
# The 3D view without the texts over it: the title sits in rows 26-42 and the rate in rows 464-480.
VIEW_TOP, VIEW_BOTTOM = 48, 460


class ViewerTest(unittest.TestCase):
    def setUp(self):
        viewer.limit_case(self, CASE_TIMEOUT)
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    @contextlib.contextmanager
    def running(self, model=viewer.DEFAULT, font=viewer.DEFAULT):
        """A viewer in a fresh folder under a fresh Xvfb: yields (env, process, window id)."""
        folder = viewer.make_run_dir(self.tmp.name, model=model, font=font)
        with Xvfb() as server:
            env = server.environment()
            proc = viewer.start_viewer(cwd=folder, env=env)
            try:
                wid = viewer.find_window(env, "^OpenGL$", timeout=30)
                self.assertIsNotNone(wid, "no window titled OpenGL appeared")
                yield env, proc, wid
            finally:
                viewer.stop(proc)

    def wait_for_picture(self, env, wid):
        img = viewer.wait_for_picture(env, wid)
        self.assertIsNotNone(img, "the viewer never drew a frame")
        return img

    def assert_ends_with_zero(self, proc):
        try:
            out, err = proc.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            self.fail("the viewer did not end")
        self.assertEqual(proc.returncode, 0, err.decode(errors="replace"))

    def test_window_is_titled_opengl_with_a_fixed_640_by_480_client_area_and_an_icon(self):
        with self.running() as (env, proc, wid):
            self.assertEqual(viewer.client_size(env, wid), (640, 480))
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
            self.assertTrue(viewer.region_is_black(before, 300, 220, 340, 260), "the centre is not black at start")

            framed = viewer.frame_model(env, wid)
            self.assertIsNotNone(framed, "holding Z never brought the model into view")
            self.assertFalse(viewer.is_black(viewer.pixel(framed, 320, 240)))

            viewer.hold_key(env, wid, "Left", 0.3)
            turned = viewer.grab(env, wid)
            self.assertTrue(viewer.region_differs(framed, turned, 0, VIEW_TOP, 640, VIEW_BOTTOM),
                            "holding Left did not change the picture")
            self.assertIsNone(proc.poll())

    def test_a_model_with_fewer_than_31_frames_still_shows(self):
        flag = os.path.join(os.environ.get("BREVANT_FIXTURES", ""), "fixtures", "md2", "flag.md2")
        with self.running(model=flag) as (env, proc, wid):
            self.wait_for_picture(env, wid)
            shown = None
            for _ in range(40):
                viewer.hold_key(env, wid, "z", 0.1)
                img = viewer.grab(env, wid)
                if not viewer.region_is_black(img, 0, VIEW_TOP, 640, VIEW_BOTTOM, step=2):
                    shown = img
                    break
            self.assertIsNotNone(shown, "the 10-frame model never showed")
            self.assertIsNone(proc.poll())

    def test_keys_act_whichever_window_has_the_focus(self):
        with self.running() as (env, proc, wid):
            self.wait_for_picture(env, wid)
            logo = subprocess.Popen(["xlogo", "-geometry", "100x100+900+600"], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            try:
                other = viewer.find_window(env, "^xlogo$", timeout=20)
                self.assertIsNotNone(other, "xlogo did not open")
                viewer.focus(env, other)
                focused = subprocess.run(["xdotool", "getwindowfocus"], env=env, capture_output=True,
                                         timeout=10, text=True).stdout.strip()
                self.assertEqual(focused, str(other))

                self.assertIsNotNone(viewer.frame_model(env, wid, focus_window=False),
                                     "Z held while another window had the focus did nothing")
            finally:
                viewer.stop(logo)

    def test_esc_ends_with_exit_code_0(self):
        with self.running() as (env, proc, wid):
            self.wait_for_picture(env, wid)
            viewer.press_key(env, wid, "Escape")
            self.assert_ends_with_zero(proc)

    def test_a_close_request_ends_with_exit_code_0(self):
        with self.running() as (env, proc, wid):
            self.wait_for_picture(env, wid)
            viewer.send_close_request(env, wid)
            self.assert_ends_with_zero(proc)

    def test_a_missing_or_unusable_model_leaves_a_running_viewer_with_a_black_view(self):
        with open(os.path.join(viewer.build_dir(), "tris.md2"), "rb") as default_model:
            cut_short = default_model.read()[:200]
        models = {"missing": None, "not an MD2 file": b"this is not a model\n" * 8, "cut short": cut_short}
        bad_fixture = os.path.join(os.environ.get("BREVANT_FIXTURES", ""), "fixtures", "md2", "zero_vertices.md2")
        if os.path.exists(bad_fixture):
            models["triangles past the vertices"] = bad_fixture
        for name, model in models.items():
            with self.subTest(model=name), self.running(model=model) as (env, proc, wid):
                self.wait_for_picture(env, wid)
                viewer.hold_key(env, wid, "z", 0.5)  # would bring any model into view
                img = viewer.grab(env, wid)
                self.assertTrue(viewer.region_is_black(img, 0, VIEW_TOP, 640, VIEW_BOTTOM, step=2),
                                "something was drawn in the 3D view")
                self.assertIsNone(proc.poll(), "the viewer ended")

    def test_a_missing_font_shows_a_notice_before_the_first_frame(self):
        with self.running(font=None) as (env, proc, wid):
            notice = viewer.find_window(env, "^" + viewer.NOTICE_CAPTION + "$", timeout=30)
            self.assertIsNotNone(notice, "no notice box appeared")
            self.assertTrue(viewer.region_is_black(viewer.grab(env, wid), 0, 0, 640, 480, step=4),
                            "a frame was drawn while the notice was up")
            self.assertEqual(viewer.dismiss_notices(env), 1)
            self.wait_for_picture(env, wid)
            self.assertIsNone(proc.poll())

    def test_without_a_display_it_exits_nonzero_with_an_error(self):
        base = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        folder = viewer.make_run_dir(self.tmp.name)
        with Xvfb() as server:
            cases = {
                "DISPLAY unset": dict(base),
                "DISPLAY unset, offscreen driver asked for": dict(base, SDL_VIDEODRIVER="offscreen"),
                # SDL's invisible drivers would run the viewer where nobody sees it.
                "offscreen driver on a real display": dict(base, DISPLAY=server.display, SDL_VIDEODRIVER="offscreen"),
                "dummy driver on a real display": dict(base, DISPLAY=server.display, SDL_VIDEODRIVER="dummy"),
            }
            for name, env in cases.items():
                with self.subTest(name):
                    proc = viewer.start_viewer(cwd=folder, env=env)
                    try:
                        out, err = proc.communicate(timeout=20)
                    finally:
                        viewer.stop(proc)
                    self.assertNotEqual(proc.returncode, 0)
                    self.assertIn("display", err.decode(errors="replace").lower())


if __name__ == "__main__":
    unittest.main(verbosity=2)
