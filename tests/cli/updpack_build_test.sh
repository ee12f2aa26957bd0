#!/usr/bin/env bash
# updpack embed, check and build as their users run them, on a hand-made
# stub. Usage: updpack_build_test.sh [RUNNER...] UPDPACK MAKE_TEST_STUB
set -u
CLI_ARGUMENTS="UPDPACK MAKE_TEST_STUB"
. "$(dirname "$0")/cli_harness.sh"

"${MAKE_STUB[@]}" stub.exe || { echo "cannot make the test stub"; exit 1; }

# ---- embed, and list/unpack/verify out of the updater -----------------------
mkdir -p src
printf '[SETUP]\r\nCompanyName=A\r\n' >src/UPDATE.INI
head -c 3000 /dev/urandom >src/Data.bin
touch -d '2003-04-05 06:07:08' src/Data.bin
"${UPDPACK[@]}" create -o pkg.qw3 src >/dev/null
expect 0 "embed" "${UPDPACK[@]}" embed --stub stub.exe --package pkg.qw3 -o Update.exe
expect 0 "list Update.exe" "${UPDPACK[@]}" list Update.exe
grep -q "2003-04-05 06:07:08  Data.bin$" out.txt || fail "list Update.exe: $(cat out.txt)"
expect 0 "verify Update.exe" "${UPDPACK[@]}" verify Update.exe
expect 0 "unpack Update.exe" "${UPDPACK[@]}" unpack Update.exe out
cmp -s src/Data.bin out/Data.bin || fail "unpack Update.exe: Data.bin differs"
# Replacing: the second package is the one read back.
head -c 100 /dev/urandom >src/Data.bin
"${UPDPACK[@]}" create -o small.qw3 src >/dev/null
expect 0 "embed again" "${UPDPACK[@]}" embed --stub Update.exe --package small.qw3 -o Update.exe
"${UPDPACK[@]}" unpack Update.exe again >/dev/null 2>&1
cmp -s src/Data.bin again/Data.bin || fail "embed again: the old package is still read"
# Refusals name the reason and leave nothing.
expect 1 "a package as the stub" "${UPDPACK[@]}" embed --stub pkg.qw3 --package pkg.qw3 -o bad.exe
grep -q "not a Windows executable" err.txt || fail "package as stub: $(cat err.txt)"
expect 1 "a stub as the package" "${UPDPACK[@]}" embed --stub stub.exe --package stub.exe -o bad.exe
expect 1 "a missing stub" "${UPDPACK[@]}" embed --stub none.exe --package pkg.qw3 -o bad.exe
grep -q "does not exist; name one with --stub" err.txt || fail "missing stub: $(cat err.txt)"
ls bad.exe* >/dev/null 2>&1 && fail "a refused embed left $(ls bad.exe*)"

# ---- integrity: every damaged byte is found -----------------------------------
mkdir -p int
printf '[SETUP]\r\nCompanyName=A\r\n' >int/UPDATE.INI
head -c 3000 /dev/urandom >int/Noise.bin  # kept plain: it does not shrink
for i in $(seq 300); do printf 'Say %d\r\n' "$i"; done >int/Text.txt
"${UPDPACK[@]}" create -o int.qw3 int >/dev/null
"${UPDPACK[@]}" embed --stub stub.exe --package int.qw3 -o Int.exe >/dev/null
expect 0 "verify a fresh updater" "${UPDPACK[@]}" verify Int.exe
grep -q "sound, 3 entries, matching its integrity record" out.txt || fail "verify Int.exe: $(cat out.txt)"
expect 0 "verify --json of a sound updater" "${UPDPACK[@]}" verify --json Int.exe
grep -q '"sound": true' out.txt && grep -q '"findings": \[\]' out.txt || fail "verify --json: $(cat out.txt)"
# The stub's old package (a few bytes, no record) is no package at all.
expect 1 "verify a stub whose package has no record" "${UPDPACK[@]}" verify stub.exe
grep -q "warning: 'stub.exe': no integrity record" err.txt || fail "no record: $(cat err.txt)"
# list --json gives each entry's CRC-32, the one gzip (zlib) computes.
expect 0 "list --json Int.exe" "${UPDPACK[@]}" list --json Int.exe
crc=$(gzip -c int/Noise.bin | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' ')
grep -q "\"name\": \"Noise.bin\", \"storage\": \"stored\".*\"crc32\": \"$crc\"" out.txt ||
  fail "list --json: CRC-32 of Noise.bin is not $crc: $(cat out.txt)"
