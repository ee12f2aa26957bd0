#!/usr/bin/env bash
# The copies from the game's disc end to end under Wine: the real
# updater.exe with CopyFile lines, a folder mapped as CD-ROM drive E: in the
# prefix, and automate.exe as the player. Disc 1 is found by its
# DiskCheckFile1; a drive holding another disc brings up the insert prompt,
# where OK after the disc is changed goes on and Cancel stops the update; a
# file missing from the disc ends the update with the copy-failure box.
# Build first: cmake --preset win32 && cmake --build --preset win32.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

updpack=$UPD_WIN32_BUILD/tools/updpack/updpack.exe
upd_require "$UPD_WIN32_BUILD/src/updater/updater.exe" "$updpack" "$UPD_AUTOMATE"

upd_game Disc ディスク物語 1.00
upd_at_exit "upd_wine_unmap_drive e"

# The update: one package file and two copies from disc 1, a folder and,
# from the drive found for it, a file whose folder does not exist yet.
mkdir -p "$work/update"
upd_update_ini "$work/update/UPDATE.INI" '[UPDATE]' 'UpdateFile00=Readme.txt' \
  'CopyFile00=1:Movie' 'CopyFile01=Data\X.dat'
printf 'read me\r\n' >"$work/update/Readme.txt"
wine "$updpack" create -o "$(winepath -w "$work/UPDATE.QW3")" \
  "$(winepath -w "$work/update/UPDATE.INI")" \
  "$(winepath -w "$work/update/Readme.txt")" >/dev/null
updater=$(upd_build_updater "$work/UPDATE.QW3" 2>"$work/build.log") ||
  { cat "$work/build.log" >&2; exit 1; }
cp "$updater" "$work/Update.exe"

# A second update whose only line names a file that is not on the disc.
mkdir -p "$work/missing"
upd_update_ini "$work/missing/UPDATE.INI" '[UPDATE]' 'CopyFile00=1:Missing.dat'
wine "$updpack" create -o "$(winepath -w "$work/MISSING.QW3")" \
  "$(winepath -w "$work/missing/UPDATE.INI")" >/dev/null
updater=$(upd_build_updater "$work/MISSING.QW3" 2>"$work/build.log") ||
  { cat "$work/build.log" >&2; exit 1; }
cp "$updater" "$work/Missing.exe"

# Disc 1 with its check file, read-only files as on a CD; another disc.
disc1=$work/disc1
disc2=$work/disc2
mkdir -p "$disc1/Movie/Ending" "$disc1/Data" "$disc2"
: >"$disc1/DISC1.ID"
head -c 300000 /dev/urandom >"$disc1/Movie/Op.mpg"
printf 'ending' >"$disc1/Movie/Ending/Ed.mpg"
printf 'x data' >"$disc1/Data/X.dat"
: >"$disc2/DISC2.ID"
chmod 0444 "$disc1/Movie/Op.mpg" "$disc1/Movie/Ending/Ed.mpg" "$disc1/Data/X.dat"

install_game() {
  upd_install_game 'DiskCheckFile1=DISC1.ID' 'DiskCheckFile2=DISC2.ID'
}

# run_update [EXE]: starts the updater and presses Next twice, which starts
# the run.
run_update() {
  upd_start_updater "$@"
  upd_expect "wait $caption 20000" "ok"
  upd_expect "press 1" "ok"
  upd_expect "waitinfo アップデートを実行します 5000" \
    "ok $(hex アップデートを実行します) アップデートを実行します"
  upd_expect "press 1" "ok"
}

# Presses 完了 on the completion page; the update ends with 1.
expect_completion() {
  upd_expect "waitinfo アップデートは完了しました 30000" \
    "ok $(hex アップデートは完了しました) アップデートは完了しました"
  upd_expect "press 1" "ok"
  upd_expect "gone 5000" "ok"
  upd_expect_exit 1
}

# The copies of disc 1, whole, and the file no longer read-only.
expect_copied() {
  upd_check "Readme.txt written" cmp -s "$work/update/Readme.txt" "$game/Readme.txt"
  upd_check "Movie\\Op.mpg copied" cmp -s "$disc1/Movie/Op.mpg" "$game/Movie/Op.mpg"
  upd_check "Movie\\Ending\\Ed.mpg copied" \
    cmp -s "$disc1/Movie/Ending/Ed.mpg" "$game/Movie/Ending/Ed.mpg"
  upd_check "Data\\X.dat copied" cmp -s "$disc1/Data/X.dat" "$game/Data/X.dat"
  upd_check "Data\\X.dat made writable" \
    test "$(( 0$(stat -c %a "$game/Data/X.dat") & 0200 ))" -ne 0
}

prompt="ＣＤ－ＲＯＭドライブに「$title」ディスク 1 を入れて下さい"
interrupted="アップデートが中断されました"

upd_wine_map_cdrom e "$disc1"
upd_auto_start
upd_expect "acp" "ok 932"
upd_expect "drivetype E:\\" "ok 5"

echo "disc 1 in E:, found by its check file"
install_game
run_update
expect_completion
expect_copied

echo "another disc in E:: the prompt, then OK once disc 1 is in"
install_game
# A read-only file from an earlier copy of the disc is replaced.
mkdir -p "$game/Movie"
printf 'older copy' >"$game/Movie/Op.mpg"
chmod 0444 "$game/Movie/Op.mpg"
ln -sfn "$disc2" "$WINEPREFIX/dosdevices/e:"
run_update
upd_expect_box "$prompt" "$caption" no 1:OK,2:キャンセル
upd_check "the package file is written before the prompt" test -e "$game/Readme.txt"
upd_check "nothing copied before the prompt" test ! -e "$game/Data"
ln -sfn "$disc1" "$WINEPREFIX/dosdevices/e:"
upd_expect "answer ok" "ok"
expect_completion
expect_copied

echo "another disc in E:: Cancel at the prompt stops the update"
install_game
ln -sfn "$disc2" "$WINEPREFIX/dosdevices/e:"
run_update
upd_expect_box "$prompt" "$caption" no 1:OK,2:キャンセル
upd_expect "answer cancel" "ok"
upd_expect "gone 5000" "ok"
upd_expect_box "$interrupted" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0
upd_check "nothing copied" test ! -e "$game/Movie"

echo "a file missing from the disc: the copy-failure box"
install_game
ln -sfn "$disc1" "$WINEPREFIX/dosdevices/e:"
run_update "$work/Missing.exe"
upd_expect_box 'SETUP.INI : "Missing.dat" のコピーに失敗しました' "$caption" yes 1:OK
upd_expect "answer ok" "ok"
upd_expect "gone 5000" "ok"
upd_expect_box "$interrupted" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0

echo "media_e2e: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
