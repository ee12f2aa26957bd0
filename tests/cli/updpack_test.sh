#!/usr/bin/env bash
# Runs the built updpack on temporary folders: round trips, refusals and exit
# codes. Usage: updpack_test.sh [RUNNER...] UPDPACK, such as
# updpack_test.sh wine build/win32/tools/updpack/updpack.exe
set -u
CLI_ARGUMENTS="UPDPACK"
. "$(dirname "$0")/cli_harness.sh"

# No package and no half-written file may be left behind by a refusal.
expect_nothing_written() {
  ls "$1"* >/dev/null 2>&1 && fail "$2: left $(ls "$1"*)"
}

mkdir -p src/sub
printf 'SetFlag 1\r\nSay "\x82\xa0"\r\n%.0s' {1..200} > src/script.txt
head -c 5000 /dev/urandom > src/sub/noise.bin
: > src/sub/empty.dat
printf 'x' > "src/日本語.txt"
touch -d '2001-02-03 04:05:06.1234567' src/script.txt
touch -d '1999-12-31 23:59:59' src/sub/noise.bin

# Round trip: every file back with its bytes and its time to 100 ns.
for flags in "" "--level greedy --compress-directory"; do
  rm -rf pkg.qw3 out
  # shellcheck disable=SC2086
  expect 0 "create $flags" "${UPDPACK[@]}" create -o pkg.qw3 $flags src
  expect 0 "verify $flags" "${UPDPACK[@]}" verify pkg.qw3
  expect 0 "unpack $flags" "${UPDPACK[@]}" unpack pkg.qw3 out
  for f in script.txt sub/noise.bin sub/empty.dat 日本語.txt; do
    cmp -s "src/$f" "out/$(basename "$f")" || fail "$flags: $f differs"
    [ "$(stat -c %y "src/$f" | cut -c1-27)" = "$(stat -c %y "out/$(basename "$f")" | cut -c1-27)" ] ||
      fail "$flags: time of $f not kept"
  done
done
[ "$(stat -c %y out/script.txt)" = "2001-02-03 04:05:06.123456700 +0000" ] ||
  fail "time of script.txt: $(stat -c %y out/script.txt)"

expect 0 "list" "${UPDPACK[@]}" list pkg.qw3
grep -q "compressed .* 2001-02-03 04:05:06  script.txt$" out.txt || fail "list: script.txt row: $(cat out.txt)"
grep -q "stored .* 1999-12-31 23:59:59  noise.bin$" out.txt || fail "list: noise.bin is not kept plain"
grep -q "日本語.txt$" out.txt || fail "list: Japanese name not shown in UTF-8"
expect 0 "list --json" "${UPDPACK[@]}" list --json pkg.qw3
grep -q '"name": "日本語.txt", "storage": "stored", "storedSize": 1, "size": 1' out.txt ||
  fail "list --json: $(cat out.txt)"
grep -q '"time": "2001-02-03T04:05:06Z", "fileTime": 126256467061234567' out.txt ||
  fail "list --json: time of script.txt"

# Entries are encoded on several threads, largest first; the package is the
# same bytes for any count.
mkdir -p many
for i in $(seq 9); do head -c $((i * 7000)) src/script.txt >"many/part$i.txt"; done
cp src/sub/noise.bin many/noise2.bin
expect 0 "create -j1" "${UPDPACK[@]}" create -j1 -o one.qw3 many src
expect 0 "create -j4" "${UPDPACK[@]}" create -j 4 -o four.qw3 many src
cmp -s one.qw3 four.qw3 || fail "create -j4 differs from -j1"
expect 0 "verify -j4" "${UPDPACK[@]}" verify four.qw3

expect 0 "create --store" "${UPDPACK[@]}" create -o stored.qw3 --store '*.TXT' --store 'nothing' src
"${UPDPACK[@]}" list stored.qw3 | tr -d '\r' | grep -q "^stored .*script.txt$" || fail "--store *.TXT did not store script.txt"

# Refusals leave no output and keep an earlier package untouched.
cp pkg.qw3 before.qw3
mkdir -p other && printf 'y' > other/SCRIPT.TXT
expect 1 "same name ignoring case" "${UPDPACK[@]}" create -o pkg.qw3 src other
grep -q "^updpack: error: .*same entry name" err.txt || fail "same name: $(cat err.txt)"
cmp -s pkg.qw3 before.qw3 || fail "refused create changed the earlier package"
expect_nothing_written pkg.qw3.partial "same name"
expect 1 "missing input" "${UPDPACK[@]}" create -o new.qw3 src/nothing
expect_nothing_written new.qw3 "missing input"
mkdir -p emoji && printf 'z' > "emoji/a😀.txt"
expect 1 "name without Shift-JIS form" "${UPDPACK[@]}" create -o new.qw3 emoji
grep -q "cannot be written in Shift-JIS" err.txt || fail "emoji: $(cat err.txt)"
expect_nothing_written new.qw3 "emoji"
mkdir -p big && truncate -s 4G big/huge.bin  # sparse: takes no room
expect 1 "file of 4 GiB" "${UPDPACK[@]}" create -o new.qw3 big
grep -q "huge.bin' is 4 GiB or larger" err.txt || fail "4 GiB: $(cat err.txt)"
expect_nothing_written new.qw3 "4 GiB"
rm -rf big
if [ "$(id -u)" -ne 0 ]; then
  printf 'secret' > unreadable && chmod 000 unreadable
  expect 1 "unreadable file" "${UPDPACK[@]}" create -o new.qw3 unreadable
  expect_nothing_written new.qw3 "unreadable"
