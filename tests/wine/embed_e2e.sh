#!/usr/bin/env bash
# `updpack embed` and `build` on the real updater stub, under Wine: the
# updater built runs to the completion page and writes the files; Windows
# finds the same resources we do (FindResourceA through resource_probe) and
# agrees with the header checksum (MapFileAndCheckSumA); embedding again
# replaces the package; a stub that is not an executable, or is signed, is
# refused without leaving an output. The Linux and the Windows updpack write
# the same bytes.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

wine_dir=$UPD_WIN32_BUILD/tests/wine
tool_dir=$UPD_WIN32_BUILD/tools/updpack
stub=$tool_dir/updater.exe  # the bare stub as it ships beside updpack.exe
native_updpack=${UPD_NATIVE_UPDPACK:-$UPD_ROOT/build/native/tools/updpack/updpack}
upd_require "$tool_dir/updpack.exe" "$stub" "$UPD_AUTOMATE" \
  "$wine_dir/resource_probe.exe" "$wine_dir/checksum_probe.exe" "$native_updpack"

updpack_win() { wine "$tool_dir/updpack.exe" "$@"; }

upd_game Embed 埋め込み物語 2.0

mkdir -p "$work/update/Data" "$work/windows" "$work/again" "$work/fresh" "$work/back"
upd_update_ini "$work/update/UPDATE.INI" \
  '[UPDATE]' 'UpdateFile00=Movie.bin' 'UpdateFile01=u,Data\Text.dat'
head -c 300000 /dev/urandom >"$work/update/Movie.bin"
for i in $(seq 500); do printf 'Line %d\r\n' "$i"; done >"$work/update/Text.dat"
"$native_updpack" create -o "$work/UPDATE.QW3" "$work/update/UPDATE.INI" \
  "$work/update/Movie.bin" "$work/update/Text.dat" >/dev/null
head -c 777 /dev/urandom >"$work/other.bin"
printf '[SETUP]\r\n' >"$work/UPDATE.INI"
"$native_updpack" create -o "$work/OTHER.QW3" "$work/UPDATE.INI" "$work/other.bin" >/dev/null

echo "embedding on Linux and on Windows (stub found beside updpack.exe)"
upd_check "Linux updpack embeds" \
  "$native_updpack" embed --stub "$stub" --package "$work/UPDATE.QW3" -o "$work/Update.exe"
upd_check "Windows updpack embeds into its default stub" \
  updpack_win embed --package "$(win "$work/UPDATE.QW3")" -o "$(win "$work/windows/Update.exe")"
upd_check "both write the same bytes" cmp "$work/Update.exe" "$work/windows/Update.exe"

echo "resources and checksum as Windows sees them"
expected=$UPD_ROOT/tests/wine/updater_resources.expected
# expected_with SIZE ENTRIES: the stub's resources plus UPDATE 102 of SIZE
# bytes, the integrity record UPDATE 103 of a package of ENTRIES entries,
# and the version record (type 16), whose size the probe's output gives as N.
expected_with() {
  head -n 1 "$expected"
  echo "resource type=UPDATE name=102 language=1041 size=$1"
  echo "resource type=UPDATE name=103 language=1041 size=$((28 + 4 * $2))"
  sed -n 2p "$expected"
  echo "resource type=16 name=1 language=1041 size=N"
  tail -n +3 "$expected"
}
# The version record's size depends on its texts (branding_e2e reads them).
version_size_as_n() { sed 's/^\(resource type=16 name=1 language=1041 size=\)[0-9]*$/\1N/'; }
# probe_package EXE PACKAGE ENTRIES: Windows finds exactly the stub's
# resources, PACKAGE byte for byte as UPDATE 102 and its record; our reader
# finds it as well.
probe_package() {
  wine "$wine_dir/resource_probe.exe" "$(win "$1")" --save UPDATE 102 \
    "$(win "$work/saved.bin")" | version_size_as_n >"$work/probe.txt"
  upd_check "$(basename "$1"): dialog, version record, manifest, UPDATE 102 of $(stat -c %s "$2") bytes, UPDATE 103" \
    diff -u <(expected_with "$(stat -c %s "$2")" "$3") "$work/probe.txt"
  upd_check "$(basename "$1"): FindResourceA gives the package byte for byte" \
    cmp "$2" "$work/saved.bin"
  upd_check "$(basename "$1"): the header checksum is the one Windows computes" \
    wine "$wine_dir/checksum_probe.exe" "$(win "$1")"
  rm -rf "$work/unpacked"
  upd_check "$(basename "$1"): updpack unpacks the package out of it" \
    "$native_updpack" unpack "$1" "$work/unpacked"
}
upd_check "the stub's own checksum agrees (our computation matches the linker's)" \
  wine "$wine_dir/checksum_probe.exe" "$(win "$stub")"
