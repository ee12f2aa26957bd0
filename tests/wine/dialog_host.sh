#!/usr/bin/env bash
# The dialog host, message boxes and the automation tool under Wine, on the
# stand-in dialog_demo.exe, which carries the updater's own dialog resource:
# texts read back as Shift-JIS, button states, focus, a box owned by the
# dialog and one with no owner, the second instance, the exit codes.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

demo=$UPD_WIN32_BUILD/tests/wine/dialog_demo.exe
upd_require "$demo"
caption="デモ アップデータ 1.00"

upd_auto_start
upd_expect "acp" "ok 932"

echo "finishing: Next, OK in the box, then Back ends the dialog with 0"
wine "$demo" & demo_pid=$!
upd_expect "wait $caption 15000" "ok"
upd_expect "title" "ok 83668382208341836283768366815b835e20312e3030 $caption"
upd_expect "info" "ok 817583668382817682cc8341836283768366815b836782f08a4a8e6e82b582dc82b7 「デモ」のアップデートを開始します"
upd_expect "buttons" "ok 4=off:戻る 1=on:次へ 2=on:中止 focus=1"
# The resource's texts as the program reads them: 次へ, 中止, 戻る.
upd_expect "control 1" "ok 8e9f82d6 次へ enabled"
upd_expect "control 2" "ok 92868e7e 中止 enabled"
upd_expect "control 4" "ok 96df82e9 戻る disabled"
upd_expect "press 4" "error disabled 4"
upd_expect "press 1" "ok"
upd_expect "msgbox 10000" "ok caption=$caption | text=一行目\\r二行目 ソ | hex=88ea8d7396da0d93f18d7396da20835c | owner=$caption | buttons=1:OK,2:キャンセル | icon=yes"
# While the box is open the dialog is busy: its buttons do nothing.
upd_expect "press 2" "ok"
upd_expect "answer ok" "ok"
upd_expect "waitinfo OK 5000" "ok 4f4b OK"
upd_expect "buttons" "ok 4=on:戻る 1=on:完了 2=on:中止 focus=1"
wine "$demo"
upd_check "a second copy finds the first by its caption (exit 3)" test $? -eq 3
upd_expect "count $caption" "ok 1"
upd_expect "foreground" "ok $caption"
upd_expect "press 4" "ok"
upd_expect "gone 5000" "ok"
wait "$demo_pid"
upd_check "finished dialog gives exit code 1" test $? -eq 1

echo "cancelling through the close box, then the ownerless box"
wine "$demo" & demo_pid=$!
upd_expect "wait $caption 15000" "ok"
upd_expect "press 1" "ok"
upd_expect "msgbox 10000" "ok caption=$caption | text=一行目\\r二行目 ソ | hex=88ea8d7396da0d93f18d7396da20835c | owner=$caption | buttons=1:OK,2:キャンセル | icon=yes"
upd_expect "answer cancel" "ok"
upd_expect "waitinfo キャンセル 5000" "ok 834c83838393835a838b キャンセル"
upd_expect "close" "ok"
upd_expect "gone 5000" "ok"
upd_expect "msgbox 10000" "ok caption=$caption | text=中断しました | hex=9286926682b582dc82b582bd | owner=none | buttons=1:OK | icon=yes"
upd_expect "answer ok" "ok"
wait "$demo_pid"
upd_check "cancelled dialog gives exit code 0" test $? -eq 0

upd_auto_stop
echo "dialog_host: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
