#!/usr/bin/env bash
# updpack with old installations: build and create --from, --keep-whole,
# and list, verify and unpack on patch entries, on a hand-made stub.
# Usage: updpack_patch_test.sh [RUNNER...] UPDPACK MAKE_TEST_STUB
set -u
CLI_ARGUMENTS="UPDPACK MAKE_TEST_STUB"
. "$(dirname "$0")/cli_harness.sh"

"${MAKE_STUB[@]}" stub.exe || { echo "cannot make the test stub"; exit 1; }

# Three installations: v1, v1 again (the same Script.dat: one patch for
# both), v2; and the update, v3. Noise.bin changes wholly, Readme.txt is
# new, Same.txt does not change.
mkdir -p v1/Data v1b/Data v2/Data new/Data
for i in $(seq 4000); do printf 'SetFlag %d\r\nSay "line %d"\r\n' "$i" $((i * 7)); done >v1/Data/Script.dat
sed 's/line 7000"/LINE SEVEN"/' v1/Data/Script.dat >v2/Data/Script.dat
sed 's/line 14000"/CHANGED"/; s/^SetFlag 3999/SetFlag 9/' v2/Data/Script.dat >new/Data/Script.dat
cp v1/Data/Script.dat v1b/Data/script.dat  # the updater's names ignore case
head -c 4000 /dev/urandom >v1/Noise.bin
head -c 4000 /dev/urandom >new/Noise.bin
printf 'same' | tee v1/Same.txt >new/Same.txt
printf 'read me' >new/Readme.txt
printf '%s\r\n' '[SETUP]' 'CompanyName=W' 'GameTitle=S' 'GameClass=C' 'GameDir=S' '[UPDATE]' \
  'UpdateFile00=u,Data\Script.dat' 'UpdateFile01=Noise.bin' 'UpdateFile02=Same.txt' \
  'UpdateFile03=Readme.txt' >new/UPDATE.INI

# ---- build --from: what each entry became, and why -------------------------
expect 0 "build --from" "${UPDPACK[@]}" build new -o P.exe --stub stub.exe --from v1 --from v1b --from v2
grep -q "^'Script.dat': patch (whole file [0-9]* bytes; 3 old versions, patches of [0-9]* + [0-9]* bytes)$" out.txt ||
  fail "build --from: Script.dat: $(cat out.txt)"
grep -q "^'Noise.bin': whole (whole file 4000 bytes; 1 old version, a patch of [0-9]* bytes, not smaller)$" out.txt ||
  fail "build --from: Noise.bin: $(cat out.txt)"
grep -q "^'Same.txt': whole (whole file 4 bytes; 1 old version, the same file)$" out.txt ||
  fail "build --from: Same.txt: $(cat out.txt)"
grep -q "^'Readme.txt': whole (whole file 7 bytes; no old version)$" out.txt ||
  fail "build --from: Readme.txt: $(cat out.txt)"
expect 0 "list --json of a patch entry" "${UPDPACK[@]}" list --json P.exe
v1crc=$(gzip -c v1/Data/Script.dat | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' ')
newcrc=$(gzip -c new/Data/Script.dat | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' ')
grep -q "\"name\": \"Script.dat\", \"storage\": \"patch\", .*\"resultCrc32\": \"$newcrc\", \"versions\": \[{\"size\": $(stat -c %s v1/Data/Script.dat), \"crc32\": \"$v1crc\", \"patchSize\": [0-9]*}, {[^}]*}\], \"whole\": null}" out.txt ||
  fail "list --json: Script.dat: $(cat out.txt)"
expect 0 "list of a patch entry" "${UPDPACK[@]}" list P.exe
grep -q "from $(stat -c %s v2/Data/Script.dat) bytes, CRC-32 [0-9a-f]\{8\}: patch [0-9]* bytes" out.txt ||
  fail "list: Script.dat's versions: $(cat out.txt)"
# Patches from one installation and from several: the same package whatever
# the threads.
mkdir -p j4
expect 0 "build --from -j4" "${UPDPACK[@]}" build -j4 new -o j4/P.exe --stub stub.exe --from v1 --from v1b --from v2
cmp -s P.exe j4/P.exe || fail "build --from -j4 differs from -j$(nproc)"
# Old installations without any of the files give the package of no --from.
mkdir -p empty plain
"${UPDPACK[@]}" build new -o plain/P.exe --stub stub.exe >/dev/null 2>&1
expect 0 "build --from an empty folder" "${UPDPACK[@]}" build new -o empty/P.exe --stub stub.exe --from empty
cmp -s plain/P.exe empty/P.exe || fail "build --from an empty folder differs from a build without"
expect 1 "build --from a missing folder" "${UPDPACK[@]}" build new -o X.exe --stub stub.exe --from nowhere
grep -q "'nowhere' is not a folder" err.txt || fail "--from nowhere: $(cat err.txt)"
expect 2 "--keep-whole without --from" "${UPDPACK[@]}" build new -o X.exe --stub stub.exe --keep-whole

# ---- verify --from and unpack --from: every old version reaches the file -----
for old in v1 v1b v2; do
  expect 0 "verify --from $old" "${UPDPACK[@]}" verify P.exe --from "$old"
  grep -q "sound, 5 entries, matching its integrity record, 1 patch applied" out.txt ||
    fail "verify --from $old: $(cat out.txt err.txt)"
  expect 0 "unpack --from $old" "${UPDPACK[@]}" unpack P.exe "out-$old" --from "$old"
  for f in Data/Script.dat Noise.bin Same.txt Readme.txt UPDATE.INI; do
    cmp -s "new/$f" "out-$old/$(basename "$f")" || fail "unpack --from $old: $f differs"
  done
