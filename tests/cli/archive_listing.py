#!/usr/bin/env python3
"""Checks tabula-cli's rows for the archives in tests/data/sets against the
names and sizes `bsdtar -tvf` and `7z l -slt` list for them (and the CRCs
7-Zip lists, where it lists one): usage archive_listing.py TABULA_CLI."""
import os, shutil, subprocess, sys, tempfile

cli = sys.argv[1]
sets = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "sets")
archives = ["solid.7z", "nonsolid.7z", "plainheader.7z", "bcj.7z", "zip-bzip2.zip",
            "zip-lzma.zip", "zip-xz.zip", "zip-zstd.zip", "rar4.rar", "rar5.rar"]


def base(name):
    return name.replace("\\", "/").rsplit("/", 1)[-1].lower()


def tabula(path):
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(path, folder)
        out = subprocess.run([cli, "-q", "--include-txt", folder], check=True,
                             capture_output=True, text=True).stdout
    rows = [line.split("\t") for line in out.splitlines()]
    return sorted((base(r[4]), int(r[6]), r[5].upper()) for r in rows)


def bsdtar(path):
    out = subprocess.run(["bsdtar", "-tvf", path], check=True, capture_output=True,
                         text=True).stdout
    listed = []
    for line in out.splitlines():
        fields = line.split(None, 8)
        if not line.startswith("d"):
            listed.append((base(fields[8]), int(fields[4])))
    return sorted(listed)


def sevenzip(path):
    out = subprocess.run(["7z", "l", "-slt", path], check=True, capture_output=True,
                         text=True).stdout
    items, item = [], None
    for line in out.split("----------", 1)[1].splitlines():
        key, _, value = line.partition(" = ")
        if key == "Path":
            item = {"Path": value}
            items.append(item)
        elif item is not None and key:
            item[key] = value
    return sorted((base(i["Path"]), int(i["Size"]), i.get("CRC", "")) for i in items
                  if i.get("Folder") != "+" and not i.get("Attributes", "").startswith("D"))


failed = False
for name in archives:
    path = os.path.join(sets, name)
    rows = tabula(path)
    by_tar = bsdtar(path)
    by_7z = sevenzip(path)
    if [(n, s) for n, s, _ in rows] != by_tar:
        print(f"{name}: bsdtar -tvf lists {by_tar}, tabula-cli {rows}")
        failed = True
    # 7-Zip lists no CRC for an empty member, nor for RAR members it has not read.
    if [(n, s) for n, s, _ in rows] != [(n, s) for n, s, _ in by_7z] or any(
            crc and crc != row[2] for (_, _, crc), row in zip(by_7z, rows)):
        print(f"{name}: 7z l -slt lists {by_7z}, tabula-cli {rows}")
        failed = True
sys.exit(1 if failed else 0)
