# Sourced by the Wine test scripts: a private 32-bit Wine prefix that runs
# with the Japanese ANSI code page (or the locale UPD_WINE_LOCALE names),
# and a display to run it on.
#
#   . scripts/wine-env.sh          sets WINEPREFIX and friends, creates the
#                                  prefix once, starts Xvfb when DISPLAY is unset
#   upd_wine_map_cdrom e /folder   maps a folder as CD-ROM drive E:
#   upd_wine_set_dpi DPI           the DPI Wine reports (96, 120, 144, 192);
#                                  restarts the prefix's server, so stop
#                                  automate.exe first
#   upd_temp_folder                sets UPD_TEMP to the prefix's %TEMP%
#   upd_updater_temp_gone          true when no updater left its folder
#                                  (updater-*) in %TEMP%
#   upd_auto_start / upd_ask CMD / upd_expect CMD ANSWER / upd_auto_stop
#                                  talk to tests/wine/automate.exe (UPD_AUTOMATE)
#   upd_hexof_utf16                has automate.exe print texts as UTF-16
#   upd_require FILE...            stops the script when a file is not built
#   upd_screenshot FILE.png        saves the screen, cut to what is drawn
#   sjis TEXT / hex TEXT           TEXT as the Shift-JIS bytes the program
#                                  sees, raw or in the hex automate.exe prints
#   utf16 TEXT                     TEXT in the hex of UTF-16 code units that
#                                  automate.exe prints after upd_hexof_utf16
#   win PATH                       PATH as a Windows program takes it
#   upd_game NAME TITLE VERSION    names a test game (see below)
#   upd_update_ini FILE LINE...    an UPDATE.INI for it: [SETUP], then LINE...
#   upd_install_game [LINE...]     installs it afresh (SETUP.INI + registry)
#   upd_run_to_completion EXE      runs EXE through 次へ, 次へ, 完了 (exit code 1)
#   upd_start_updater [EXE]        starts EXE (default $work/Update.exe);
#                                  its process id in updater_pid
#   upd_expect_exit CODE           that updater ends with CODE (and left no
#                                  folder in %TEMP%, after upd_temp_folder)
#   upd_expect_box TEXT OWNER ICON BUTTONS [CAPTION]
#                                  the next message box, exactly
#   upd_game_remove                removes the installation, record and work
#   upd_build_updater PKG          embeds PKG into the stub with updpack embed
#                                  (PKG.exe beside it); prints its path
#   upd_at_exit COMMAND            runs COMMAND when the script ends
#   upd_wine_stop                  ends the prefix's wineserver and our Xvfb
#
# The EXIT trap (upd_exit) stops automate.exe, runs the upd_at_exit
# commands, removes the test game if there is one, then ends the server and
# Xvfb; a script that replaces it calls upd_exit from its own.
#
# UPD_WINEPREFIX overrides the prefix folder (default build/wine-prefix);
# UPD_WINE_LOCALE the Unix locale, without .UTF-8 (default ja_JP). A prefix
# keeps to one locale.

UPD_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${UPD_WINEPREFIX:-$UPD_ROOT/build/wine-prefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from the locale; without a compiled ja_JP
# locale it silently falls back to 1252 and every Shift-JIS text is garbled.
UPD_WINE_LOCALE=${UPD_WINE_LOCALE:-ja_JP}
if ! locale -a 2>/dev/null | grep -qix "$UPD_WINE_LOCALE\.utf-\?8"; then
  export LOCPATH=$UPD_ROOT/build/locale
  if [ ! -d "$LOCPATH/$UPD_WINE_LOCALE.UTF-8" ]; then
    mkdir -p "$LOCPATH"
    localedef -i "$UPD_WINE_LOCALE" -f UTF-8 "$LOCPATH/$UPD_WINE_LOCALE.UTF-8"
  fi
fi
export LANG=$UPD_WINE_LOCALE.UTF-8 LC_ALL=$UPD_WINE_LOCALE.UTF-8

UPD_XVFB_PID=
UPD_AT_EXIT=()

upd_at_exit() { UPD_AT_EXIT+=("$1"); }

upd_exit() {
  local command
  upd_auto_stop
  for command in "${UPD_AT_EXIT[@]}"; do eval "$command"; done
  [ -z "${UPD_GAME_COMPANY:-}" ] || upd_game_remove
  upd_wine_stop
}

upd_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "$UPD_XVFB_PID" ]; then
    kill "$UPD_XVFB_PID" 2>/dev/null || true
    wait "$UPD_XVFB_PID" 2>/dev/null || true
    UPD_XVFB_PID=
  fi
}

# A display: the user's when there is one, otherwise our own Xvfb. Xvfb
# picks a free display number itself (-displayfd): a lock file in /tmp is not
# enough, since X sockets are also abstract and shared with every process
# of the network namespace, a chroot's included.
upd_wine_start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo n=
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/upd-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  UPD_XVFB_PID=$!
  read -r -t 20 n <"$fifo" || n=
  rm -f "$fifo"
  if [ -n "$n" ] && kill -0 "$UPD_XVFB_PID" 2>/dev/null; then
    export DISPLAY=":$n"
    return 0
  fi
  kill "$UPD_XVFB_PID" 2>/dev/null
  wait "$UPD_XVFB_PID" 2>/dev/null
  UPD_XVFB_PID=
  echo "wine-env: Xvfb did not start" >&2
  return 1
}

