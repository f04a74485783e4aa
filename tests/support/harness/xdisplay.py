"""The X side of a run: finding windows, grabbing their pictures, and faking keys, the mouse and close requests,
through libX11 and libXtst (ctypes) so that no step costs a process, and xwininfo for the window tree."""
import ctypes
import re
import subprocess
import time


def _x_env(env):
    env = dict(env)
    env["LANG"] = "C"
    env["LC_ALL"] = "C"
    return env


def _x_tool(env, *args, timeout=10):
    return subprocess.run(list(args), env=_x_env(env), capture_output=True, timeout=timeout)


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


def _declare(function, result, *arguments):
    function.restype = result
    function.argtypes = list(arguments)


def _xlib():
    if not _libraries:
        x11 = ctypes.CDLL("libX11.so.6")
        p, ul, i, ui = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
        _declare(x11.XOpenDisplay, p, ctypes.c_char_p)
        _declare(x11.XCloseDisplay, i, p)
        _declare(x11.XFlush, i, p)
        _declare(x11.XSync, i, p, i)
        _declare(x11.XInternAtom, ul, p, ctypes.c_char_p, i)
        _declare(x11.XSendEvent, i, p, ul, i, ctypes.c_long, ctypes.POINTER(_XEvent))
        _declare(x11.XGetImage, ctypes.POINTER(_XImage), p, ul, i, i, ui, ui, ul, i)
        _declare(x11.XDestroyImage, i, ctypes.POINTER(_XImage))
        _declare(x11.XGetWindowAttributes, i, p, ul, ctypes.POINTER(_XWindowAttributes))
        _declare(x11.XStringToKeysym, ul, ctypes.c_char_p)
        _declare(x11.XKeysymToKeycode, ctypes.c_ubyte, p, ul)
        _declare(x11.XSetInputFocus, i, p, ul, i, ul)
        _declare(x11.XGetInputFocus, i, p, ctypes.POINTER(ul), ctypes.POINTER(i))
        _declare(x11.XWarpPointer, i, p, ul, ul, i, i, ui, ui, i, i)
        _declare(x11.XkbGetNamedIndicator, i, p, ul, ctypes.POINTER(i), ctypes.POINTER(i), p, p)
        _declare(x11.XSetErrorHandler, p, _X_ERROR_HANDLER)
        x11.XSetErrorHandler(_ignore_x_error)
        xtst = ctypes.CDLL("libXtst.so.6")
        _declare(xtst.XTestFakeKeyEvent, i, p, ui, i, ul)
        _declare(xtst.XTestFakeButtonEvent, i, p, ui, i, ul)
        _libraries["x11"] = x11
        _libraries["xtst"] = xtst
    return _libraries["x11"], _libraries["xtst"]


