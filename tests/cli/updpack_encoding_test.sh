#!/usr/bin/env bash
# UPDATE.INI saved as UTF-8: build converts it to the Shift-JIS the updater
# reads, or refuses it naming the line; check and ini say that the updater
# would read it wrong. Usage:
# updpack_encoding_test.sh [RUNNER...] UPDPACK MAKE_TEST_STUB SAMPLE-UPDATE-DIR
set -u
CLI_ARGUMENTS="UPDPACK MAKE_TEST_STUB SAMPLE-DIR"
. "$(dirname "$0")/cli_harness.sh"
SAMPLE=${ARGS[2]}

"${MAKE_STUB[@]}" stub.exe || { echo "cannot make the test stub"; exit 1; }
utf8() { iconv -f CP932 -t UTF-8 "$@"; }

# ---- the sample, saved as UTF-8 four ways: the same updater ----------------
# copy NAME: the sample update as folder NAME, every file with its time.
copy() { cp -a "$SAMPLE" "$1"; }
copy sjis
copy crlf && utf8 "$SAMPLE/UPDATE.INI" >crlf/UPDATE.INI
copy bom && { printf '\xef\xbb\xbf'; cat crlf/UPDATE.INI; } >bom/UPDATE.INI
copy lf && tr -d '\r' <crlf/UPDATE.INI >lf/UPDATE.INI
# A lone CR ends a line for the updater as well.
copy cr && tr '\n' '\r' <lf/UPDATE.INI >cr/UPDATE.INI
grep -q 'ソフト説明.txt' lf/UPDATE.INI || fail "the UTF-8 sample lost its Japanese path"
for form in crlf bom lf cr; do touch -r "$SAMPLE/UPDATE.INI" "$form/UPDATE.INI"; done
# Each updater of the same name (its version record names the file).
mkdir -p built-sjis built-crlf built-bom built-lf built-cr built-forced
expect 0 "build the Shift-JIS sample" "${UPDPACK[@]}" build sjis -o built-sjis/Update.exe --stub stub.exe
for form in crlf bom lf cr; do
  expect 0 "build the UTF-8 sample ($form)" "${UPDPACK[@]}" build $form -o built-$form/Update.exe --stub stub.exe
  grep -q "'$form.UPDATE.INI': UTF-8, packed as Shift-JIS" out.txt || fail "build $form: $(cat out.txt)"
  cmp -s built-sjis/Update.exe built-$form/Update.exe || fail "the updater built from the UTF-8 sample ($form) differs"
done
expect 0 "build --ini-encoding utf-8" "${UPDPACK[@]}" build lf -o built-forced/Update.exe --stub stub.exe \
  --ini-encoding utf-8
cmp -s built-sjis/Update.exe built-forced/Update.exe || fail "--ini-encoding utf-8 built another updater"

# ---- check and ini on the UTF-8 sample -----------------------------------
expect 1 "check the UTF-8 sample" "${UPDPACK[@]}" check bom/UPDATE.INI
# Only the encoding is wrong: the converted text itself checks clean.
grep -q "1 error, 0 warnings" out.txt || fail "check UTF-8: $(cat out.txt) $(cat err.txt)"
grep -q "^updpack: error: 'bom.UPDATE.INI': UpdateMessage: line 8 is UTF-8, not Shift-JIS (the file begins with a UTF-8 byte-order mark): the updater would show '.*' instead of 'UpdateMessage=Example Story を 1.02 に更新しま...'; updpack build converts it" err.txt ||
  fail "check UTF-8: $(cat err.txt)"
expect 0 "check the Shift-JIS sample" "${UPDPACK[@]}" check sjis/UPDATE.INI
printf '\xef\xbb\xbf[SETUP]\r\nCompanyName=A\r\nGameTitle=B\r\nGameClass=C\r\nGameDir=D\r\n[UPDATE]\r\nCopyFile00=1:Movie\r\n' >mark.ini
expect 1 "check a mark alone" "${UPDPACK[@]}" check mark.ini
grep -q "line 1: the file begins with a UTF-8 byte-order mark, .* reads line 1 as '.*\[SETUP\]' instead of '\[SETUP\]'" err.txt ||
  fail "check a mark alone: $(cat err.txt)"
