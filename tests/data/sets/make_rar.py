#!/usr/bin/env python3
"""Writes RAR 4 and RAR 5 archives of stored members (no RAR compressor is
free to install here): make_rar.py 4|5 OUT [--volume] FILE..."""
import struct, sys, zlib

def vint(n):
    out = bytearray()
    while True:
        b = n & 0x7F
        n >>= 7
        out.append(b | (0x80 if n else 0))
        if not n:
            return bytes(out)

def rar5_block(kind, flags, body, data=None):
    # File headers always carry a data area, empty or not.
    head = vint(kind) + vint(flags | (0x0002 if data is not None else 0))
    if data is not None:
        head += vint(len(data))
    head += body
    sized = vint(len(head)) + head
    return struct.pack("<I", zlib.crc32(sized)) + sized + (data or b"")

def rar5(files, volume):
    out = b"Rar!\x1a\x07\x01\x00"
    out += rar5_block(1, 0, vint(0x0001 if volume else 0))
    for name, data in files:
        encoded = name.encode()
        body = (vint(0x0004) + vint(len(data)) + vint(0o100644) + struct.pack("<I", zlib.crc32(data))
                + vint(0) + vint(1) + vint(len(encoded)) + encoded)
        out += rar5_block(2, 0, body, data)
    return out + rar5_block(5, 0, vint(0))

def rar4_block(kind, flags, body):
    head = struct.pack("<BHH", kind, flags, 7 + len(body)) + body
    return struct.pack("<H", zlib.crc32(head) & 0xFFFF) + head

def rar4(files, volume):
    out = b"Rar!\x1a\x07\x00"
    out += rar4_block(0x73, 0x0001 if volume else 0, bytes(6))
    for name, data in files:
        encoded = name.replace("/", "\\").encode()
        body = struct.pack("<IIBIIBBHI", len(data), len(data), 3, zlib.crc32(data), 0x5A000000,
                           20, 0x30, len(encoded), 0o100644) + encoded
        out += rar4_block(0x74, 0x8000, body) + data
    return out + rar4_block(0x7B, 0x4000, b"")

version, target = sys.argv[1], sys.argv[2]
volume = "--volume" in sys.argv
names = [a for a in sys.argv[3:] if a != "--volume"]
files = [(n, open("roms/" + n, "rb").read()) for n in names]
with open(target, "wb") as out:
    out.write((rar5 if version == "5" else rar4)(files, volume))