# entry NAME FIELD: the entry's field from list --json.
entry() { grep "\"name\": \"$1\"" out.txt | sed "s/.*\"$2\": \"\{0,1\}\([0-9a-z]*\).*/\1/"; }
noise=$(entry Noise.bin offset) noiseSize=$(entry Noise.bin storedSize)
text=$(entry Text.txt offset) textSize=$(entry Text.txt storedSize)
grep -q '"name": "Text.txt", "storage": "compressed"' out.txt || fail "Text.txt is not compressed"
pkg=$(grep -obUaP 'QW2\x00' Int.exe | head -n 1 | cut -d: -f1)
record=$(grep -obUaP 'QW2I' Int.exe | head -n 1 | cut -d: -f1)
pkgSize=$(stat -c %s int.qw3)
directory=$(od -An -tu4 -j $((pkg + 8)) -N4 Int.exe | tr -d ' ')
cmp -s int.qw3 <(tail -c +$((pkg + 1)) Int.exe | head -c "$pkgSize") || fail "the package is not at $pkg"
[ "$(od -An -tu4 -j $((record + 8)) -N4 Int.exe | tr -d ' ')" = 40 ] || fail "the record is not at $record"
# damaged WHAT OFFSET [PATTERN]: Int.exe with the byte at OFFSET changed is
# refused by verify, which names PATTERN; --quiet says nothing.
damaged() {
  cp Int.exe bad.exe
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 bad.exe | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 0x21)))" | dd of=bad.exe bs=1 seek="$2" conv=notrunc status=none
  expect 1 "verify: $1 (byte $2)" "${UPDPACK[@]}" verify bad.exe
  [ -z "${3:-}" ] || grep -q "$3" err.txt || fail "verify: $1: no '$3': $(cat err.txt)"
  expect 1 "verify --quiet: $1" "${UPDPACK[@]}" verify --quiet bad.exe
  [ -s out.txt ] || [ -s err.txt ] && fail "verify --quiet: $1 printed something"
}
for at in 0 1 $((noiseSize / 2)) $((noiseSize - 1)); do
  damaged "stored entry" $((pkg + noise + at)) "entry [0-9] 'Noise.bin': its stored bytes have CRC-32"
done
for at in 0 4 $((textSize / 2)) $((textSize - 1)); do
  damaged "compressed entry" $((pkg + text + at)) "entry [0-9] 'Text.txt': its stored bytes"
done
for at in 0 3 8 12; do damaged "package header" $((pkg + at)) "the package's CRC-32 is"; done
for at in 0 259 260 264 272 276 $((pkgSize - directory - 1)); do
  damaged "directory" $((pkg + directory + at)) "the package's CRC-32 is"
done
[ $((noiseSize % 16)) -ne 0 ] && damaged "zero fill" $((pkg + noise + noiseSize)) "the package's CRC-32 is"
for at in 0 3 4 8 12 16 20 24 $((28 + 4 * 3 - 1)); do
  damaged "integrity record" $((record + at)) "the integrity record is damaged"
done
damaged "header checksum" $(($(od -An -tu4 -j60 -N4 Int.exe) + 88)) "the header checksum is"
damaged "code" 1100 "the header checksum is"
cp Int.exe cut.exe && truncate -s -1 cut.exe
expect 1 "verify a truncated updater" "${UPDPACK[@]}" verify cut.exe
cp Int.exe bad.exe
printf '\x55' | dd of=bad.exe bs=1 seek=$((pkg + noise)) conv=notrunc status=none
expect 1 "verify --json of a damaged entry" "${UPDPACK[@]}" verify --json bad.exe
grep -q '"sound": false' out.txt || fail "verify --json damaged: $(cat out.txt)"
grep -q '{"key": "Noise.bin", "severity": "error", "message": "entry [0-9] .Noise.bin.: its stored' out.txt ||
  fail "verify --json damaged: $(cat out.txt)"
expect 2 "verify --json --quiet" "${UPDPACK[@]}" verify --json --quiet bad.exe

