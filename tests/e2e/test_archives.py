#!/usr/bin/env python3
"""End-to-end runs of models inside archives: a PAK written here and .pk3 files written with zipfile (stored and
deflated), opened by a path running through them, whole, dropped and stepped through with Tab; --info of an
archive; --game-dir's override order; skins at their game paths and beside the model; every fault with its
reason."""
import os
import re
import struct
import sys
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402
from harness import xdnd  # noqa: E402
from harness.xdisplay import XDisplay  # noqa: E402

RED, GREEN, BLUE = (220, 30, 30), (30, 200, 30), (40, 40, 220)


def pak_bytes(entries):
    """A Quake PAK: the header, the files one after another, then 64-byte directory records."""
    body, directory, offset = b"", b"", 12
    for name, data in entries:
        directory += name.encode().ljust(56, b"\0") + struct.pack("<2i", offset, len(data))
        body += data
        offset += len(data)
    return b"PACK" + struct.pack("<2i", offset, len(directory)) + body + directory


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
    return path


def write_pk3(path, entries, method=zipfile.ZIP_DEFLATED):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w", method) as archive:
        for name, data in entries:
            archive.writestr(name, data)
    return path


def model(skins=(), frames=("stand01", "stand02")):
    return harness.md2_bytes(size=(40.0, 40.0, 40.0), frame_names=frames, skins=skins)


def press(env, wid, key):
    """A key, or Shift held around Tab for "shift+Tab"."""
    if not key.startswith("shift+"):
        harness.press_key(env, wid, key)
        return
    with XDisplay(env) as display:
        display.focus(wid)
        display.key("Shift_L", True)
        try:
            time.sleep(0.05)
            display.tap(key[len("shift+"):])
            time.sleep(0.05)
        finally:
            display.key("Shift_L", False)


def title_pattern(name):
    return "^" + re.escape(name + " - Brevant") + "$"


