#!/usr/bin/env bash
# The main job, from a fresh Debian 12 machine: set up, build, make an
# updater from examples/sample-update, and let it update a demo installation
# of the game under Wine, pressing 次へ, 次へ, 完了 as a player would.
#
# Everything lands in build/demo: Update.exe, the installation (in the demo's
# own Wine prefix) and a screenshot of each wizard page. With DISPLAY set the
# wizard shows on that screen for the user to click through (UPD_DEMO_AUTO=1
# lets the script click there too); without, the script plays it on a
# private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/demo
step() { printf '\n==== %s ====\n' "$*"; }
# On the user's screen the user is the player; otherwise the script plays.
interactive=no
[ -n "${DISPLAY:-}" ] && [ -z "${UPD_DEMO_AUTO:-}" ] && interactive=yes

step "set-up"
bash scripts/setup.sh

step "build (native tools, Windows updater)"
python3 examples/make-sample.py
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target updpack
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target updater automate
updpack=$root/build/native/tools/updpack/updpack
stub=$root/build/win32/src/updater/updater.exe

step "make Update.exe from examples/sample-update"
mkdir -p "$out"
rm -f "$out/Update.exe" "$out"/*.png
"$updpack" build examples/sample-update -o "$out/Update.exe" --stub "$stub" \
  --icon examples/sample-icon.ico
"$updpack" list "$out/Update.exe"
ls -l "$stub" "$out/Update.exe"

step "run it under Wine on a demo installation"
if ! bash scripts/can-run-i386.sh; then
  echo "demo: $out/Update.exe is made, but this machine cannot execute 32-bit x86" >&2
  echo "demo: programs (its kernel runs 64-bit ones only), so Wine cannot run it here." >&2
  exit 1
fi
export UPD_WINEPREFIX=$out/wine-prefix
. scripts/wine-env.sh

# The game as its installer left it: the registry record, SETUP.INI and the
# files of version 1.01 that the update replaces.
game=$WINEPREFIX/drive_c/ExampleStory
rm -rf "$game"
mkdir -p "$game/Data" "$game/Voice" "$game/Doc"
printf '%s\r\n' '[SETUP]' 'CompanyName=Example Works' 'GameTitle=Example Story' \
  'GameClass=ExampleStoryWnd' 'GameDir=Example Story' 'GameExe=Story.exe' \
  'UninstExe=Uninst.exe' 'SetupBmp=Setup.bmp' 'InstallSelects=1' \
  'InstallTitle0=Full' 'InstallFiles0=Story.exe' 'Shortcuts=0' >"$game/SETUP.INI"
printf 'old script\r\n' >"$game/Data/SCRIPT.TXT"
touch -d '2025-06-01 12:00 UTC' "$game/Data/SCRIPT.TXT"
printf 'old voice' >"$game/Voice/VOICE.WAV"
key='HKCU\Software\Example Works\Example Story'
wine reg add "$key" /v InstPath /d 'C:\ExampleStory' /f >/dev/null 2>&1
wine reg add "$key" /v InstMode /t REG_DWORD /d 1 /f >/dev/null 2>&1

failed=0
expect() {
  upd_ask "$1"
  case $UPD_REPLY in
    "$2"*) ;;
    *) echo "demo: '$1' answered '$UPD_REPLY'" >&2; failed=1 ;;
  esac
}
# page TEXT NAME: waits for the page whose info line reads TEXT and saves
# its picture.
page() {
  expect "waitinfo $1 30000" "ok $(hex "$1")"
  upd_screenshot "$out/$2.png"
  echo "page $2: $1"
}

code=0
if [ "$interactive" = yes ]; then
  echo "The updater is on your screen: press 次へ, 次へ and 完了."
  wine "$out/Update.exe" || code=$?
else
  upd_auto_start
  wine "$out/Update.exe" &
  updater_pid=$!
  # The update's message comes first, in a box of its own.
  expect "msgbox 20000" "ok caption=UPDATE | text=Example Story を 1.02 に更新します。"
  upd_screenshot "$out/0-message.png"
  echo "message box: ${UPD_REPLY#*text=}"
  expect "answer ok" "ok"
  expect "wait Example Story アップデータ 1.02 20000" "ok"
  page "「Example Story」のアップデートを開始します" 1-start
  expect "press 1" "ok"
  page "アップデートを実行します" 2-confirm
  expect "press 1" "ok"
  page "アップデートは完了しました" 3-done
  expect "press 1" "ok"
  expect "gone 5000" "ok"
  upd_auto_stop
  # Whatever went wrong, the updater must not be left waiting on a box.
  [ "$failed" -eq 0 ] || wineserver -k
  wait "$updater_pid" || code=$?
fi
echo "Update.exe exit code: $code (1 means the update was finished)"
[ "$code" -eq 1 ] || failed=1

step "the installation after the update"
find "$game" -type f -printf '%TY-%Tm-%Td %TH:%TM  %9s  %P\n' | sort -k4
for f in Data/SCRIPT.TXT TITLE.BMP Voice/VOICE.WAV Doc/ソフト説明.txt; do
  base=$(basename "$f")
  if ! cmp -s "examples/sample-update/$base" "$game/$f"; then
    echo "demo: $f is not the updated file" >&2
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "demo: FAILED" >&2
  exit 1
fi
if [ "$interactive" = yes ]; then
  echo "demo: done"
else
  echo "demo: done; pictures of each page in build/demo/*.png"
fi
