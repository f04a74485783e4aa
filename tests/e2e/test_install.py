#!/usr/bin/env python3
"""Screenshots and what ships: --screenshot against the window showing the same frame, its failures, F12's
numbering; the installed tree run from an unrelated folder; the Debian package's fields and contents; the
Windows archive under Wine. The packages are packed afresh into the case's temp folder with the build's CPack
configuration, so `make package` need not have run.

The Windows archive needs BREVANT_WINDOWS_BUILD_DIR (what `make test` sets) or the host build's twin
(build -> build-win); without either it is skipped, unless that variable names a folder that lacks it."""
import fcntl
import os
import shutil
import struct
import subprocess
import sys
import time
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

INSTALLED_FILES = {
    "bin/brevant",
    "share/brevant/font.tga",
    "share/brevant/tris.md2",
    "share/applications/brevant.desktop",
    "share/icons/hicolor/32x32/apps/brevant.png",
    "share/man/man1/brevant.1",
    "share/mime/packages/brevant.xml",
    "share/thumbnailers/brevant.thumbnailer",
}
WINDOWS_BUILD = os.environ.get("BREVANT_WINDOWS_BUILD_DIR") or os.path.normpath(harness.build_dir()) + "-win"


def read_png(path):
    """(width, height, RGB bytes top row first) of an 8-bit RGB or RGBA PNG without interlacing."""
    with open(path, "rb") as source:
        data = source.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG" % path)
    offset, chunks, header = 8, [], None
    while offset < len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        body = data[offset + 8:offset + 8 + length]
        if zlib.crc32(kind + body) != struct.unpack(">I", data[offset + 8 + length:offset + 12 + length])[0]:
            raise ValueError("%s: bad CRC in %s" % (path, kind))
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        offset += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise ValueError("%s: unsupported PNG layout %s" % (path, header))
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    rows, previous = [], bytearray(stride)
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
        rows.append(line)
        previous = line
    rgb = bytearray()
    for line in rows:
        for x in range(width):
            rgb += line[x * channels:x * channels + 3]
    return width, height, bytes(rgb)


def project_version():
    out = subprocess.run(harness.viewer_command("--version"), capture_output=True, text=True, timeout=30).stdout
    return out.strip().split(" ", 1)[1]