done
# An installation of another version (a changed byte), or none: verify says
# which entry a player of it could not update; unpack writes the others.
mkdir -p bad && sed 's/SetFlag 17/SetFlag 71/' v1/Data/Script.dat >bad/Script.dat
expect 1 "verify --from a wrong installation" "${UPDPACK[@]}" verify P.exe --from bad
grep -q "error: entry 2 'Script.dat': no file of its name in 'bad' is one of its 2 old versions, and it carries no whole file" err.txt ||
  fail "verify --from bad: $(cat err.txt)"
expect 1 "unpack without --from" "${UPDPACK[@]}" unpack P.exe nofrom
grep -q "entry 2 'Script.dat' not unpacked: a patch without the whole file; name an old installation with --from" err.txt &&
  grep -q "error: 1 entry not unpacked" err.txt || fail "unpack without --from: $(cat err.txt)"
cmp -s new/Readme.txt nofrom/Readme.txt && [ ! -e nofrom/Script.dat ] ||
  fail "unpack without --from: $(ls nofrom)"
expect 1 "unpack --from a wrong installation" "${UPDPACK[@]}" unpack P.exe wrong --from bad
grep -q "no file of its name in 'bad' is one of its 2 old versions" err.txt || fail "unpack --from bad: $(cat err.txt)"
# The updated installation itself: nothing to apply, the file is the result.
expect 0 "unpack --from the new files" "${UPDPACK[@]}" unpack P.exe fromnew --from new
cmp -s new/Data/Script.dat fromnew/Script.dat || fail "unpack --from new: Script.dat differs"

# ---- --keep-whole: the whole file for players of no old version --------------
expect 0 "build --keep-whole" "${UPDPACK[@]}" build new -o K.exe --stub stub.exe --from v2 --keep-whole
grep -q "^'Script.dat': patch and whole file (whole file [0-9]* bytes; 1 old version, a patch of [0-9]* bytes)$" out.txt ||
  fail "build --keep-whole: $(cat out.txt)"
expect 0 "verify --keep-whole --from a wrong installation" "${UPDPACK[@]}" verify K.exe --from bad
grep -q "warning: entry 2 'Script.dat': .* such a player gets the whole file" err.txt || fail "verify K.exe --from bad: $(cat err.txt)"
expect 0 "unpack --keep-whole without --from" "${UPDPACK[@]}" unpack K.exe kept
cmp -s new/Data/Script.dat kept/Script.dat || fail "unpack K.exe: Script.dat differs"

# ---- create --from: a file by its name, a folder's files by their paths -----
expect 0 "create --from" "${UPDPACK[@]}" create -o c.qw3 new --from v1 --from v2
grep -q "^'Script.dat': patch .*2 old versions" out.txt || fail "create --from: $(cat out.txt)"
grep -q "^'Same.txt': whole .*1 old version, the same file" out.txt || fail "create --from: $(cat out.txt)"
expect 0 "create --from, a file" "${UPDPACK[@]}" create -o f.qw3 new/Data/Script.dat --from v2/Data
grep -q "^'Script.dat': patch .*1 old version" out.txt || fail "create --from, a file: $(cat out.txt)"
expect 0 "create without --from prints nothing" "${UPDPACK[@]}" create -o c2.qw3 new/Data
[ -s out.txt ] && fail "create without --from printed: $(cat out.txt)"

# ---- a damaged patch: verify --from applies it and says so ------------------
# Plain create, so no integrity record stops verify before the patch.
"${UPDPACK[@]}" list --json c.qw3 >out.txt
at=$(grep '"name": "Script.dat"' out.txt | sed 's/.*"offset": \([0-9]*\).*/\1/')
size=$(grep '"name": "Script.dat"' out.txt | sed 's/.*"storedSize": \([0-9]*\).*/\1/')
last=$(grep '"name": "Script.dat"' out.txt | sed 's/.*"patchSize": \([0-9]*\)}\].*/\1/')
at2=$((at + size - last / 2))  # inside the last patch, v2's
cp c.qw3 damaged.qw3
byte=$(od -An -tu1 -j $at2 -N1 damaged.qw3 | tr -d ' ')
printf "\\x$(printf %02x $((byte ^ 0x10)))" | dd of=damaged.qw3 bs=1 seek=$at2 conv=notrunc status=none
expect 0 "verify a damaged patch without --from" "${UPDPACK[@]}" verify damaged.qw3
expect 1 "verify --from a damaged patch" "${UPDPACK[@]}" verify damaged.qw3 --from v2
grep -q "error: entry 'Script.dat', old version 2 (.* bytes, CRC-32 [0-9a-f]*): the patch .*, from 'v2/Data/Script.dat'" err.txt ||
  fail "verify --from v2 damaged: $(cat err.txt)"
printf '\xff' | dd of=damaged.qw3 bs=1 seek=$((at + 4)) conv=notrunc status=none
expect 1 "verify a damaged patch record" "${UPDPACK[@]}" verify damaged.qw3
grep -q "entry 'Script.dat': its patch record is damaged" err.txt || fail "damaged record: $(cat err.txt)"

[ "$failures" -eq 0 ] && echo "all patch checks passed"
exit $((failures > 0))