class XDisplay:
    """One connection to the X server, for a run of grabs and fake input without reconnecting each time."""

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
        """The key code of an X keysym name: "z", "Left", "KP_Up", "Escape"."""
        code = self.x11.XKeysymToKeycode(self.handle, self.x11.XStringToKeysym(name.encode()))
        if code == 0:
            raise RuntimeError("no key for " + name)
        return code

    def key(self, name, down):
        self.xtst.XTestFakeKeyEvent(self.handle, self.keycode(name), 1 if down else 0, 0)
        self.x11.XSync(self.handle, 0)

    def tap(self, name):
        """Press and release in one batch, so no poll of the keyboard sees the key down between them."""
        code = self.keycode(name)
        self.xtst.XTestFakeKeyEvent(self.handle, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.handle, code, 0, 0)
        self.x11.XSync(self.handle, 0)

    def focused(self):
        window, revert = ctypes.c_ulong(), ctypes.c_int()
        self.x11.XGetInputFocus(self.handle, ctypes.byref(window), ctypes.byref(revert))
        return window.value

    def focus(self, wid, timeout=5):
        """Gives wid the focus and waits until the server says it has it; returns whether it did."""
        self.x11.XSetInputFocus(self.handle, wid, 2, 0)  # RevertToParent, CurrentTime
        self.x11.XSync(self.handle, 0)
        deadline = time.monotonic() + timeout
        while self.focused() != wid:
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.02)
            self.x11.XSetInputFocus(self.handle, wid, 2, 0)
            self.x11.XSync(self.handle, 0)
        return True

    def move_pointer(self, wid, x, y):
        """Puts the pointer at (x, y) in wid's coordinates."""
        self.x11.XWarpPointer(self.handle, 0, wid, 0, 0, 0, 0, x, y)
        self.x11.XSync(self.handle, 0)

    def button(self, number, down):
        """Mouse button 1 (left) to 3 (right); 4 and 5 are the wheel's turns up and down."""
        self.xtst.XTestFakeButtonEvent(self.handle, number, 1 if down else 0, 0)
        self.x11.XSync(self.handle, 0)

    def size(self, wid):
        attributes = _XWindowAttributes()
        if not self.x11.XGetWindowAttributes(self.handle, wid, ctypes.byref(attributes)):
            return None
        return attributes.width, attributes.height

    def raw_image(self, wid, width, height):
        """The window's pixels as 32-bit BGRX rows, or None (a window not yet mapped, or gone)."""
        image = self.x11.XGetImage(self.handle, wid, 0, 0, width, height, 0xFFFFFFFF, 2)  # AllPlanes, ZPixmap
        if not image:
            return None
        try:
            fields = image.contents
            if fields.bits_per_pixel != 32 or fields.red_mask != 0xFF0000 or fields.blue_mask != 0xFF:
                raise RuntimeError("unexpected pixel layout in window %d" % wid)
            stride = fields.bytes_per_line
            raw = ctypes.string_at(fields.data, stride * height)
        finally:
            self.x11.XDestroyImage(image)
        return b"".join(raw[row * stride:row * stride + width * 4] for row in range(height))

    def grab(self, wid):
        """The window's picture as (width, height, RGB bytes, top row first)."""
        size = self.size(wid)
        raw = self.raw_image(wid, *size) if size else None
        if raw is None:
            raise RuntimeError("could not grab window %d" % wid)
        width, height = size
        rgb = bytearray(width * height * 3)
        rgb[0::3] = raw[2::4]
        rgb[1::3] = raw[1::4]
        rgb[2::3] = raw[0::4]
        return width, height, bytes(rgb)

    def numlock_is_on(self):
        state = ctypes.c_int()
        atom = self.x11.XInternAtom(self.handle, b"Num Lock", 0)
        if not self.x11.XkbGetNamedIndicator(self.handle, atom, None, ctypes.byref(state), None, None):
            raise RuntimeError("the server has no Num Lock indicator")
        return bool(state.value)

    def send_close_request(self, wid):
        """Asks the window to close the way a window manager does: a WM_DELETE_WINDOW client message.

        (Without a window manager, `xdotool windowclose` would destroy the window instead.)"""
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = wid
        event.xclient.message_type = self.x11.XInternAtom(self.handle, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = self.x11.XInternAtom(self.handle, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        self.x11.XSendEvent(self.handle, wid, 0, 0, ctypes.byref(event))
        self.x11.XFlush(self.handle)


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


def child_windows(env, wid):
    """The window's direct children as (id, width, height)."""
    listing = _x_tool(env, "xwininfo", "-children", "-id", str(wid)).stdout.decode(errors="replace")
    children = []
    for line in listing.splitlines():
        fields = line.split()
        if fields and fields[0].startswith("0x"):
            size = next(f for f in fields if "x" in f and "+" in f).split("+")[0]
            width, height = (int(v) for v in size.split("x"))
            children.append((int(fields[0], 16), width, height))
    return children


def client_size(env, wid):
    with XDisplay(env) as display:
        return display.size(wid)


def grab(env, wid):
    with XDisplay(env) as display:
        return display.grab(wid)


def focus(env, wid):
    with XDisplay(env) as display:
        return display.focus(wid)


def focused_window(env):
    with XDisplay(env) as display:
        return display.focused()


def numlock_is_on(env):
    with XDisplay(env) as display:
        return display.numlock_is_on()


def send_close_request(env, wid):
    with XDisplay(env) as display:
        display.send_close_request(wid)


def hold_key(env, wid, key, seconds):
    """Holds a key down on the server's keyboard (XTEST) for a while, with wid focused first unless None."""
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


def tap_keys(env, wid, taps, watch=False, timeout=15, ignore_bottom=20):
    """Taps (key, count) pairs; returns what went wrong, or None.

    A tap counts once per poll of the keyboard, so two taps landing between the same two polls would count
    as one. When watching, each tap waits until the window's picture (less its bottom rows, where the
    frame-rate readout changes by itself) shows its step, which with the model in view every zoom or turn
    step does; that holds however slowly a loaded machine draws."""
    with XDisplay(env) as display:
        size = display.size(wid)
        if size is None:
            return "window %d is gone" % wid
        width, height = size[0], size[1] - ignore_bottom
        for key, count in taps:
            for done in range(count):
                before = display.raw_image(wid, width, height) if watch else None
                display.tap(key)
                if not watch:
                    continue
                deadline = time.monotonic() + timeout
                while display.raw_image(wid, width, height) == before:
                    if time.monotonic() >= deadline:
                        return "tap %d of %s changed nothing within %d s" % (done + 1, key, timeout)
                    time.sleep(0.005)
    return None


def drag(env, wid, start, end, button=1, steps=10, step_seconds=0.02):
    """Presses a mouse button at start, moves to end in steps and releases it there; points in wid's
    coordinates."""
    with XDisplay(env) as display:
        display.move_pointer(wid, *start)
        display.button(button, True)
        try:
            for step in range(1, steps + 1):
                x = start[0] + (end[0] - start[0]) * step // steps
                y = start[1] + (end[1] - start[1]) * step // steps
                time.sleep(step_seconds)
                display.move_pointer(wid, x, y)
        finally:
            display.button(button, False)


def turn_wheel(env, wid, clicks, at=None):
    """Turns the mouse wheel over wid (at its centre unless at is given): clicks > 0 away from the user."""
    with XDisplay(env) as display:
        size = display.size(wid)
        display.move_pointer(wid, *(at or (size[0] // 2, size[1] // 2)))
        for _ in range(abs(clicks)):
            display.button(4 if clicks > 0 else 5, True)
            display.button(4 if clicks > 0 else 5, False)


def resize_window(env, wid, width, height):
    """Sets the window's size as a window manager would on a user's drag; returns whether xdotool managed it."""
    return _x_tool(env, "xdotool", "windowsize", str(wid), str(width), str(height)).returncode == 0