# Creating a prefix takes about 20 s, so it is made once and marked ready;
# a lock keeps two test scripts from building it at the same time.
upd_wine_make_prefix() {
  local ready=$WINEPREFIX/.upd-ready
  [ -e "$ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -e "$ready" ] && exit 0
    echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1 || exit 1
    # Without a window manager, a managed or decorated window makes Wine
    # wait a second each time one closes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 ||
      exit 1
    wineserver -w
    touch "$ready"
  ) 9>"$WINEPREFIX.lock"
}

# upd_wine_map_cdrom LETTER FOLDER: the folder becomes a CD-ROM drive. Wine
# reads the drive links and types when its server starts, so the server is
# ended here and the next Wine process starts a fresh one.
upd_wine_map_cdrom() {
  local letter=${1,,} folder=$2
  ln -sfn "$folder" "$WINEPREFIX/dosdevices/$letter:"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom /f >/dev/null 2>&1 || return 1
  wineserver -k 2>/dev/null
  wineserver -w
}

# upd_wine_unmap_drive LETTER: removes a mapping made above.
upd_wine_unmap_drive() {
  local letter=${1,,}
  rm -f "$WINEPREFIX/dosdevices/$letter:"
  wine reg delete 'HKLM\Software\Wine\Drives' /v "$letter:" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null
  wineserver -w
}

# upd_wine_set_dpi DPI: the DPI that Wine reports and lays windows out at,
# read when its server starts.
upd_wine_set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1 || return 1
  wineserver -k 2>/dev/null
  wineserver -w
}

# The updater keeps its UPDATE.INI in a folder of its own, updater-*, in
# %TEMP%, and removes it on every way out.
upd_temp_folder() {
  UPD_TEMP=$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")
}
upd_updater_temp_gone() {
  ! compgen -G "${UPD_TEMP:?call upd_temp_folder first}/updater-*" >/dev/null
}

# ---- The automation tool: one process, one command per line ---------------

UPD_WIN32_BUILD=${UPD_WIN32_BUILD:-$UPD_ROOT/build/win32}
UPD_AUTOMATE=${UPD_AUTOMATE:-$UPD_WIN32_BUILD/tests/wine/automate.exe}
UPD_FAILURES=0
UPD_REPLY=

upd_auto_start() {
  coproc UPD_AUTO { wine "$UPD_AUTOMATE"; }
}

# upd_ask CMD: sends one command; the answer is in UPD_REPLY.
upd_ask() {
  UPD_REPLY=
  echo "$1" >&"${UPD_AUTO[1]}"
  read -r -t 60 UPD_REPLY <&"${UPD_AUTO[0]}" || UPD_REPLY="error no answer"
}

# upd_expect CMD ANSWER: the answer must be exactly ANSWER.
upd_expect() {
  upd_ask "$1"
  if [ "$UPD_REPLY" = "$2" ]; then
    echo "  ok: $1"
  else
    echo "  FAIL: $1" >&2
    echo "    expected: $2" >&2
    echo "    got:      $UPD_REPLY" >&2
    UPD_FAILURES=$((UPD_FAILURES + 1))
  fi
}

# upd_check WHAT CONDITION...: counts a failure when the command fails.
upd_check() {
  local what=$1
  shift
  if "$@"; then
    echo "  ok: $what"
  else
    echo "  FAIL: $what" >&2
    UPD_FAILURES=$((UPD_FAILURES + 1))
  fi
}

upd_require() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || { echo "$(basename "$0"): $f is not built" >&2; exit 1; }
  done
}

sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
hex() { sjis "$1" | od -An -v -tx1 | tr -d ' \n'; }
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'; }
win() { winepath -w "$1"; }

# The form in which automate.exe prints a text's bytes: Shift-JIS until
# upd_hexof_utf16, then the UTF-16 the window holds.
UPD_HEX_OF=hex
upd_hexof_utf16() {
  upd_expect "hexof utf16" "ok"
  UPD_HEX_OF=utf16
}

upd_screenshot() {
  import -display "$DISPLAY" -window root png:- | convert - -trim +repage "$1"
}

# ---- A test game --------------------------------------------------------------

# upd_write_ini FILE LINE...: the lines in Shift-JIS with CRLF ends, as the
# game's installer and the update's publisher write them.
upd_write_ini() {
  local file=$1
  shift
  printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$file"
}

