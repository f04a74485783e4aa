#!/usr/bin/env python3
"""End-to-end runs of the Windows build, brevant.exe, under Wine on a private Xvfb: its window and client area,
its picture and icon against the Linux build's after the same keys, quitting, and the font notice; and viewer
mode: texts and exit codes on the pipes, names outside the code page, a model opened framed, and its pictures,
skinned, untextured and saved, against the Linux build's.

brevant.exe is taken from BREVANT_WINDOWS_BUILD_DIR (what `make test` sets), else from the host build folder's
Windows twin (build -> build-win); without it the tests are skipped unless that variable names the folder. Wine
runs in a prefix inside that folder, made on first use and kept, with one persistent wineserver for the whole
module, which holds a lock on the prefix so that two runs never share it.
"""
import fcntl
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402
from harness import xdnd  # noqa: E402

WINDOWS_BUILD = os.environ.get("BREVANT_WINDOWS_BUILD_DIR") or os.path.normpath(harness.build_dir()) + "-win"
EXE = os.path.join(WINDOWS_BUILD, "brevant.exe")
PREFIX = os.path.join(WINDOWS_BUILD, "wineprefix")

# Framed: about 60 zoom steps back brings the default figure whole into view; the turns then show its side.
KEY_TAPS = (("z", 60), ("Right", 20), ("Up", 10))
# How long a tap's step may take to show; a loaded machine can stall a viewer for seconds.
TAP_TIMEOUT = 15
# Differences between the two builds' pictures, which share Mesa: a single zoom or turn step moves thousands
# of pixels, so a few hundred covers rounding without hiding a lost or doubled key press.
CHANNEL_TOLERANCE = 8
PIXEL_TOLERANCE = 300
OVERLAY_ROWS = 20  # the frame-rate readout at the bottom differs from run to run

xvfb = None
env = None
wine_log = None
prefix_lock = None


def wine(*args, timeout):
    return subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL, stdout=wine_log,
                          stderr=wine_log, timeout=timeout)


def wineserver(*args, timeout=60):
    # Output to a file: a pipe would stay open in Wine's background services.
    return subprocess.run(["wineserver", *args], env=env, stdin=subprocess.DEVNULL, stdout=wine_log,
                          stderr=wine_log, timeout=timeout)


def lock_prefix(timeout):
    """Waits for the prefix to be free: another run's wineserver -k would end this run's viewers."""
    global prefix_lock
    prefix_lock = open(PREFIX + ".lock", "w")
    deadline = time.monotonic() + timeout
    while True:
        try:
            fcntl.flock(prefix_lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return
        except BlockingIOError:
            if time.monotonic() >= deadline:
                raise RuntimeError("the Wine prefix %s stayed in use for %d s" % (PREFIX, timeout))
            time.sleep(0.5)


def setUpModule():
    global xvfb, env, wine_log
    required = "BREVANT_WINDOWS_BUILD_DIR" in os.environ
    for missing, what in ((not os.path.exists(EXE), EXE), (shutil.which("wine") is None, "wine")):
        if missing:
            message = "%s is missing (make windows builds it; scripts/install-deps.sh windows installs Wine)" % what
            if required:
                raise RuntimeError(message)
            raise unittest.SkipTest(message)
    try:
        lock_prefix(timeout=300)
        wine_log = open(os.path.join(WINDOWS_BUILD, "wine-test.log"), "w")
        xvfb = harness.Xvfb()
        xvfb.__enter__()
        env = xvfb.environment()
        env.update(WINEPREFIX=PREFIX, WINEDEBUG="-all", LANG="C", LC_ALL="C",
                   # No Mono or Gecko installer prompts while the prefix is made.
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        wineserver("-k")  # one left over from an interrupted run would hold the prefix on a dead display
        wineserver("-p")
        # Without a window manager, unmanaged windows take the focus, draw their own caption and close at once.
        result = wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f",
                      timeout=180)
        if result.returncode != 0:
            raise RuntimeError("wine reg add failed with %d; see %s" % (result.returncode, wine_log.name))
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    global xvfb
    try:
        if env is not None:
            wineserver("-k")
    finally:
        if xvfb is not None:
            xvfb.__exit__(None, None, None)
            xvfb = None
        if wine_log is not None:
            wine_log.close()
        if prefix_lock is not None:
            prefix_lock.close()  # releases the lock


def client_window(wid, timeout=20):
    """Wine draws GL into a child X window covering the client area: (its id, width, height), or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        children = harness.child_windows(env, wid)
        if children:
            return children[0]
        time.sleep(0.1)
    return None


def window_icons(wid):
    """The window's _NET_WM_ICON as {(width, height): ARGB values}."""
    output = subprocess.run(["xprop", "-id", str(wid), "-f", "_NET_WM_ICON", "32c", "=$0+", "_NET_WM_ICON"],
                            env=env, capture_output=True, text=True, timeout=10).stdout
    _, _, values = output.partition("=")
    try:
        numbers = [int(v) for v in values.split(",") if v.strip()]
    except ValueError:
        return {}
    icons = {}
    while len(numbers) >= 2:
        width, height = numbers[0], numbers[1]
        icons[(width, height)] = numbers[2:2 + width * height]
        numbers = numbers[2 + width * height:]
    return icons


# Viewer mode's status line (y 16) and readout (y 0) sit in the bottom 32 rows; only the readout changes by itself.
READOUT_ROWS = 20
# A model's name that the ANSI functions lose: the Greek letter is in no Western code page.
ODD_NAME = "Modèle é Ω"


def utf8_env():
    """Wine turns the command line from the locale's encoding: names outside ASCII need a UTF-8 one."""
    return dict(env, LANG="C.UTF-8", LC_ALL="C.UTF-8")


def find_titled(pattern, timeout=30):
    """(window id, title) of the first top-level window whose title matches; None. Read in UTF-8, which the
    harness's C locale would turn into a conversion failure."""
    deadline = time.monotonic() + timeout
    while True:
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=utf8_env(), capture_output=True,
                              timeout=10).stdout.decode(errors="replace")
        for line in tree.splitlines():
            match = re.match(r'^\s*(0x[0-9a-fA-F]+) "(.*)":', line)
            if match and re.search(pattern, match.group(2)):
                return int(match.group(1), 16), match.group(2)
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.1)


