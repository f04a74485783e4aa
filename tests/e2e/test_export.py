#!/usr/bin/env python3
"""End-to-end runs of brevant --export on generated models: every .glb through the Khronos glTF validator and
read back by glTF-Transform (tests/node), compared with the models decoded here in Python; the OBJ of one
keyframe; a batch with a bad model; and the faults that write nothing. Skipped where node is not installed."""
import json
import os
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402

NODE_DIR = os.path.join(harness.SOURCE_DIR, "tests", "node")
CHECKER = os.path.join(NODE_DIR, "check-gltf.mjs")


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def ulp(value):
    """The gap from a float32 to the next one away from zero."""
    bits = struct.unpack("<I", struct.pack("<f", abs(value)))[0]
    return struct.unpack("<f", struct.pack("<I", bits + 1))[0] - abs(value)


def model_bytes(frames, triangles, texcoords=(), skin_size=(64, 32), skins=()):
    """An MD2 file from frames [(name, scale, translate, [(x, y, z, normal)...])], triangles
    [((v0, v1, v2), (t0, t1, t2))] and texcoords [(s, t)], laid out from the format: header, skins, texture
    coordinates, triangles, frames."""
    vertex_count = len(frames[0][3]) if frames else 0
    skin_block = b"".join(name.encode().ljust(64, b"\0") for name in skins)
    tc_block = b"".join(struct.pack("<2h", s, t) for s, t in texcoords)
    tri_block = b"".join(struct.pack("<6h", *v, *t) for v, t in triangles)
    frame_size = 40 + 4 * vertex_count
    frame_block = b"".join(struct.pack("<3f3f16s", *scale, *translate, name.encode()) +
                           b"".join(struct.pack("<4B", *v) for v in vertices)
                           for name, scale, translate, vertices in frames)
    offsets = [68]
    for block in (skin_block, tc_block, tri_block, frame_block):
        offsets.append(offsets[-1] + len(block))
    header = struct.pack("<4s16i", b"IDP2", 8, skin_size[0], skin_size[1], frame_size, len(skins), vertex_count,
                         len(texcoords), len(triangles), 0, len(frames), offsets[0], offsets[1], offsets[2],
                         offsets[3], offsets[4], offsets[4])
    return header + skin_block + tc_block + tri_block + frame_block


# A closed box: eight corners, twelve triangles wound clockwise seen from outside, as MD2 files are.
BOX_TRIANGLES = [(0, 2, 3), (0, 3, 1), (4, 5, 7), (4, 7, 6), (0, 1, 5), (0, 5, 4), (2, 6, 7), (2, 7, 3),
                 (0, 4, 6), (0, 6, 2), (1, 3, 7), (1, 7, 5)]


def box_frames(names):
    """Keyframes of a box that grows and moves from one to the next, each with its own scale and translation."""
    frames = []
    for k, name in enumerate(names):
        corners = [(x * (100 + 10 * k) % 256, y * (90 + 7 * k) % 256, z * (80 + 13 * k) % 256, (x + y + z + k) % 162)
                   for x in (0, 1) for y in (0, 1) for z in (0, 1)]
        frames.append((name, (0.25 + 0.01 * k, 0.3, 0.125 + 0.003 * k), (-12.5 + k, 3.25 * k, -1.0 / (k + 3)),
                       corners))
    return frames


# Texture coordinates with a seam: corner 0 is drawn from two places.
BOX_TEXCOORDS = [(0, 0), (63, 0), (0, 31), (63, 31), (32, 16), (7, 9)]
BOX_TRI_TEXCOORDS = [(i % 4, (i + 1) % 4, (i + 2) % 4) if i != 5 else (5, 4, 1) for i in range(12)]


