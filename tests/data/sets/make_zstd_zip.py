#!/usr/bin/env python3
"""Writes a zip whose members are zstd frames (method 93), compressed by the
zstd command: make_zstd_zip.py OUT FILE... (no zip tool here writes zstd)."""
import struct, subprocess, sys, zlib

target, names = sys.argv[1], sys.argv[2:]
body, central = b"", b""
for name in names:
    data = open("roms/" + name, "rb").read()
    packed = subprocess.run(["zstd", "-q", "-c", "-19"], input=data, check=True,
                            capture_output=True).stdout
    encoded = name.encode()
    fields = struct.pack("<HHHHHIII", 63, 0, 93, 0, 0x21, zlib.crc32(data), len(packed), len(data))
    central += (struct.pack("<IH", 0x02014B50, 63) + fields +
                struct.pack("<HHHHHII", len(encoded), 0, 0, 0, 0, 0, len(body)) + encoded)
    body += struct.pack("<I", 0x04034B50) + fields + struct.pack("<HH", len(encoded), 0) + encoded + packed
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(names), len(names), len(central), len(body), 0)
with open(target, "wb") as out:
    out.write(body + central + end)