fi

# Damaged packages: verify says what is wrong and exits 1.
cp pkg.qw3 cut.qw3 && truncate -s 100 cut.qw3
expect 1 "verify truncated" "${UPDPACK[@]}" verify cut.qw3
grep -q "^updpack: error: 'cut.qw3': " err.txt || fail "verify truncated: $(cat err.txt)"
# script.txt is the first entry: a zero first control word makes its first
# token a match reaching before the start.
cp pkg.qw3 flipped.qw3
printf '\0\0\0\0' | dd of=flipped.qw3 bs=1 seek=16 conv=notrunc 2>/dev/null
expect 1 "verify damaged block" "${UPDPACK[@]}" verify flipped.qw3
grep -q "entry 'script.txt'" err.txt || fail "verify damaged block: $(cat err.txt)"

# A package naming a path outside the folder is refused by unpack.
mkdir -p evil && printf 'e' > evil/xQevil
"${UPDPACK[@]}" create -o evil.qw3 evil
perl -pi -e 's/xQevil/x\/evil/' evil.qw3
expect 1 "unpack path name" "${UPDPACK[@]}" unpack evil.qw3 evilout
[ -e evilout/x ] && fail "unpack wrote below a path name"

# Single blocks.
expect 0 "block encode" "${UPDPACK[@]}" block encode --level greedy src/script.txt b.blk
expect 0 "block decode" "${UPDPACK[@]}" block decode b.blk b.txt
cmp -s src/script.txt b.txt || fail "block round trip"
expect 1 "block decode of noise" "${UPDPACK[@]}" block decode src/sub/noise.bin n.txt
expect_nothing_written n.txt "block decode of noise"

# One INI key as the updater reads it: count, hex bytes, UTF-8 text.
printf '[SETUP]\r\nGameTitle = \x83\x5c\x83\x74\x83\x67 \r\nEmpty=\r\n' > test.ini
expect 0 "ini" "${UPDPACK[@]}" ini test.ini setup GAMETITLE
[ "$(cat out.txt)" = "$(printf '6\n835c83748367\nソフト')" ] || fail "ini: $(cat out.txt)"
expect 1 "ini empty value" "${UPDPACK[@]}" ini test.ini SETUP Empty
[ "$(cat out.txt)" = "$(printf '0\n\n')" ] || fail "ini empty value: $(cat out.txt)"
expect 1 "ini missing file" "${UPDPACK[@]}" ini nothing.ini SETUP GameTitle
expect 2 "ini capacity 0" "${UPDPACK[@]}" ini test.ini SETUP GameTitle --capacity 0

# Usage: help is 0, a wrong command line 2 with the error on stderr.
for verb in "" create list unpack verify "block" "block decode" "block encode" ini sign; do
  # shellcheck disable=SC2086
  expect 0 "$verb --help" "${UPDPACK[@]}" $verb --help
  grep -q "^Usage: updpack" out.txt || fail "$verb --help shows no usage"
done
expect 2 "no verb" "${UPDPACK[@]}"
expect 2 "unknown verb" "${UPDPACK[@]}" lst x.qw3
grep -q "^updpack: error: unknown verb 'lst'$" err.txt || fail "unknown verb: $(cat err.txt)"
expect 2 "unknown verb of block" "${UPDPACK[@]}" block decod a b
grep -q "^updpack: error: unknown verb 'block decod'$" err.txt || fail "unknown block verb: $(cat err.txt)"
expect 0 "--version" "${UPDPACK[@]}" --version
grep -Eq '^updpack [0-9]+\.[0-9]+\.[0-9]+$' out.txt && grep -q '^stub: ' out.txt ||
  fail "--version: $(cat out.txt)"
# sign: a key is required, and the two ways to give one exclude each other.
expect 2 "sign without a key" "${UPDPACK[@]}" sign x.exe -o y.exe
expect 2 "sign with a certificate but no key" "${UPDPACK[@]}" sign x.exe -o y.exe --cert c.pem
expect 2 "sign with both kinds of key" "${UPDPACK[@]}" sign x.exe -o y.exe --pkcs12 k.p12 --cert c.pem --key k.pem
expect 2 "build with a password but no key" "${UPDPACK[@]}" build src -o y.exe \
  --sign-password-file p.txt
grep -q -- "--sign-pkcs12 or --sign-cert with --sign-key is required" err.txt ||
  fail "build without a key: $(cat err.txt)"
expect 2 "sign with two passwords" "${UPDPACK[@]}" sign x.exe -o y.exe --pkcs12 k.p12 \
  --password-file p.txt --password-env P
expect 2 "bad level" "${UPDPACK[@]}" create --level fast -o x.qw3 src
expect 2 "missing output" "${UPDPACK[@]}" create src
expect 2 "no threads" "${UPDPACK[@]}" create -j0 -o x.qw3 src

[ "$failures" -eq 0 ] && echo "all updpack checks passed"
exit $((failures > 0))
