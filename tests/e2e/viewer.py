#!/usr/bin/env python3
"""Drives the real viewer under a private Xvfb for the end-to-end tests, and makes `make run`'s screenshot.

The end-to-end tests import it; `python3 viewer.py screenshot BUILD_DIR` runs the viewer headless for a few
seconds and saves BUILD_DIR/screenshot.png. Every process it starts is ended by its PID.
"""
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("BREVANT_SOURCE_DIR") or os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "support"))

from xvfb import Xvfb  # noqa: E402  (re-exported for the tests)

WIDTH = 640
HEIGHT = 480
NOTICE_CAPTION = "TGA: ERROR"
DEFAULT = object()  # make_run_dir: take the asset the build wrote


class CaseTimeout(Exception):
    pass


def limit_case(test, seconds):
    """Ends the running test case with CaseTimeout after seconds; call it from setUp."""
    def on_alarm(signum, frame):
        raise CaseTimeout("test case ran over %d s" % seconds)
    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(seconds)
    test.addCleanup(signal.alarm, 0)


def build_dir():
    return os.environ.get("BREVANT_BUILD_DIR") or os.path.join(SOURCE_DIR, "build")


def viewer_command():
    return [os.path.join(build_dir(), "brevant")]


def _place(folder, name, source):
    target = os.path.join(folder, name)
    if source is DEFAULT:
        source = os.path.join(build_dir(), name)
        if not os.path.exists(source):
            return
    if source is None:
        if os.path.exists(target):
            os.remove(target)
        return
    if isinstance(source, (bytes, bytearray)):
        with open(target, "wb") as out:
            out.write(source)
    else:
        shutil.copyfile(source, target)


def make_run_dir(tmp, model=DEFAULT, font=DEFAULT):
    """A working folder for one run: tris.md2 and font.tga from a path, from bytes, or left out with None.

    By default both come from the build folder (font.tga only where the build wrote one)."""
    folder = os.path.join(tmp, "run")
    os.makedirs(folder, exist_ok=True)
    _place(folder, "tris.md2", model)
    _place(folder, "font.tga", font)
    return folder


def _x_env(env):
    env = dict(env)
    env["LANG"] = "C"
    env["LC_ALL"] = "C"
    return env


def _x_tool(env, *args, timeout=10):
    return subprocess.run(list(args), env=_x_env(env), capture_output=True, timeout=timeout)


def start_viewer(cmd=None, cwd=None, env=None):
    """Starts the viewer in its own session, so stop() can end it and anything it started by its PID."""
    return subprocess.Popen(cmd or viewer_command(), cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)


def stop(proc, timeout=10):
    """Ends the process group the viewer leads (its PID) unless it has ended; returns the exit code."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    for stream in (proc.stdout, proc.stderr):
        if stream is not None:
            stream.close()
    return proc.returncode


_TREE_LINE = re.compile(r'^\s*(0x[0-9a-fA-F]+) "(.*)":')


def find_windows(env, name):
    """Ids of the windows whose name matches the regular expression. Read from xwininfo's tree, since
    `xdotool search --name` misses the names SDL's message boxes set."""
    result = _x_tool(env, "xwininfo", "-root", "-tree")
    found = []
    for line in result.stdout.decode(errors="replace").splitlines():
        match = _TREE_LINE.match(line)
        if match and re.search(name, match.group(2)):
            found.append(int(match.group(1), 16))
    return found


def find_window(env, name, timeout=10):
    """The X window id of the first window whose name matches the regular expression, or None."""
    deadline = time.monotonic() + timeout
    while True:
        found = find_windows(env, name)
        if found:
            return found[0]
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.1)


def dismiss_notices(env):
    """Acknowledges every open notice box with Return; returns how many there were."""
    windows = find_windows(env, "^" + NOTICE_CAPTION + "$")
    for wid in windows:
        press_key(env, wid, "Return")
    return len(windows)