def read_png(path):
    """A PNG as (width, height, RGB bytes), the form the harness grabs windows in."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True,
                          timeout=30, check=True).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, timeout=30,
                          check=True).stdout
    return int(size[0]), int(size[1]), data


def save_picture(img, name):
    """Keeps a picture beside the log for a failure's post-mortem."""
    path = os.path.join(WINDOWS_BUILD, "wine-test-%s.rgb" % name)
    with open(path, "wb") as out:
        out.write(img[2])
    return path


class WindowsViewerTest(harness.ViewerCase):
    # Wine's first start in a fresh prefix takes a while; the comparison case starts two viewers.
    CASE_TIMEOUT = 150

    def start_exe(self, run_dir):
        return self.start(env, cwd=run_dir, command=["wine", EXE], stdout=wine_log, stderr=wine_log)

    def start_linux(self, run_dir):
        return self.start(env, cwd=run_dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def launch(self, start, run_dir):
        """Starts a viewer and waits for its window; returns (process, window, client window)."""
        proc = start(run_dir)
        wid = self.find_viewer_window(env)
        client = wid
        if start == self.start_exe:
            found = client_window(wid)
            self.assertIsNotNone(found, "Wine made no client window for GL")
            client = found[0]
        return proc, wid, client

    def assertExitsWith(self, proc, code, timeout=15):
        try:
            self.assertEqual(proc.wait(timeout=timeout), code)
        except subprocess.TimeoutExpired:
            self.fail("the viewer did not end within %d s" % timeout)

    def test_window_client_area_and_escape(self):
        proc, wid, _ = self.launch(self.start_exe, self.run_dir("escape"))
        found = client_window(wid)
        self.assertEqual(found[1:], (harness.WIDTH, harness.HEIGHT))
        self.assertIsNotNone(harness.wait_for_picture(env, found[0]), "the viewer drew nothing")
        harness.focus(env, wid)
        harness.tap_keys(env, wid, [("Escape", 1)])
        self.assertExitsWith(proc, 0)
        self.assertEqual(harness.find_windows(env, "^OpenGL$"), [])

    def test_close_request_ends_with_zero(self):
        proc, wid, client = self.launch(self.start_exe, self.run_dir("close"))
        self.assertIsNotNone(harness.wait_for_picture(env, client), "the viewer drew nothing")
        harness.send_close_request(env, wid)
        self.assertExitsWith(proc, 0)

    def test_picture_and_icon_match_the_linux_build(self):
        linux = harness.viewer_command()[0]
        self.assertTrue(os.path.exists(linux), "the Linux build's viewer is missing: " + linux)
        run_dir = self.run_dir("compare")
        seen = {}
        for name, start in (("linux", self.start_linux), ("windows", self.start_exe)):
            proc, wid, client = self.launch(start, run_dir)
            self.assertIsNotNone(harness.wait_for_picture(env, client), "%s drew nothing" % name)
            harness.focus(env, wid)
            time.sleep(0.2)
            at_start = harness.grab(env, client)
            self.assertEqual(at_start[:2], (harness.WIDTH, harness.HEIGHT), "%s's client area" % name)
            self.assertIsNone(harness.tap_keys(env, client, KEY_TAPS, watch=True, timeout=TAP_TIMEOUT,
                                               ignore_bottom=OVERLAY_ROWS), name)
            time.sleep(0.5)
            seen[name] = (at_start, harness.grab(env, client), window_icons(wid))
            harness.tap_keys(env, wid, [("Escape", 1)])
            self.assertExitsWith(proc, 0)

        rows = harness.HEIGHT - OVERLAY_ROWS
        linux_start, linux_moved, linux_icons = seen["linux"]
        windows_start, windows_moved, windows_icons = seen["windows"]
        self.assertGreater(harness.differing_pixels(windows_start, windows_moved, rows, CHANNEL_TOLERANCE), 20 * PIXEL_TOLERANCE,
                           "the keys did not move the model")
        for label, first, second in (("at start", linux_start, windows_start),
                                     ("after the keys", linux_moved, windows_moved)):
            differing = harness.differing_pixels(first, second, rows, CHANNEL_TOLERANCE)
            if differing > PIXEL_TOLERANCE:
                kept = (save_picture(first, "linux"), save_picture(second, "windows"))
                self.fail("%s, %d pixels differ between the builds (640x480 RGB kept in %s and %s)"
                          % (label, differing, *kept))

        icon = windows_icons.get((32, 32))
        self.assertIsNotNone(icon, "the Windows window has no 32 x 32 icon")
        self.assertEqual(icon, linux_icons.get((32, 32)), "the icon resource differs from the Linux icon")

    def test_missing_font_shows_the_notice_then_draws(self):
        proc, wid, client = self.launch(self.start_exe, self.run_dir("nofont", font=None))
        box = harness.find_window(env, "^" + harness.NOTICE_CAPTION + "$", timeout=20)
        self.assertIsNotNone(box, "no notice titled TGA: ERROR appeared")
        # The box is modal: start-up waits in it, so no frame has been drawn yet.
        time.sleep(0.5)
        self.assertNotEqual(harness.pixel(harness.grab(env, client), 6, 34), (255, 0, 0),
                            "the viewer drew before the notice was dismissed")
        harness.focus(env, box)
        harness.tap_keys(env, box, [("Return", 1)])
        deadline = time.monotonic() + 10
        while harness.find_windows(env, "^" + harness.NOTICE_CAPTION + "$") and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(harness.find_windows(env, "^" + harness.NOTICE_CAPTION + "$"), [],
                         "Return did not dismiss the notice")
        # With no font texture every glyph of the title is a solid quad in the title's red, 26 to 42 pixels
        # below the top edge.
        deadline = time.monotonic() + 20
        title = None
        while time.monotonic() < deadline:
            title = harness.pixel(harness.grab(env, client), 6, 34)
            if title == (255, 0, 0):
                break
            time.sleep(0.1)
        self.assertEqual(title, (255, 0, 0), "the viewer did not draw after the notice")
        harness.focus(env, wid)
        harness.tap_keys(env, wid, [("Escape", 1)])
        self.assertExitsWith(proc, 0)


class WindowsViewerModeTest(harness.ViewerCase):
    """brevant.exe with arguments, next to the Linux build given the same ones."""
    CASE_TIMEOUT = 180

    def odd_model(self, source="horse.md2"):
        """A copy of a reference model under a name, and in a folder, that only the wide functions keep."""
        folder = os.path.join(self.tmp, ODD_NAME)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, ODD_NAME + ".md2")
        shutil.copyfile(harness.fixture("md2", source), path)
        return path

    def start_exe(self, args, cwd):
        return self.start(utf8_env(), args, cwd=cwd, command=["wine", EXE], stdout=wine_log, stderr=wine_log)

    def open_viewer(self, build, args, cwd):
        """Starts a build's viewer and waits for its settled picture: (process, top-level window, client window,
        picture)."""
        if build == "windows":
            proc = self.start_exe(args, cwd)
        else:
            proc = self.start(env, args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        found = find_titled(r" - Brevant$")
        self.assertIsNotNone(found, "%s opened no viewer window" % build)
        wid = client = found[0]
        if build == "windows":
            child = client_window(wid)
            self.assertIsNotNone(child, "Wine made no client window for GL")
            client = child[0]
        self.wait_for_picture(env, client, timeout=30)
        return proc, wid, client, self.settled_picture(client)

    def settled_picture(self, client, timeout=20):
        """The picture once two grabs apart agree above the readout; a paused model settles at its first frame."""
        deadline = time.monotonic() + timeout
        last = harness.grab(env, client)
        while time.monotonic() < deadline:
            time.sleep(0.3)
            img = harness.grab(env, client)
            if harness.differing_pixels(last, img, img[1] - READOUT_ROWS) == 0:
                return img
            last = img
        self.fail("the picture kept changing")

    def wait_for_change(self, client, before, changed=True, timeout=TAP_TIMEOUT):
        """Waits until the picture above the readout differs from before (or, with changed False, equals it)."""
        rows = before[1] - READOUT_ROWS
        deadline = time.monotonic() + timeout
        while True:
            img = harness.grab(env, client)
            if (harness.differing_pixels(before, img, rows) > 0) == changed:
                return img
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.05)

    def close_viewer(self, proc, wid):
        harness.focus(env, wid)
        harness.tap_keys(env, wid, [("Escape", 1)])
        try:
            self.assertEqual(proc.wait(timeout=20), 0)
        except subprocess.TimeoutExpired:
            self.fail("Esc did not end the viewer within 20 s")

    @harness.needs_fixtures
    def test_texts_reach_the_pipes_in_the_linux_builds_words_with_its_exit_codes(self):
        model = self.odd_model()
        cut = os.path.join(os.path.dirname(model), "cut " + ODD_NAME + ".md2")
        with open(model, "rb") as whole, open(cut, "wb") as out:
            out.write(whole.read()[:200])
        missing = os.path.join(os.path.dirname(model), "missing.md2")
        cwd = self.run_dir("texts", model=None, font=None)
        # Any of these shown in a message box instead would block the run until the time limit.
        for args, code in ((["--version"], 0), (["--info", model], 0), (["--frame", "x", model], 2),
                           (["--size", "0x0", model], 2), ([cut], 1), ([missing], 1)):
            with self.subTest(args=args):
                windows = self.run_to_end(args, cwd=cwd, env=utf8_env(), command=["wine", EXE], timeout=60)
                linux = self.run_to_end(args, cwd=cwd)
                self.assertEqual(windows[0], code, windows[2])
                self.assertEqual(windows[1:], linux[1:], "the builds said different things")
                if code == 0:
                    self.assertNotEqual(windows[1], "")
                    self.assertEqual(windows[2], "")
                elif code == 2:
                    first, second = windows[2].splitlines()[:2]
                    self.assertTrue(first.startswith("brevant: "), first)
                    self.assertTrue(second.startswith("usage: brevant"), second)
                else:
                    self.assertRegex(windows[2], r"^brevant: " + re.escape(args[-1]) + r": \S.*\n$")

        # The skin found in skins/ is spelled with the user's '/', as the Linux build spells it.
        skins = os.path.join(os.path.dirname(model), "skins")
        os.makedirs(skins, exist_ok=True)
        with open(os.path.join(skins, "skin.tga"), "wb") as out:
            out.write(harness.tga_bytes(8, 8, (0, 255, 0)))
        windows = self.run_to_end(["--info", model], cwd=cwd, env=utf8_env(), command=["wine", EXE], timeout=60)
        self.assertEqual(windows[:2], self.run_to_end(["--info", model], cwd=cwd)[:2])
        self.assertIn("skin found: " + skins + "/skin.tga\n", windows[1])

        # A warning while drawing (no skin for a model alone in its folder) reaches the pipe, in the same words
        # and with the same line ending as every other line.
        bare_folder = os.path.join(self.tmp, "bare")
        os.makedirs(bare_folder, exist_ok=True)
        bare = os.path.join(bare_folder, "bare.md2")
        with open(bare, "wb") as out:
            out.write(harness.md2_bytes())
        # Saved outside the model's folder, where the first run's picture would be the second run's only skin.
        shot = os.path.join(self.tmp, "bare-shot.png")
        windows = self.run_to_end(["--screenshot", shot, bare], cwd=cwd, env=utf8_env(), command=["wine", EXE],
                                  timeout=60)
        linux = self.run_to_end(["--screenshot", shot, bare], cwd=cwd, env=env)
        self.assertEqual(windows[0], 0, windows[2])
        self.assertRegex(windows[2], r"\Abrevant: %s: no skin: tried [^\r\n]*\n\Z" % re.escape(bare))
        self.assertEqual(windows[2], linux[2])

    def test_without_handles_or_a_console_the_text_goes_into_a_box(self):
        # As when started from the desktop: no standard handles at all.
        proc = self.start(env, ["--version"], cwd=self.run_dir("boxed", model=None, font=None),
                          command=["sh", "-c", 'exec wine "$0" "$@" >&- 2>&-', EXE], stdout=None, stderr=None)
        self.assertIsNotNone(harness.find_window(env, "^Brevant$", timeout=30), "no box titled Brevant appeared")
        self.assertIsNone(proc.poll(), "the run ended before the box was dismissed")
        self.dismiss_notice(env, caption="Brevant")
        try:
            self.assertEqual(proc.wait(timeout=20), 0)
        except subprocess.TimeoutExpired:
            self.fail("the run did not end once the box was dismissed")

    @harness.needs_fixtures
    def test_a_model_named_by_its_path_opens_framed_and_answers_the_wheel_a_drag_home_and_a_drop(self):
        model = self.odd_model()
        # Another folder, with neither a model nor a font: the font comes from beside brevant.exe.
        cwd = self.run_dir("elsewhere", model=None, font=None)
        proc, wid, client, start = self.open_viewer("windows", ["--size", "520x390", "--frame", "0", model], cwd)
        self.assertEqual(find_titled(r" - Brevant$")[1], ODD_NAME + ".md2 - Brevant")
        self.assertEqual(start[:2], (520, 390), "the client area is not --size")
        self.assertFalse(harness.region_is_black(start, 240, 175, 280, 215), "nothing near the centre")
        self.assertEqual(harness.find_windows(env, "^(Brevant|%s)$" % harness.NOTICE_CAPTION), [],
                         "a message box opened")

        harness.focus(env, wid)
        harness.turn_wheel(env, client, 3)
        nearer = self.wait_for_change(client, start)
        self.assertIsNotNone(nearer, "the wheel did not move the eye")
        harness.drag(env, client, (200, 200), (320, 220))
        self.assertIsNotNone(self.wait_for_change(client, nearer), "a left drag did not turn the model")
        harness.tap_keys(env, wid, [("Home", 1)])
        self.assertIsNotNone(self.wait_for_change(client, start, changed=False),
                             "Home did not return to the opening view")

        dropped = os.path.join(os.path.dirname(model), "flag Ω.md2")
        shutil.copyfile(harness.fixture("md2", "flag.md2"), dropped)
        self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, dropped), "Wine refused the drop")
        self.assertIsNotNone(find_titled(r"^flag Ω\.md2 - Brevant$", timeout=TAP_TIMEOUT),
                             "the title does not name the dropped model")
        self.assertIsNotNone(self.wait_for_change(client, start), "the dropped model is not shown")
        self.close_viewer(proc, wid)

    @harness.needs_fixtures
    def test_pictures_match_the_linux_build_untextured_skinned_and_saved(self):
        model = self.odd_model()
        cwd = self.run_dir("pictures")
        skin = os.path.join(self.tmp, "skin é.png")
        subprocess.run(["convert", "-size", "128x128", "gradient:red-blue", "-swirl", "180", skin], check=True,
                       timeout=60)
        seen = {}
        for label, extra in (("untextured", ["--no-skin"]), ("skinned", ["--skin", skin])):
            args = ["--frame", "3", *extra, model]
            for build in ("linux", "windows"):
                proc, wid, _, picture = self.open_viewer(build, args, cwd)
                seen[label, build] = picture
                self.close_viewer(proc, wid)
            linux, windows = seen[label, "linux"], seen[label, "windows"]
            self.assertEqual(windows[:2], linux[:2])
            # Both builds draw through the same Mesa, and a paused keyframe leaves no timing to differ in.
            differing = harness.differing_pixels(linux, windows, linux[1] - READOUT_ROWS)
            if differing > 0:
                kept = (save_picture(linux, label + "-linux"), save_picture(windows, label + "-windows"))
                self.fail("%s, %d pixels differ between the builds (%dx%d RGB kept in %s and %s)"
                          % (label, differing, *linux[:2], *kept))
        self.assertGreater(harness.differing_pixels(seen["untextured", "windows"], seen["skinned", "windows"],
                                                    harness.HEIGHT - READOUT_ROWS, CHANNEL_TOLERANCE), 1000,
                           "the skin changed nothing")

        shot = os.path.join(self.tmp, "shot é.png")
        args = ["--screenshot", shot, "--frame", "3", "--skin", skin, model]
        code, _, err = self.run_to_end(args, cwd=cwd, env=utf8_env(), command=["wine", EXE], timeout=60)
        self.assertEqual(code, 0, err)
        saved = read_png(shot)
        shown = seen["skinned", "windows"]
        self.assertEqual(saved[:2], shown[:2])
        # Saved pictures hold the model alone, so the one to match is the Linux build's, texts and all absent.
        linux_shot = os.path.join(self.tmp, "linux shot.png")
        code, _, err = self.run_to_end(["--screenshot", linux_shot, *args[2:]], cwd=cwd)
        self.assertEqual(code, 0, err)
        # The Linux build draws it offscreen, where linear filtering rounds a few texels one step apart.
        self.assertEqual(harness.differing_pixels(saved, read_png(linux_shot), shown[1], 1), 0,
                         "the saved picture is not the Linux build's")
        self.assertGreater(harness.differing_pixels(saved, shown, shown[1]), 0, "the saved picture holds the texts")

    def test_an_export_is_the_linux_builds_byte_for_byte(self):
        model = self.odd_model()
        cwd = self.run_dir("export", model=None, font=None)
        skin = os.path.join(self.tmp, "skin é.tga")
        with open(skin, "wb") as out:
            out.write(harness.tga_bytes(16, 8, (200, 120, 40)))
        written = {}
        for build, command, run_env in (("linux", None, None), ("windows", ["wine", EXE], utf8_env())):
            out = os.path.join(self.tmp, build + " é", ODD_NAME + ".glb")
            os.makedirs(os.path.dirname(out))
            code, _, err = self.run_to_end(["--export", out, "--skin", skin, "--fps", "12", model], cwd=cwd,
                                           env=run_env, command=command, timeout=120)
            self.assertEqual(code, 0, err)
            with open(out, "rb") as glb:
                written[build] = glb.read()
            self.assertEqual(sorted(os.listdir(os.path.dirname(out))), [ODD_NAME + ".glb"])
        self.assertGreater(len(written["linux"]), 1000)
        self.assertTrue(written["windows"] == written["linux"], "the builds wrote different files")

    def test_an_archive_opens_by_a_name_outside_ascii_and_draws_as_on_linux(self):
        folder = os.path.join(self.tmp, ODD_NAME)
        os.makedirs(folder, exist_ok=True)
        archive = os.path.join(folder, ODD_NAME + ".pk3")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as pk3:
            pk3.writestr("models/box/tris.md2", harness.md2_bytes(size=(40.0, 30.0, 20.0), skins=("skins/box.tga",)))
            pk3.writestr("skins/box.tga", harness.tga_bytes(8, 8, (200, 120, 40)))
        cwd = self.run_dir("archive")
        shots = {}
        for build, command, run_env, inner in (("linux", None, env, "/models/box/tris.md2"),
                                               ("windows", ["wine", EXE], utf8_env(), "\\models\\box\\tris.md2")):
            shot = os.path.join(self.tmp, build + " é.png")
            code, _, err = self.run_to_end(["--screenshot", shot, "--frame", "0", archive + inner], cwd=cwd,
                                           env=run_env, command=command, timeout=60)
            self.assertEqual(code, 0, err)
            shots[build] = read_png(shot)
        linux, windows = shots["linux"], shots["windows"]
        self.assertEqual(windows[:2], linux[:2])
        self.assertFalse(harness.region_is_black(linux, 0, 0, linux[0], linux[1] - READOUT_ROWS, step=4),
                         "no model drawn from the archive")
        # Linux saves it offscreen, Windows from its window: a few values may round one step apart.
        self.assertEqual(harness.differing_pixels(linux, windows, linux[1] - READOUT_ROWS, 1), 0,
                         "the builds drew the archive's model differently")


if __name__ == "__main__":
    unittest.main(verbosity=2)
