#!/usr/bin/env bash
# The real updater.exe on a system that is not Japanese: a prefix of its own
# under en_US, whose ANSI code page is 1252. Every text the player reads is
# read back as UTF-16 and must be the Japanese text: the pages, the buttons
# of the dialog template, the failed-write and interruption boxes, the
# running-game prompt. The game, an ANSI program titled in Shift-JIS bytes,
# is still found by those bytes, and a second copy still finds the first.
#
#   UPD_WINE_LOCALE=ja_JP   runs the same under code page 932
#   UPD_SCREENSHOTS=DIR     saves the start page and a message box there as
#                           start-CODEPAGE.png and message-CODEPAGE.png
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export UPD_WINE_LOCALE=${UPD_WINE_LOCALE:-en_US}
if [ "$UPD_WINE_LOCALE" != ja_JP ]; then
  export UPD_WINEPREFIX=$root/build/wine-prefix-$UPD_WINE_LOCALE
fi
. "$root/scripts/wine-env.sh"

wine_dir=$UPD_WIN32_BUILD/tests/wine
updpack=$UPD_WIN32_BUILD/tools/updpack/updpack.exe
upd_require "$UPD_WIN32_BUILD/src/updater/updater.exe" "$updpack" \
  "$UPD_AUTOMATE" "$wine_dir/fake_game.exe"

# A Western Windows carries the Japanese fonts and links them into its own
# dialog font; Wine has none of them, so this prefix names the installed IPA
# Gothic for them (a Japanese prefix finds it through the locale).
if [ "$UPD_WINE_LOCALE" != ja_JP ]; then
  for face in "MS UI Gothic" "ＭＳ Ｐゴシック"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
      /d IPAPGothic /f >/dev/null 2>&1
  done
fi

upd_game West 西部物語 2.00

mkdir -p "$work/update"
upd_update_ini "$work/update/UPDATE.INI" '[UPDATE]' 'UpdateFile00=Data.bin'
head -c 50000 /dev/urandom >"$work/update/Data.bin"
wine "$updpack" create -o "$(winepath -w "$work/UPDATE.QW3")" \
  "$(winepath -w "$work/update/UPDATE.INI")" \
  "$(winepath -w "$work/update/Data.bin")" >/dev/null
updater=$(upd_build_updater "$work/UPDATE.QW3" 2>"$work/build.log") ||
  { cat "$work/build.log" >&2; exit 1; }
cp "$updater" "$work/Update.exe"

# A text as automate.exe shows it once it prints UTF-16.
shown() { echo "$(utf16 "$1") $1"; }

screenshot() {
  [ -n "${UPD_SCREENSHOTS:-}" ] || return 0
  mkdir -p "$UPD_SCREENSHOTS"
  upd_screenshot "$UPD_SCREENSHOTS/$1-$acp.png"
}

upd_auto_start
upd_ask "acp"
acp=${UPD_REPLY#ok }
case $UPD_WINE_LOCALE in
  ja_JP) upd_check "code page 932" test "$acp" = 932; cancel=キャンセル ;;
  *) upd_check "code page 1252" test "$acp" = 1252; cancel=Cancel ;;
esac
upd_hexof_utf16

echo "finishing the update: Next, Next, 完了"
upd_install_game
upd_start_updater
upd_expect "wait $caption 20000" "ok"
upd_expect "title" "ok $(shown "$caption")"
upd_expect "info" "ok $(shown "「$title」のアップデートを開始します")"
# The template's own texts, and the default button and focus of before.
upd_expect "buttons" "ok 4=off:戻る 1=on:次へ 2=on:中止 focus=1"
screenshot start
upd_expect "press 1" "ok"
upd_expect "waitinfo アップデートを実行します 5000" "ok $(shown アップデートを実行します)"
upd_expect "press 1" "ok"
upd_expect "waitinfo アップデートは完了しました 30000" "ok $(shown アップデートは完了しました)"
upd_expect "buttons" "ok 4=off:戻る 1=on:完了 2=off:中止 focus=1"
upd_expect "press 1" "ok"
upd_expect "gone 5000" "ok"
upd_expect_exit 1
upd_check "Data.bin written" cmp -s "$work/update/Data.bin" "$game/Data.bin"

echo "a failing write: the error box over the dialog, then the interruption"
upd_install_game
mkdir "$game/Data.bin"
upd_start_updater
upd_expect "wait $caption 20000" "ok"
upd_expect "press 1" "ok"
upd_expect "press 1" "ok"
upd_expect_box "ファイルの書き込みに失敗しました" "$caption" yes 1:OK
screenshot message
upd_expect "answer ok" "ok"
upd_expect_box "アップデートが中断されました" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0

echo "the game is running: found by its ANSI title, the prompt in Japanese"
upd_install_game
wine "$wine_dir/fake_game.exe" WestStoryWnd "$title" & game_pid=$!
upd_expect "waitclass WestStoryWnd 10000" "ok"
upd_start_updater
upd_expect_box "「$title」が実行中です。アップデートを続行する場合はゲームを終了してから [OK] を、アップデートを中止する場合は [キャンセル] を押して下さい" \
  none no "1:OK,2:$cancel"
upd_expect "answer cancel" "ok"
upd_expect_exit 0
upd_expect "closeclass WestStoryWnd" "ok 1"
wait "$game_pid"

echo "a second copy finds the first by the caption it shows"
upd_start_updater
upd_expect "wait $caption 20000" "ok"
first_pid=$updater_pid
upd_start_updater
upd_expect_exit 0
upd_expect "count $caption" "ok 1"
updater_pid=$first_pid
upd_expect "press 2" "ok"
upd_expect_box "アップデートが中断されました" none yes 1:OK
upd_expect "answer ok" "ok"
upd_expect_exit 0

echo "codepage_e2e ($acp): $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