class ScreenshotTest(harness.ViewerCase):
    CASE_TIMEOUT = 120
    MODEL = os.path.join(harness.build_dir(), "tris.md2")

    def test_screenshot_equals_the_window_showing_the_same_frame(self):
        # An odd size, so a picture saved at the default size, or with rows padded or flipped, shows.
        args = ("--frame", "7.5", "--size", "322x241", self.MODEL)
        folder = self.run_dir()
        shot = os.path.join(folder, "shot.png")
        # Drawn offscreen with no display, against the same drawn in the SDL window under Xvfb: saved pictures hold
        # the model alone, so the window's saved picture is the one to match, not its texts.
        code, _, err = self.run_to_end(("--screenshot", shot) + args, cwd=folder)
        self.assertEqual(code, 0, err)
        self.assertEqual(sorted(os.listdir(folder)), sorted(["font.tga", "tris.md2", "shot.png"]))
        saved = read_png(shot)
        window_shot = os.path.join(self.tmp, "window.png")
        with self.display() as env:
            code, _, err = self.run_to_end(("--screenshot", window_shot) + args, cwd=folder,
                                           env=dict(env, BREVANT_PICTURE_WINDOW="1"))
            self.assertEqual(code, 0, err)
        shown = read_png(window_shot)
        self.assertEqual(saved[:2], (322, 241))
        self.assertEqual(shown[:2], (322, 241))
        self.assertGreater(harness.differing_pixels(saved, (322, 241, bytes(322 * 241 * 3)), 241), 1000,
                           "the screenshot is nearly black")
        # A blended keyframe rounds a few values one step apart between a window and a framebuffer object.
        self.assertEqual(harness.differing_pixels(saved, shown, 241, 1), 0, "the screenshot differs from the window's")
        # Where the window draws its texts (the title at the top left, the readout, status and notice lines at the
        # bottom left), the screenshot holds nothing but background.
        for left, top, right, bottom in ((0, 20, 100, 48), (0, 241 - 48, 60, 241)):
            self.assertTrue(harness.region_is_black(saved, left, top, right, bottom), "a text was saved")

    def test_an_unwritable_path_fails_with_the_reason_and_leaves_nothing(self):
        folder = self.run_dir()
        os.mkdir(os.path.join(folder, "taken.png"))
        cases = (
            ("a missing folder", os.path.join(folder, "missing", "shot.png"), "No such file or directory"),
            ("a folder's name", os.path.join(folder, "taken.png"), "cannot write"),
        )
        before = sorted(os.listdir(folder))
        with self.display() as env:
            for name, path, reason in cases:
                with self.subTest(name):
                    code, _, err = self.run_to_end(("--screenshot", path, self.MODEL), cwd=folder, env=env)
                    self.assertEqual(code, 1, err)
                    self.assertIn("brevant: %s: " % path, err)
                    self.assertIn(reason, err)
                    self.assertEqual(sorted(os.listdir(folder)), before)
                    self.assertEqual(os.listdir(os.path.join(folder, "taken.png")), [])

    def test_f12_saves_the_next_free_number_and_keeps_an_existing_file(self):
        folder = self.run_dir(model=None, files={"brevant-0001.png": b"not mine to replace"})
        with self.display() as env:
            self.start(env, ("--size", "400x300", "--no-skin", self.MODEL), cwd=folder)
            wid = self.find_viewer_window(env, title="^tris.md2 - Brevant$")
            self.wait_for_picture(env, wid)
            before = harness.grab(env, wid)
            self.assertTrue(harness.focus(env, wid))
            for number in (2, 3):
                name = os.path.join(folder, "brevant-%04d.png" % number)
                harness.press_key(env, wid, "F12")
                deadline = time.monotonic() + 15
                while not os.path.exists(name) and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertTrue(os.path.exists(name), "F12 saved no %s" % os.path.basename(name))
                self.assertEqual(read_png(name)[:2], (400, 300))
            time.sleep(0.3)
            after = harness.grab(env, wid)
        with open(os.path.join(folder, "brevant-0001.png"), "rb") as kept:
            self.assertEqual(kept.read(), b"not mine to replace")
        self.assertEqual(sorted(name for name in os.listdir(folder) if name.startswith("brevant-")),
                         ["brevant-0001.png", "brevant-0002.png", "brevant-0003.png"])
        # "saved brevant-0003.png" on the notice line, 32 pixels above the bottom, left of the model.
        def notice_line(img):
            return 400, 16, img[2][(300 - 48) * 400 * 3:(300 - 32) * 400 * 3]
        self.assertTrue(harness.region_is_black(notice_line(before), 0, 0, 80, 16))
        self.assertFalse(harness.region_is_black(notice_line(after), 0, 0, 80, 16), "no notice of the saved picture")
        # The second picture was saved while the first one's notice showed: pictures hold the model alone.
        second = read_png(os.path.join(folder, "brevant-0003.png"))
        self.assertTrue(harness.region_is_black(notice_line(second), 0, 0, 80, 16), "the notice was saved")
        self.assertTrue(harness.region_is_black(second, 0, 300 - 32, 80, 300), "the status line was saved")


