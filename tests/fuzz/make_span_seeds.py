#!/usr/bin/env python3
"""Writes the seed inputs of zip_span_fuzz: small split sets, their volumes
joined by "VOL|". Run from this folder: python3 make_span_seeds.py"""
import struct
import zlib


def split_set(members, cuts, comment=b"", descriptors=False):
    """members: (name, data); cuts: record indexes after which a volume ends
    (a record is a member's local part or a central header)."""
    records = []  # (kind, bytes, member index)
    for i, (name, data) in enumerate(members):
        crc = zlib.crc32(data)
        flags = 8 if descriptors else 0
        sizes = (0, 0, 0) if descriptors else (crc, len(data), len(data))
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, 0, 0, 0x5021, *sizes,
                            len(name), 0) + name + data
        if descriptors:
            local += struct.pack("<IIII", 0x08074B50, crc, len(data), len(data))
        records.append(["local", local, i])
    for i, (name, data) in enumerate(members):
        records.append(["central", None, i])
    volumes, positions, disk, offset = [[]], {}, 0, 4  # the marker opens volume 0
    # Place the records, then fill in the central headers once offsets are known.
    layout = []
    for n, record in enumerate(records):
        layout.append((disk, offset))
        size = len(record[1]) if record[0] == "local" else 46 + len(members[record[2]][0])
        offset += size
        if n in cuts:
            disk, offset = disk + 1, 0
    for n, record in enumerate(records):
        if record[0] == "local":
            positions[record[2]] = layout[n]
    dir_start = next(layout[n] for n, r in enumerate(records) if r[0] == "central")
    out = [bytearray(struct.pack("<I", 0x08074B50))]
    for n, record in enumerate(records):
        disk = layout[n][0]
        while len(out) <= disk:
            out.append(bytearray())
        if record[0] == "central":
            name, data = members[record[2]]
            crc = zlib.crc32(data)
            ldisk, loff = positions[record[2]]
            record[1] = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20,
                                    8 if descriptors else 0, 0, 0, 0x5021, crc, len(data),
                                    len(data), len(name), 0, 0, ldisk, 0, 0, loff) + name
        out[disk] += record[1]
    central_size = sum(len(r[1]) for r in records if r[0] == "central")
    last = len(out) - 1
    out[last] += struct.pack("<IHHHHIIH", 0x06054B50, last, dir_start[0],
                             len(members), len(members), central_size, dir_start[1],
                             len(comment)) + comment
    return b"VOL|".join(bytes(v) for v in out)


roms = [(b"a.nes", b"NES\x1a" + bytes(12) + b"alpha" * 20),
        (b"Dir/B.nes", b"NES\x1a" + bytes(12) + b"beta" * 30),
        (b"b.NES", b"NES\x1a" + bytes(12) + b"gamma" * 10)]
seeds = {
    "two-volumes.bin": split_set(roms[:2], {1}),
    "directory-on-earlier-volume.bin": split_set(roms, {0, 3}, b"set comment"),
    "descriptors.bin": split_set(roms, {1, 4}, descriptors=True),
}
for name, data in seeds.items():
    with open("span_seeds/" + name, "wb") as f:
        f.write(data)
