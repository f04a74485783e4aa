"""Where things are: the source tree, the build folder and its programs, the reference fixtures, and the
working folders a run starts in."""
import os
import shutil
import unittest

_HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("BREVANT_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(_HERE)))
DEFAULT = object()  # make_run_dir: take the asset the build wrote


def build_dir():
    return os.environ.get("BREVANT_BUILD_DIR") or os.path.join(SOURCE_DIR, "build")


def viewer_command(*args, build=None):
    """The viewer of a build folder (the host build by default) with its arguments."""
    return [os.path.join(build or build_dir(), "brevant"), *args]


def _fixtures_root():
    return os.path.join(os.environ.get("BREVANT_FIXTURES") or os.path.join(SOURCE_DIR, "..", "shared"), "fixtures")


def have_fixtures():
    """Whether the reference data is there: the shared/ folder beside the clone, or BREVANT_FIXTURES."""
    return os.path.isdir(_fixtures_root())


# A test that reads the reference data is skipped, and reported so, in a clone without it.
needs_fixtures = unittest.skipUnless(have_fixtures(), "no reference data at %s (a shared/ folder beside the clone)"
                                     % _fixtures_root())


def fixture(kind, name):
    """A reference file, such as fixture("md2", "flag.md2"); the path whether or not it exists."""
    return os.path.join(_fixtures_root(), kind, name)


def fixtures(kind):
    """Every reference file of a kind ("md2", "tga"), sorted; none without the reference data."""
    folder = os.path.join(_fixtures_root(), kind)
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith("." + kind))


def _place(folder, name, source, build):
    target = os.path.join(folder, name)
    if source is DEFAULT:
        source = os.path.join(build or build_dir(), name)
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


def make_run_dir(folder, model=DEFAULT, font=DEFAULT, files=None, build=None):
    """A working folder for one run, made if missing: tris.md2 and font.tga from a path, from bytes, or left
    out with None, and any further files as {name: path or bytes}.

    By default both assets come from the build folder (font.tga only where the build wrote one)."""
    os.makedirs(folder, exist_ok=True)
    _place(folder, "tris.md2", model, build)
    _place(folder, "font.tga", font, build)
    for name, source in (files or {}).items():
        _place(folder, name, source, build)
    return folder
