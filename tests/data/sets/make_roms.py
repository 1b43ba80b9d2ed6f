#!/usr/bin/env python3
"""Writes the loose ROMs the archives in this folder are made from."""
import os

def pattern(count, seed):
    # Compressible but not trivial: a slow ramp with a repeating stripe.
    return bytes(((i * seed) >> 5 ^ (i % 251)) & 0xFF for i in range(count))

os.makedirs("roms/sub", exist_ok=True)
nes = b"NES\x1a" + bytes([2, 1, 0x10, 0]) + bytes(8) + pattern(32768 + 8192, 3)
snes = bytes(8) + b"\xaa\xbb\x04" + bytes(512 - 11) + pattern(65536, 5)
files = {
    "roms/Game (USA).nes": nes,
    "roms/Quest.smc": snes,
    "roms/plain.bin": pattern(10000, 7),
    "roms/sub/Inner.bin": pattern(3000, 11),
    "roms/notes.txt": b"made for the archive tests\n",
    "roms/empty.bin": b"",
}
for name, data in files.items():
    with open(name, "wb") as out:
        out.write(data)