# ---- check: each finding from a small INI -----------------------------------
# ini FILE LINES...: an UPDATE.INI with the usual [SETUP] and the given
# [UPDATE] lines, CRLF as publishers write it.
ini() {
  local file=$1
  shift
  printf '%s\r\n' '[SETUP]' 'CompanyName=Works' 'GameTitle=Story' \
    'GameClass=StoryWnd' 'GameDir=Story' '[UPDATE]' "$@" >"$file"
}
# finding CODE KEY TEXT LINES...: check exits with CODE and reports KEY with
# TEXT in its reason.
finding() {
  local code=$1 key=$2 text=$3
  shift 3
  ini case.ini "$@"
  expect "$code" "check $key ($text)" "${UPDPACK[@]}" check case.ini
  grep -q "^updpack: .*'case.ini': $key: .*$text" err.txt ||
    fail "check: no '$key: ...$text' for $*: $(cat err.txt)"
}

ini clean.ini 'UpdateFile00=u,Data\A.dat' 'UpdateFile01=2,d,Save\B.dat' \
  'UpdateFile02=o,C.dat' 'UpdateFile03=Readme.txt' 'CopyFile00=1:Movie' \
  'CopyFile01=2,1:Voice' 'RequiredDiskSpace=1000000' 'OverwriteOnly=0'
expect 0 "check a clean sample" "${UPDPACK[@]}" check clean.ini
[ -s err.txt ] && fail "clean sample: $(cat err.txt)"
grep -q "0 errors, 0 warnings" out.txt || fail "clean sample: $(cat out.txt)"

printf '[SETUP]\r\nCompanyName=Works\r\nGameTitle=\r\nGameClass=C\r\n[UPDATE]\r\nUpdateFile00=A.dat\r\n' >case.ini
expect 1 "check required keys" "${UPDPACK[@]}" check case.ini
grep -q "GameTitle: missing or empty" err.txt || fail "empty GameTitle: $(cat err.txt)"
grep -q 'GameDir: missing or empty: .*"SETUP : GameDir キーが存在しません"' err.txt ||
  fail "missing GameDir: $(cat err.txt)"
grep -q "CompanyName" err.txt && fail "CompanyName is there: $(cat err.txt)"
# The same findings for scripts: JSON on stdout, or the exit code alone.
expect 1 "check --json" "${UPDPACK[@]}" check --json case.ini
[ -s err.txt ] && fail "check --json wrote to stderr: $(cat err.txt)"
grep -q '^  "file": "case.ini",$' out.txt && grep -q '^  "errors": 2,$' out.txt &&
  grep -q '^  "warnings": 0,$' out.txt || fail "check --json counts: $(cat out.txt)"
grep -qF '    {"key": "GameDir", "severity": "error", "message": "missing or empty: the updater stops at start-up with \"SETUP : GameDir キーが存在しません\""}' out.txt ||
  fail "check --json finding: $(cat out.txt)"
expect 1 "check --quiet" "${UPDPACK[@]}" check --quiet case.ini
[ -s out.txt ] || [ -s err.txt ] && fail "check --quiet printed: $(cat out.txt err.txt)"
expect 0 "check --quiet, clean" "${UPDPACK[@]}" check --quiet clean.ini
[ -s out.txt ] || [ -s err.txt ] && fail "check --quiet printed: $(cat out.txt err.txt)"
expect 0 "check --json, clean" "${UPDPACK[@]}" check --json clean.ini
grep -q '^  "findings": \[\]$' out.txt || fail "check --json, clean: $(cat out.txt)"
expect 2 "check --json --quiet" "${UPDPACK[@]}" check --json --quiet clean.ini

finding 0 UpdateFile02 "UpdateFile01 is missing or empty" 'UpdateFile00=A.dat' 'UpdateFile02=B.dat'
finding 0 CopyFile01 "CopyFile00 is missing or empty" 'UpdateFile00=A.dat' 'CopyFile01=Movie'
finding 0 UpdateFile16 "only UpdateFile00 to UpdateFile15" \
  $(for n in $(seq -w 0 16); do echo "UpdateFile$n=F$n.dat"; done)