def decode(data):
    """Keyframe positions in glTF's axes, texture coordinates per triangle corner before any division, and the
    triangles, decoded here as float32 arithmetic decodes them."""
    md2 = harness.read_md2(data)
    frames = []
    for f in range(md2["num_frames"]):
        at = md2["ofs_frames"] + f * md2["frame_size"]
        sx, sy, sz, tx, ty, tz = struct.unpack_from("<6f", data, at)
        positions = []
        for v in range(md2["num_vertices"]):
            x, y, z, _ = struct.unpack_from("<4B", data, at + 40 + 4 * v)
            fx, fy, fz = (f32(f32(x * sx) + tx), f32(f32(y * sy) + ty), f32(f32(z * sz) + tz))
            positions.append((fy, fz, fx))  # glTF: the file's +X (front) is +Z, its +Z (up) is +Y
        frames.append(positions)
    triangles = [struct.unpack_from("<6h", data, md2["ofs_triangles"] + 12 * i) for i in range(md2["num_triangles"])]
    texcoords = [struct.unpack_from("<2h", data, md2["ofs_texcoords"] + 4 * i) for i in range(md2["num_texcoords"])]
    return md2, frames, triangles, texcoords


def vec3s(values):
    return [tuple(values[i:i + 3]) for i in range(0, len(values), 3)]