# upd_game NAME TITLE VERSION: the game "NAME Story" of "NAME Works", titled
# TITLE, installed in C:\NAMEGame. Sets title, caption (the updater's, for
# VERSION), key (the installer's record), game (the installation folder)
# and work (a fresh folder under build/).
upd_game() {
  UPD_GAME_COMPANY="$1 Works"
  UPD_GAME_VERSION=$3
  # The keys by which UPDATE.INI and SETUP.INI name the game.
  UPD_GAME_IDENTITY=("CompanyName=$1 Works" "GameTitle=$2"
    "GameClass=${1}StoryWnd" "GameDir=$1 Story")
  title=$2
  caption="$title アップデータ $3"
  key="HKCU\\Software\\$1 Works\\$1 Story"
  game=$WINEPREFIX/drive_c/${1}Game
  work=$(mktemp -d "$UPD_ROOT/build/wine-${1,,}.XXXXXX")
}

upd_update_ini() {
  local file=$1
  shift
  upd_write_ini "$file" '[SETUP]' "${UPD_GAME_IDENTITY[@]}" \
    "UpdaterVersion=$UPD_GAME_VERSION" "$@"
}

# upd_install_game [LINE...]: the installation as the installer leaves it,
# with LINE... added to its SETUP.INI, and the record with InstMode 1.
upd_install_game() {
  rm -rf "$game"
  mkdir -p "$game"
  upd_write_ini "$game/SETUP.INI" '[SETUP]' "${UPD_GAME_IDENTITY[@]}" \
    'GameExe=Story.exe' 'UninstExe=Uninst.exe' 'SetupBmp=Setup.bmp' \
    'InstallSelects=1' 'InstallTitle0=Full' 'InstallFiles0=Story.exe' \
    'Shortcuts=0' "$@"
  wine reg add "$key" /v InstPath /d "C:\\${game##*/}" /f >/dev/null 2>&1
  wine reg add "$key" /v InstMode /t REG_DWORD /d 1 /f >/dev/null 2>&1
}

# upd_run_to_completion EXE: runs EXE on the installed test game as a player
# who reads the start page and presses 次へ, 次へ and 完了; it must end with
# exit code 1.
upd_run_to_completion() {
  local started="「$title」のアップデートを開始します"
  upd_start_updater "$1"
  upd_expect "wait $caption 20000" "ok"
  upd_expect "info" "ok $(hex "$started") $started"
  upd_expect "press 1" "ok"
  upd_expect "waitinfo アップデートを実行します 5000" \
    "ok $(hex アップデートを実行します) アップデートを実行します"
  upd_expect "press 1" "ok"
  upd_expect "waitinfo アップデートは完了しました 30000" \
    "ok $(hex アップデートは完了しました) アップデートは完了しました"
  upd_expect "control 1" "ok $(hex 完了) 完了 enabled"
  upd_expect "press 1" "ok"
  upd_expect "gone 5000" "ok"
  upd_expect_exit 1
}

# upd_start_updater [EXE]: the player starts EXE, the test's Update.exe
# unless another is named.
upd_start_updater() {
  wine "${1:-$work/Update.exe}" &
  updater_pid=$!
}

# upd_expect_exit CODE: the updater last started ends with CODE; after
# upd_temp_folder, its folder in %TEMP% must be gone too. One still running
# after 30 s waits for an answer the script no longer gives: the script
# stops there.
upd_expect_exit() {
  local code=0
  for _ in $(seq 300); do
    kill -0 "$updater_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$updater_pid" 2>/dev/null; then
    echo "  FAIL: the updater did not end; stopping" >&2
    exit 1
  fi
  wait "$updater_pid" || code=$?
  upd_check "exit code $1" test "$code" -eq "$1"
  if [ -n "${UPD_TEMP:-}" ]; then
    upd_check "the temporary UPDATE.INI and its folder are gone" upd_updater_temp_gone
  fi
}

# upd_expect_box TEXT OWNER ICON BUTTONS [CAPTION]: the next message box,
# exactly; its caption the test game's unless CAPTION is given.
upd_expect_box() {
  upd_expect "msgbox 20000" \
    "ok caption=${5:-$caption} | text=$1 | hex=$($UPD_HEX_OF "$1") | owner=$2 | buttons=$4 | icon=$3"
}

upd_game_remove() {
  rm -rf "$work" "$game"
  wine reg delete "HKCU\\Software\\$UPD_GAME_COMPANY" /f >/dev/null 2>&1
}

# upd_build_updater PACKAGE: an updater with PACKAGE in resource 102, made
# as people make them: the Windows updpack embeds it into the bare stub of
# build/win32. The updater lands beside the package. Progress goes to
# stderr; the path of the executable to stdout.
upd_build_updater() {
  local updater=${1%.*}.exe
  wine "$UPD_WIN32_BUILD/tools/updpack/updpack.exe" embed \
    --stub "$(winepath -w "$UPD_WIN32_BUILD/src/updater/updater.exe")" \
    --package "$(winepath -w "$1")" -o "$(winepath -w "$updater")" >&2 &&
    echo "$updater"
}

upd_auto_stop() {
  [ -n "${UPD_AUTO_PID:-}" ] || return 0
  echo exit >&"${UPD_AUTO[1]}" 2>/dev/null
  wait "$UPD_AUTO_PID" 2>/dev/null
}

trap upd_exit EXIT
upd_wine_start_display && upd_wine_make_prefix
