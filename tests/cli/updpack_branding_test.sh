#!/usr/bin/env bash
# updpack build and embed give the updater its icon and version record: the
# texts of UPDATE.INI's [SETUP] (Shift-JIS) or of the options, every image
# of the icon, a damaged icon or a version too large refused with nothing
# written, the same bytes for the same inputs.
# Usage: updpack_branding_test.sh [RUNNER...] UPDPACK MAKE_TEST_STUB ICON
set -u
CLI_ARGUMENTS="UPDPACK MAKE_TEST_STUB ICON"
. "$(dirname "$0")/cli_harness.sh"
ICON=${ARGS[2]}

"${MAKE_STUB[@]}" stub.exe || { echo "cannot make the test stub"; exit 1; }
cp "$ICON" game.ico

# Bytes as " 4d 5a ..." on one line: a byte string is found in a file
# by searching the one's form in the other's.
hexdump() { od -An -v -tx1 | tr -d '\n'; }
# has FILE TEXT...: each TEXT is in FILE as the version record stores its
# strings, UTF-16LE with a NUL after it.
has() {
  local file text
  file=$(hexdump <"$1")
  shift
  for text in "$@"; do
    grep -qF -- "$(printf '%s\0' "$text" | iconv -f UTF-8 -t UTF-16LE | hexdump)" <<<"$file" || return 1
  done
}
le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/ \4 \3 \2 \1/'; }
# numbers FILE A.B.C.D E.F.G.H: the record's fixed part gives those file
# and product versions, after its signature and layout version.
numbers() {
  local fixed part a b c d
  fixed="$(le32 0xFEEF04BD)$(le32 0x10000)"
  for part in "$2" "$3"; do
    IFS=. read -r a b c d <<<"$part"
    fixed+="$(le32 $((a << 16 | b)))$(le32 $((c << 16 | d)))"
  done
  hexdump <"$1" | grep -qF -- "$fixed"
}
# icon_in FILE: every image of game.ico is in FILE byte for byte.
icon_in() {
  local file count i size offset
  file=$(hexdump <"$1")
  count=$(od -An -tu2 -j4 -N2 game.ico | tr -d ' ')
  for ((i = 0; i < count; i++)); do
    read -r size offset < <(od -An -tu4 -j $((6 + 16 * i + 8)) -N8 game.ico)
    grep -qF -- "$(tail -c +$((offset + 1)) game.ico | head -c "$size" | hexdump)" <<<"$file" || return 1
  done
}

# upd DIR LINE...: an update folder whose UPDATE.INI (Shift-JIS, CRLF) has
# the game's [SETUP] with LINE... and one file.
upd() {
  local dir=$1
  shift
  mkdir -p "$dir"
  printf '%s\r\n' '[SETUP]' 'CompanyName=星の工房' 'GameTitle=星の物語' \
    'GameClass=StarWnd' 'GameDir=Star' "$@" '[UPDATE]' 'UpdateFile00=A.dat' |
    iconv -f UTF-8 -t CP932 >"$dir/UPDATE.INI"
  printf 'data' >"$dir/A.dat"
}

# ---- build ---------------------------------------------------------------------
upd star 'UpdaterVersion=1.02 β'
expect 0 "build --icon" "${UPDPACK[@]}" build star -o Update.exe --stub stub.exe --icon game.ico
has Update.exe "星の工房" "星の物語" "星の物語 アップデータ" "1.02 β" "Update.exe" ||
  fail "build: the version texts from UPDATE.INI"
numbers Update.exe 1.2.0.0 1.2.0.0 || fail "build: the numbers of '1.02 β'"
icon_in Update.exe || fail "build: the icon's images"
has stub.exe "星の物語" && fail "the stub itself was changed"
mkdir -p again
"${UPDPACK[@]}" build star -o again/Update.exe --stub stub.exe --icon game.ico >/dev/null 2>&1
cmp -s Update.exe again/Update.exe || fail "build twice with the icon: different bytes"