def client_size(env, wid):
    result = _x_tool(env, "xwininfo", "-id", str(wid))
    size = {}
    for line in result.stdout.decode().splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Width", "Height"):
            size[key] = int(value)
    return size.get("Width"), size.get("Height")


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("rest", ctypes.c_byte * 256)]


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


_libraries = {}


# Xlib's default error handler ends the process. A window can vanish between finding it and using it
# (a notice box being dismissed), so errors are ignored and the calls' own results tell what happened.
_X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_x_error = _X_ERROR_HANDLER(lambda display, event: 0)


def _xlib():
    """libX11 and libXtst through ctypes: grabbing pixels and holding keys without a process per step."""
    if not _libraries:
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.POINTER(_XEvent)]
        x11.XGetImage.restype = ctypes.POINTER(_XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_XWindowAttributes)]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XSetErrorHandler.argtypes = [_X_ERROR_HANDLER]
        x11.XSetErrorHandler.restype = ctypes.c_void_p
        x11.XSetErrorHandler(_ignore_x_error)
        xtst = ctypes.CDLL("libXtst.so.6")
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        _libraries["x11"] = x11
        _libraries["xtst"] = xtst
    return _libraries["x11"], _libraries["xtst"]


class XDisplay:
    """A connection to the X server through libX11 and libXtst, for grabbing pixels and faking keys."""

    def __init__(self, env):
        self.x11, self.xtst = _xlib()
        self.handle = self.x11.XOpenDisplay(env["DISPLAY"].encode())
        if not self.handle:
            raise RuntimeError("cannot open display " + env["DISPLAY"])

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        if self.handle:
            self.x11.XCloseDisplay(self.handle)
            self.handle = None

    def keycode(self, name):
        code = self.x11.XKeysymToKeycode(self.handle, self.x11.XStringToKeysym(name.encode()))
        if code == 0:
            raise RuntimeError("no key for " + name)
        return code

    def key(self, name, down):
        self.xtst.XTestFakeKeyEvent(self.handle, self.keycode(name), 1 if down else 0, 0)
        self.x11.XSync(self.handle, 0)

    def focus(self, wid):
        self.x11.XSetInputFocus(self.handle, wid, 2, 0)  # RevertToParent, CurrentTime
        self.x11.XSync(self.handle, 0)