finding 0 UpdateFile3 "two digits (UpdateFile03)" 'UpdateFile00=A.dat' 'UpdateFile3=B.dat'
finding 0 UpdateFile00 "'x' is not a mode .* replaces the file 'x'" 'UpdateFile00=x,Data\A.dat'
finding 0 UpdateFile00 "an empty field ends the list: 'B.dat' is never read" 'UpdateFile00=A.dat,,B.dat'
finding 1 UpdateFile00 "no file named" 'UpdateFile00=u,,Data\A.dat'
finding 0 UpdateFile00 "'C:' .* disk prefix and dropped: the field reads '\\\\Game\\\\A.dat'" \
  'UpdateFile00=C:\Game\A.dat'
finding 0 UpdateFile00 "'/' does not separate folders .* entry name is 'Data/A.dat'" 'UpdateFile00=u,Data/A.dat'
finding 0 UpdateFile01 "both take the package entry 'a.dat'" \
  'UpdateFile00=Data\A.dat' 'UpdateFile01=u,Save\a.dat'
finding 0 UpdateFile00 "fields after the path are ignored: 'extra'" 'UpdateFile00=1,u,A.dat,extra'
finding 0 UpdateFile00 "'u ' is not a mode" 'UpdateFile00=u ,A.dat'
finding 0 UpdateFile00 "the path 'A.dat ' ends in a blank" 'UpdateFile00=u, A.dat ,B.dat'
finding 1 CopyFile00 "'C' before the colon is not a disk number" 'UpdateFile00=A.dat' 'CopyFile00=C:\Movie'
finding 0 CopyFile00 "'x' before the comma .* never applies" 'CopyFile00=x,Movie'
finding 0 RequiredDiskSpace "'100MB' is not a plain decimal .* reads it as 100 bytes" \
  'UpdateFile00=A.dat' 'RequiredDiskSpace=100MB'
finding 0 RequiredDiskSpace "'-1' is not a plain decimal .* 4294967295 bytes" \
  'UpdateFile00=A.dat' 'RequiredDiskSpace=-1'
finding 1 UpdateFile00 "No 'UpdateFileXX' and 'CopyFileXX'" 'UpdateFile01=A.dat'
finding 0 UpdateFile00 "the value is 1101 bytes; the updater reads only the first 1023" \
  "UpdateFile00=A.dat$(for i in $(seq 548); do printf ',x'; done)"
printf '[SETUP]\r\nCompanyName=A\r\nGameTitle=B\r\nGameClass=C\r\nGameDir=D\r\nUpdateMessage=%s\r\n[UPDATE]\r\nUpdateFile00=A.dat\r\n' \
  "$(head -c 1500 /dev/zero | tr '\0' 'm')" >case.ini
expect 0 "check a long UpdateMessage" "${UPDPACK[@]}" check case.ini
grep -q "UpdateMessage: the value is 1500 bytes; the updater reads only the first 1023" err.txt ||
  fail "long UpdateMessage: $(cat err.txt)"

# With the package: entries it lacks, its unpacked size, its UPDATE.INI.
mkdir -p pk && printf 'x' >pk/A.dat && head -c 5000 /dev/zero >pk/B.dat
ini pk/UPDATE.INI 'UpdateFile00=u,Data\A.dat' 'UpdateFile01=Data\b.dat' 'UpdateFile02=C.dat' \
  'RequiredDiskSpace=4000'
"${UPDPACK[@]}" create -o pk.qw3 pk >/dev/null
expect 1 "check --package" "${UPDPACK[@]}" check pk/UPDATE.INI --package pk.qw3
grep -q "UpdateFile02: the package has no entry 'C.dat'" err.txt || fail "--package C.dat: $(cat err.txt)"
grep -q "UpdateFile0[01]: the package has no entry" err.txt && fail "--package: A or b: $(cat err.txt)"
grep -q "RequiredDiskSpace: 4000 bytes is less than the .* bytes the package unpacks to" err.txt ||
  fail "--package: RequiredDiskSpace: $(cat err.txt)"
"${UPDPACK[@]}" create -o noini.qw3 pk/A.dat >/dev/null
expect 1 "check a package without UPDATE.INI" "${UPDPACK[@]}" check pk/UPDATE.INI --package noini.qw3
grep -q "has no entry UPDATE.INI" err.txt || fail "no UPDATE.INI: $(cat err.txt)"

