#!/usr/bin/env bash
# Patch updates under Wine: the Windows updpack builds an updater with
# --from two old installations; on the installed test game it brings each
# old version to the exact new files, and a second run finishes without
# rewriting them; a file of another version, or a missing one, is refused
# before anything is written; with --keep-whole such a file gets the whole
# new file; a damaged patch leaves the old file as it was.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

tool_dir=$UPD_WIN32_BUILD/tools/updpack
upd_require "$tool_dir/updpack.exe" "$tool_dir/updater.exe" "$UPD_AUTOMATE"
updpack_win() { wine "$tool_dir/updpack.exe" "$@"; }

upd_game Patch 差分物語 1.2
upd_temp_folder

# Three editions of a script with a few lines rewritten each time, and a
# movie that does not change.
script() {
  for i in $(seq 4000); do
    if [ $((i % 101)) -eq 0 ]; then printf 'Say %d edition %d\r\n' "$i" "$1"
    else printf 'Say %d %d\r\n' "$i" $((i * 7919 % 10007)); fi
  done
}
for edition in 1 2; do
  mkdir -p "$work/v$edition/Data"
  script "$edition" >"$work/v$edition/Data/Script.txt"
done
mkdir -p "$work/update/Data"
head -c 200000 /dev/urandom >"$work/update/Movie.bin"
cp "$work/update/Movie.bin" "$work/v1/Movie.bin"
cp "$work/update/Movie.bin" "$work/v2/Movie.bin"
script 3 >"$work/update/Data/Script.txt"
upd_update_ini "$work/update/UPDATE.INI" \
  '[UPDATE]' 'UpdateFile00=Movie.bin' 'UpdateFile01=Data\Script.txt'

echo "the Windows updpack builds a patch updater"
updpack_win build "$(win "$work/update")" -o "$(win "$work/Update.exe")" \
  --from "$(win "$work/v1")" --from "$(win "$work/v2")" | tr -d '\r' >"$work/build.txt"
upd_check "Update.exe built" test -s "$work/Update.exe"
upd_check "Script.txt packed as patches: $(grep Script.txt "$work/build.txt")" \
  grep -q "'Script.txt': patch" "$work/build.txt"
updpack_win build "$(win "$work/update")" -o "$(win "$work/Whole.exe")" \
  --from "$(win "$work/v1")" --keep-whole >/dev/null
upd_check "and with --keep-whole" test -s "$work/Whole.exe"

install_edition() {
  upd_install_game
  mkdir -p "$game/Data"
  cp "$work/v$1/Movie.bin" "$game/Movie.bin"
  cp "$work/v$1/Data/Script.txt" "$game/Data/Script.txt"
  touch -d '2020-01-01 00:00:00' "$game/Data/Script.txt"
}

upd_auto_start
upd_expect "acp" "ok 932"

for edition in 1 2; do
  echo "edition $edition to edition 3"
  install_edition "$edition"
  upd_run_to_completion "$work/Update.exe"
  upd_check "Script.txt is the new one" cmp -s "$work/update/Data/Script.txt" "$game/Data/Script.txt"
  upd_check "Movie.bin is the new one" cmp -s "$work/update/Movie.bin" "$game/Movie.bin"
done

echo "a second run on the updated files writes nothing and finishes"
touch -d '2020-01-01 00:00:00' "$game/Data/Script.txt"
upd_run_to_completion "$work/Update.exe"
upd_check "Script.txt not rewritten (its time stamp kept)" \
  test "$(date -r "$game/Data/Script.txt" +%Y)" = 2020

path='C:\PatchGame\Data\Script.txt'
version_text="更新するファイルのバージョンが違います。"
refused() {
  upd_start_updater "$work/Update.exe"
  upd_expect "wait $caption 20000" "ok"
  upd_expect "press 1" "ok"
  upd_expect "press 1" "ok"
  upd_expect "msgbox 20000" "ok caption=$caption | text=$version_text\\r$path | hex=$(hex "$version_text"$'\r'"$path") | owner=$caption | buttons=1:OK | icon=yes"
  upd_expect "answer ok" "ok"
  upd_expect_box "アップデートが中断されました" none yes 1:OK
  upd_expect "answer ok" "ok"
  upd_expect_exit 0
}

echo "a changed byte: refused, nothing written"
install_edition 1
printf 'X' | dd of="$game/Data/Script.txt" bs=1 seek=5000 conv=notrunc status=none
cp "$game/Data/Script.txt" "$work/changed.txt"
rm "$game/Movie.bin"
refused
upd_check "Script.txt as it was" cmp -s "$work/changed.txt" "$game/Data/Script.txt"
upd_check "Movie.bin, before it in the list, not written" test ! -e "$game/Movie.bin"

echo "a missing file: refused"
install_edition 2
rm "$game/Data/Script.txt"
refused
upd_check "still missing" test ! -e "$game/Data/Script.txt"

echo "--keep-whole: the changed file gets the whole new one"
install_edition 1
printf 'X' | dd of="$game/Data/Script.txt" bs=1 seek=5000 conv=notrunc status=none
upd_run_to_completion "$work/Whole.exe"
upd_check "Script.txt is the new one" cmp -s "$work/update/Data/Script.txt" "$game/Data/Script.txt"

echo "a damaged patch: the write fails, the old file stays"
# A package of the script alone, one byte in the middle of its patch
# changed, embedded afresh so that its integrity record agrees: only the
# patch itself can tell.
mkdir -p "$work/damaged"
upd_update_ini "$work/damaged/UPDATE.INI" '[UPDATE]' 'UpdateFile00=Data\Script.txt'
updpack_win create -o "$(win "$work/damaged/DAMAGED.QW3")" "$(win "$work/damaged/UPDATE.INI")" \
  "$(win "$work/update/Data/Script.txt")" --from "$(win "$work/v1/Data")" >/dev/null
entry=$(updpack_win list --json "$(win "$work/damaged/DAMAGED.QW3")" | tr -d '\r' |
  grep '"name": "Script.txt", "storage": "patch"')
upd_check "the damaged package's Script.txt is a patch" test -n "$entry"
offset=$(sed 's/.*"offset": \([0-9]*\).*/\1/' <<<"$entry")
patch=$(grep -o '"patchSize": [0-9]*' <<<"$entry" | grep -o '[0-9]*$')
at=$((offset + 16 + 12 + patch / 2))
byte=$(od -An -tu1 -j "$at" -N1 "$work/damaged/DAMAGED.QW3" | tr -d ' ')
printf "\\x$(printf %02x $((byte ^ 0x5a)))" |
  dd of="$work/damaged/DAMAGED.QW3" bs=1 seek="$at" conv=notrunc status=none
damaged=$(upd_build_updater "$work/damaged/DAMAGED.QW3" 2>"$work/build.log") ||
  { cat "$work/build.log" >&2; exit 1; }
install_edition 1
upd_start_updater "$damaged"
upd_expect "wait $caption 20000" "ok"
upd_expect "press 1" "ok"
upd_expect "press 1" "ok"
upd_expect_box "ファイルの書き込みに失敗しました" "$caption" yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_box "アップデートが中断されました" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0
upd_check "Script.txt is edition 1 still" cmp -s "$work/v1/Data/Script.txt" "$game/Data/Script.txt"