# The key named is the one the updater's reader sees on that line: its
# lines end at a lone CR too, it knows no ';' comments, a '[' without its
# ']' starts a key, and Ctrl-Z and the other ASCII blanks are trimmed.
keyed() {  # keyed NAME TEXT KEY: check names KEY on line 2 of TEXT
  printf "$2" >"$1.ini"
  expect 1 "check $1" "${UPDPACK[@]}" check "$1.ini"
  grep -q "^updpack: error: '$1.ini': $3: line 2 is UTF-8" err.txt || fail "check $1: $(cat err.txt)"
}
keyed lone-cr '[SETUP]\rGameTitle=タイトル\r' GameTitle
keyed semicolon '[SETUP]\n;メモ=x\n' ';メモ'
keyed bracket '[SETUP]\n[タイトル=x\n' '\[タイトル'
keyed blanks '[SETUP]\n\vGameTitle\x1a=タイトル\n' GameTitle
# What the profile reader then finds differs (Windows' may take the file
# for UTF-16); the warning does not.
"${UPDPACK[@]}" ini lf/UPDATE.INI SETUP GameTitle >out.txt 2>err.txt
grep -q "^updpack: warning: 'lf.UPDATE.INI': line 8 is UTF-8, not Shift-JIS" err.txt ||
  fail "ini on UTF-8: $(cat err.txt)"
expect 0 "ini on the Shift-JIS sample" "${UPDPACK[@]}" ini sjis/UPDATE.INI SETUP GameTitle
[ -s err.txt ] && fail "ini on Shift-JIS: $(cat err.txt)"

# ---- what Shift-JIS cannot hold, and the forms it takes ------------------
copy emoji
utf8 "$SAMPLE/UPDATE.INI" | sed 's/^GameTitle=Example Story/&😀/' >emoji/UPDATE.INI
expect 1 "build with a character Shift-JIS lacks" "${UPDPACK[@]}" build emoji -o emoji.exe --stub stub.exe
grep -q "^updpack: error: 'emoji.UPDATE.INI': line 4: '😀' (U+1F600) has no Shift-JIS form; no updater written" err.txt ||
  fail "emoji: $(cat err.txt)"
ls emoji.exe* >/dev/null 2>&1 && fail "a refused build left $(ls emoji.exe*)"
expect 1 "check with a character Shift-JIS lacks" "${UPDPACK[@]}" check emoji/UPDATE.INI
grep -q "updpack build refuses it: line 4: '😀' (U+1F600)" err.txt || fail "check emoji: $(cat err.txt)"
expect 1 "build --ini-encoding utf-8 of Shift-JIS" "${UPDPACK[@]}" build sjis -o bad.exe --stub stub.exe \
  --ini-encoding utf-8
grep -q "line 1: the byte 0x82 is not UTF-8" err.txt || fail "forced utf-8: $(cat err.txt)"
# Text from other systems writes 〜 and − as U+301C and U+2212; both builds
# of updpack take them as Shift-JIS 81 60 and 81 7C.
copy forms
utf8 "$SAMPLE/UPDATE.INI" | sed 's/^GameTitle=.*/GameTitle=〜−\r/' >forms/UPDATE.INI
expect 0 "build with 〜 and −" "${UPDPACK[@]}" build forms -o forms.exe --stub stub.exe
"${UPDPACK[@]}" unpack forms.exe forms.out >/dev/null 2>&1
grep -aq $'^GameTitle=\x81\x60\x81\x7c\r$' forms.out/UPDATE.INI ||
  fail "〜 and −: $(grep -a GameTitle forms.out/UPDATE.INI | od -c)"
# As it stands, when told so: the UTF-8 bytes are packed unchanged.
mkdir -p plain && sed 's/^GameClass=C/GameClass=Café/' mark.ini | tail -c +4 >plain/UPDATE.INI
expect 0 "build --ini-encoding sjis" "${UPDPACK[@]}" build plain -o asis.exe --stub stub.exe \
  --ini-encoding sjis
"${UPDPACK[@]}" unpack asis.exe asis >/dev/null 2>&1
cmp -s plain/UPDATE.INI asis/UPDATE.INI || fail "--ini-encoding sjis changed UPDATE.INI"
expect 2 "an unknown encoding" "${UPDPACK[@]}" build crlf -o x.exe --stub stub.exe --ini-encoding latin1

[ "$failures" -eq 0 ] && echo "all UPDATE.INI encoding checks passed"
exit $((failures > 0))