class InstallTest(harness.ViewerCase):
    CASE_TIMEOUT = 180

    def cpack(self, build, generator_output):
        """Packs the build into the case's temp folder; returns the package's path."""
        out = os.path.join(self.tmp, generator_output)
        result = subprocess.run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"),
                                 "-B", os.path.join(self.tmp, "cpack"), "-D", "CPACK_OUTPUT_FILE_PREFIX=" + out],
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        packages = os.listdir(out)
        self.assertEqual(len(packages), 1, packages)
        return os.path.join(out, packages[0])

    def test_installed_tree_runs_from_an_unrelated_folder(self):
        prefix = os.path.join(self.tmp, "prefix")
        result = subprocess.run(["cmake", "--install", harness.build_dir(), "--prefix", prefix],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        files = {os.path.relpath(os.path.join(top, name), prefix)
                 for top, _, names in os.walk(prefix) for name in names}
        self.assertEqual(files, INSTALLED_FILES)
        program = os.path.join(prefix, "bin", "brevant")
        with open(os.path.join(prefix, "share/man/man1/brevant.1")) as page:
            self.assertIn('"Brevant %s"' % project_version(), page.read())
        self.assertEqual(read_png(os.path.join(prefix, "share/icons/hicolor/32x32/apps/brevant.png"))[:2], (32, 32))

        elsewhere = os.path.join(self.tmp, "elsewhere")
        os.mkdir(elsewhere)
        code, out, err = self.run_to_end(("--info",), cwd=elsewhere, command=[program])
        self.assertEqual(code, 0, err)
        self.assertIn("file: %s/bin/../share/brevant/tris.md2" % prefix, out)
        with self.display() as env:
            code, _, err = self.run_to_end(("--screenshot", "shot.png"), cwd=elsewhere, env=env, command=[program])
            self.assertEqual(code, 0, err)
            self.assertNotIn("font skipped", err)
            self.assertEqual(read_png(os.path.join(elsewhere, "shot.png"))[:2], (640, 480))

            # What the desktop entry runs, without a file, as a menu launch in the home folder would.
            with open(os.path.join(prefix, "share/applications/brevant.desktop")) as entry:
                exec_line = next(line for line in entry if line.startswith("Exec="))
            words = [word for word in exec_line[len("Exec="):].split() if word not in ("%f", "%F", "%u", "%U")]
            self.assertEqual(words[0], "brevant")
            proc = self.start(env, words[1:], cwd=elsewhere, command=[program])
            wid = self.find_viewer_window(env, title="^tris.md2 - Brevant$")
            self.wait_for_picture(env, wid)
            self.assertIsNone(proc.poll())
            harness.stop(proc)
        self.assertEqual(sorted(os.listdir(elsewhere)), ["shot.png"])

    def test_installed_mime_type_names_md2_files_for_the_thumbnailer(self):
        missing = [tool for tool in ("update-mime-database", "gio") if shutil.which(tool) is None]
        if missing:
            self.skipTest("%s missing (scripts/install-deps.sh installs shared-mime-info and libglib2.0-bin)"
                          % ", ".join(missing))
        prefix = os.path.join(self.tmp, "prefix")
        result = subprocess.run(["cmake", "--install", harness.build_dir(), "--prefix", prefix],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        share = os.path.join(prefix, "share")
        with open(os.path.join(share, "thumbnailers", "brevant.thumbnailer")) as source:
            lines = source.read().splitlines()
        self.assertEqual(lines[0], "[Thumbnailer Entry]")
        entry = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
        self.assertEqual(entry, {"TryExec": "brevant", "Exec": "brevant --thumbnail %s %i %o",
                                 "MimeType": "model/x-md2;"})
        with open(os.path.join(share, "applications", "brevant.desktop")) as source:
            desktop_types = next(line for line in source if line.startswith("MimeType="))
        self.assertIn("model/x-md2", desktop_types.strip()[len("MimeType="):].split(";"))

        result = subprocess.run(["update-mime-database", os.path.join(share, "mime")], capture_output=True,
                                text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(share, "mime", "globs2")) as source:
            self.assertIn("50:model/x-md2:*.md2", source.read().splitlines())
        with open(os.path.join(share, "mime", "model", "x-md2.xml")) as source:
            self.assertIn("MD2 model", source.read())
        folder = self.run_dir("files", model=None, font=None)
        with open(os.path.join(harness.build_dir(), "tris.md2"), "rb") as source:
            md2 = source.read()
        # By name, and by the IDP2 magic alone under a name no type claims; other bytes there are not MD2.
        cases = (("tris.md2", md2, True), ("model.dat", md2, True), ("notes.dat", b"plain words\n", False))
        env = dict(os.environ, XDG_DATA_DIRS=share, XDG_DATA_HOME=os.path.join(self.tmp, "empty"))
        for name, data, is_md2 in cases:
            with self.subTest(name):
                path = os.path.join(folder, name)
                with open(path, "wb") as out:
                    out.write(data)
                result = subprocess.run(["gio", "info", "-a", "standard::content-type", path], env=env,
                                        capture_output=True, text=True, timeout=30)
                self.assertEqual(result.returncode, 0, result.stderr)
                found = result.stdout.split("standard::content-type:")[1].split()[0]
                self.assertEqual(found == "model/x-md2", is_md2, found)

    def test_debian_package_declares_its_dependencies_and_runs_extracted(self):
        if shutil.which("dpkg-deb") is None:
            self.skipTest("dpkg-deb is missing (scripts/install-deps.sh installs dpkg-dev)")
        package = self.cpack(harness.build_dir(), "deb")
        fields = {}
        for field in ("Package", "Version", "Architecture", "Depends"):
            fields[field] = subprocess.run(["dpkg-deb", "-f", package, field], capture_output=True, text=True,
                                           timeout=30).stdout.strip()
        self.assertEqual(fields["Package"], "brevant")
        self.assertEqual(fields["Version"], project_version())
        depends = [alternative.split()[0] for item in fields["Depends"].split(",") for alternative in
                   item.split("|")]
        for needed in ("libsdl2-2.0-0", "libgl1", "libegl1", "libc6", "libstdc++6"):
            self.assertIn(needed, depends)

        root = os.path.join(self.tmp, "root")
        subprocess.run(["dpkg-deb", "-x", package, root], check=True, timeout=60)
        files = {os.path.relpath(os.path.join(top, name), os.path.join(root, "usr"))
                 for top, _, names in os.walk(root) for name in names}
        self.assertEqual(files, INSTALLED_FILES)
        program = os.path.join(root, "usr", "bin", "brevant")
        code, out, err = self.run_to_end(("--version",), cwd=self.tmp, command=[program])
        self.assertEqual((code, out.strip()), (0, "brevant " + project_version()), err)
        # Any model will do; without the reference data, the one the build wrote.
        model = harness.fixture("md2", "horse.md2")
        if not harness.have_fixtures():
            model = os.path.join(harness.build_dir(), "tris.md2")
        code, out, err = self.run_to_end(("--info", model), cwd=self.tmp, command=[program])
        self.assertEqual(code, 0, err)
        self.assertIn("file: " + model, out)
        self.assertIn("frames:", out)

    def test_windows_archive_holds_the_program_and_its_files_and_runs_under_wine(self):
        config = os.path.join(WINDOWS_BUILD, "CPackConfig.cmake")
        missing = [what for what, absent in ((config, not os.path.exists(config)),
                                             ("wine", shutil.which("wine") is None)) if absent]
        if missing:
            message = "%s missing (make windows builds it)" % ", ".join(missing)
            if "BREVANT_WINDOWS_BUILD_DIR" in os.environ:
                self.fail(message)
            self.skipTest(message)
        archive = self.cpack(WINDOWS_BUILD, "zip")
        with zipfile.ZipFile(archive) as package:
            self.assertEqual(sorted(package.namelist()), ["README.txt", "brevant.exe", "font.tga", "tris.md2"])
            folder = os.path.join(self.tmp, "unzipped")
            package.extractall(folder)
        with open(os.path.join(folder, "README.txt")) as readme:
            self.assertIn("brevant.exe", readme.read())

        # The Windows tests' prefix, under their lock, so two runs never share a wineserver.
        prefix = os.path.join(WINDOWS_BUILD, "wineprefix")
        with open(prefix + ".lock", "w") as lock:
            deadline = time.monotonic() + 120
            while True:
                try:
                    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    break
                except BlockingIOError:
                    if time.monotonic() >= deadline:
                        self.fail("the Wine prefix %s stayed in use" % prefix)
                    time.sleep(0.5)
            with self.display() as env:
                env.update(WINEPREFIX=prefix, WINEDEBUG="-all", LANG="C", LC_ALL="C",
                           WINEDLLOVERRIDES="mscoree,mshtml=")
                try:
                    code, out, err = self.run_to_end(("brevant.exe", "--version"), cwd=folder, env=env,
                                                     command=["wine"], timeout=150)
                finally:
                    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, timeout=60)
        self.assertEqual((code, out.strip()), (0, "brevant " + project_version()), err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
