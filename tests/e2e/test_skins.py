#!/usr/bin/env python3
"""End-to-end runs of viewer mode's skins: every picture format drawing the same, the colour a skin gives, broken
and huge skins named or found, the lookup in the layouts models come in, the S key and dropped pictures. Models
are written here; pictures are made at test time with ImageMagick's convert."""
import colorsys
import os
import re
import resource
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402
from harness import xdnd  # noqa: E402

WIDTH, HEIGHT = 320, 240
SIZE = "%dx%d" % (WIDTH, HEIGHT)
# The 3D view less the texts: the red title ends at row 42, the notice line starts at row HEIGHT - 48.
VIEW_TOP, VIEW_BOTTOM = 44, HEIGHT - 50
STATUS_TOP, STATUS_BOTTOM = HEIGHT - 32, HEIGHT - 16
NOTICE_TOP, NOTICE_BOTTOM = HEIGHT - 48, HEIGHT - 32
LIT = 40  # a pixel brighter than this in some channel belongs to the model (the background is black)


# --- models -----------------------------------------------------------------------------------------------------

def md2_cube(skin_size=(64, 64), span=None, skin_names=()):
    """A cube of one keyframe whose every face shows the texture rectangle (0, 0)-span, span defaulting to the
    header's skin size. Written as the format lays it out: header, skin names, texcoords, triangles, frame."""
    span_s, span_t = span or skin_size
    corners = [((i & 1) * 255, (i >> 1 & 1) * 255, (i >> 2 & 1) * 255) for i in range(8)]
    faces = [(0, 4, 6, 2), (1, 3, 7, 5), (0, 1, 5, 4), (2, 6, 7, 3), (0, 2, 3, 1), (4, 5, 7, 6)]
    texcoords = [(0, 0), (span_s, 0), (span_s, span_t), (0, span_t)]
    triangles = []
    for a, b, c, d in faces:
        triangles += [((a, b, c), (0, 1, 2)), ((a, c, d), (0, 2, 3))]

    skins = b"".join(name.encode().ljust(64, b"\0") for name in skin_names)
    st = b"".join(struct.pack("<2h", s, t) for s, t in texcoords)
    tris = b"".join(struct.pack("<6h", *v, *t) for v, t in triangles)
    frame = struct.pack("<6f", 0.1, 0.1, 0.1, -12.75, -12.75, -12.75) + b"cube".ljust(16, b"\0")
    frame += b"".join(struct.pack("<4B", *corner, 0) for corner in corners)

    header_size = 68
    ofs_skins = header_size
    ofs_st = ofs_skins + len(skins)
    ofs_tris = ofs_st + len(st)
    ofs_frames = ofs_tris + len(tris)
    ofs_end = ofs_frames + len(frame)
    header = struct.pack("<4s16i", b"IDP2", 8, skin_size[0], skin_size[1], len(frame), len(skin_names),
                         len(corners), len(texcoords), len(triangles), 0, 1, ofs_skins, ofs_st, ofs_tris, ofs_frames,
                         ofs_end, ofs_end)
    return header + skins + st + tris + frame


# --- pictures -----------------------------------------------------------------------------------------------------

def ppm(width, height, colour_at):
    return b"P6 %d %d 255\n" % (width, height) + bytes(
        channel for y in range(height) for x in range(width) for channel in colour_at(x, y))


QUADRANTS = ((230, 40, 40), (40, 200, 60), (50, 70, 230), (230, 210, 40))  # top left, top right, bottom ...


