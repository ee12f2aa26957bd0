#!/usr/bin/env bash
# The integrity record under Wine: an updater built by `updpack build` with
# one byte changed in a stored entry, a compressed entry, the package header,
# the directory or the record itself is refused by `updpack verify` and, run,
# shows "RESOURCE READ ERROR", exits 0 and writes nothing (no file in the
# game, no temporary UPDATE.INI left); the undamaged one runs to the
# completion page.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

stub=$UPD_WIN32_BUILD/tools/updpack/updater.exe
native_updpack=${UPD_NATIVE_UPDPACK:-$UPD_ROOT/build/native/tools/updpack/updpack}
upd_require "$stub" "$UPD_AUTOMATE" "$native_updpack"

upd_game Sound 無傷物語 1.5
upd_temp_folder

mkdir -p "$work/update"
upd_update_ini "$work/update/UPDATE.INI" \
  '[UPDATE]' 'UpdateFile00=Noise.bin' 'UpdateFile01=Text.dat'
head -c 20000 /dev/urandom >"$work/update/Noise.bin"  # stays plain
for i in $(seq 2000); do printf 'Line %d\r\n' "$i"; done >"$work/update/Text.dat"
upd_check "updpack build" \
  "$native_updpack" build "$work/update" -o "$work/Update.exe" --stub "$stub"

# Where things lie in Update.exe.
"$native_updpack" list --json "$work/Update.exe" >"$work/list.json"
field() { grep "\"name\": \"$1\"" "$work/list.json" | sed "s/.*\"$2\": \([0-9]*\).*/\1/"; }
# u32 OFFSET: the little-endian word there.
u32() { od -An -tu4 -j "$1" -N4 "$work/Update.exe" | tr -d ' '; }
# The code compares the signatures too: the package is where Noise.bin's
# bytes follow its header, the record where its length is that of 3 entries.
pkg= record=
for at in $(grep -obUaP 'QW2\x00' "$work/Update.exe" | cut -d: -f1); do
  cmp -s <(tail -c +$((at + $(field Noise.bin offset) + 1)) "$work/Update.exe" | head -c 20000) \
    "$work/update/Noise.bin" && pkg=$at
done
for at in $(grep -obUaP 'QW2I' "$work/Update.exe" | cut -d: -f1); do
  [ "$(u32 $((at + 8)))" = 40 ] && [ "$(u32 $((at + 20)))" = 3 ] && record=$at
done
[ -n "$pkg" ] && [ -n "$record" ] || { echo "integrity_e2e: package or record not found"; exit 1; }
directory=$(u32 $((pkg + 8)))
upd_check "Noise.bin is stored, Text.dat compressed" \
  grep -q '"name": "Noise.bin", "storage": "stored".*' "$work/list.json"
upd_check "  (Text.dat)" grep -q '"name": "Text.dat", "storage": "compressed"' "$work/list.json"

upd_auto_start
upd_expect "acp" "ok 932"

# damaged WHAT OFFSET: the updater with the byte at OFFSET changed.
damaged() {
  echo "one byte changed: $1 (offset $2)"
  upd_install_game
  cp "$work/Update.exe" "$work/Bad.exe"
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$work/Bad.exe" | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 0x10)))" |
    dd of="$work/Bad.exe" bs=1 seek="$2" conv=notrunc status=none
  upd_check "updpack verify refuses it" \
    test "$("$native_updpack" verify --quiet "$work/Bad.exe"; echo $?)" = 1
  upd_start_updater "$work/Bad.exe"
  upd_expect_box "RESOURCE READ ERROR" none yes 1:OK UPDATE
  if [ "${UPD_REPLY#ok caption=}" = "$UPD_REPLY" ]; then
    kill "$updater_pid" 2>/dev/null  # it went on: nobody would answer it
  fi
  upd_expect "answer ok" "ok"
  upd_expect_exit 0
  upd_check "nothing written into the game" \
    test "$(ls "$game")" = "SETUP.INI"
}
damaged "stored entry Noise.bin" $((pkg + $(field Noise.bin offset) + 10000))
damaged "compressed entry Text.dat" $((pkg + $(field Text.dat offset) + $(field Text.dat storedSize) / 2))
damaged "package header" $((pkg + 12))
damaged "directory" $((pkg + directory + 280 + 3))
damaged "integrity record: package CRC" $((record + 17))
damaged "integrity record: an entry's CRC" $((record + 25))
damaged "integrity record: magic" "$record"

echo "the undamaged updater runs: Next, Next, 完了"
upd_install_game
upd_run_to_completion "$work/Update.exe"
upd_check "Noise.bin written" cmp "$work/update/Noise.bin" "$game/Noise.bin"
upd_check "Text.dat written" cmp "$work/update/Text.dat" "$game/Text.dat"

echo "integrity_e2e: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
