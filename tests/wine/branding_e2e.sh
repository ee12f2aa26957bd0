#!/usr/bin/env bash
# The updater as a player meets it, under Wine, built by the Windows
# updpack with the sample icon: the system's own readers (GetFileVersionInfoW,
# ExtractIconExW) find the version record's texts from UPDATE.INI and the
# game's icon; the manifest makes it per-monitor aware, and at 96, 120, 144
# and 192 DPI the start page and the interruption box lay out their controls
# inside the window, apart, with room for their texts, at the size the DPI
# asks for; while the start page shows, another program can neither open the
# temporary UPDATE.INI for writing nor for deletion, nor rename it, and its
# folder admits only Administrators and SYSTEM; an UPDATE.INI planted in
# %TEMP% plays no part and is left alone.
# UPD_SCREENSHOTS=docs/images saves the start page at 96 and 144 DPI as
# start-96dpi.png and start-144dpi.png, the pictures the README shows.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

wine_dir=$UPD_WIN32_BUILD/tests/wine
updpack=$UPD_WIN32_BUILD/tools/updpack/updpack.exe  # beside its stub
icon=$UPD_ROOT/examples/sample-icon.ico
upd_require "$updpack" "$UPD_AUTOMATE" "$wine_dir/resource_probe.exe" \
  "$wine_dir/temp_probe.exe" "$icon"

upd_game Brand 星の物語 1.02
upd_at_exit "upd_wine_set_dpi 96"  # the prefix is shared with the other tiers
upd_at_exit 'rm -f "${UPD_TEMP:-/nonexistent}/UPDATE.INI"'

mkdir -p "$work/update"
upd_update_ini "$work/update/UPDATE.INI" '[UPDATE]' 'UpdateFile00=Data.bin'
head -c 5000 /dev/urandom >"$work/update/Data.bin"
upd_check "updpack.exe build --icon" \
  wine "$updpack" build "$(win "$work/update")" -o "$(win "$work/Update.exe")" \
  --icon "$(win "$icon")"

echo "what Explorer and the administrator prompt read"
wine "$wine_dir/resource_probe.exe" "$(win "$work/Update.exe")" --branding |
  tr -d '\r' >"$work/branding.txt"
cat >"$work/branding.expected" <<EOF
version file=1.2.0.0 product=1.2.0.0 os=00040004 type=1
version translation=0411 1200
version CompanyName=Brand Works
version FileDescription=$title アップデータ
version FileVersion=1.02
version OriginalFilename=Update.exe
version ProductName=$title
version ProductVersion=1.02
icons=1 first large=32x32 small=16x16
EOF
upd_check "the version record's texts and the icon (GetFileVersionInfoW, ExtractIconExW)" \
  diff -u "$work/branding.expected" "$work/branding.txt"
wine "$wine_dir/resource_probe.exe" "$(win "$work/Update.exe")" | tr -d '\r' >"$work/probe.txt"
upd_check "every image of the icon as an icon resource, and one group" \
  test "$(grep -c '^resource type=3 ' "$work/probe.txt") $(grep -c '^resource type=14 ' "$work/probe.txt")" = "4 1"

upd_install_game
upd_temp_folder
started="「$title」のアップデートを開始します"
interrupted="アップデートが中断されました"
width96=
for dpi in 96 120 144 192; do
  echo "at $dpi DPI: the start page, the interruption box"
  upd_auto_stop
  upd_wine_set_dpi "$dpi"
  upd_auto_start
  upd_start_updater
  upd_expect "wait $caption 20000" "ok"
  upd_expect "info" "ok $(hex "$started") $started"
  upd_ask "layout 10 ＭＳ Ｐゴシック"
  upd_check "wizard laid out at $dpi DPI, per monitor: $UPD_REPLY" \
    test "${UPD_REPLY#ok dpi=$dpi aware=permonitorv2 }" != "$UPD_REPLY"
  # The layout reads the controls from the window: these at least are there.
  for id in 4 1 2 1001; do
    upd_check "  control $id among them" grep -q " $id:" <<<"$UPD_REPLY"
  done
  # The dialog's units follow its font, whose size follows the DPI.
  width=$(sed -n 's/.* client=\([0-9]*\)x.*/\1/p' <<<"$UPD_REPLY")
  [ "$dpi" = 96 ] && width96=$width
  upd_check "  $width pixels wide, about $dpi/96 of $width96" \
    test "$((width * 96 * 100 / (dpi * ${width96:-1})))" -ge 90 -a \
    "$((width * 96 * 100 / (dpi * ${width96:-1})))" -le 110
  if [ -n "${UPD_SCREENSHOTS:-}" ] && { [ "$dpi" = 96 ] || [ "$dpi" = 144 ]; }; then
    mkdir -p "$UPD_SCREENSHOTS"
    upd_screenshot "$UPD_SCREENSHOTS/start-${dpi}dpi.png"
  fi
  if [ "$dpi" = 96 ]; then
    echo "another program goes for the temporary UPDATE.INI"
    wine "$wine_dir/temp_probe.exe" | tr -d '\r' >"$work/temp.txt"
    upd_check "  one folder of the updater's, every try refused: $(cat "$work/temp.txt")" \
      grep -qx 'updater-[0-9a-f]\{16\} write=denied delete=denied rename=denied remove=denied acl=.*' "$work/temp.txt"
    upd_check "  the folder admits Administrators and SYSTEM, and no one else" \
      grep -q ' acl=protected,S-1-5-32-544:001f01ff,S-1-5-18:001f01ff$' "$work/temp.txt"
  fi
  upd_expect "press 2" "ok"
  upd_expect_box "$interrupted" none yes 1:OK
  upd_ask "layout box"
  upd_check "message box laid out at $dpi DPI: $UPD_REPLY" \
    test "${UPD_REPLY#ok dpi=$dpi aware=permonitorv2 }" != "$UPD_REPLY"
  upd_expect "answer ok" "ok"
  upd_expect_exit 0
done

echo "an UPDATE.INI planted in %TEMP% plays no part"
upd_auto_stop
upd_wine_set_dpi 96
upd_auto_start
printf '[SETUP]\r\nCompanyName=Other\r\n[UPDATE]\r\nUpdateFile00=..\\Evil.txt\r\n' >"$UPD_TEMP/UPDATE.INI"
cp "$UPD_TEMP/UPDATE.INI" "$work/planted.ini"
upd_run_to_completion "$work/Update.exe"
upd_check "Data.bin written" cmp -s "$work/update/Data.bin" "$game/Data.bin"
upd_check "the planted file is left as it was" cmp -s "$work/planted.ini" "$UPD_TEMP/UPDATE.INI"

echo "branding_e2e: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
