#!/usr/bin/env python3
"""End-to-end runs of viewer mode (brevant given arguments), each under its own Xvfb where it needs one: --info,
models from anywhere opened framed, resizing, keys only with the focus, dropped files, bad files and usage faults,
and quitting."""
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402
from harness import xdnd  # noqa: E402

HORSE = harness.fixture("md2", "horse.md2")
DOLPHIN = harness.fixture("md2", "dolphin.md2")
GREEN = (0, 255, 0)
READOUT_ROWS = 20  # the frame-rate readout at the bottom changes from frame to frame by itself


def animations(frame_names):
    """Runs of keyframes whose names share the part before their trailing digits, numbered one up each time."""
    runs, previous = [], None
    for index, name in enumerate(frame_names):
        prefix, digits = re.fullmatch(r"(.*?)(\d*)", name, re.S).groups()
        current = (prefix, int(digits)) if digits else None
        if runs and previous and current and previous[0] == current[0] and current[1] == previous[1] + 1:
            runs[-1][2] = index
        else:
            runs.append([prefix if digits else name, index, index])
        previous = current
    return runs


def expected_info(path, data):
    md2 = harness.read_md2(data)
    text = "file: %s\n" % path
    text += "vertices: %d  triangles: %d  texcoords: %d  frames: %d  skin size: %dx%d\n" % (
        md2["num_vertices"], md2["num_triangles"], md2["num_texcoords"], md2["num_frames"], md2["skin_width"],
        md2["skin_height"])
    text += "skins: %s\n" % (", ".join(md2["skins"]) or "none")
    text += "skin found: none\n"
    text += "animations:\n" + "".join("  %s %d-%d (%d)\n" % (name, first, last, last - first + 1)
                                      for name, first, last in animations(md2["frame_names"]))
    return text


def read(path):
    with open(path, "rb") as source:
        return source.read()


def title_pattern(name):
    return "^" + re.escape(name + " - Brevant") + "$"


def model_box(img):
    """Where the green-skinned model is: the overlay's texts are white, blue-white, yellow and red, never green."""
    return harness.bounding_box(img, harness.is_greenish)


