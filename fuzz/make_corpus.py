"""Cuts the seed corpora of the fuzz targets out of the files make_corpus.sh
made (see there).  usage: make_corpus.py WORK_DIR CORPUS_DIR

Whole files become the seeds of the file-level targets; the decoder targets
get the pieces of the object files their decoders read (header, records,
coordinate columns, name index pages, R-tree pages), each behind the choice
bytes the target reads first.  Two inputs the import cannot write are made
here from the same records: an object file in the old layout with a grid
index, and R-tree and grid files with small pages."""
import os
import struct
import sys

WORK, OUT = sys.argv[1], sys.argv[2]
SEP = b"\n~~member~~\n"
RTREE_PAGE = 32768


def read(name):
    path = os.path.join(WORK, name)
    return open(path, "rb").read() if os.path.exists(path) else b""


def put(target, name, data):
    os.makedirs(os.path.join(OUT, target), exist_ok=True)
    with open(os.path.join(OUT, target, name), "wb") as f:
        f.write(data)


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def checksum(page):
    total = 0
    for i in range(len(page) - 2):
        total += page[i] << (i % 8)
    return page[:-2] + struct.pack("<H", total & 0xFFFF)


def records(lmb):
    """(offset, bytes) of each record of an object file."""
    at = 536 + (324 if u16(lmb, 320) == 1 else 0)
    end = u32(lmb, 260)
    while at + 8 <= end:
        kind, length = lmb[at], u32(lmb, at + 4)
        if kind > 2 or length < 8:
            break
        yield at, lmb[at:at + length]
        at += length