def quadrant_colour(width, height):
    """Four coloured quadrants, with a grey ramp down the left edge so the picture has more than 16 colours (a
    PCX writer keeps fewer in planes, which MD2 skins never are)."""
    def colour(x, y):
        if x < 4:
            return (y * 255 // height,) * 3
        return QUADRANTS[(2 if y >= height // 2 else 0) + (1 if x >= width // 2 else 0)]
    return colour


def quadrant_skin(width, height):
    return ppm(width, height, quadrant_colour(width, height))


def tga_bottom_up(width, height, colour_at):
    """An uncompressed 24-bit TGA stored bottom row first, the layout most programs write (and ImageMagick 6
    mislabels: it marks its rows bottom-up while storing them top first, so its files here are told -orient)."""
    header = struct.pack("<3B2HB4H2B", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0)
    return header + bytes(channel for y in reversed(range(height)) for x in range(width)
                          for channel in reversed(colour_at(x, y)))


def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
    return path


def convert(source, target, *options, prefix=""):
    """ImageMagick: source (a file) written as target, in the format its name or a prefix such as "BMP3:" names."""
    subprocess.run(["convert", source, *options, prefix + target], check=True, timeout=60, capture_output=True)
    return target


def picture(folder, name, width, height, colour_at, *options):
    """A picture file made from a colour function; the format follows the name."""
    source = write(os.path.join(folder, name + ".source.ppm"), ppm(width, height, colour_at))
    target = convert(source, os.path.join(folder, name), *options)
    os.remove(source)
    return target


def read_picture(path):
    """(width, height, RGB bytes, top row first) of any picture ImageMagick reads."""
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, timeout=60,
                          capture_output=True).stdout
    fields = data.split(maxsplit=4)
    return int(fields[1]), int(fields[2]), fields[4]


def view_pixels(img, top=VIEW_TOP, bottom=VIEW_BOTTOM):
    width, _, data = img
    return [tuple(data[i:i + 3]) for i in range(top * width * 3, bottom * width * 3, 3)]


def model_pixels(img):
    return [rgb for rgb in view_pixels(img) if max(rgb) > LIT]


def hue_of(rgb):
    return colorsys.rgb_to_hsv(*(channel / 255 for channel in rgb))[0] * 360


def hue_distance(a, b):
    return min(abs(a - b), 360 - abs(a - b))


def share_near_hue(pixels, hue, tolerance=12):
    """The share of the brighter pixels (dim ones have too few levels to hold a hue) within tolerance of a hue."""
    bright = [rgb for rgb in pixels if max(rgb) > 60]
    if len(bright) < 1000:
        return 0.0
    return sum(1 for rgb in bright if max(rgb) - min(rgb) > 20 and hue_distance(hue_of(rgb), hue) <= tolerance) / \
        len(bright)


def is_grey(rgb, tolerance=6):
    return max(rgb) - min(rgb) <= tolerance


def colours_shown(img):
    """Which of the QUADRANTS colours cover a fair share (2 %) of the model's pixels."""
    pixels = model_pixels(img)
    return {index for index, colour in enumerate(QUADRANTS)
            if share_near_hue(pixels, hue_of(colour), tolerance=10) > 0.02}


def view_difference(first, second, top=VIEW_TOP, bottom=VIEW_BOTTOM):
    """(pixels differing at all, mean difference per channel) over the rows given."""
    a, b = view_pixels(first, top, bottom), view_pixels(second, top, bottom)
    differing = sum(1 for p, q in zip(a, b) if p != q)
    total = sum(abs(x - y) for p, q in zip(a, b) for x, y in zip(p, q))
    return differing, total / (3 * len(a))


# --- the viewer -----------------------------------------------------------------------------------------------

class SkinCase(harness.ViewerCase):
    CASE_TIMEOUT = 240

    def folder(self, name="run", files=None):
        """A working folder with the build's font and {relative path: bytes} files."""
        folder = self.run_dir(name, model=None)
        for path, data in (files or {}).items():
            write(os.path.join(folder, path), data)
        return folder

    def screenshot(self, env, folder, model, *args):
        """The picture --screenshot saves of the model at keyframe 0, and the run's stderr."""
        shot = os.path.join(self.tmp, "shot-%d.png" % time.monotonic_ns())
        code, _, err = self.run_to_end([model, "--frame", "0", "--size", SIZE, "--screenshot", shot, *args],
                                       cwd=folder, env=env, timeout=60)
        self.assertEqual(code, 0, err)
        img = read_picture(shot)
        self.assertEqual(img[:2], (WIDTH, HEIGHT))
        self.assertGreater(len(model_pixels(img)), 3000, "the model hardly shows: %s" % (args,))
        return img, err

    def info(self, folder, *args):
        code, out, err = self.run_to_end(["--info", *args], cwd=folder)
        self.assertEqual(code, 0, err)
        found = [line for line in out.splitlines() if line.startswith("skin found: ")]
        self.assertEqual(len(found), 1, out)
        return found[0][len("skin found: "):]

    def grab_when(self, env, wid, settled, timeout=10):
        """Grabs the window until settled(picture) holds; returns the last picture."""
        deadline = time.monotonic() + timeout
        while True:
            img = harness.grab(env, wid)
            if settled(img) or time.monotonic() > deadline:
                return img
            time.sleep(0.1)

    def assert_untextured(self, img):
        pixels = model_pixels(img)
        self.assertGreater(len(pixels), 3000, "the model does not show")
        self.assertGreater(sum(1 for rgb in pixels if is_grey(rgb)) / len(pixels), 0.98,
                           "the model is not drawn untextured")


class SkinFormatsTest(SkinCase):
    def test_the_same_skin_in_each_format_draws_the_same_picture(self):
        folder = self.folder(files={"cube.md2": md2_cube()})
        source = write(os.path.join(self.tmp, "skin.ppm"), quadrant_skin(64, 64))
        # {name: (ImageMagick's format prefix, file name, options)}
        variants = {
            "png": ("", "skin.png", ()),
            "palette png": ("PNG8:", "skin8.png", ()),
            "pcx": ("", "skin.pcx", ("+dither", "-type", "Palette")),
            "tga": ("", "skin.tga", ("-orient", "TopLeft", "-type", "TrueColor")),
            "tga with runs": ("", "runs.tga", ("-orient", "TopLeft", "-type", "TrueColor", "-compress", "RLE")),
            "colour-mapped tga": ("", "mapped.tga", ("-orient", "TopLeft", "+dither", "-type", "Palette")),
            "bmp with a v5 header": ("", "skin.bmp", ()),
            "bmp3": ("BMP3:", "skin3.bmp", ("-type", "TrueColor")),
            "jpeg": ("", "skin.jpg", ("-quality", "95")),
        }
        paths = {name: convert(source, os.path.join(folder, target), *options, prefix=prefix)
                 for name, (prefix, target, options) in variants.items()}
        paths["bottom-up tga"] = write(os.path.join(folder, "up.tga"), tga_bottom_up(64, 64, quadrant_colour(64, 64)))
        with self.display() as env:
            shots = {name: self.screenshot(env, folder, "cube.md2", "--skin", path)[0]
                     for name, path in paths.items()}
            untextured, _ = self.screenshot(env, folder, "cube.md2", "--no-skin")

        reference = shots.pop("png")
        self.assertEqual(colours_shown(reference), {0, 1, 2, 3}, "the skin's four colours do not all show")
        self.assertGreater(view_difference(reference, untextured)[0], 3000, "the skin changed little")
        jpeg = shots.pop("jpeg")
        for name, img in shots.items():
            with self.subTest(format=name):
                self.assertEqual(view_difference(reference, img)[0], 0, "differs from the PNG's picture")
        differing, mean = view_difference(reference, jpeg)
        self.assertLess(mean, 2.0, "the JPEG's picture is further off than its loss")
        self.assertEqual(colours_shown(jpeg), {0, 1, 2, 3})

    def test_a_skin_of_one_colour_tints_the_model_that_colour(self):
        colours = {"orange": (235, 140, 20), "green": (40, 200, 60), "teal": (20, 160, 170), "purple": (150, 40, 210)}
        folder = self.folder(files={"cube.md2": md2_cube()})
        with self.display() as env:
            self.assert_untextured(self.screenshot(env, folder, "cube.md2", "--no-skin")[0])
            for name, colour in colours.items():
                with self.subTest(colour=name):
                    skin = picture(folder, name + ".png", 16, 16, lambda x, y: colour)
                    img, _ = self.screenshot(env, folder, "cube.md2", "--skin", skin)
                    self.assertGreater(share_near_hue(model_pixels(img), hue_of(colour)), 0.95)


class BrokenSkinTest(SkinCase):
    def broken_skins(self):
        """{name: (file name, bytes, what the reason says)}."""
        png = read_bytes(picture(self.tmp, "whole.png", 64, 64, lambda x, y: (x * 4, y * 4, 128)))
        pcx_header = bytes([10, 5, 1, 8]) + struct.pack("<4H", 0, 0, 63, 63) + bytes(53) + bytes([1]) + \
            struct.pack("<H", 64) + bytes(60)
        return {
            "empty": ("empty.png", b"", "not a readable image: the file is empty"),
            "text": ("notes.png", b"these are not pixels\n" * 20, "not a readable image"),
            "cut-short png": ("cut.png", png[:len(png) // 2], "image data cannot be decoded"),
            "pcx without its palette": ("skin.pcx", pcx_header + b"\x00" * 4096, "PCX: no 256-colour palette"),
            "pcx of version 3": ("old.pcx", bytes([10, 3]) + pcx_header[2:] + bytes(4096 + 769),
                                 "PCX: not version 5"),
            "too wide": ("wide.png", read_bytes(picture(self.tmp, "wide.png", 4097, 1, lambda x, y: (9, 9, 9))),
                         "image too large: 4097 x 1 (at most 4096 x 4096)"),
        }

    def test_a_broken_skin_named_with_skin_is_exit_1_with_the_reason(self):
        cases = dict(self.broken_skins(), missing=("gone.png", None, "cannot open: No such file or directory"))
        folder = self.folder(files={"cube.md2": md2_cube()})
        for name, (file_name, data, reason) in cases.items():
            with self.subTest(skin=name):
                if data is not None:
                    write(os.path.join(folder, file_name), data)
                # No display: the fault must end the run before any window is asked for.
                code, out, err = self.run_to_end(["cube.md2", "--skin", file_name], cwd=folder)
                self.assertEqual(code, 1, err)
                self.assertEqual(out, "")
                self.assertTrue(err.startswith("brevant: %s: %s" % (file_name, reason)), err)
                self.assertEqual(len(err.splitlines()), 1, err)

    def test_a_broken_skin_found_by_the_lookup_is_a_warning_and_an_untextured_model(self):
        with self.display() as env:
            for name, (file_name, data, reason) in self.broken_skins().items():
                with self.subTest(skin=name):
                    # The lookup finds it by the model's name, or as the only picture beside the model.
                    folder = self.folder(name, files={"cube.md2": md2_cube(), file_name: data})
                    proc = self.start(env, ["cube.md2", "--frame", "0", "--size", SIZE], cwd=folder)
                    wid = self.find_viewer_window(env, "^cube.md2 - Brevant$")
                    self.wait_for_picture(env, wid, timeout=30)
                    self.assert_untextured(self.grab_when(env, wid, lambda img: len(model_pixels(img)) > 3000))
                    harness.press_key(env, wid, "Escape")
                    _, err = self.assert_ends_with(proc, 0)
                    self.assertIn("brevant: %s: %s" % (file_name, reason), err)

    def window_picture(self, env, folder, *args):
        """The window's picture of cube.md2 at keyframe 0 with its texts (saved pictures hold the model alone), wide
        enough that the end of the status line, where the skin is named, is not shortened away."""
        proc = self.start(env, ["cube.md2", "--frame", "0", "--size", "640x%d" % HEIGHT, *args], cwd=folder)
        wid = self.find_viewer_window(env, "^cube.md2 - Brevant$")
        self.wait_for_picture(env, wid, timeout=30)
        time.sleep(0.3)
        img = harness.grab(env, wid)
        harness.stop(proc)
        deadline = time.monotonic() + 10
        while harness.find_windows(env, "^cube.md2 - Brevant$") and time.monotonic() < deadline:
            time.sleep(0.05)
        return img

    def test_the_window_says_why_the_model_has_no_skin(self):
        with self.display() as env:
            folder = self.folder("bad", files={"cube.md2": md2_cube(), "cube.png": b"not a picture"})
            bad = self.window_picture(env, folder)
            off = self.window_picture(env, folder, "--no-skin")
            self.assertTrue(harness.region_is_black(off, 0, NOTICE_TOP, WIDTH, NOTICE_BOTTOM), "a notice unasked")
            self.assertFalse(harness.region_is_black(bad, 0, NOTICE_TOP, WIDTH, NOTICE_BOTTOM),
                             "no notice of the bad skin")
            self.assertGreater(view_difference(bad, off, STATUS_TOP, STATUS_BOTTOM)[0], 0,
                               "the status line reads as if no skin had been asked for")

            folder = self.folder("none", files={"cube.md2": md2_cube()})
            missing = self.window_picture(env, folder)
            self.assertFalse(harness.region_is_black(missing, 0, NOTICE_TOP, WIDTH, NOTICE_BOTTOM),
                             "the window does not say which skins were looked for")


def read_bytes(path):
    with open(path, "rb") as source:
        return source.read()


class LookupTest(SkinCase):
    def test_the_lookup_picks_the_skin_the_way_models_are_laid_out(self):
        png = read_bytes(picture(self.tmp, "any.png", 8, 8, lambda x, y: (200, 20, 20)))
        ogro = md2_cube(skin_names=("players/ogro/igdosh.pcx", "players/ogro/arboshak.pcx"))
        plain = md2_cube()
        # (files, arguments after the model, the skin found)
        cases = {
            "the stored name's stem in skins/": (
                {"ogro.md2": ogro, "skins/igdosh.png": png, "ogro.png": png, "skin.png": png},
                (), "skins/igdosh.png"),
            "beside the model before skins/, any case": (
                {"ogro.md2": ogro, "IgDosh.PNG": png, "skins/igdosh.pcx": png}, (), "IgDosh.PNG"),
            "a Skins folder of any case": ({"ogro.md2": ogro, "SKINS/IGDOSH.TGA": png}, (), "SKINS/IGDOSH.TGA"),
            "extensions in order": (
                {"ogro.md2": ogro, "igdosh.bmp": png, "igdosh.jpeg": png, "igdosh.tga": png}, (), "igdosh.tga"),
            "--skin-index": ({"ogro.md2": ogro, "igdosh.png": png, "arboshak.png": png}, ("--skin-index", "1"),
                             "arboshak.png"),
            "the model's name when no stored name is there": (
                {"ogro.md2": ogro, "ogro.pcx": png, "skin.pcx": png}, (), "ogro.pcx"),
            "no names: the model's name beside it": ({"sydney.md2": plain, "sydney.bmp": png, "skin.png": png},
                                                     (), "sydney.bmp"),
            "skin.* after the model's name": ({"sydney.md2": plain, "skins/Skin.jpg": png, "other.png": png},
                                              (), "skins/Skin.jpg"),
            "the only picture": ({"sydney.md2": plain, "whatever.jpeg": png, "font.tga": png}, (), "whatever.jpeg"),
            "two pictures: none": ({"sydney.md2": plain, "a.png": png, "b.png": png}, (), "none"),
            "not a picture's extension": ({"sydney.md2": plain, "sydney.gif": png}, (), "none"),
            "--no-skin": ({"ogro.md2": ogro, "igdosh.png": png}, ("--no-skin",), "none"),
            "--skin": ({"ogro.md2": ogro, "igdosh.png": png, "mine.png": png}, ("--skin", "models/mine.png"),
                       "models/mine.png"),
        }
        for name, (files, args, expected) in cases.items():
            with self.subTest(name):
                folder = self.folder(name, files={"models/" + path: data for path, data in files.items()})
                model = "models/" + next(path for path in files if path.endswith(".md2"))
                expected = expected if expected == "none" or "--skin" in args else "models/" + expected
                self.assertEqual(self.info(folder, model, *args), expected)

    def test_found_skins_are_drawn(self):
        red, blue = (220, 30, 30), (40, 60, 230)
        with self.display() as env:
            # A model naming players/ogro/igdosh.pcx, its skin as a PNG in skins/, a decoy by the model's name.
            folder = self.folder("ogro", files={"ogro.md2": md2_cube(skin_names=("players/ogro/igdosh.pcx",))})
            picture(folder, "skins/igdosh.png", 32, 32, lambda x, y: red)
            picture(folder, "ogro.png", 32, 32, lambda x, y: blue)
            img, err = self.screenshot(env, folder, "ogro.md2")
            self.assertGreater(share_near_hue(model_pixels(img), hue_of(red)), 0.95)
            self.assertNotIn("brevant", err)

            # No skin names, sydney.bmp beside sydney.md2.
            folder = self.folder("sydney", files={"sydney.md2": md2_cube(skin_size=(0, 0), span=(32, 32))})
            picture(folder, "sydney.bmp", 32, 32, lambda x, y: blue)
            img, _ = self.screenshot(env, folder, "sydney.md2")
            self.assertGreater(share_near_hue(model_pixels(img), hue_of(blue)), 0.95)

            # Nothing to find: untextured, and stderr says what was tried.
            folder = self.folder("bare", files={"bare.md2": md2_cube(skin_names=("models/x/hero.pcx",))})
            img, err = self.screenshot(env, folder, "bare.md2")
            self.assert_untextured(img)
            self.assertIn("no skin: tried hero, bare, skin beside the model and in skins/", err)

    def test_texture_coordinates_divide_by_the_header_size_or_else_the_image_size(self):
        # A 308 x 193 skin, the texcoords spanning 308 x 193. A header size twice that maps the faces onto the
        # top left quadrant alone; a header size of 0 or less leaves the image's size, the whole picture.
        cases = {
            "header twice the image": ((616, 386), {0}),
            "header the image's size": ((308, 193), {0, 1, 2, 3}),
            "header 0 x 0": ((0, 0), {0, 1, 2, 3}),
            "header -1 x -1": ((-1, -1), {0, 1, 2, 3}),
            "header half the image": ((154, 97), {0, 1, 2, 3}),
        }
        folder = self.folder()
        source = write(os.path.join(self.tmp, "npot.ppm"), quadrant_skin(308, 193))
        convert(source, os.path.join(folder, "npot.pcx"), "+dither", "-type", "Palette")
        with self.display() as env:
            for name, (header, shown) in cases.items():
                with self.subTest(name):
                    write(os.path.join(folder, "npot.md2"), md2_cube(skin_size=header, span=(308, 193)))
                    img, _ = self.screenshot(env, folder, "npot.md2")
                    self.assertEqual(colours_shown(img), shown)


class HugeSkinTest(SkinCase):
    def sparse(self, path):
        """About 3 GB of holes after a PNG signature: little disk, all of it readable."""
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.truncate(3 * 1024 ** 3 + 12345)
        return path

    def test_a_huge_file_named_with_skin_is_refused_at_once_in_little_memory(self):
        folder = self.folder(files={"cube.md2": md2_cube()})
        self.sparse(os.path.join(folder, "huge.png"))
        env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        started = time.monotonic()
        proc = subprocess.Popen([*harness.viewer_command(), "cube.md2", "--skin", "huge.png"], cwd=folder, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(harness.stop, proc)
        # stderr is one short line, so the pipe cannot fill before the program ends.
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        elapsed = time.monotonic() - started
        err = proc.stderr.read().decode()
        self.assertEqual(proc.returncode, 1, err)
        self.assertEqual(err, "brevant: huge.png: file is 3.0 GB, over the 65 MB allowed\n")
        self.assertLess(elapsed, 5.0)
        self.assertLess(usage.ru_maxrss, 64 * 1024, "peak memory %d KiB" % usage.ru_maxrss)

    def peak_after_first_picture(self, env, folder):
        """Starts the viewer on cube.md2, waits for its picture; (process, window, picture, peak KiB)."""
        proc = self.start(env, ["cube.md2", "--frame", "0", "--size", SIZE], cwd=folder)
        wid = self.find_viewer_window(env, "^cube.md2 - Brevant$")
        self.wait_for_picture(env, wid, timeout=30)
        img = self.grab_when(env, wid, lambda img: len(model_pixels(img)) > 3000)
        time.sleep(0.5)
        return proc, wid, img, harness.peak_memory_kib(proc.pid)

    def test_a_huge_file_found_by_the_lookup_is_a_warning_and_an_untextured_model(self):
        with self.display() as env:
            normal = self.folder("normal", files={"cube.md2": md2_cube()})
            proc, wid, _, normal_peak = self.peak_after_first_picture(env, normal)
            harness.stop(proc)

            folder = self.folder("huge", files={"cube.md2": md2_cube()})
            self.sparse(os.path.join(folder, "cube.png"))
            proc, wid, img, peak = self.peak_after_first_picture(env, folder)
            self.assertLess(peak, normal_peak + 32 * 1024, "peak %d KiB against %d KiB" % (peak, normal_peak))
            self.assert_untextured(img)
            harness.press_key(env, wid, "Escape")
            _, err = self.assert_ends_with(proc, 0)
            self.assertIn("brevant: cube.png: file is 3.0 GB, over the 65 MB allowed", err)


class SkinKeysAndDropsTest(SkinCase):
    def test_s_turns_the_skin_off_and_on_and_a_dropped_picture_becomes_the_skin(self):
        blue = (40, 60, 230)
        folder = self.folder(files={"cube.md2": md2_cube()})
        write(os.path.join(folder, "cube.ppm"), quadrant_skin(64, 64))
        convert(os.path.join(folder, "cube.ppm"), os.path.join(folder, "cube.pcx"), "+dither", "-type", "Palette")
        os.remove(os.path.join(folder, "cube.ppm"))
        dropped = picture(self.tmp, "dropped.png", 16, 16, lambda x, y: blue)
        broken = write(os.path.join(self.tmp, "broken.png"), b"not a picture")
        with self.display() as env:
            # Wide enough that the status line's end, where the skin is named, is not shortened away.
            proc = self.start(env, ["cube.md2", "--frame", "0", "--size", "640x%d" % HEIGHT], cwd=folder)
            wid = self.find_viewer_window(env, "^cube.md2 - Brevant$")
            self.wait_for_picture(env, wid, timeout=30)
            skinned = self.grab_when(env, wid, lambda img: colours_shown(img) == {0, 1, 2, 3})
            self.assertEqual(colours_shown(skinned), {0, 1, 2, 3})

            def after_s(settled):
                harness.press_key(env, wid, "s")
                return self.grab_when(env, wid, settled)

            off = after_s(lambda img: view_difference(skinned, img)[0] > 0)
            self.assert_untextured(off)
            self.assertGreater(view_difference(skinned, off, STATUS_TOP, STATUS_BOTTOM)[0], 0,
                               "the status line did not change")
            on = after_s(lambda img: view_difference(skinned, img)[0] == 0)
            self.assertEqual(view_difference(skinned, on)[0], 0, "S did not bring the same picture back")
            self.assertEqual(view_difference(skinned, on, STATUS_TOP, STATUS_BOTTOM)[0], 0)

            # Dropped while the skin is off, a picture becomes the skin and is shown.
            self.assert_untextured(after_s(lambda img: colours_shown(img) == set()))
            self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, dropped), "the drop was not taken")
            tinted = self.grab_when(env, wid, lambda img: share_near_hue(model_pixels(img), hue_of(blue)) > 0.95)
            self.assertGreater(share_near_hue(model_pixels(tinted), hue_of(blue)), 0.95)

            # A broken picture dropped leaves the skin as it was.
            self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, broken), "the drop was not taken")
            time.sleep(1.0)
            self.assertEqual(view_difference(tinted, harness.grab(env, wid))[0], 0)
            harness.press_key(env, wid, "Escape")
            _, err = self.assert_ends_with(proc, 0)
            self.assertIn("brevant: %s: not a readable image" % broken, err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
