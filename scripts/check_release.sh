#!/usr/bin/env bash
# Builds the players' download twice, with the README's Release command and
# from the tested build in build/mingw, and checks that the two zips are byte
# for byte the same, that the zip holds the two programs and README.txt and nothing
# else, that each program carries its manifest and no debug sections, and
# that the programs unzipped from it are the ones the tests ran and install
# and restore a sample installation under Wine: from a pipe, from the
# program's own console window as a double-click makes it, and as a player
# who may not write the game's folders.
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

echo "== release: the guide opens with a quick start that names both programs"
# Its end, the next section's underline, within the first 40 lines.
unzip -p "$zip" README.txt | tr -d '\r' | head -n 40 | awk '
  /^Quick start$/ { quick = 1 } quick && /^-+$/ && lines++ { whole = 1; exit }
  quick { text = text $0 "\n" }
  END { exit !(whole && text ~ /QVRPt2Installer_mod\.exe/ && text ~ /Reinstall_QVRPt1\.exe/) }' || {
  echo "check_release: README.txt has no quick start naming both programs in its first 40 lines" >&2
  exit 1
}

echo "== release: built again in another folder, the zip is byte for byte the same"
cmake --build --preset mingw -j "$(nproc)" --target package >/dev/null 2>&1
cmp "$zip" "build/mingw/$name"

echo "== release: each program runs as the player (asInvoker) on Windows 7 to 11, takes long paths, with no debug sections"
for exe in build/release/bin/{QVRPt2Installer_mod,Reinstall_QVRPt1}.exe; do
  if ! grep -q 'requestedExecutionLevel level="asInvoker"' "$exe" ||
     ! grep -q '<longPathAware [^>]*>true</longPathAware>' "$exe" ||
     [ "$(grep -ao '<supportedOS Id=' "$exe" | wc -l)" -ne 4 ]; then
    echo "check_release: $exe carries no manifest, or not the whole one" >&2
    exit 1
  fi
  if x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
    echo "check_release: $exe carries debug sections" >&2
    exit 1
  fi
done

echo "== release: the unzipped programs install and restore a sample installation under Wine, syncing the folders they change"
work=$(mktemp -d)
player() { setpriv --reuid=nobody --regid=nogroup --clear-groups env WINEPREFIX="$work/player" TMPDIR="$work/player-tmp" "$@"; }
trap '[ ! -d "$work/player" ] || player wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/zip"
for exe in QVRPt2Installer_mod.exe Reinstall_QVRPt1.exe; do cmp "$work/zip/$exe" "build/mingw/bin/$exe"; done
saves=$(build/default/bin/make_sample "$work/game")
cp -a "$work/game" "$work/before"
# The folders a program under Wine pushes to the disk, in order, as Linux
# sees the calls of its main thread: those of the native build, the same
# way. (Processes it starts, such as Wine's services, are not followed: they
# would keep the trace open.)
traced() { strace -qq -y -e trace=fsync -e signal=none -o "$work/syncs" "$@"; }
folders_synced() {
  local want=$1 got
  got=$(sed -n 's/.*fsync([0-9]*<\(.*\)>) *= 0$/\1/p' "$work/syncs" | while read -r p; do [ ! -d "$p" ] || echo "$p"; done)
  if [ "$got" != "$want" ]; then
    echo "check_release: the folders synced were:"$'\n'"$got"$'\n'"as traced:"$'\n'"$(cat "$work/syncs")" >&2
    exit 1
  fi
}
said=$(cd "$saves" && traced wine "$work/zip/QVRPt2Installer_mod.exe" </dev/null | tr -d '\r')
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
folders_synced "$work/game/DATA"$'\n'"$work/game"$'\n'"$saves"

