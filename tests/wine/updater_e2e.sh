#!/usr/bin/env bash
# The real updater.exe end to end under Wine, driven by automate.exe: an
# installation set up in the prefix (registry record through `wine reg`,
# SETUP.INI), an updater built with a package of two files, and the paths a
# player meets: finishing the update, cancelling, a failing write, a game
# that is not installed, the game still running, a second copy started.
# Texts are checked as the Shift-JIS bytes the program shows.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

wine_dir=$UPD_WIN32_BUILD/tests/wine
updpack=$UPD_WIN32_BUILD/tools/updpack/updpack.exe
upd_require "$UPD_WIN32_BUILD/src/updater/updater.exe" "$updpack" \
  "$UPD_AUTOMATE" "$wine_dir/fake_game.exe"

upd_game Wine ワイン物語 1.02

# The update: UPDATE.INI (Shift-JIS, as publishers write it) and two files.
mkdir -p "$work/update/Scripts"
upd_update_ini "$work/update/UPDATE.INI" \
  '[UPDATE]' 'UpdateFile00=Data.bin' 'UpdateFile01=u,Scripts\Script.dat'
head -c 100000 /dev/urandom >"$work/update/Data.bin"
for i in $(seq 300); do printf 'SetFlag %d\r\n' "$i"; done >"$work/update/Script.dat"
wine "$updpack" create -o "$(winepath -w "$work/UPDATE.QW3")" \
  "$(winepath -w "$work/update/UPDATE.INI")" "$(winepath -w "$work/update/Data.bin")" \
  "$(winepath -w "$work/update/Script.dat")" >/dev/null
updater=$(upd_build_updater "$work/UPDATE.QW3" 2>"$work/build.log") ||
  { cat "$work/build.log" >&2; exit 1; }
cp "$updater" "$work/Update.exe"
upd_temp_folder

install_game() {
  upd_install_game
  mkdir -p "$game/Scripts"
}

interrupted="アップデートが中断されました"
started="「$title」のアップデートを開始します"

upd_auto_start
upd_expect "acp" "ok 932"

echo "finishing the update: Next, Next, 完了"
install_game
upd_start_updater
upd_expect "wait $caption 20000" "ok"
upd_expect "info" "ok $(hex "$started") $started"
upd_expect "buttons" "ok 4=off:戻る 1=on:次へ 2=on:中止 focus=1"
# The dialog resource's texts as the program itself reads them.
upd_expect "control 4" "ok $(hex 戻る) 戻る disabled"
upd_expect "control 1" "ok $(hex 次へ) 次へ enabled"
upd_expect "control 2" "ok $(hex 中止) 中止 enabled"
upd_expect "press 1" "ok"
upd_expect "waitinfo アップデートを実行します 5000" \
  "ok $(hex アップデートを実行します) アップデートを実行します"
upd_expect "buttons" "ok 4=off:戻る 1=on:次へ 2=on:中止 focus=1"
upd_expect "press 1" "ok"
upd_expect "waitinfo アップデートは完了しました 30000" \
  "ok $(hex アップデートは完了しました) アップデートは完了しました"
upd_expect "buttons" "ok 4=off:戻る 1=on:完了 2=off:中止 focus=1"
upd_expect "control 1" "ok $(hex 完了) 完了 enabled"
upd_expect "press 1" "ok"
upd_expect "gone 5000" "ok"
upd_expect_exit 1
upd_check "Data.bin written" cmp -s "$work/update/Data.bin" "$game/Data.bin"
upd_check "Scripts\\Script.dat written" cmp -s "$work/update/Script.dat" "$game/Scripts/Script.dat"

echo "cancelling on the start page"
install_game
upd_start_updater
upd_expect "wait $caption 20000" "ok"
upd_expect "press 2" "ok"
upd_expect "gone 5000" "ok"
upd_expect_box "$interrupted" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0
upd_check "nothing written" test ! -e "$game/Data.bin"

echo "a failing write: a folder where Data.bin goes"
install_game
mkdir "$game/Data.bin"
upd_start_updater
upd_expect "wait $caption 20000" "ok"
upd_expect "press 1" "ok"
upd_expect "press 1" "ok"
upd_expect_box "ファイルの書き込みに失敗しました" "$caption" yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_box "$interrupted" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0

echo "the game is not installed"
install_game
wine reg delete "$key" /f >/dev/null 2>&1
upd_start_updater
upd_expect_box "「$title」がインストールされていません" none yes 1:OK UPDATE
upd_expect "answer ok" "ok"
upd_expect_exit 0

echo "the game is running: OK while it runs asks again, Cancel stops"
install_game
wine "$wine_dir/fake_game.exe" WineStoryWnd "$title" & game_pid=$!
upd_expect "waitclass WineStoryWnd 10000" "ok"
running="「$title」が実行中です。アップデートを続行する場合はゲームを終了してから [OK] を、アップデートを中止する場合は [キャンセル] を押して下さい"
upd_start_updater
upd_expect_box "$running" none no 1:OK,2:キャンセル
upd_expect "answer ok" "ok"
upd_expect_box "$running" none no 1:OK,2:キャンセル
upd_expect "answer cancel" "ok"
upd_expect_exit 0
upd_expect "foreground" "ok $title"
upd_expect "closeclass WineStoryWnd" "ok 1"
wait "$game_pid"

echo "the game quits while the prompt is open: OK goes on to the dialog"
wine "$wine_dir/fake_game.exe" WineStoryWnd "$title" & game_pid=$!
upd_expect "waitclass WineStoryWnd 10000" "ok"
upd_start_updater
upd_expect_box "$running" none no 1:OK,2:キャンセル
upd_expect "closeclass WineStoryWnd" "ok 1"
wait "$game_pid"
upd_expect "answer ok" "ok"
upd_expect "wait $caption 20000" "ok"

echo "a second copy while the first shows its dialog"
first_pid=$updater_pid
upd_start_updater
wait "$updater_pid"
upd_check "the second copy exits with 0" test $? -eq 0
upd_expect "count $caption" "ok 1"
upd_expect "foreground" "ok $caption"
updater_pid=$first_pid
upd_expect "press 2" "ok"
upd_expect_box "$interrupted" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0

echo "updater_e2e: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
