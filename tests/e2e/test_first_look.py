#!/usr/bin/env python3
"""End-to-end runs of how viewer mode first looks on generated models: a tall figure framed to fill the window, a
skin face-on at its own brightness, a paused viewer that waits without using the processor, and a status line
shortened to fit a narrow window."""
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

GREEN = (0, 255, 0)
CHAR_STEP = 12  # the overlay font's pen step in pixels


def cpu_seconds(pid):
    """User plus system time the process has used, from /proc/PID/stat."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # After the name: state is field 3, utime and stime are fields 14 and 15.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def processor_share(pid, seconds):
    start = cpu_seconds(pid)
    time.sleep(seconds)
    return (cpu_seconds(pid) - start) / seconds


class FirstLookTest(harness.ViewerCase):
    CASE_TIMEOUT = 120

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def open_viewer(self, env, args, name, size=(harness.WIDTH, harness.HEIGHT)):
        folder = tempfile.mkdtemp(prefix="run-", dir=self.tmp)
        proc = self.start(env, args, cwd=folder)
        wid = self.find_viewer_window(env, "^" + name.replace(".", r"\.") + " - Brevant$")
        img = harness.wait_for_picture(env, wid, width=size[0], height=size[1])
        return proc, wid, img

    def test_a_tall_thin_model_fills_most_of_the_windows_height(self):
        # 1 x 1 wide, 10 tall (the file's z is up).
        model = self.write("tall.md2", harness.md2_bytes(size=(1.0, 1.0, 10.0)))
        skin = self.write("green.tga", harness.tga_bytes(8, 8, GREEN))
        with self.display() as env:
            proc, wid, img = self.open_viewer(env, ["--frame", "0", "--skin", skin, model], "tall.md2")
            box = harness.bounding_box(img, harness.is_greenish)
            self.assertIsNotNone(box, "no model drawn")
            left, top, right, bottom = box
            fill = (bottom - top) / img[1]
            print("tall model fills %.0f %% of the height" % (100 * fill), file=sys.stderr)
            self.assertGreaterEqual(fill, 0.6, box)
            self.assertTrue(top > 0 and bottom < img[1], "the model %s is cut at the window's edge" % (box,))
            harness.stop(proc)

    def test_a_face_toward_the_eye_shows_its_texels_at_their_own_value(self):
        # A panel a hundredth as thick as it is wide: its vertex normals point almost straight at the eye.
        model = self.write("panel.md2", harness.md2_bytes(size=(0.1, 10.0, 10.0)))
        with self.display() as env:
            for level in (255, 160):
                with self.subTest(level=level):
                    skin = self.write("grey%d.tga" % level, harness.tga_bytes(8, 8, (level, level, level)))
                    name = "panel.md2"
                    proc, wid, img = self.open_viewer(env, ["--frame", "0", "--skin", skin, model], name)
                    centre = harness.pixel(img, img[0] // 2, img[1] // 2)
                    print("skin of %d face-on renders at %s" % (level, centre), file=sys.stderr)
                    for channel in centre:
                        self.assertLessEqual(abs(channel - level), 4, centre)
                    # L switches the light off: the skin as it is, still its own value.
                    harness.press_key(env, wid, "l")
                    time.sleep(0.5)
                    unlit = harness.pixel(harness.grab(env, wid), img[0] // 2, img[1] // 2)
                    for channel in unlit:
                        self.assertLessEqual(abs(channel - level), 2, unlit)
                    harness.stop(proc)

    def test_paused_and_untouched_it_uses_next_to_no_processor_time(self):
        model = self.write("idle.md2", harness.md2_bytes(frame_names=("stand1", "stand2", "stand3")))
        with self.display() as env:
            proc, wid, img = self.open_viewer(env, ["--frame", "1", "--no-skin", model], "idle.md2")
            time.sleep(1.0)
            paused = processor_share(proc.pid, 5.0)
            print("paused: %.1f %% of a core" % (100 * paused), file=sys.stderr)
            self.assertLess(paused, 0.02)
            # Space plays: it draws again, and still answers the keys.
            harness.press_key(env, wid, "space")
            playing = processor_share(proc.pid, 3.0)
            print("playing: %.1f %% of a core" % (100 * playing), file=sys.stderr)
            self.assertGreater(playing, paused)
            self.assertIsNone(proc.poll())
            harness.stop(proc)

    def test_a_status_line_too_long_for_a_narrow_window_ends_in_dots(self):
        name = "abcdefghijklmnopqrstuvwxyz.md2"
        model = self.write(name, harness.md2_bytes())
        with self.display() as env:
            proc, wid, img = self.open_viewer(env, ["--frame", "0", "--no-skin", "--size", "320x240", model], name,
                                              size=(320, 240))
            width, height, _ = img
            # 26 characters fit in 320 pixels; the status line sits 16 to 32 pixels above the bottom.
            top = height - 32

            def cell(index):
                return [harness.pixel(img, x, y) for y in range(top, top + 16)
                        for x in range(index * CHAR_STEP, (index + 1) * CHAR_STEP)]

            dots = [cell(24), cell(25)]
            self.assertFalse(all(harness.is_black(rgb) for rgb in dots[0]), "nothing drawn where the dots go")
            # Uncut the line would show 'y' and 'z' there; shortened, two identical dots.
            self.assertEqual(dots[0], dots[1])
            self.assertNotEqual(cell(2), cell(3))
            harness.stop(proc)


if __name__ == "__main__":
    unittest.main()
