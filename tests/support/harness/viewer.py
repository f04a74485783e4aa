"""What the viewer shows and how to wait for it: its window, its first picture, its notice boxes, and holding Z
until the default model is in view."""
import re
import time

from harness.pictures import is_black, pixel, region_is_black
from harness.xdisplay import XDisplay, find_windows, hold_key

WIDTH = 640
HEIGHT = 480
VIEWER_TITLE = "^OpenGL$"  # the fixed program's window name, as a find_window pattern
NOTICE_CAPTION = "TGA: ERROR"


def notices(env, caption=NOTICE_CAPTION):
    """The open notice boxes with this caption."""
    return find_windows(env, "^" + re.escape(caption) + "$")


def dismiss_notices(env, caption=NOTICE_CAPTION):
    """Acknowledges every open notice box with Return; returns how many there were."""
    windows = notices(env, caption)
    for wid in windows:
        with XDisplay(env) as display:
            display.focus(wid, timeout=1)
            display.key("Return", True)
            time.sleep(0.01)
            display.key("Return", False)
    return len(windows)


def wait_for_picture(env, wid, timeout=20, width=WIDTH, height=HEIGHT):
    """Waits until the window shows a drawn frame (anything not black), acknowledging notices meanwhile;
    returns the picture, or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        dismiss_notices(env)
        try:
            with XDisplay(env) as display:
                img = display.grab(wid)
        except RuntimeError:
            img = None  # found before it was mapped: a slow start (valgrind) shows this
        if img is not None and not region_is_black(img, 0, 0, min(width, img[0]), min(height, img[1]), step=2):
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
        with XDisplay(env) as display:
            img = display.grab(wid)
        centre = not is_black(pixel(img, WIDTH // 2, HEIGHT // 2))
        fits = region_is_black(img, 0, 60, WIDTH, 61) and region_is_black(img, 0, 420, WIDTH, 421)
        if centre and fits:
            return img
        hold_key(env, wid if focus_window else None, "z", burst)
        # Longer bursts while far from the goal: a slow machine draws few frames per burst.
        burst = min(burst * 1.3, 0.3)
        time.sleep(0.05)
    return None
