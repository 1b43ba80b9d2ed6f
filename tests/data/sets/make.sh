#!/usr/bin/env bash
# Remakes the archives of this folder from the ROMs in roms/ (make_roms.py).
# 7-Zip (p7zip-full) makes the 7z and zip ones; make_rar.py and
# make_zstd_zip.py the formats no free tool here writes.
set -euo pipefail
cd "$(dirname "$0")"
rm -f -- *.7z *.7z.0* *.zip *.rar
python3 make_roms.py
members=("Game (USA).nes" Quest.smc plain.bin sub/Inner.bin notes.txt empty.bin)
seven() { (cd roms && 7z a -bd -bso0 -mtm=off -mtc=off -mta=off "$@") }
seven ../solid.7z -ms=on "${members[@]}"
seven ../nonsolid.7z -ms=off "${members[@]}"
seven ../plainheader.7z -ms=on -mhc=off "${members[@]}"
seven ../bcj.7z -ms=on -mf=BCJ -m0=LZMA "${members[@]}"
for method in BZip2 LZMA XZ; do
    seven "../zip-${method,,}.zip" -tzip -mm=$method "${members[@]}"
done
python3 make_zstd_zip.py zip-zstd.zip "${members[@]}"
python3 make_rar.py 4 rar4.rar "${members[@]}"
python3 make_rar.py 5 rar5.rar "${members[@]}"
# Failures: a password, a password on the listing too, a changed byte in a
# stored member, volumes of split sets, a cut RAR and a bomb.
seven ../encrypted.7z -pSECRET "Game (USA).nes"
seven ../encrypted-listing.7z -pSECRET -mhe=on "Game (USA).nes"
seven ../changed.7z -mx=0 "Game (USA).nes"
printf '\x55' | dd of=changed.7z bs=1 seek=1000 conv=notrunc status=none
seven ../split.7z -v40k -mx=0 "Game (USA).nes" Quest.smc
python3 make_rar.py 5 multivolume.rar --volume "Game (USA).nes"
head -c 20000 rar5.rar > truncated.rar
head -c 8G /dev/zero | 7z a -bd -bso0 -mx=9 -md=64m -sizeros.bin bomb.7z
# A symbolic link stored as one (-snl): no ROM of its own.
links=$(mktemp -d)
cp "roms/Game (USA).nes" "$links/" && ln -s "Game (USA).nes" "$links/link.nes"
(cd "$links" && 7z a -bd -bso0 -snl -mtm=off -mtc=off -mta=off "$OLDPWD/links.7z" "Game (USA).nes" link.nes)
rm -rf "$links"