class ArchiveTest(harness.ViewerCase):
    CASE_TIMEOUT = 150

    def folder(self, name):
        path = os.path.join(self.tmp, name)
        os.makedirs(path, exist_ok=True)
        return path

    def sample_entries(self):
        """Three models: one with its skin at the game path it names, one with only a skin beside it."""
        return [("models/tank/tank.md2", model(skins=("skins/tank/body.tga",))),
                ("skins/tank/body.tga", harness.tga_bytes(8, 8, GREEN)),
                ("Models/Ogre/ogre.md2", model(skins=("models/ogre/missing.pcx",), frames=("run1",))),
                ("models/ogre/skin.tga", harness.tga_bytes(8, 8, RED)),
                ("players/male/male.md2", model()),
                ("readme.txt", b"not a model")]

    def archives(self):
        """The same files as a PAK, a stored .pk3 and a deflated .pk3."""
        folder = self.folder("archives")
        entries = self.sample_entries()
        return {"pak": write(os.path.join(folder, "pak0.pak"), pak_bytes(entries)),
                "stored": write_pk3(os.path.join(folder, "stored.pk3"), entries, zipfile.ZIP_STORED),
                "deflated": write_pk3(os.path.join(folder, "deflated.pk3"), entries)}

    def test_info_lists_every_model_in_path_order_and_opens_one_inside(self):
        for kind, archive in self.archives().items():
            with self.subTest(kind):
                code, out, err = self.run_to_end(["--info", archive])
                self.assertEqual((code, err), (0, ""))
                self.assertEqual(out.splitlines(), [
                    "models/Ogre/ogre.md2  vertices: 8  triangles: 12  frames: 1  skins: 1",
                    "models/tank/tank.md2  vertices: 8  triangles: 12  frames: 2  skins: 1",
                    "players/male/male.md2  vertices: 8  triangles: 12  frames: 2  skins: 0",
                    "total: 3 models  vertices: 24  triangles: 36  frames: 5"])

                # Into the archive by a path, without case and with either separator; the skin at its game path
                # first, then beside the model.
                for inner, skin in (("models/tank/tank.md2", "skins/tank/body.tga"),
                                    ("MODELS\\TANK\\TANK.MD2", "skins/tank/body.tga"),
                                    ("models/ogre/ogre.md2", "models/ogre/skin.tga")):
                    code, out, err = self.run_to_end(["--info", archive + "/" + inner])
                    self.assertEqual((code, err), (0, ""))
                    found = [line for line in out.splitlines() if line.startswith("skin found: ")]
                    self.assertEqual(len(found), 1, out)
                    self.assertEqual(found[0].lower(), ("skin found: " + archive + "/" + skin).lower())

    def test_faults_end_with_the_path_and_the_reason(self):
        folder = self.folder("faults")
        good = write(os.path.join(folder, "good.pak"), pak_bytes([("a.md2", model())]))
        text = write(os.path.join(folder, "text.pak"), b"this is not an archive at all")
        cut = write(os.path.join(folder, "cut.pak"), pak_bytes([("a.md2", model())])[:-8])
        empty = write(os.path.join(folder, "empty.pak"), pak_bytes([("readme.txt", b"hello")]))
        broken = write(os.path.join(folder, "broken.pak"), pak_bytes([("a.md2", model()[:100])]))
        zip_path = write_pk3(os.path.join(folder, "crc.pk3"), [("a.md2", model())], zipfile.ZIP_STORED)
        data = bytearray(open(zip_path, "rb").read())
        data[60] ^= 0xff  # a byte of the stored model
        write(zip_path, bytes(data))
        bad_game = os.path.join(folder, "game")
        bad_pak = write(os.path.join(bad_game, "pak0.pak"), b"PACK\x0c\x00\x00\x00\x40\x00\x00\x00")
        cases = [
            (["--game-dir", bad_game, "a.md2"], bad_pak, "directory past the end of the file"),
            ([good + "/nothing.md2"], good + "/nothing.md2", "cannot open: no such file in the archive"),
            ([text], text, "not an archive (neither PAK nor ZIP)"),
            ([text + "/a.md2"], text + "/a.md2", text + ": not an archive (neither PAK nor ZIP)"),
            ([cut], cut, "directory past the end of the file"),
            ([empty], empty, "the archive holds no MD2 model"),
            ([broken + "/a.md2"], broken + "/a.md2", None),
            ([zip_path + "/a.md2"], zip_path + "/a.md2", "CRC mismatch in a.md2"),
            (["--game-dir", os.path.join(folder, "nowhere"), "a.md2"], os.path.join(folder, "nowhere"),
             "not a folder that can be read"),
        ]
        for args, path, reason in cases:
            with self.subTest(args[-1]):
                for mode in (["--info"], []):
                    code, out, err = self.run_to_end(mode + args)
                    self.assertEqual((code, out), (1, ""), err)
                    self.assertTrue(err.startswith("brevant: %s: " % path), err)
                    self.assertEqual(err.count("\n"), 1, err)
                    if reason is not None:
                        self.assertEqual(err, "brevant: %s: %s\n" % (path, reason))

    def test_export_of_an_archive_writes_every_model_in_it(self):
        archive = self.archives()["deflated"]
        out = os.path.join(self.tmp, "out") + "/"
        code, _, err = self.run_to_end(["--export", out, "--no-skin", archive], timeout=60)
        self.assertEqual((code, err), (0, ""))
        written = sorted(os.path.relpath(os.path.join(root, name), out)
                         for root, _, names in os.walk(out) for name in names)
        self.assertEqual(len(written), 3, written)
        self.assertTrue(all(name.endswith(".glb") for name in written), written)

    def test_game_dir_reads_paks_then_pk3s_in_name_order_then_loose_files(self):
        game = self.folder("baseq2")
        write(os.path.join(game, "pak1.pak"), pak_bytes([("models/a.md2", model(frames=("p1",) * 2)),
                                                         ("models/b.md2", model(frames=("p1",) * 2)),
                                                         ("models/c.md2", model(frames=("p1",) * 2))]))
        write(os.path.join(game, "pak0.pak"), pak_bytes([("models/a.md2", model(frames=("p0",) * 1)),
                                                         ("models/d.md2", model(frames=("p0",) * 1))]))
        write_pk3(os.path.join(game, "aaa.pk3"), [("Models/B.md2", model(frames=("k",) * 3))])
        write(os.path.join(game, "models", "c.md2"), model(frames=("loose",) * 4))
        write(os.path.join(game, "pak9.pak"), pak_bytes([("skins/s.tga", harness.tga_bytes(8, 8, BLUE)),
                                                         ("models/s.md2", model(skins=("skins/s.tga",)))]))
        expected = {"models/a.md2": 2, "models/b.md2": 3, "models/c.md2": 4, "models/d.md2": 1}
        for name, frames in expected.items():
            with self.subTest(name):
                code, out, err = self.run_to_end(["--game-dir", game, "--info", name])
                self.assertEqual((code, err), (0, ""))
                self.assertIn("frames: %d " % frames, out)
        code, out, err = self.run_to_end(["--game-dir", game, "--info", "models/s.md2"])
        self.assertEqual((code, err), (0, ""))
        self.assertIn("skin found: skins/s.tga\n", out)
        code, out, err = self.run_to_end(["--game-dir", game, "--info", "models/none.md2"])
        self.assertEqual((code, out, err),
                         (1, "", "brevant: models/none.md2: cannot open: no such file in the game folder\n"))

    def test_an_archive_shows_the_same_picture_as_its_files_extracted(self):
        archives = self.archives()
        # Extracted, the skin stored at its game path is put beside the model, where a folder's lookup finds it.
        extracted = self.folder("extracted")
        files = dict(self.sample_entries())
        write(os.path.join(extracted, "models", "tank", "tank.md2"), files["models/tank/tank.md2"])
        write(os.path.join(extracted, "models", "tank", "body.tga"), files["skins/tank/body.tga"])
        with self.display() as env:
            shots = {}
            for kind, path in list(archives.items()) + [("folder", extracted)]:
                target = path + "/models/tank/tank.md2"
                shot = os.path.join(self.tmp, kind + ".png")
                code, _, err = self.run_to_end([target, "--frame", "0", "--size", "320x240", "--screenshot", shot],
                                               env=env, cwd=self.folder("run-" + kind), timeout=60)
                self.assertEqual((code, err), (0, ""))
                with open(shot, "rb") as picture:
                    shots[kind] = picture.read()
            for kind in archives:
                self.assertEqual(shots[kind], shots["folder"], "%s draws other than the extracted files" % kind)

    def test_an_archive_opens_its_first_model_tab_steps_and_a_drop_opens_one(self):
        archives = self.archives()
        second = write_pk3(os.path.join(self.tmp, "second", "extra.pk3"), [("models/zeta/zeta.md2", model())])
        with self.display() as env:
            proc = self.start(env, ["--no-skin", archives["deflated"]], cwd=self.folder("run"))
            wid = self.find_viewer_window(env, title_pattern("ogre.md2"))
            self.wait_for_picture(env, wid)
            for key, name in (("Tab", "tank.md2"), ("Tab", "male.md2"), ("Tab", "ogre.md2"),
                              ("shift+Tab", "male.md2")):
                press(env, wid, key)
                self.assertIsNotNone(harness.find_window(env, title_pattern(name)), "%s did not open %s" % (key, name))
            self.assertTrue(xdnd.drop_file(env["DISPLAY"], wid, second), "the window refused the drop")
            self.assertIsNotNone(harness.find_window(env, title_pattern("zeta.md2")), "the dropped archive")
            harness.press_key(env, wid, "Escape")
            _, err = self.assert_ends_with(proc, 0)
            self.assertEqual(err, "")

    def test_tab_steps_through_a_plain_folder_too(self):
        folder = self.folder("models")
        for name in ("b.md2", "a.md2", "c.md2"):
            write(os.path.join(folder, name), model())
        with self.display() as env:
            proc = self.start(env, ["--no-skin", os.path.join(folder, "b.md2")], cwd=self.folder("run"))
            wid = self.find_viewer_window(env, title_pattern("b.md2"))
            self.wait_for_picture(env, wid)
            for key, name in (("Tab", "c.md2"), ("Tab", "a.md2"), ("shift+Tab", "c.md2")):
                press(env, wid, key)
                self.assertIsNotNone(harness.find_window(env, title_pattern(name)), "%s did not open %s" % (key, name))
            harness.press_key(env, wid, "Escape")
            self.assert_ends_with(proc, 0)


if __name__ == "__main__":
    unittest.main()
