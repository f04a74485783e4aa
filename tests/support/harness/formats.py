"""Small writers and readers of the viewer's file formats for the e2e tests: MD2 models and TGA images built from a
few numbers, and an MD2 file's header, skin names and keyframe names read with struct, independently of Brevant."""
import struct

MD2_HEADER = struct.Struct("<4s16i")
MD2_FIELDS = ("version", "skin_width", "skin_height", "frame_size", "num_skins", "num_vertices", "num_texcoords",
              "num_triangles", "num_glcmds", "num_frames", "ofs_skins", "ofs_texcoords", "ofs_triangles",
              "ofs_frames", "ofs_glcmds", "ofs_end")

# A cube's corners as packed coordinates, and its faces as triangles wound outward, counter-clockwise seen from
# outside in the file's axes.
_CUBE_CORNERS = [(x, y, z) for x in (0, 255) for y in (0, 255) for z in (0, 255)]
_CUBE_TRIANGLES = [(0, 2, 3), (0, 3, 1), (4, 5, 7), (4, 7, 6), (0, 1, 5), (0, 5, 4), (2, 6, 7), (2, 7, 3),
                   (0, 4, 6), (0, 6, 2), (1, 3, 7), (1, 7, 5)]


def md2_bytes(size=(1.0, 1.0, 1.0), origin=(0.0, 0.0, 0.0), frame_names=("frame01",), skins=(), skin_size=(8, 8)):
    """A box size units wide with its lowest corner at origin (the file's axes), one keyframe per name (all
    alike), one texture coordinate, the skin names given and no gl commands."""
    scale = [side / 255.0 for side in size]
    skin_block = b"".join(name.encode().ljust(64, b"\0")[:64] for name in skins)
    texcoords = struct.pack("<2h", 0, 0)
    triangles = b"".join(struct.pack("<6h", *corners, 0, 0, 0) for corners in _CUBE_TRIANGLES)
    # Each corner's normal points roughly away from the box, so every face has lit corners.
    normals = {(0, 0): 0, (0, 255): 11, (255, 0): 18, (255, 255): 41}
    vertices = b"".join(struct.pack("<4B", x, y, z, normals[(x, z)]) for x, y, z in _CUBE_CORNERS)
    frame_size = 40 + len(vertices)
    frames = b"".join(struct.pack("<3f3f16s", *scale, *origin, name.encode()) + vertices for name in frame_names)
    offsets = [MD2_HEADER.size]
    for block in (skin_block, texcoords, triangles, frames):
        offsets.append(offsets[-1] + len(block))
    ofs_skins, ofs_texcoords, ofs_triangles, ofs_frames, ofs_end = offsets
    header = MD2_HEADER.pack(b"IDP2", 8, skin_size[0], skin_size[1], frame_size, len(skins), len(_CUBE_CORNERS), 1,
                             len(_CUBE_TRIANGLES), 0, len(frame_names), ofs_skins, ofs_texcoords, ofs_triangles,
                             ofs_frames, ofs_end, ofs_end)
    return header + skin_block + texcoords + triangles + frames


def read_md2(data):
    """An MD2 file's header fields as a dict, with its "skins" and "frame_names" lists (names up to their first
    NUL, as bytes decoded leniently)."""
    ident, *values = MD2_HEADER.unpack_from(data, 0)
    header = dict(zip(MD2_FIELDS, values), ident=ident)

    def name_at(offset, length):
        return data[offset:offset + length].split(b"\0")[0].decode("latin-1")

    header["skins"] = [name_at(header["ofs_skins"] + 64 * i, 64) for i in range(max(header["num_skins"], 0))]
    header["frame_names"] = [name_at(header["ofs_frames"] + header["frame_size"] * i + 24, 16)
                             for i in range(max(header["num_frames"], 0))]
    return header


def tga_bytes(width, height, rgb):
    """An uncompressed 24-bit TGA of one colour."""
    header = struct.pack("<BBB5sHHHHBB", 0, 0, 2, b"\0" * 5, 0, 0, width, height, 24, 0)
    return header + bytes((rgb[2], rgb[1], rgb[0])) * (width * height)
