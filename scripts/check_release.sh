#!/usr/bin/env bash
# Builds the players' download twice, with the README's Release command and
# from the tested build in build/mingw, and checks that the two zips are byte
# for byte the same, that the zip holds the two programs and README.txt and nothing
# else, that each program carries its manifest and no debug sections, and
# that the programs unzipped from it are the ones the tests ran and install
# and restore a sample installation under Wine.
# Needs the default and mingw builds (scripts/test.sh makes both).
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all WINEPREFIX="$PWD/build/mingw/wineprefix"

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target package 2>&1 | grep SHA-256
# The zip of the version just built, not one an older version left here.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
name=QVR-part-switcher-$version-win64.zip
zip=build/release/$name

echo "== release: the zip holds the two programs and README.txt, nothing else"
want=$'QVRPt2Installer_mod.exe\nReinstall_QVRPt1.exe\nREADME.txt'
got=$(unzip -Z1 "$zip")
if [ "$got" != "$want" ]; then
  echo "check_release: $name holds:"$'\n'"$got" >&2
  exit 1
fi

echo "== release: built again in another folder, the zip is byte for byte the same"
cmake --build --preset mingw -j "$(nproc)" --target package >/dev/null 2>&1
cmp "$zip" "build/mingw/$name"

echo "== release: each program runs as the player (asInvoker) on Windows 7 to 11, with no debug sections"
for exe in build/release/bin/*.exe; do
  if ! grep -q 'requestedExecutionLevel level="asInvoker"' "$exe" ||
     [ "$(grep -ao '<supportedOS Id=' "$exe" | wc -l)" -ne 4 ]; then
    echo "check_release: $exe carries no manifest, or not the whole one" >&2
    exit 1
  fi
  if x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
    echo "check_release: $exe carries debug sections" >&2
    exit 1
  fi
done

echo "== release: the unzipped programs install and restore a sample installation under Wine"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/zip"
for exe in QVRPt2Installer_mod.exe Reinstall_QVRPt1.exe; do cmp "$work/zip/$exe" "build/mingw/bin/$exe"; done
saves=$(build/default/bin/make_sample "$work/game")
cp -a "$work/game" "$work/before"
said=$(cd "$saves" && wine "$work/zip/QVRPt2Installer_mod.exe" </dev/null | tr -d '\r')
want=$'\nExtracting SAVED Game data.\nOffset is 4e20.\nData is c5.\nData is 80.\n'
want+=$'\nDecoding SPRITES.LOD.\n\nDecoding Games.lod.\n\nDecoding BITMAPS.LOD.\n\nDecoding ICONS.LOD.'
if [ "$said" != "$want" ]; then
  echo "check_release: the installer said:"$'\n'"$said" >&2
  exit 1
fi
for f in DATA/SPRITES.LOD.QVRPt1 SOUNDS.QVRPt1 Saves/save000.zsv.Original; do
  [ -e "$work/game/$f" ] || { echo "check_release: no $f after the install" >&2; exit 1; }
done
cmp "$work/game/Saves/save000.zsv.Original" "$work/before/Saves/save000.zsv"
(cd "$saves" && wine "$work/zip/Reinstall_QVRPt1.exe" </dev/null)
diff -r "$work/before/DATA" "$work/game/DATA"
diff -r "$work/before/SOUNDS" "$work/game/SOUNDS"
diff -r "$work/before/SOUNDS.QVRPt2" "$work/game/SOUNDS.QVRPt2"
echo "== release: $name checked"
