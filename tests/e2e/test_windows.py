#!/usr/bin/env python3
"""End-to-end runs of the Windows build, brevant.exe, under Wine on a private Xvfb: its window and client area,
its picture and icon against the Linux build's after the same keys, quitting, and the font notice.

brevant.exe is taken from BREVANT_WINDOWS_BUILD_DIR (what `make test` sets), else from the host build folder's
Windows twin (build -> build-win); without it the tests are skipped unless that variable names the folder. Wine
runs in a prefix inside that folder, made on first use and kept, with one persistent wineserver for the whole
module, which holds a lock on the prefix so that two runs never share it.
"""
import fcntl
import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

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


if __name__ == "__main__":
    unittest.main(verbosity=2)