def centre_has_model(img, test=harness.is_greenish, reach=30):
    width, height, _ = img
    return any(test(harness.pixel(img, x, y))
               for y in range(height // 2 - reach, height // 2 + reach, 3)
               for x in range(width // 2 - reach, width // 2 + reach, 3))


class ViewerModeTest(harness.ViewerCase):
    CASE_TIMEOUT = 120

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def green_skin(self):
        return self.write("green.tga", harness.tga_bytes(8, 8, GREEN))

    def empty_folder(self, name="empty"):
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        return folder

    def open_viewer(self, env, args, name, cwd=None):
        """The viewer on args in cwd (an empty folder by default): (process, window id, first picture)."""
        proc = self.start(env, args, cwd=cwd or self.empty_folder("run-" + name))
        wid = self.find_viewer_window(env, title_pattern(name))
        return proc, wid, self.wait_for_picture(env, wid)

    def wait_for(self, env, wid, check, timeout=10):
        """The first picture that passes check, or the last one seen when none did in time."""
        deadline = time.monotonic() + timeout
        while True:
            img = harness.grab(env, wid)
            if check(img) or time.monotonic() >= deadline:
                return img
            time.sleep(0.1)

    def assert_framed(self, img, what):
        width, height, _ = img
        box = model_box(img)
        self.assertIsNotNone(box, "%s: no model drawn" % what)
        left, top, right, bottom = box
        self.assertTrue(left > 0 and top > 0 and right < width and bottom < height,
                        "%s: the model %s touches the edges of %dx%d" % (what, box, width, height))
        self.assertTrue(centre_has_model(img), "%s: nothing of the model near the centre %s" % (what, box))
        self.assertGreater(max((right - left) / width, (bottom - top) / height), 0.25,
                           "%s: the model %s is a speck, not framed" % (what, box))
        return box

    @harness.needs_fixtures
    def test_info_prints_what_the_file_holds_without_a_display(self):
        for fixture in (HORSE, DOLPHIN):
            with self.subTest(os.path.basename(fixture)):
                # A folder of its own, so no image beside the model can be taken for its skin.
                folder = self.empty_folder(os.path.basename(fixture) + "-folder")
                path = shutil.copy(fixture, folder)
                code, out, err = self.run_to_end(["--info", path], cwd=folder)
                self.assertEqual((code, err), (0, ""))
                self.assertEqual(out, expected_info(path, read(path)))

    @harness.needs_fixtures
    def test_models_from_anywhere_open_framed_with_the_built_in_font_and_no_notice(self):
        models = [("horse.md2", HORSE),
                  ("dolphin.md2", DOLPHIN),
                  ("tiny.md2", harness.md2_bytes(size=(0.01, 0.006, 0.008))),
                  ("huge.md2", harness.md2_bytes(size=(6000.0, 3000.0, 4500.0), origin=(-3000.0, -1500.0, 0.0))),
                  ("far.md2", harness.md2_bytes(size=(8.0, 5.0, 6.0), origin=(40000.0, -25000.0, 30000.0)))]
        skin = self.green_skin()
        with self.display() as env:
            for name, source in models:
                with self.subTest(name):
                    path = self.write(name, source) if isinstance(source, bytes) else source
                    proc, wid, img = self.open_viewer(env, ["--frame", "0", "--skin", skin, path], name)
                    self.assertEqual(harness.client_size(env, wid), (harness.WIDTH, harness.HEIGHT))
                    self.assert_framed(img, name)
                    # The status line drew, so some font was found with none in the working folder.
                    self.assertFalse(harness.region_is_black(img, 0, img[1] - 32, 200, img[1] - 16), name)
                    time.sleep(0.5)
                    self.assertEqual(harness.notices(env), [], "%s: a notice box opened" % name)
                    self.assertIsNone(proc.poll(), "%s: the viewer ended" % name)
                    harness.stop(proc)

    def test_a_resize_keeps_the_proportions_and_fills_the_window(self):
        path = self.write("box.md2", harness.md2_bytes(size=(30.0, 10.0, 15.0)))
        with self.display(1280, 1024) as env:
            proc, wid, img = self.open_viewer(env, ["--frame", "0", "--skin", self.green_skin(), path], "box.md2")
            left, top, right, bottom = self.assert_framed(img, "640x480")
            aspect = (right - left) / (bottom - top)
            for width, height in ((1000, 360), (360, 700)):
                with self.subTest("%dx%d" % (width, height)):
                    self.assertTrue(harness.resize_window(env, wid, width, height))

                    def settled(picture):
                        box = model_box(picture)
                        return picture[:2] == (width, height) and box is not None and \
                            abs((box[0] + box[2]) / 2 - width / 2) < 4 and abs((box[1] + box[3]) / 2 - height / 2) < 4

                    img = self.wait_for(env, wid, settled)
                    self.assertTrue(settled(img), "the picture never centred in %dx%d: %s" %
                                    (width, height, model_box(img)))
                    left, top, right, bottom = self.assert_framed(img, "%dx%d" % (width, height))
                    self.assertAlmostEqual((right - left) / (bottom - top), aspect, delta=0.06 * aspect,
                                           msg="the model was stretched")
                    # The overlay follows the new size too: the red title sits 42 rows under the new top.
                    title = harness.bounding_box(img, harness.is_reddish, 0, 60)
                    self.assertIsNotNone(title, "no title at the top")
                    self.assertLess(abs(title[3] - 42), 6, title)

    @harness.needs_fixtures
    def test_keys_turn_the_model_only_while_the_window_has_the_focus(self):
        with self.display() as env:
            proc, wid, _ = self.open_viewer(env, ["--frame", "0", "--skin", self.green_skin(), HORSE], "horse.md2")
            rows = harness.HEIGHT - READOUT_ROWS
            logo = self.start(env, command=["xlogo", "-geometry", "100x100+900+600"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            other = harness.find_window(env, "^xlogo$", timeout=20)
            self.assertIsNotNone(other, "xlogo did not open")

            self.assertTrue(harness.focus(env, other))
            still = harness.grab(env, wid)
            harness.hold_key(env, None, "Left", 0.6)
            time.sleep(0.2)
            self.assertEqual(harness.differing_pixels(still, harness.grab(env, wid), rows), 0,
                             "Left typed into another window turned the model")

            with harness.XDisplay(env) as display:
                self.assertTrue(display.focus(wid))
                display.key("Left", True)
                try:
                    time.sleep(0.6)
                    turned = display.grab(wid)
                    self.assertGreater(harness.differing_pixels(still, turned, rows), 500,
                                       "holding Left with the focus did not turn the model")
                    # Losing the focus mid-hold stops the turn, though the key is still down.
                    self.assertTrue(display.focus(other))
                    time.sleep(0.3)
                    left_behind = display.grab(wid)
                    time.sleep(0.6)
                    self.assertEqual(harness.differing_pixels(left_behind, display.grab(wid), rows), 0,
                                     "the model kept turning after the focus went elsewhere")
                finally:
                    display.key("Left", False)
            harness.stop(logo)
            self.assertIsNone(proc.poll())

    @harness.needs_fixtures
    def test_bad_files_end_at_once_with_one_line_saying_why(self):
        horse = read(HORSE)
        md2 = harness.read_md2(horse)
        # Cut inside the frames, which come after the skins, texture coordinates and triangles.
        self.assertLessEqual(max(md2["ofs_skins"] + 64 * md2["num_skins"], md2["ofs_texcoords"] + 4 * md2[
            "num_texcoords"], md2["ofs_triangles"] + 12 * md2["num_triangles"]), md2["ofs_frames"])
        sparse = self.write("huge sparse.md2", harness.md2_bytes())
        with open(sparse, "r+b") as out:
            out.truncate(3 << 30)
        cases = [("missing", os.path.join(self.tmp, "no such.md2"), "cannot open: No such file or directory"),
                 ("not MD2", self.write("notes.md2", b"this is not a model\n" * 8), "not an MD2 file"),
                 ("header cut short", self.write("stub.md2", horse[:40]),
                  "cut short: 40 bytes, less than the 68-byte header"),
                 ("frames cut short", self.write("cut.md2", horse[:md2["ofs_frames"] + md2["frame_size"]]),
                  "cut short: frames end past the end of the file"),
                 ("3 GB", sparse, "file is 3.0 GB, larger than any MD2 model")]
        folder = self.empty_folder()
        for what, path, reason in cases:
            with self.subTest(what):
                peak_file = os.path.join(self.tmp, "peak.txt")
                started = time.monotonic()
                code, out, err = self.run_to_end(
                    [path], cwd=folder, command=["/usr/bin/time", "-f", "%M", "-o", peak_file] +
                    harness.viewer_command(), timeout=20)
                self.assertLess(time.monotonic() - started, 10, "refusing the file took too long")
                self.assertEqual((code, out, err), (1, "", "brevant: %s: %s\n" % (path, reason)))
                peak_kib = int(read(peak_file).split()[-1])
                self.assertLess(peak_kib, 64 * 1024, "the file was read before it was refused")

    @harness.needs_fixtures
    def test_usage_faults_exit_2_with_one_line_and_the_usage(self):
        dolphin_animations = sorted({run[0] for run in animations(harness.read_md2(read(DOLPHIN))["frame_names"])})
        horse_frames = harness.read_md2(read(HORSE))["num_frames"]
        cases = [(["--bogus", HORSE], "unknown option '--bogus'"),
                 (["--size", "640by480", HORSE], "--size needs WxH, like 800x600, not '640by480'"),
                 ([HORSE, DOLPHIN], "one model at most, but both '%s' and '%s' were given" % (HORSE, DOLPHIN)),
                 (["--frame", str(horse_frames), HORSE],
                  "--frame %d is outside horse.md2's keyframes (0-%d)" % (horse_frames, horse_frames - 1)),
                 (["--anim", "swim", DOLPHIN],
                  'no animation "swim" in dolphin.md2; its animations: ' + ", ".join(dolphin_animations))]
        code, usage, _ = self.run_to_end(["--help"])
        self.assertEqual(code, 0)
        self.assertTrue(usage.startswith("usage: brevant"), usage)
        for args, message in cases:
            with self.subTest(" ".join(args)):
                code, out, err = self.run_to_end(args, cwd=self.tmp)
                self.assertEqual((code, out, err), (2, "", "brevant: %s\n%s" % (message, usage)))

    @harness.needs_fixtures
    def test_a_dropped_model_replaces_the_shown_one_and_a_bad_drop_leaves_it(self):
        folder = self.empty_folder("drops")
        dolphin = shutil.copy(DOLPHIN, folder)
        horse = read(HORSE)
        broken = os.path.join(folder, "broken.md2")
        with open(broken, "wb") as out:
            out.write(horse[:harness.read_md2(horse)["ofs_frames"] + 1])
        skin = self.write("green.tga", harness.tga_bytes(8, 8, GREEN))
        with self.display() as env:
            proc, wid, before = self.open_viewer(env, ["--frame", "0", "--no-skin", HORSE], "horse.md2")
            rows = harness.HEIGHT - READOUT_ROWS

            self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, dolphin), "the window refused the drop")
            self.assertIsNotNone(harness.find_window(env, title_pattern("dolphin.md2")), "the title stayed")
            after = harness.grab(env, wid)
            self.assertGreater(harness.differing_pixels(before, after, rows), 1000, "the picture did not change")
            self.assertTrue(centre_has_model(after, lambda rgb: not harness.is_black(rgb)), "the dolphin is not shown")

            self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, broken))
            # The notice line above the status line says why, in yellow.
            img = self.wait_for(env, wid, lambda picture: not harness.region_is_black(
                picture, 0, harness.HEIGHT - 48, 300, harness.HEIGHT - 32))
            self.assertFalse(harness.region_is_black(img, 0, harness.HEIGHT - 48, 300, harness.HEIGHT - 32),
                             "no notice of the bad drop")
            self.assertEqual(harness.find_windows(env, title_pattern("dolphin.md2")), [wid], "the model changed")
            self.assertTrue(centre_has_model(img, lambda rgb: not harness.is_black(rgb)), "the model went away")

            # A dropped image becomes the skin.
            self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, skin))
            self.assertIsNotNone(model_box(self.wait_for(env, wid, lambda picture: model_box(picture) is not None)),
                                 "the dropped skin was not put on")

            harness.press_key(env, wid, "Escape")
            _, err = self.assert_ends_with(proc, 0)
            self.assertEqual(err, "brevant: %s: cut short: frames end past the end of the file\n" % broken)

    @harness.needs_fixtures
    def test_esc_and_a_close_request_end_with_exit_code_0(self):
        quits = [("Esc", lambda env, wid: harness.press_key(env, wid, "Escape")),
                 ("close request", harness.send_close_request)]
        with self.display() as env:
            for what, quit_viewer in quits:
                with self.subTest(what):
                    proc, wid, _ = self.open_viewer(env, ["--no-skin", HORSE], "horse.md2", cwd=self.empty_folder(what))
                    quit_viewer(env, wid)
                    out, err = self.assert_ends_with(proc, 0)
                    self.assertEqual((out, err), ("", ""))



