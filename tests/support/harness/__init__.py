"""The end-to-end harness: private X servers, the programs under test, their windows, keys and pictures.

The e2e tests, the `make run` screenshot, `make memcheck` and the benchmarks all drive programs through it.
Import it with tests/support on sys.path (what each caller's first lines arrange)."""
from xvfb import Xvfb  # noqa: F401

from harness.paths import (DEFAULT, SOURCE_DIR, build_dir, fixture, fixtures, have_fixtures,  # noqa: F401
                           make_run_dir, needs_fixtures, viewer_command)
from harness.processes import peak_memory_kib, start, stop  # noqa: F401
from harness.pictures import (bounding_box, differing_pixels, is_black, is_greenish, is_reddish, pixel,  # noqa: F401
                              region_differs, region_is_black)
from harness.xdisplay import (XDisplay, child_windows, client_size, drag, find_window, find_windows,  # noqa: F401
                              focus, focused_window, grab, hold_key, numlock_is_on, press_key, resize_window,
                              send_close_request, tap_keys, turn_wheel)
from harness.viewer import (HEIGHT, NOTICE_CAPTION, VIEWER_TITLE, WIDTH, dismiss_notices, frame_model,  # noqa: F401
                            notices, wait_for_picture)
from harness.formats import md2_bytes, read_md2, tga_bytes  # noqa: F401
from harness.case import CaseTimeout, ViewerCase  # noqa: F401
