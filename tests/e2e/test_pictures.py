#!/usr/bin/env python3
"""The picture-only runs without a display: --screenshot, --sheet and --thumbnail drawn offscreen with DISPLAY
unset equal the SDL window's pictures under Xvfb (same model, size and view); the sheet's layout; the thumbnailer
in a file manager's sandbox (bwrap: only the one file, no X, no GPU device); and the faults that leave no file."""
import os
import shutil
import struct
import subprocess
import sys
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

VIEWER = harness.viewer_command()[0]


def no_display_environment():
    env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
    # Xvfb draws with llvmpipe; on a machine with a GPU the surfaceless display would take it instead.
    env["LIBGL_ALWAYS_SOFTWARE"] = "1"
    return env


def read_png(path):
    """(width, height, channels, pixel bytes top row first) of an 8-bit RGB or RGBA PNG without interlacing."""
    with open(path, "rb") as source:
        data = source.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path
    offset, chunks, header = 8, [], None
    while offset < len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        body = data[offset + 8:offset + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        offset += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, header
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    out, previous = bytearray(), bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        out += line
        previous = line
    return width, height, channels, bytes(out)


def read_bmp(path):
    """(width, height, RGB bytes top row first) of an uncompressed 24- or 32-bit BMP, as the viewer writes."""
    with open(path, "rb") as source:
        data = source.read()
    assert data[:2] == b"BM", path
    pixels_at = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    assert bits in (24, 32), bits
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        row = data[pixels_at + y * stride:pixels_at + y * stride + width * step]
        rows.append(bytes(b for i in range(0, len(row), step) for b in (row[i + 2], row[i + 1], row[i])))
    if height > 0:
        rows.reverse()
    return width, abs(height), b"".join(rows)


def over_black(width, height, rgba, left=0, top=0, cell_width=None, cell_height=None, stride_width=None):
    """RGB of a region of an RGBA picture laid over black, as the window's clear colour shows it."""
    cell_width, cell_height, stride_width = cell_width or width, cell_height or height, stride_width or width
    out = bytearray()
    for y in range(top, top + cell_height):
        for x in range(left, left + cell_width):
            r, g, b, a = rgba[(y * stride_width + x) * 4:(y * stride_width + x) * 4 + 4]
            out += bytes((r * a // 255, g * a // 255, b * a // 255))
    return bytes(out)


def differences(first, second):
    """(how many channel values differ, the largest difference)."""
    count, largest = 0, 0
    for a, b in zip(first, second):
        if a != b:
            count += 1
            largest = max(largest, abs(a - b))
    return count, largest


class PicturesTest(harness.ViewerCase):
    CASE_TIMEOUT = 240

    def folder_with_cube(self, name, skin=True):
        files = {"cube.md2": harness.md2_bytes(size=(10, 10, 10), frame_names=("run1", "run2", "run3"),
                                               skins=("cube.tga",) if skin else ())}
        if skin:
            files["cube.tga"] = harness.tga_bytes(8, 8, (40, 200, 90))
        return self.run_dir(name, files=files)

    def run_offscreen(self, args, folder, expect=0):
        code, _, err = self.run_to_end(args, cwd=folder, env=no_display_environment(), timeout=60)
        self.assertEqual(code, expect, err)
        return err

    def window_screenshot(self, env, args, folder, name):
        """A --screenshot the SDL window draws under Xvfb: (width, height, RGB)."""
        shot = os.path.join(folder, name)  # name may be absolute
        window_env = dict(env, BREVANT_PICTURE_WINDOW="1", LIBGL_ALWAYS_SOFTWARE="1")
        code, _, err = self.run_to_end([*args, "--screenshot", shot], cwd=folder, env=window_env, timeout=60)
        self.assertEqual(code, 0, err)
        return read_bmp(shot)

    def assert_close(self, first, second, what, exact):
        count, largest = differences(first, second)
        if exact:
            self.assertEqual(count, 0, "%s: %d channel values differ (by up to %d)" % (what, count, largest))
        else:
            # Linear texture filtering rounds a few texels one step apart between a window and a framebuffer.
            self.assertLessEqual(largest, 1, what)
            self.assertLess(count, len(first) // 1000 + 1, "%s: %d channel values differ" % (what, count))

    def test_offscreen_pictures_equal_the_windows(self):
        model_folder = self.run_dir("default")
        cube_folder = self.folder_with_cube("cube")
        # Pictures go elsewhere: a lone picture beside a model would be taken for its skin.
        out = os.path.join(self.tmp, "pictures")
        os.mkdir(out)
        size = "96x72"
        # The offscreen runs, with no X server anywhere.
        self.run_offscreen(["--size", size, "--frame", "3", "--screenshot", os.path.join(out, "off.bmp"), "tris.md2"],
                           model_folder)
        self.run_offscreen(["--size", size, "--sheet", os.path.join(out, "sheet.png"), "tris.md2"], model_folder)
        self.run_offscreen(["--thumbnail", "80", "tris.md2", os.path.join(out, "thumb.png")], model_folder)
        self.run_offscreen(["--thumbnail", "64", "cube.md2", os.path.join(out, "cube.png")], cube_folder)
        with self.display() as env:
            def window(args, folder, name):
                return self.window_screenshot(env, args, folder, os.path.join(out, name))
            shot = window(["--size", size, "--frame", "3", "tris.md2"], model_folder, "w.bmp")
            cells = [window(["--size", size, "--frame", str(k), "tris.md2"], model_folder, "w%d.bmp" % k)
                     for k in (0, 39)]
            thumb = window(["--size", "80x80", "--frame", "0", "tris.md2"], model_folder, "wt.bmp")
            cube = window(["--size", "64x64", "--frame", "0", "cube.md2"], cube_folder, "wc.bmp")

        offscreen = read_bmp(os.path.join(out, "off.bmp"))
        self.assertEqual(offscreen[:2], (96, 72))
        self.assertGreater(harness.differing_pixels(offscreen, (96, 72, bytes(96 * 72 * 3)), 72), 300,
                           "the offscreen screenshot is nearly black")
        self.assert_close(offscreen[2], shot[2], "--screenshot", exact=True)

        # The default model's 40 keyframes: 7 columns (6 x 6 is too few), 6 rows.
        width, height, channels, sheet = read_png(os.path.join(out, "sheet.png"))
        self.assertEqual((width, height, channels), (7 * 96, 6 * 72, 4))
        self.assertEqual(sheet[3], 0, "the sheet's background is not clear")
        for index, cell in zip((0, 39), cells):
            left, top = (index % 7) * 96, (index // 7) * 72
            drawn = over_black(width, height, sheet, left, top, 96, 72, width)
            # Lit from the eye, a late keyframe rounds a few values one step apart from the window's.
            self.assert_close(drawn, cell[2], "sheet cell %d" % index, exact=False)
        # Cells 40 and 41 of the grid are empty and clear.
        for x, y in ((5 * 96 + 40, 5 * 72 + 30), (6 * 96 + 40, 5 * 72 + 30)):
            self.assertEqual(sheet[(y * width + x) * 4 + 3], 0)

        width, height, channels, picture = read_png(os.path.join(out, "thumb.png"))
        self.assertEqual((width, height, channels), (80, 80, 4))
        self.assertEqual(picture[3], 0, "the thumbnail's corner is not clear")
        self.assertTrue(any(picture[i] == 255 for i in range(3, len(picture), 4)), "nothing drawn")
        self.assert_close(over_black(80, 80, picture), thumb[2], "--thumbnail", exact=False)

        # Textured: the skin beside the model is found and drawn, green, within one step of the window's.
        width, height, channels, picture = read_png(os.path.join(out, "cube.png"))
        self.assertEqual((width, height), (64, 64))
        self.assert_close(over_black(64, 64, picture), cube[2], "textured --thumbnail", exact=False)
        middle = picture[(32 * 64 + 32) * 4:(32 * 64 + 32) * 4 + 4]
        self.assertGreater(middle[1], middle[0] + 40, "the thumbnail's middle is not the green skin: %s" % middle)

    def test_saved_pictures_hold_no_texts(self):
        # The framed cube stays clear of the bands where the title (top) and the status line and readout
        # (bottom) are written: any drawn pixel there would be a text.
        folder = self.run_dir("texts", model=harness.md2_bytes(size=(1, 1, 1)))
        self.run_offscreen(["--size", "400x300", "--screenshot", "texts.bmp"], folder)
        width, height, rgb = read_bmp(os.path.join(folder, "texts.bmp"))
        band = [rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] for y in list(range(0, 45)) + list(range(255, 300))
                for x in range(0, width)]
        self.assertTrue(all(max(p) < 8 for p in band), "text drawn at the top or bottom of the screenshot")

    def test_sheet_layout_follows_the_animation(self):
        folder = self.folder_with_cube("cube", skin=False)
        for frames, columns, rows in ((1, 1, 1), (2, 2, 1), (5, 3, 2)):
            names = ["walk%d" % k for k in range(1, frames + 1)] + ["idle1", "idle2"]
            with open(os.path.join(folder, "cube.md2"), "wb") as out:
                out.write(harness.md2_bytes(size=(10, 10, 10), frame_names=names))
            out = "walk%d.png" % frames
            self.run_offscreen(["--sheet", out, "--anim", "walk", "--size", "16x12", "cube.md2"], folder)
            width, height, _, _ = read_png(os.path.join(folder, out))
            self.assertEqual((width, height), (16 * columns, 12 * rows), "%d keyframes" % frames)
        # Without --size the cells are 128 x 128; without --anim, the first animation (walk1-5).
        self.run_offscreen(["--sheet", "plain.png", "cube.md2"], folder)
        self.assertEqual(read_png(os.path.join(folder, "plain.png"))[:2], (3 * 128, 2 * 128))

    def test_faults_leave_no_file(self):
        folder = self.folder_with_cube("faults")
        with open(os.path.join(folder, "bad.md2"), "wb") as out:
            out.write(b"IDP2" + b"\0" * 10)
        # Places no picture can be written, even by root: below a file, and over a folder.
        os.mkdir(os.path.join(folder, "taken.png"))
        before = sorted(os.listdir(folder))
        cases = [
            (["--thumbnail", "0", "cube.md2", "out.png"], 2, "out.png"),
            (["--thumbnail", "4097", "cube.md2", "out.png"], 2, "out.png"),
            (["--thumbnail", "64", "bad.md2", "out.png"], 1, "out.png"),
            (["--thumbnail", "64", "missing.md2", "out.png"], 1, "out.png"),
            (["--thumbnail", "64", "cube.md2", "cube.md2/out.png"], 1, "cube.md2/out.png"),
            (["--thumbnail", "64", "cube.md2", "nowhere/out.png"], 1, "nowhere/out.png"),
            (["--thumbnail", "64", "cube.md2", "taken.png"], 1, "taken.png/out.png"),
            (["--sheet", "cube.tga/s.png", "cube.md2"], 1, "cube.tga/s.png"),
            (["--sheet", "s.png", "bad.md2"], 1, "s.png"),
            (["--screenshot", "taken.png", "cube.md2"], 1, "taken.png/out.png"),
        ]
        for args, code, out in cases:
            with self.subTest(args=args):
                err = self.run_offscreen(args, folder, expect=code)
                self.assertIn("brevant: ", err)
                self.assertFalse(os.path.exists(os.path.join(folder, out)), "%s was left behind" % out)
        self.assertEqual(os.listdir(os.path.join(folder, "taken.png")), [])
        self.assertEqual(sorted(os.listdir(folder)), sorted(before), "a picture or a temporary file was left")

    def test_no_context_is_a_clear_fault(self):
        folder = self.folder_with_cube("nocontext")
        env = no_display_environment()
        # No driver to load: EGL cannot make a context.
        env["LIBGL_DRIVERS_PATH"] = env["GBM_BACKENDS_PATH"] = os.path.join(folder, "none")
        env["__EGL_VENDOR_LIBRARY_FILENAMES"] = os.path.join(folder, "none.json")
        code, _, err = self.run_to_end(["--thumbnail", "32", "cube.md2", "t.png"], cwd=folder, env=env, timeout=60)
        self.assertEqual(code, 1, err)
        self.assertIn("brevant: cannot draw without a display: ", err)
        self.assertFalse(os.path.exists(os.path.join(folder, "t.png")))


def sandboxed(command_root, model, out_folder, size=128):
    """The thumbnailer as a file manager's sandbox runs it: read-only /usr, only the one file visible, every
    namespace unshared, no X, no /dev/dri, a private /tmp."""
    return [shutil.which("bwrap"), "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib", "--symlink", "usr/lib64", "/lib64",
            "--symlink", "usr/bin", "/bin", "--proc", "/proc", "--dev", "/dev", "--tmpfs", "/tmp",
            "--ro-bind", command_root, "/opt/brevant", "--ro-bind", model, "/tmp/in.md2",
            "--bind", out_folder, "/tmp/out", "--chdir", "/", "--unshare-all", "--die-with-parent",
            "--clearenv", "--setenv", "PATH", "/usr/bin", "--setenv", "LIBGL_ALWAYS_SOFTWARE", "1",
            "/opt/brevant/brevant", "--thumbnail", str(size), "/tmp/in.md2", "/tmp/out/thumb.png"]


@unittest.skipUnless(shutil.which("bwrap"), "bubblewrap is not installed")
class SandboxTest(harness.ViewerCase):
    CASE_TIMEOUT = 120

    def sandbox_works(self):
        probe = subprocess.run([shutil.which("bwrap"), "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib",
                                "--symlink", "usr/lib64", "/lib64", "--unshare-all", "/usr/bin/true"],
                               capture_output=True, timeout=30)
        return probe.returncode == 0

    def test_thumbnailer_inside_the_sandbox(self):
        if not self.sandbox_works():
            self.skipTest("bwrap cannot make namespaces here")
        folder = self.run_dir("sandbox", files={"cube.md2": harness.md2_bytes(size=(10, 10, 10), skins=("a.tga",)),
                                                "a.tga": harness.tga_bytes(8, 8, (200, 30, 30))})
        program = os.path.join(self.tmp, "program")
        os.mkdir(program)
        shutil.copy(VIEWER, program)
        out_folder = os.path.join(self.tmp, "out")
        os.mkdir(out_folder)
        code, _, err = self.run_to_end(
            [], command=sandboxed(program, os.path.join(folder, "cube.md2"), out_folder), env={}, timeout=60)
        self.assertEqual(code, 0, err)
        width, height, channels, picture = read_png(os.path.join(out_folder, "thumb.png"))
        self.assertEqual((width, height, channels), (128, 128, 4))
        self.assertEqual(picture[3], 0, "the corner is not clear")
        # The skin beside the model is not visible in there: the cube is drawn lit, grey, and not dark.
        middle = picture[(64 * 128 + 64) * 4:(64 * 128 + 64) * 4 + 4]
        self.assertEqual(middle[3], 255)
        self.assertLess(max(middle[:3]) - min(middle[:3]), 12, "not an untextured grey: %s" % middle)
        self.assertGreater(min(middle[:3]), 60, "the untextured cube is too dark: %s" % middle)
        self.assertEqual(os.listdir(out_folder), ["thumb.png"])

        # A bad model inside the sandbox: non-zero, no file.
        os.remove(os.path.join(out_folder, "thumb.png"))
        bad = os.path.join(self.tmp, "bad.md2")
        with open(bad, "wb") as out:
            out.write(b"IDP2\x08\0\0\0")
        code, _, err = self.run_to_end([], command=sandboxed(program, bad, out_folder), env={}, timeout=60)
        self.assertNotEqual(code, 0)
        self.assertEqual(os.listdir(out_folder), [])


if __name__ == "__main__":
    unittest.main()