class ViewerModeOptionsTest(harness.ViewerCase):
    """Options checked in full before anything runs, and against the model read; pictures in the format asked
    for; warnings on stderr; names outside ASCII. Built models only, so these run without the reference data."""
    CASE_TIMEOUT = 120

    def model(self, name="walk.md2"):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as out:
            out.write(harness.md2_bytes(frame_names=("walk1", "walk2", "walk3", "walk4"),
                                        skins=("a.pcx", "b.pcx", "c.pcx")))
        return path

    def test_usage_faults_win_and_info_checks_what_the_viewer_checks(self):
        model = self.model()
        missing = os.path.join(self.tmp, "missing.md2")
        cases = [(["--skin-index", "3", model], 2, "--skin-index 3 is outside walk.md2's skin names (it has 3, 0-2)"),
                 (["--info", "--skin-index", "99", model], 2, "--skin-index 99 is outside walk.md2's skin names"),
                 (["--info", "--anim", "no_such", model], 2, 'no animation "no_such" in walk.md2'),
                 (["--info", "--weapon", missing, model], 1, "brevant: %s: " % missing),
                 (["--info", "--screenshot", "a.png", model], 2, "--info and --screenshot cannot be used together"),
                 (["--version", "--bogus"], 2, "unknown option '--bogus'"),
                 (["--help", "--bogus"], 2, "unknown option '--bogus'"),
                 (["-V", "--fps", "0"], 2, "--fps needs"),
                 (["--screenshot", "x.jpg.gif", model], 2, "--screenshot needs a name ending in .png"),
                 (["-V"], 0, "brevant "),
                 (["-h"], 0, "usage: brevant"),
                 (["--info", "--anim", "WALK", "--skin-index", "2", model], 0, "animations:\n  walk 0-3 (4)\n")]
        for args, code, words in cases:
            with self.subTest(args=args):
                result = self.run_to_end(args, cwd=self.tmp)
                self.assertEqual(result[0], code, result[2])
                self.assertIn(words, result[1] if code == 0 else result[2])
                if code == 2:
                    self.assertEqual(result[1], "")
                    self.assertTrue(result[2].startswith("brevant: "), result[2])
                    self.assertIn("\nusage: brevant", result[2])

    def test_screenshots_take_their_extensions_format_and_warnings_reach_stderr(self):
        model = self.model()
        folder = self.run_dir("shots", model=None, font=None)
        signatures = {".png": b"\x89PNG\r\n\x1a\n", ".jpg": b"\xff\xd8\xff", ".JPEG": b"\xff\xd8\xff",
                      ".bmp": b"BM"}
        with self.display() as env:
            for extension in (".png", ".jpg", ".JPEG", ".bmp", ".tga"):
                with self.subTest(extension=extension):
                    picture = os.path.join(folder, "shot" + extension)
                    code, out, err = self.run_to_end(["--screenshot", picture, "--anim", "Walk", model], cwd=folder,
                                                     env=env)
                    self.assertEqual(code, 0, err)
                    # No skin beside the model: the lookup's note is a warning on stderr, one line.
                    self.assertRegex(err, r"\Abrevant: %s: no skin: tried a, b, c, walk, skin[^\n]*\n\Z" % re.escape(model))
                    data = read(picture)
                    if extension == ".tga":
                        self.assertIn(data[2], (2, 10), "not a true-colour TGA")
                        self.assertEqual(struct.unpack_from("<HH", data, 12), (harness.WIDTH, harness.HEIGHT))
                    else:
                        self.assertTrue(data.startswith(signatures[extension]), data[:8])

    def test_a_name_outside_ascii_keeps_its_utf8_title_and_gives_the_legacy_title_in_latin_1(self):
        name = "mod\u00e8le \u2605.md2"
        model = self.model(name)
        with self.display() as env:
            proc = self.start(env, ["--no-skin", model], cwd=self.run_dir("title", model=None, font=None))
            # Read in a UTF-8 locale, the window's UTF-8 name (_NET_WM_NAME) is the file name as it is.
            utf8 = dict(env, LANG="C.UTF-8", LC_ALL="C.UTF-8")
            wid = None
            deadline = time.monotonic() + 30
            while wid is None and time.monotonic() < deadline:
                tree = subprocess.run(["xwininfo", "-root", "-tree"], env=utf8, capture_output=True,
                                      timeout=10).stdout.decode("utf-8", errors="replace")
                found = re.search(r"^\s*(0x[0-9a-f]+) \"%s\"" % re.escape(name + " - Brevant"), tree, re.M)
                wid = int(found.group(1), 16) if found else None
                time.sleep(0.1)
            self.assertIsNotNone(wid, "no window titled %s - Brevant" % name)
            self.wait_for_picture(env, wid)
            legacy = subprocess.run(["xprop", "-id", str(wid), "-f", "WM_NAME", "8x", "WM_NAME"], env=env,
                                    capture_output=True, timeout=10).stdout.decode()
            stored = bytes(int(part, 16) for part in re.findall(r"0x[0-9a-f]+", legacy))
            self.assertEqual(stored, "mod\u00e8le ?.md2 - Brevant".encode("latin-1"), legacy)
            harness.press_key(env, wid, "Escape")
            self.assertEqual(proc.wait(timeout=20), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
