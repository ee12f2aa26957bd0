#!/usr/bin/env bash
# DLL planting: the updater runs elevated, often from a downloads folder, so
# a DLL lying next to it under the name of one the system loads by bare name
# must not be loaded. planted.dll leaves NAME.dll.loaded beside itself when
# anything loads it.
#
# Wine prefers its built-in DLLs to any file of the same name, which would
# hide the danger; these runs ask for native-first loading of the planted
# name, as Windows does for a DLL that is not a known system DLL. The theme
# library (uxtheme.dll) is such a DLL: the system loads it by bare name when
# a program creates its first window, after the program's own start-up.
#
#   1. control: without the hardening, a window makes Wine load the planted
#      uxtheme.dll, and a bare-name LoadLibrary of an unknown name finds the
#      planted copy (so the check below can fail)
#   2. with PlatInitialize's hardening neither happens
#   3. the real program (updater.exe when built, else the dialog stand-in,
#      which starts the same way) runs its windows without loading it
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

wine_dir=$UPD_WIN32_BUILD/tests/wine
updater=$UPD_WIN32_BUILD/src/updater/updater.exe
upd_require "$wine_dir/dll_probe.exe" "$wine_dir/planted.dll" \
  "$wine_dir/dialog_demo.exe" "$UPD_AUTOMATE"

folder=$(mktemp -d "$UPD_ROOT/build/wine-plant.XXXXXX")
upd_at_exit 'rm -rf "$folder"'
cp "$wine_dir/dll_probe.exe" "$wine_dir/dialog_demo.exe" "$folder/"
cp "$wine_dir/planted.dll" "$folder/uxtheme.dll"
cp "$wine_dir/planted.dll" "$folder/updplant.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;uxtheme=n,b"

loaded() { [ -e "$folder/$1.loaded" ]; }
not_loaded() { ! loaded "$1"; }
clear_markers() { rm -f "$folder"/*.loaded; }

echo "control: without the hardening the planted copies are taken"
wine "$folder/dll_probe.exe" plain --window >/dev/null
upd_check "a window loads the planted uxtheme.dll" loaded uxtheme.dll
wine "$folder/dll_probe.exe" plain updplant.dll >/dev/null
upd_check "LoadLibrary(\"updplant.dll\") loads the planted copy" loaded updplant.dll
clear_markers

echo "hardened: only the system folder is searched"
wine "$folder/dll_probe.exe" hardened --window >/dev/null
upd_check "a window leaves the planted uxtheme.dll alone" not_loaded uxtheme.dll
from=$(wine "$folder/dll_probe.exe" hardened uxtheme.dll | tr -d '\r')
upd_check "LoadLibrary(\"uxtheme.dll\") takes the system's ($from)" \
  test "${from,,}" = 'c:\windows\system32\uxtheme.dll'
from=$(wine "$folder/dll_probe.exe" hardened updplant.dll | tr -d '\r')
upd_check "LoadLibrary(\"updplant.dll\") finds nothing ($from)" test "$from" = "not loaded"
upd_check "no planted DLL ran" not_loaded updplant.dll
clear_markers

upd_auto_start
if [ -f "$updater" ]; then
  echo "updater.exe with a planted uxtheme.dll"
  cp "$updater" "$folder/updater.exe"
  wine "$folder/updater.exe" & program=$!
  # Whatever it shows (no package, no installation): answer until it ends.
  upd_ask "msgbox 15000"
  echo "  it shows: $UPD_REPLY"
  upd_check "updater.exe showed a message box" test "${UPD_REPLY%% *}" = ok
  while [ "${UPD_REPLY%% *}" = ok ] && kill -0 "$program" 2>/dev/null; do
    upd_ask "answer ok"
    upd_ask "msgbox 3000"
  done
else
  echo "dialog_demo.exe (updater.exe is not built) with a planted uxtheme.dll"
  wine "$folder/dialog_demo.exe" & program=$!
  upd_expect "wait デモ アップデータ 1.00 15000" "ok"
  upd_expect "press 2" "ok"
  upd_expect "msgbox 10000" "ok caption=デモ アップデータ 1.00 | text=中断しました | hex=9286926682b582dc82b582bd | owner=none | buttons=1:OK | icon=yes"
  upd_expect "answer ok" "ok"
fi
wait "$program"
upd_auto_stop
upd_check "the program showed its windows without loading the planted DLL" not_loaded uxtheme.dll

echo "dll_planting: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