def cells(rect):
    """Grid cells (min col, min row, max col, max row) of a rectangle."""
    def col(x):
        t = x + 60000000
        return min(max(-t // 2000 if t < 0 else 0, 0), 0xFFFF)
    return (col(rect[2]), max(rect[1] // 2000, 0), col(rect[0]), min(rect[3] // 2000, 0xFFFF))


def record_rect(rec):
    if rec[0] == 2:
        x, y = struct.unpack_from("<ii", rec, 8)
        return (x, y, x, y)
    return struct.unpack_from("<iiii", rec, 64)


def to_old_layout(rec):
    """A current region or line record in the old layout: no i32 rectangle,
    coarse u16 bounds at 28, names block at 64 (regions) or 52 (lines)."""
    if rec[0] == 2:
        return rec
    fixed = 64 if rec[0] == 0 else 52
    shift = 80 - fixed
    minx, miny, maxx, maxy = struct.unpack_from("<iiii", rec, 64)
    p = (-30000 - (maxx + 1999) // 2000) & 0xFFFF
    q = (-30000 - minx // 2000) & 0xFFFF
    r, s = (miny // 2000) & 0xFFFF, ((maxy + 1999) // 2000) & 0xFFFF
    head = bytearray(rec[:fixed])
    struct.pack_into("<I", head, 4, len(rec) - shift)
    struct.pack_into("<II", head, 20, u32(rec, 20) - shift, u32(rec, 24) - shift)
    struct.pack_into("<HHHH", head, 28, p, q, r, s)
    head[38] &= 0xFF ^ 0x08
    return bytes(head) + rec[80:]


def tree_leaf(entries, page_size=1024):
    """A single-leaf B+-tree root of 8-byte keys and 8-byte values."""
    entries = sorted(entries, key=lambda e: e[0].upper())
    page = bytearray(page_size)
    struct.pack_into("<HHHBBBBH", page, 0, len(entries), page_size, 0, 0x02 | 0x04 | 0x08, 0, 8, 8, 0)
    for i, (key, value) in enumerate(entries):
        page[12 + 16 * i:28 + 16 * i] = key + struct.pack("<Q", value)
    return checksum(bytes(page))


def grid_index(rects_offsets, payload=4):
    """One grid node holding every record."""
    entry = 8 + payload
    node_size = 12 + entry * len(rects_offsets)
    node = bytearray(node_size)
    all_cells = [cells(r) for r, _ in rects_offsets]
    union = (min(c[0] for c in all_cells), min(c[1] for c in all_cells),
             max(c[2] for c in all_cells), max(c[3] for c in all_cells))
    struct.pack_into("<HH4H", node, 0, len(rects_offsets), 0, *union)
    for i, (c, (_, offset)) in enumerate(zip(all_cells, rects_offsets)):
        struct.pack_into("<4H", node, 12 + entry * i, *c)
        node[20 + entry * i:12 + entry * (i + 1)] = offset.to_bytes(8, "little")[:payload]
    head = struct.pack("<HHB", 1, node_size, payload) + bytes(11)
    return head + bytes(node)


def old_object_file(regions, points):
    """An old-layout object file (magic 0x7755CDC9) with a name index and a
    grid index over the given records."""
    body, index = b"", []
    for rec in [to_old_layout(r) for r in regions] + points:
        index.append((rec, 536 + len(body)))
        body += rec
    tree_at = (536 + len(body) + 1023) // 1024 * 1024
    keys = []
    for rec, offset in index:
        fixed = 24 if rec[0] == 2 else (64 if rec[0] == 0 else 52)
        keys.append(((rec[fixed:fixed + 8] + bytes(8))[:8], offset))
    tree = tree_leaf(keys)
    grid_at = tree_at + len(tree)
    grid = grid_index([(record_rect_old(rec), off) for rec, off in index])
    rects = [record_rect_old(rec) for rec, _ in index]
    minx, miny = min(r[0] for r in rects), min(r[1] for r in rects)
    maxx, maxy = max(r[2] for r in rects), max(r[3] for r in rects)
    a = (-30000 - maxx // 2000 + 1) & 0xFFFF
    b = (-30000 - minx // 2000 - 1) & 0xFFFF
    c, d = (miny // 2000 + 1) & 0xFFFF, (maxy // 2000 - 1) & 0xFFFF
    header = bytearray(536)
    header[:36] = b"Korvalune\r\nGeographic object file.\r\n"
    kinds = [rec[0] for rec, _ in index]
    struct.pack_into("<IIIII4HHHIIII", header, 256, 0x7755CDC9, tree_at, grid_at,
                     max(len(rec) for rec, _ in index), 4096, a, b, c, d, 1, 0, 64,
                     kinds.count(2), kinds.count(1), kinds.count(0))
    out = bytes(header) + body
    return out + bytes(tree_at - len(out)) + tree + grid


def record_rect_old(rec):
    if rec[0] == 2:
        return record_rect(rec)
    p, q, r, s = struct.unpack_from("<4H", rec, 28)
    sx = lambda v: v - 0x10000 if v >= 0x8000 else v
    return ((-30000 - sx(q)) * 2000, sx(r) * 2000, (-30000 - sx(p)) * 2000, sx(s) * 2000)


def rtree_small(rect_offsets, page_size=240):
    """Leaves of up to (page size - 48) / 24 entries and one root above."""
    fan = (page_size - 48) // 24

    def node(flags, level, entries):
        page = bytearray(page_size)
        union = (min(e[0][0] for e in entries), min(e[0][1] for e in entries),
                 max(e[0][2] for e in entries), max(e[0][3] for e in entries))
        struct.pack_into("<HHHH4i", page, 0, len(entries), flags, page_size, level, *union)
        for i, (rect, value) in enumerate(entries):
            struct.pack_into("<4iQ", page, 24 + 24 * i, *rect, value)
        return checksum(bytes(page)), union

    leaves = [rect_offsets[i:i + fan] for i in range(0, len(rect_offsets), fan)]
    pages, root_entries = [], []
    for n, leaf in enumerate(leaves):
        page, union = node(0x0001, 0, leaf)
        pages.append(page)
        root_entries.append((union, n))
    root, _ = node(0x0002 | 0x0004, 1, root_entries)
    return b"".join(pages) + root, len(pages)


def main():
    seeds = {}
    for base in ["chicago", "hawaii", "points"]:
        lmb, lma = read(base + ".lmb"), read(base + ".lma")
        seeds[base] = list(records(lmb))
        put("object_file", base, lmb + (SEP + lma if lma else b""))
        put("objfile_header", base, lmb[:860])
        if lma:
            put("datalib", base, lma)
        for i, (_, rec) in enumerate(seeds[base][:3]):
            choice = 0x02 if rec[0] == 2 else 0x04
            put("objfile_record", f"{base}_{i}", bytes([choice]) + rec)
            if rec[0] != 2:
                put("objfile_record", f"{base}_{i}_old", bytes([0x05]) + to_old_layout(rec))
        # Name index pages: from the first tree page to the root.
        root = u32(lmb, 260)
        size = u16(lmb, root + 2)
        first = root // size
        while first > 0 and u16(lmb, (first - 1) * size + 2) == size and lmb[(first - 1) * size + 8] == 8:
            first -= 1
        keys = b"\x02" + b"\x04" + b"Cook\x00" + b"\x01" + b"H*"
        put("btree_page", base, bytes([root // size - first]) + struct.pack("<H", size) + keys +
            lmb[first * size:root + size])
        # The 32768-byte R-tree pages behind the name index.
        spatial = u32(lmb, 264)
        query = b"\x00" + bytes(16)
        put("rtree_node", base, b"\x00\x00" + bytes([spatial // RTREE_PAGE - 1]) + query +
            lmb[RTREE_PAGE:])

    hawaii_columns(seeds["hawaii"])
    everything = [(record_rect(rec), off) for base in seeds for off, rec in seeds[base]]
    tree, root_page = rtree_small(everything)
    some = struct.pack("<4i", *everything[0][0])
    put("rtree_node", "small_pages", struct.pack("<H", 240 - 96) + bytes([root_page, 1]) +
        bytes(16) + some + tree)
    grid = grid_index(everything)
    put("grid_index", "counties", b"\x00\x01" + some + bytes(16) + grid)
    put("grid_index", "counties_mapped", b"\x01\x00" + some + b"\x00" + grid)
    put("object_file", "old_layout",
        old_object_file([r for _, r in seeds["chicago"]], [r for _, r in seeds["points"]]))

    for name, text, values in [
        ("compare", b"POP > 1,000", b"2500\n999\n1000"),
        ("text", b"NAME = 'Cook'", b"COOK\nCook County"),
        ("prefix", b"NAME = 'Co*'", b"Cook\nKane"),
        ("list", b"FIPS IN ('17031', '17043')", b"17031\n17089"),
        ("numbers", b"AREA IN (1.5, 2.25)", b"1.5\n3"),
        ("decimal", b"AREA >= 12.5", b"12.5\n12.49"),
        ("not", b"STATE <> 'IL'", b"IL\nIN"),
    ]:
        put("criteria", name, text + SEP + values)
    for base in ["chicago", "points"]:
        put("mif_import", base, read(base + ".mif") + SEP + read(base + ".mid"))
        put("bna_import", base, read(base + ".bna"))
        put("shp_import", base, read(base + ".shp") + SEP + read(base + ".shx") + SEP + read(base + ".dbf"))
        put("dbf", base, read(base + ".dbf"))
    for base in ["chicago", "hawaii", "points"]:
        put("shapefile", base, read(base + ".shp") + SEP + read(base + ".shx"))
    for base in ["hawaii", "points"]:
        put("tab", base, SEP.join(read(base + ext) for ext in [".tab", ".map", ".id", ".dat"]))
    put("zip4", "centroids", read("centroids.z9"))


def hawaii_columns(recs):
    """Column streams of compressed records, and value lists for the writer."""
    n = 0
    for _, rec in recs:
        if rec[0] == 2 or not rec[38] & 0x02:
            continue
        points, segments = u32(rec, 12), u32(rec, 16)
        area = rec[u32(rec, 24):]
        columns = 9 if rec[38] & 0x01 else 2
        at = 4 * columns
        for c in range(columns):
            size = u32(area, 4 * c)
            count = points if c < 2 else segments
            if c in (0, 1, 4) and n < 6:
                put("column_codec", f"hawaii_{n}", b"\x00" + struct.pack("<IH", n, count) + area[at:at + size])
                n += 1
            at += size
    xs = [record_rect(rec)[0] for _, rec in recs]
    put("column_codec", "values", b"\x03" + struct.pack("<I", 7) + b"".join(struct.pack("<i", x) for x in xs))
    put("column_codec", "deltas", b"\x01" + struct.pack("<I", 7) + bytes([1, 1, 1, 2, 255, 255, 0, 0, 0] * 40))


def gpc_polygon(contours, scale_byte=20):
    """A gpc_clip input polygon: contour count, then per contour the vertex
    count, the scale byte (20: scale 1) and the vertices as int16 pairs."""
    out = bytes([len(contours)])
    for ring in contours:
        out += bytes([len(ring), scale_byte])
        out += b"".join(struct.pack("<hh", x, y) for x, y in ring)
    return out


def gpc_clip_seeds():
    square = [(0, 0), (100, 0), (100, 100), (0, 100)]
    shifted = [(50, 50), (150, 50), (150, 150), (50, 150)]
    hole = [(25, 25), (25, 75), (75, 75), (75, 25)]
    star = [(0, 60), (100, 60), (10, 0), (50, 100), (90, 0)]
    comb = [(0, 0), (200, 0), (200, 100), (150, 10), (100, 100), (50, 10), (0, 100)]
    put("gpc_clip", "overlapping_squares", gpc_polygon([square]) + gpc_polygon([shifted]))
    put("gpc_clip", "square_with_hole", gpc_polygon([square, hole]) + gpc_polygon([shifted]))
    put("gpc_clip", "star_and_square", gpc_polygon([star]) + gpc_polygon([square], 12))
    put("gpc_clip", "comb_and_shared_edge", gpc_polygon([comb]) + gpc_polygon([square, shifted]))
    put("gpc_clip", "identical", gpc_polygon([square]) + gpc_polygon([square]))
    put("gpc_clip", "disjoint_and_empty", gpc_polygon([square]) + gpc_polygon([[(-200, -200), (-150, -200), (-150, -150)]]) + gpc_polygon([]))


main()
gpc_clip_seeds()