probe_package "$work/Update.exe" "$work/UPDATE.QW3" 3
upd_check "unpacked Movie.bin" cmp "$work/update/Movie.bin" "$work/unpacked/Movie.bin"
"$native_updpack" list "$work/Update.exe" >"$work/list.txt"
upd_check "updpack list reads the updater" grep -q ' Text.dat$' "$work/list.txt"
updpack_win list "$(win "$work/Update.exe")" | tr -d '\r' >"$work/listw.txt"
upd_check "the Windows updpack lists the same" cmp "$work/list.txt" "$work/listw.txt"

"$native_updpack" list "$stub" >/dev/null 2>"$work/err.txt"
upd_check "the bare stub has no package to list" grep -q "without a package" "$work/err.txt"

echo "embedding again replaces the package"
# Each updater under the same name: its version record names the file.
cp "$work/Update.exe" "$work/again/Update.exe"
upd_check "embed into an updater that holds a larger package" \
  "$native_updpack" embed --stub "$work/again/Update.exe" --package "$work/OTHER.QW3" -o "$work/again/Update.exe"
probe_package "$work/again/Update.exe" "$work/OTHER.QW3" 2
"$native_updpack" embed --stub "$stub" --package "$work/OTHER.QW3" -o "$work/fresh/Update.exe" >/dev/null
upd_check "the same bytes as embedding into the bare stub" cmp "$work/again/Update.exe" "$work/fresh/Update.exe"
upd_check "and back to the first package: the first updater again" \
  "$native_updpack" embed --stub "$work/again/Update.exe" --package "$work/UPDATE.QW3" -o "$work/back/Update.exe"
upd_check "  byte for byte" cmp "$work/back/Update.exe" "$work/Update.exe"

echo "refusals leave no output"
# refused WHAT PATTERN STUB: embedding fails naming the reason, writes nothing.
refused() {
  rm -f "$work/Refused.exe"*
  if "$native_updpack" embed --stub "$3" --package "$work/UPDATE.QW3" \
    -o "$work/Refused.exe" 2>"$work/err.txt"; then
    upd_check "$1 refused" false
  else
    upd_check "$1 refused: $(cat "$work/err.txt")" grep -q "$2" "$work/err.txt"
  fi
  upd_check "$1: no output" test ! -e "$work/Refused.exe" -a ! -e "$work/Refused.exe.partial"
}
refused "a package as the stub" "not a Windows executable" "$work/UPDATE.QW3"
# A signed stub: a certificate table entry (data directory 4) and its bytes.
cp "$stub" "$work/Signed.exe"
pe=$(od -An -tu4 -j60 -N4 "$stub" | tr -d ' ')
size=$(stat -c %s "$stub")
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
{ le32 "$size"; le32 8; } | dd of="$work/Signed.exe" bs=1 seek=$((pe + 24 + 96 + 32)) conv=notrunc status=none
head -c 8 /dev/zero >>"$work/Signed.exe"
refused "a signed stub" "signed" "$work/Signed.exe"

echo "one command on Windows: updpack build of the update folder"
upd_check "updpack.exe build" \
  updpack_win build "$(win "$work/update")" -o "$(win "$work/Built.exe")" --level greedy
"$native_updpack" list "$work/Built.exe" | awk '/^(stored|compressed) / {print $NF}' |
  sort >"$work/built.txt"
upd_check "it packs UPDATE.INI and the two files the lines name" \
  test "$(tr '\n' ' ' <"$work/built.txt")" = "Movie.bin Text.dat UPDATE.INI "
upd_check "Built.exe: the header checksum is the one Windows computes" \
  wine "$wine_dir/checksum_probe.exe" "$(win "$work/Built.exe")"

echo "the built updater runs: Next, Next, 完了"
upd_install_game
mkdir -p "$game/Data"
upd_auto_start
upd_expect "acp" "ok 932"
upd_run_to_completion "$work/Built.exe"
upd_check "Movie.bin written" cmp "$work/update/Movie.bin" "$game/Movie.bin"
upd_check "Data\\Text.dat written" cmp "$work/update/Text.dat" "$game/Data/Text.dat"

echo "embed_e2e: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