expect 0 "build with every text given" "${UPDPACK[@]}" build star -o Named.exe --stub stub.exe \
  --company-name "Other Works" --product-name "星の物語 完全版" --file-description "更新プログラム" \
  --file-version 2.5 --product-version "3.0.1 final" --original-filename Star.exe
has Named.exe "Other Works" "星の物語 完全版" "更新プログラム" "2.5" "3.0.1 final" "Star.exe" ||
  fail "build: the texts of the options"
has Named.exe "星の工房" && fail "build: UPDATE.INI's CompanyName despite --company-name"
numbers Named.exe 2.5.0.0 3.0.1.0 || fail "build: the numbers of the options"
icon_in Named.exe && fail "build without --icon has an icon"

upd plain 'UpdaterVersion=Ver.2'
expect 0 "build with a version without numbers" "${UPDPACK[@]}" build plain -o Plain.exe --stub stub.exe
numbers Plain.exe 0.0.0.0 0.0.0.0 || fail "build: 'Ver.2' gives 0.0.0.0"
has Plain.exe "Ver.2" || fail "build: 'Ver.2' as the version text"

# ---- refusals: nothing written ---------------------------------------------------
# refused WHAT PATTERN ARGS...: build refuses, naming PATTERN, and leaves no
# Refused.exe.
refused() {
  local what=$1 pattern=$2
  shift 2
  rm -f Refused.exe*
  expect 1 "$what" "${UPDPACK[@]}" build "$@" -o Refused.exe --stub stub.exe
  grep -q -- "$pattern" err.txt || fail "$what: $(cat err.txt)"
  ls Refused.exe* >/dev/null 2>&1 && fail "$what: left $(ls Refused.exe*)"
}
head -c -1 game.ico >cut.ico
refused "a cut icon" "'cut.ico': image 4 (48x48): its [0-9]* bytes at offset [0-9]* lie outside the images of the 17541-byte file; no updater written" \
  star --icon cut.ico
printf 'not an icon' >text.ico
refused "a text file as the icon" "'text.ico': it is not an icon file" star --icon text.ico
refused "a missing icon" "none.ico" star --icon none.ico
upd big 'UpdaterVersion=2024.70000'
refused "a version too large" "UPDATE.INI's UpdaterVersion '2024.70000': its number 2 is more than a version field holds (65535); give --file-version" big
refused "a product version too large" "--product-version '1.99999'" star --product-version 1.99999
expect 0 "the same with versions given" "${UPDPACK[@]}" build big -o Big.exe --stub stub.exe \
  --file-version 2024.7 --product-version 2024.7
has Big.exe "2024.7" || fail "build big: the versions given"

# ---- embed: the package's own UPDATE.INI -----------------------------------------
"${UPDPACK[@]}" create -o star.qw3 star >/dev/null
expect 0 "embed --icon" "${UPDPACK[@]}" embed --stub stub.exe --package star.qw3 -o Embedded.exe --icon game.ico
has Embedded.exe "星の工房" "星の物語 アップデータ" "1.02 β" "Embedded.exe" || fail "embed: the version texts"
icon_in Embedded.exe || fail "embed: the icon's images"
# Without --icon the updater keeps the icon it has; the record is new.
expect 0 "embed again without --icon" "${UPDPACK[@]}" embed --stub Embedded.exe --package star.qw3 \
  -o Again.exe --file-version 9.9
icon_in Again.exe || fail "embed again: the icon was dropped"
numbers Again.exe 9.9.0.0 1.2.0.0 || fail "embed again: the record was not replaced"
"${UPDPACK[@]}" create -o noini.qw3 star/A.dat >/dev/null
expect 0 "embed a package without UPDATE.INI" "${UPDPACK[@]}" embed --stub stub.exe --package noini.qw3 -o NoIni.exe
has NoIni.exe " アップデータ" "NoIni.exe" || fail "embed without UPDATE.INI: $(cat err.txt)"

[ "$failures" -eq 0 ] && echo "all branding checks passed"
exit $((failures > 0))