def grab(env, wid):
    """The window's picture as (width, height, RGB bytes, top row first)."""
    with XDisplay(env) as display:
        attributes = _XWindowAttributes()
        if not display.x11.XGetWindowAttributes(display.handle, wid, ctypes.byref(attributes)):
            raise RuntimeError("no window %d" % wid)
        width, height = attributes.width, attributes.height
        image = display.x11.XGetImage(display.handle, wid, 0, 0, width, height, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise RuntimeError("could not grab window %d" % wid)
        try:
            fields = image.contents
            if fields.bits_per_pixel != 32 or fields.red_mask != 0xFF0000 or fields.blue_mask != 0xFF:
                raise RuntimeError("unexpected pixel layout in window %d" % wid)
            stride = fields.bytes_per_line
            raw = ctypes.string_at(fields.data, stride * height)
        finally:
            display.x11.XDestroyImage(image)
    rgb = bytearray(width * height * 3)
    for row in range(height):
        line = raw[row * stride:row * stride + width * 4]
        out = row * width * 3
        rgb[out:out + width * 3:3] = line[2::4]
        rgb[out + 1:out + width * 3:3] = line[1::4]
        rgb[out + 2:out + width * 3:3] = line[0::4]
    return width, height, bytes(rgb)


def pixel(img, x, y):
    width, _, data = img
    offset = (y * width + x) * 3
    return tuple(data[offset:offset + 3])


def is_black(rgb, tolerance=8):
    return max(rgb) <= tolerance


def region_is_black(img, left, top, right, bottom, step=1):
    return all(is_black(pixel(img, x, y)) for y in range(top, bottom, step) for x in range(left, right, step))


def region_differs(first, second, left, top, right, bottom):
    return any(pixel(first, x, y) != pixel(second, x, y) for y in range(top, bottom) for x in range(left, right))


def focus(env, wid):
    with XDisplay(env) as display:
        display.focus(wid)


def hold_key(env, wid, key, seconds):
    """Holds a key down on the server's keyboard (XTEST) for a while, with wid focused first unless None.
    key is an X keysym name: "z", "Left", "Escape"."""
    with XDisplay(env) as display:
        if wid is not None:
            display.focus(wid)
        display.key(key, True)
        try:
            time.sleep(seconds)
        finally:
            display.key(key, False)


def press_key(env, wid, key):
    hold_key(env, wid, key, 0.01)


def send_close_request(env, wid):
    """Asks the window to close the way a window manager does: a WM_DELETE_WINDOW client message.

    (Without a window manager, `xdotool windowclose` would destroy the window instead.)"""
    with XDisplay(env) as display:
        x11 = display.x11
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = wid
        event.xclient.message_type = x11.XInternAtom(display.handle, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(display.handle, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        x11.XSendEvent(display.handle, wid, 0, 0, ctypes.byref(event))
        x11.XFlush(display.handle)


def wait_for_picture(env, wid, timeout=20):
    """Waits until the window shows a drawn frame (anything not black), acknowledging notices meanwhile."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        dismiss_notices(env)
        try:
            img = grab(env, wid)
        except RuntimeError:
            img = None  # found before it was mapped: a slow start (valgrind) shows this
        if img is not None and not region_is_black(img, 0, 0, WIDTH, HEIGHT, step=2):
            return img
        time.sleep(0.1)
    return None


def frame_model(env, wid, timeout=30, focus_window=True):
    """Holds Z in short bursts until the model covers the centre and fits between the texts; returns the
    picture, or None. Bursts rather than one long hold because the frame rate, and so the distance
    travelled per second, depends on the machine."""
    deadline = time.monotonic() + timeout
    burst = 0.02
    while time.monotonic() < deadline:
        img = grab(env, wid)
        centre = not is_black(pixel(img, WIDTH // 2, HEIGHT // 2))
        fits = region_is_black(img, 0, 60, WIDTH, 61) and region_is_black(img, 0, 420, WIDTH, 421)
        if centre and fits:
            return img
        hold_key(env, wid if focus_window else None, "z", burst)
        # Longer bursts while far from the goal: a slow machine draws few frames per burst.
        burst = min(burst * 1.3, 0.3)
        time.sleep(0.05)
    return None


def screenshot(build, seconds, output):
    """Runs the viewer under a private Xvfb, brings the model into view and saves a PNG of the window."""
    folder = os.path.abspath(build)
    with Xvfb(WIDTH, HEIGHT) as server:
        env = server.environment()
        proc = start_viewer([os.path.join(folder, "brevant")], cwd=folder, env=env)
        try:
            wid = find_window(env, "^OpenGL$", timeout=20)
            if wid is None:
                raise RuntimeError("the viewer's window did not appear")
            start = time.monotonic()
            if wait_for_picture(env, wid) is None:
                raise RuntimeError("the viewer drew nothing")
            frame_model(env, wid, timeout=20)
            time.sleep(max(0.0, seconds - (time.monotonic() - start)))
            result = _x_tool(env, "import", "-silent", "-window", str(wid), output, timeout=30)
            if result.returncode != 0:
                raise RuntimeError(result.stderr.decode(errors="replace"))
        finally:
            code = stop(proc)
    return code


def main(argv):
    if len(argv) >= 2 and argv[0] == "screenshot":
        output = os.path.abspath(os.path.join(argv[1], "screenshot.png"))
        try:
            screenshot(argv[1], 4.0, output)
        except (RuntimeError, subprocess.TimeoutExpired) as error:
            print("viewer.py: %s" % error, file=sys.stderr)
            return 1
        print(output)
        return 0
    print("usage: viewer.py screenshot BUILD_DIR", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