def minus(a, b):
    return tuple(p - q for p, q in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return sum(p * q for p, q in zip(a, b))


class ExportTest(harness.ViewerCase):
    CASE_TIMEOUT = 240

    @classmethod
    def setUpClass(cls):
        if shutil.which("node") is None:
            raise unittest.SkipTest("node is not installed (scripts/install-deps.sh installs it)")
        if not os.path.isdir(os.path.join(NODE_DIR, "node_modules", "gltf-validator")):
            raise RuntimeError("tests/node/node_modules is missing: scripts/install-deps.sh installs it")

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def export(self, *args, code=0):
        result = self.run_to_end(["--export", *args], cwd=self.tmp, timeout=60)
        self.assertEqual(result[0], code, result[2])
        return result

    def check(self, *paths):
        """The validator's report and the reader's view of each file."""
        done = subprocess.run(["node", CHECKER, *paths], cwd=NODE_DIR, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        results = json.loads(done.stdout)
        for result in results:
            report = result["validator"]
            self.assertEqual((report["errors"], report["warnings"]), (0, 0),
                             "%s: %s" % (result["path"], json.dumps(report["messages"], indent=1)))
        return results

    def assert_matches_decode(self, result, data, runs, fps=10.0, skin=None, divisor=(64, 32), convex=True):
        """Every keyframe (base + delta, added in float32) equals the decode, triangles face outward, texture
        coordinates are s / width and t / height, and each run is one animation of one-hot weights."""
        md2, frames, triangles, texcoords = decode(data)
        self.assertEqual(len(result["meshes"]), 1)
        primitive = result["meshes"][0]["primitives"][0]
        self.assertEqual(primitive["mode"], 4)
        base = vec3s(primitive["position"])
        indices = primitive["indices"]
        self.assertEqual(len(indices), 3 * len(triangles))
        self.assertEqual(len(primitive["targets"]), len(frames) - 1)
        # Triangle t is the file's triangle t drawn counter-clockwise, its corners in reverse; every exported
        # vertex stands for one vertex of the file.
        source = {}
        for t, tri in enumerate(triangles):
            for corner, vertex in zip(indices[3 * t:3 * t + 3], (tri[2], tri[1], tri[0])):
                self.assertEqual(source.setdefault(corner, vertex), vertex, "vertex %d stands for two" % corner)
        self.assertEqual(sorted(source), list(range(len(base))))
        for k, frame in enumerate(frames):
            if k == 0:
                self.assertEqual(base, [frame[source[i]] for i in range(len(base))], "keyframe 0")
                continue
            delta = vec3s(primitive["targets"][k - 1]["position"])
            for i, (p, q) in enumerate(zip(base, delta)):
                for b, d, want in zip(p, q, frame[source[i]]):
                    # A player adds base + delta in float32: exact where the two are of one sign and within a
                    # factor of two, else within one step of the larger, as near as float32 sums can come.
                    bound = 0.0 if b * want > 0 and 0.5 <= want / b <= 2 else max(ulp(b), ulp(want))
                    self.assertLessEqual(abs(f32(b + d) - want), bound, "keyframe %d vertex %d" % (k, i))
        if convex:
            centre = tuple(sum(c) / len(base) for c in zip(*base))
            for t in range(len(triangles)):
                a, b, c = (base[i] for i in indices[3 * t:3 * t + 3])
                self.assertGreater(dot(cross(minus(b, a), minus(c, a)), minus(a, centre)), 0, "triangle %d" % t)
        if texcoords and divisor:
            uv = [tuple(primitive["texcoord"][2 * i:2 * i + 2]) for i in range(len(base))]
            for t, tri in enumerate(triangles):
                for corner, source in zip(indices[3 * t:3 * t + 3], (tri[5], tri[4], tri[3])):
                    s, tt = texcoords[source]
                    self.assertEqual(uv[corner], (f32(s / divisor[0]), f32(tt / divisor[1])))
        else:
            self.assertIsNone(primitive["texcoord"])
        texture = primitive["baseColorTexture"]
        self.assertEqual(texture, {"mimeType": "image/png", "size": list(skin)} if skin else None)
        animations = result["animations"]
        self.assertEqual([(a["name"]) for a in animations], [name for name, _, _ in runs])
        for animation, (name, first, last) in zip(animations, runs):
            channel, = animation["channels"]
            self.assertEqual((channel["path"], channel["interpolation"]), ("weights", "LINEAR"))
            self.assertEqual(channel["input"], [f32((k - first) / fps) for k in range(first, last + 1)], name)
            targets = len(frames) - 1
            expected = []
            for k in range(first, last + 1):
                expected += [1.0 if t == k - 1 else 0.0 for t in range(targets)]
            self.assertEqual(channel["output"], expected, name)

    def test_models_read_back_equal_to_their_decode(self):
        names = ["stand01", "stand02", "stand03", "pain101", "pain102", "pain201", "pain202", "pain301", "run1",
                 "run2"]
        several = model_bytes(box_frames(names), list(zip(BOX_TRIANGLES, BOX_TRI_TEXCOORDS)), BOX_TEXCOORDS,
                              skins=("models/box/skin.pcx",))
        runs = [("stand", 0, 2), ("pain", 3, 4), ("pain_2", 5, 6), ("pain_3", 7, 7), ("run", 8, 9)]
        bare = model_bytes(box_frames(["a1", "a2", "a3"]), [(t, (0, 0, 0)) for t in BOX_TRIANGLES])
        single = model_bytes(box_frames(["still"]), list(zip(BOX_TRIANGLES, BOX_TRI_TEXCOORDS)), BOX_TEXCOORDS,
                             skin_size=(0, 0))
        self.write("several/box.md2", several)
        self.write("several/skin.tga", harness.tga_bytes(64, 32, (200, 100, 50)))
        self.write("bare/bare.md2", bare)
        self.write("single/single.md2", single)
        self.write("single/single.tga", harness.tga_bytes(16, 8, (10, 200, 10)))
        self.export("several.glb", "--fps", "8", "several/box.md2")
        self.export("bare.glb", "bare/bare.md2")
        self.export("single.glb", "single/single.md2")
        self.export("pain2.glb", "--anim", "PAIN_2", "several/box.md2")
        results = self.check(*(os.path.join(self.tmp, name) for name in
                               ("several.glb", "bare.glb", "single.glb", "pain2.glb")))
        self.assert_matches_decode(results[0], several, runs, fps=8.0, skin=(64, 32))
        self.assert_matches_decode(results[1], bare, [("a", 0, 2)], divisor=None)
        # No animation in a model of one keyframe; the header's skin size is 0, so the picture's divides.
        self.assert_matches_decode(results[2], single, [], skin=(16, 8), divisor=(16, 8))
        self.assert_matches_decode(results[3], several, [("pain_2", 5, 6)], skin=(64, 32))
        self.assertEqual(results[0]["meshes"][0]["targetNames"], names[1:])

    def test_a_real_model_is_valid(self):
        horse = harness.fixture("md2", "horse.md2")
        if not os.path.exists(horse):
            self.skipTest("no fixtures")
        with open(horse, "rb") as source:
            data = source.read()
        self.export("horse.glb", horse)
        result, = self.check(os.path.join(self.tmp, "horse.glb"))
        md2 = harness.read_md2(data)
        self.assert_matches_decode(result, data, [("stand", 0, 11)], divisor=(md2["skin_width"], md2["skin_height"]),
                                   convex=False)

    def test_the_obj_of_keyframe_5_is_its_decode(self):
        data = model_bytes(box_frames(["f%d" % i for i in range(1, 9)]), list(zip(BOX_TRIANGLES, BOX_TRI_TEXCOORDS)),
                           BOX_TEXCOORDS)
        self.write("box.md2", data)
        self.write("box.tga", harness.tga_bytes(64, 32, (1, 2, 3)))
        self.export("out/box5.obj", "--frame", "5", "box.md2", code=1)  # no folder out/: nothing written
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "out")))
        self.export("box5.obj", "--frame", "5", "box.md2")
        _, frames, triangles, texcoords = decode(data)
        with open(os.path.join(self.tmp, "box5.obj")) as obj:
            lines = [line.split() for line in obj]
        # Printed with enough digits to read back as the very float32.
        positions = [tuple(f32(float(x)) for x in line[1:]) for line in lines if line[0] == "v"]
        uvs = [tuple(float(x) for x in line[1:]) for line in lines if line[0] == "vt"]
        faces = [[tuple(int(i) for i in corner.split("/")) for corner in line[1:]] for line in lines if line[0] == "f"]
        self.assertEqual(len(faces), len(triangles))
        for face, tri in zip(faces, triangles):
            self.assertEqual([positions[c[0] - 1] for c in face], [frames[5][tri[2]], frames[5][tri[1]],
                                                                   frames[5][tri[0]]])
            for c, source in zip(face, (tri[5], tri[4], tri[3])):
                s, t = texcoords[source]
                self.assertAlmostEqual(uvs[c[1] - 1][0], s / 64, places=6)
                self.assertAlmostEqual(uvs[c[1] - 1][1], 1 - t / 32, places=6)
        with open(os.path.join(self.tmp, "box5.mtl")) as mtl:
            self.assertIn("map_Kd box5.png\n", mtl.read())
        with open(os.path.join(self.tmp, "box5.png"), "rb") as png:
            head = png.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">2I", head[16:24]), (64, 32))

    def test_a_batch_mirrors_paths_and_skips_a_bad_model(self):
        good = model_bytes(box_frames(["a1", "a2"]), list(zip(BOX_TRIANGLES, BOX_TRI_TEXCOORDS)), BOX_TEXCOORDS)
        models = [self.write("in/one/box.md2", good), self.write("in/two/box.md2", good),
                  self.write("in/two/bad.md2", good[:100]),
                  self.write("in/empty.md2", model_bytes(box_frames(["a"]), []))]
        code, _, err = self.export("out/", *models, code=1)
        lines = err.splitlines()
        self.assertIn("brevant: %s: cut short: triangles end past the end of the file" % models[2], lines)
        self.assertIn("brevant: %s: it has no triangles to export" % models[3], lines)
        written = sorted(os.path.relpath(os.path.join(folder, name), os.path.join(self.tmp, "out"))
                         for folder, _, names in os.walk(os.path.join(self.tmp, "out")) for name in names)
        self.assertEqual(written, ["one/box.glb", "two/box.glb"])
        self.check(*(os.path.join(self.tmp, "out", name) for name in written))

    def test_faults_write_nothing(self):
        self.write("box.md2", model_bytes(box_frames(["a1"]), [(t, (0, 0, 0)) for t in BOX_TRIANGLES]))
        cases = [(["box.fbx", "box.md2"], 2, "--export writes .glb or .obj files"),
                 (["box.obj", "--frame", "3", "box.md2"], 2, "--frame 3 is outside box.md2's keyframes (0-0)"),
                 (["box.glb", "--anim", "walk", "box.md2"], 2, 'no animation "walk" in box.md2'),
                 (["box.glb", "--info", "box.md2"], 2, "--export cannot be used with --info"),
                 (["nowhere/box.glb", "box.md2"], 1, "cannot write"),
                 (["box.glb", "missing.md2"], 1, "brevant: missing.md2: cannot open")]
        for args, code, message in cases:
            with self.subTest(args=args):
                _, out, err = self.export(*args, code=code)
                self.assertIn(message, err)
                self.assertEqual(out, "")
                self.assertEqual(sorted(os.listdir(self.tmp)), ["box.md2"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