# ---- build --------------------------------------------------------------------
mkdir -p upd/Data upd/Save
ini upd/UPDATE.INI 'UpdateFile00=u,Data\Script.dat' 'UpdateFile01=2,d,Save\Config.dat' \
  'UpdateFile02=Readme.txt'
for i in $(seq 400); do printf 'SetFlag %d\r\n' "$i"; done >upd/Data/Script.dat
printf 'config' >upd/Config.dat  # found by its entry name
printf 'read me' >upd/Readme.txt
printf 'unused' >upd/Save/Notes.txt
expect 0 "build" "${UPDPACK[@]}" build upd -o Built.exe --stub stub.exe --level greedy
grep -q "4 entries, .* bytes of files, package .* bytes (.*%), 'Built.exe' .* bytes" out.txt ||
  fail "build summary: $(cat out.txt)"
grep -q "Notes.txt': no UpdateFile line names it; not packed" err.txt || fail "build: unused file: $(cat err.txt)"
"${UPDPACK[@]}" unpack Built.exe built >/dev/null 2>&1
[ "$(cd built && ls | sort | tr '\n' ' ')" = "Config.dat Readme.txt Script.dat UPDATE.INI " ] ||
  fail "build packed: $(ls built)"
cmp -s upd/Data/Script.dat built/Script.dat || fail "build: Script.dat differs"
cmp -s upd/UPDATE.INI built/UPDATE.INI || fail "build: UPDATE.INI differs"
# The updater's name is an input too (its version record names the file).
mkdir -p again j1 j4
"${UPDPACK[@]}" build upd -o again/Built.exe --stub stub.exe --level greedy >/dev/null 2>&1
cmp -s Built.exe again/Built.exe || fail "build twice from the same folder: different bytes"
expect 0 "build -j1" "${UPDPACK[@]}" build -j1 upd -o j1/Update.exe --stub stub.exe
expect 0 "build -j4" "${UPDPACK[@]}" build -j4 upd -o j4/Update.exe --stub stub.exe
cmp -s j1/Update.exe j4/Update.exe || fail "build -j4 differs from -j1"
# A line whose file is missing: refused, nothing written, an earlier
# updater kept.
cp Built.exe before.exe
ini upd/UPDATE.INI 'UpdateFile00=u,Data\Script.dat' 'UpdateFile01=Missing.dat'
expect 1 "build with a missing file" "${UPDPACK[@]}" build upd -o Built.exe --stub stub.exe
grep -q "UpdateFile01: the package has no entry 'Missing.dat'" err.txt || fail "build missing: $(cat err.txt)"
grep -q "no updater written" err.txt || fail "build missing: $(cat err.txt)"
cmp -s Built.exe before.exe || fail "a refused build changed the earlier updater"
ls Built.exe.* >/dev/null 2>&1 && fail "a refused build left $(ls Built.exe.*)"
# Built into the folder itself: a second build does not take the first
# updater for an unused file.
ini upd/UPDATE.INI 'UpdateFile00=u,Data\Script.dat'
expect 0 "build into the folder" "${UPDPACK[@]}" build upd -o upd/Update.exe --stub stub.exe
expect 0 "build into the folder again" "${UPDPACK[@]}" build upd -o upd/Update.exe --stub stub.exe
grep -q "Update.exe" err.txt && fail "build took its own output for a file: $(cat err.txt)"
rm upd/Update.exe
# Not at the line's path, and two files of its name: which one is meant?
printf 'one' >upd/Save/Readme.txt
ini upd/UPDATE.INI 'UpdateFile00=Docs\Readme.txt'
expect 1 "build with two candidates" "${UPDPACK[@]}" build upd -o Two.exe --stub stub.exe
grep -q "UpdateFile00: no file at 'Docs.Readme.txt', and .* both have its name" err.txt ||
  fail "two candidates: $(cat err.txt)"
expect 1 "build without UPDATE.INI" "${UPDPACK[@]}" build upd/Data -o x.exe --stub stub.exe
grep -q "has no UPDATE.INI" err.txt || fail "build without UPDATE.INI: $(cat err.txt)"

for verb in embed check build; do
  expect 0 "$verb --help" "${UPDPACK[@]}" $verb --help
  grep -q "^Usage: updpack" out.txt || fail "$verb --help shows no usage"
done

[ "$failures" -eq 0 ] && echo "all embed, check and build checks passed"
exit $((failures > 0))