echo "== release: as a player who may not write the game's folders, or change one name, under Wine as a user of its own"
# Wine needs a prefix of the user's own: a tree of links into the tested one.
as_player() {
  local said
  said=$(cd "$saves" && player wine "$work/zip/$1.exe" </dev/null | tr -d '\r'; echo "exit ${PIPESTATUS[0]}")
  if [ "$said" != "Can't write to the game's folders."$'\n'"Run $1 as administrator, or move the game out of Program Files."$'\n'"exit 1" ]; then
    echo "check_release: $1, run as a player, said:"$'\n'"$said" >&2
    exit 1
  fi
}
if [ "$(id -u)" -eq 0 ]; then
  # The server keeps a new prefix's registry in memory for a while; stopped,
  # it writes the .reg files that the copy needs.
  wineserver -k 2>/dev/null || true
  wineserver -w
  mkdir "$work/player" "$work/player-tmp"
  cp -a "$WINEPREFIX"/*.reg "$WINEPREFIX/.update-timestamp" "$WINEPREFIX/dosdevices" "$work/player/"
  cp -as "$WINEPREFIX/drive_c" "$work/player/"
  chown -hR nobody "$work/player" "$work/player-tmp"
  chmod 755 "$work"
  cp -a "$work/game" "$work/installed"
  as_player Reinstall_QVRPt1
  diff -r "$work/installed" "$work/game"
fi
(cd "$saves" && traced wine "$work/zip/Reinstall_QVRPt1.exe" </dev/null)
folders_synced "$work/game/DATA"$'\n'"$work/game"
diff -r "$work/before/DATA" "$work/game/DATA"
diff -r "$work/before/SOUNDS" "$work/game/SOUNDS"
diff -r "$work/before/SOUNDS.QVRPt2" "$work/game/SOUNDS.QVRPt2"
if [ "$(id -u)" -eq 0 ]; then
  as_player QVRPt2Installer_mod
  diff -r "$work/before/DATA" "$work/game/DATA"
  # The installer as a player where Windows refuses one change, each found
  # without a wait and leaving nothing changed (Wine refuses what the Unix
  # rights refuse, as "access denied", and knows no sticky bit): a DATA folder
  # of another user's with the sticky bit, where the player may add files but
  # not rename the owner's (refused at the first move aside); the game folder
  # so, the sounds the owner's (refused at the sound folder's rename, with
  # nothing open in it: the install undoes itself); a data file marked
  # read-only, or closed to the player, whose mark the player may not take off.
  cant="Can't write to the game's folders."$'\n'"Run QVRPt2Installer_mod as administrator, or move the game out of Program Files."
  refused() {  # what to change, then what the installer must say
    cp "$work/before/Saves/save000.zsv" "$saves/"
    chmod 777 "$work/game" "$saves" "$work/game/DATA" && eval "$1"
    local start=$SECONDS said
    said=$(cd "$saves" && player wine "$work/zip/QVRPt2Installer_mod.exe" </dev/null | tr -d '\r'; echo "exit ${PIPESTATUS[0]}")
    chmod 755 "$work/game" "$saves" "$work/game/DATA" && chmod 644 "$work/game/DATA/ICONS.LOD"
    if [ "$said" != "$2"$'\n'"exit 1" ] || [ $((SECONDS - start)) -ge 10 ]; then
      echo "check_release: the installer, as a player after $1, said in $((SECONDS - start)) s:"$'\n'"$said" >&2
      exit 1
    fi
    for f in DATA SOUNDS SOUNDS.QVRPt2; do diff -r "$work/before/$f" "$work/game/$f"; done
  }
  refused 'chmod 1777 "$work/game/DATA"' "${want%%$'\n'Decoding*}$cant"
  refused 'chmod 1777 "$work/game"' "$want"$'\n\n'"Can't move SOUNDS folder."
  refused 'chmod 444 "$work/game/DATA/ICONS.LOD"' "$cant"
  refused 'chmod 000 "$work/game/DATA/ICONS.LOD"' "$cant"
else
  echo "== release: skipped: only root can run Wine as another user"
fi

echo "== release: double-clicked, each program says it is done and waits for Enter, holding no lock"
# Under Wine a terminal is the program's own console, as a double-click's window is.
shown() { sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1b\][^\x07]*\x07//g; s/\^J//g' "$work/window" | tr -d ' \r\n'; }
prompt=PressEnter key=$'\r'  # what a window waits at, and the key that answers it
in_window() {  # PROGRAM, then what to do while it waits
  local try
  for try in 1 2; do
    rm -f "$work/enter" && mkfifo "$work/enter"
    (cd "$saves" && timeout 60 script -qec "wine '$work/zip/$1.exe'" /dev/null <"$work/enter" >"$work/window") &
    exec 3>"$work/enter"
    for _ in $(seq 300); do [[ $(shown) == *$prompt* ]] && break; sleep 0.1; done
    [[ $(shown) == *$prompt* ]] && break
    # Now and then Wine hangs as it starts a program in a terminal (see
    # cmake/wine-run.sh for its failed starts): started once more.
    echo "check_release: $1 showed no prompt in 30 s (\"$(shown)\"); starting it once more"
    exec 3>&-
    wait $! || true
  done
  "${@:2}" || true
  # Wine makes the terminal raw a moment after the program's first output; an
  # Enter sent before that arrives as a line feed, which it shows as ^J and
  # ignores. Enter is sent again until the program ends.
  for _ in $(seq 40); do
    kill -0 $! 2>/dev/null || break
    (trap '' PIPE; printf '%s' "$key" >&3) 2>/dev/null || break
    sleep 0.25
  done
  exec 3>&-
  wait $! || true
}
cp "$work/before/Saves/save000.zsv" "$saves/"  # the player's save again, for a second install
in_window QVRPt2Installer_mod bash -c "cd '$saves' && wine '$work/zip/Reinstall_QVRPt1.exe' </dev/null >'$work/restored'"
if [[ $(shown) != *DecodingICONS.LOD.QVRPart2isinstalled.PressEntertoclosethiswindow. ]] || [ -s "$work/restored" ]; then
  echo "check_release: the installer's window showed:"$'\n'"$(shown)"$'\n'"and a restore meanwhile said: $(cat "$work/restored")" >&2
  exit 1
fi
in_window Reinstall_QVRPt1 true
if [ "$(shown)" != "QVRPart1isinplace.PressEntertoclosethiswindow." ]; then
  echo "check_release: the restorer's window showed: $(shown)" >&2
  exit 1
fi
# The save is now the second part's, which the installer refuses: a refusal
# is no install, and its window closes on the key without saying it is one.
prompt=Pressanykeytocontinue. key=$'x\r' in_window QVRPt2Installer_mod true
if [[ $(shown) != *Pressanykeytocontinue.* || $(shown) == *installed* ]]; then
  echo "check_release: the refused installer's window showed: $(shown)" >&2
  exit 1
fi
diff -r "$work/before/DATA" "$work/game/DATA"
diff -r "$work/before/SOUNDS" "$work/game/SOUNDS"
echo "== release: $name checked"
