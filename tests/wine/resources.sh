#!/usr/bin/env bash
# The resources of updater.exe as Windows finds them, under Wine: exactly
# the dialog 101 (Japanese) with its texts read back as Shift-JIS, and the
# manifest 1 (English), nothing else; built with a package, that package
# byte for byte as resource "UPDATE" 102 (Japanese), its integrity record
# as 103 and its version record besides. And the stub's size: under 64 KiB.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

stub=$UPD_WIN32_BUILD/src/updater/updater.exe
probe=$UPD_WIN32_BUILD/tests/wine/resource_probe.exe
updpack=$UPD_WIN32_BUILD/tools/updpack/updpack.exe
expected=$UPD_ROOT/tests/wine/updater_resources.expected
upd_require "$stub" "$probe" "$updpack"
work=$(mktemp -d "$UPD_ROOT/build/wine-resources.XXXXXX")
upd_at_exit 'rm -rf "$work"'

echo "the stub"
wine "$probe" "$stub" >"$work/stub.txt"
upd_check "dialog and manifest exactly as expected, no other resource" \
  diff -u "$expected" "$work/stub.txt"
size=$(stat -c %s "$stub")
upd_check "updater.exe is $size bytes, under 64 KiB" test "$size" -lt 65536

echo "built with a package"
mkdir -p "$work/update"
printf '%s\r\n' '[SETUP]' 'CompanyName=Probe' >"$work/update/UPDATE.INI"
head -c 5000 /dev/urandom >"$work/update/Data.bin"
# A Windows program takes /x for an option: give it Windows paths.
wine "$updpack" create -o "$(winepath -w "$work/UPDATE.QW3")" "$(winepath -w "$work/update")" >/dev/null
updater=$(upd_build_updater "$work/UPDATE.QW3" 2>"$work/build.log") ||
  { cat "$work/build.log" >&2; exit 1; }
# The version record's size depends on its texts (branding_e2e reads them).
wine "$probe" "$updater" --save UPDATE 102 "$work/saved.bin" |
  sed 's/^\(resource type=16 name=1 language=1041 size=\)[0-9]*$/\1N/' >"$work/package.txt"
package_size=$(stat -c %s "$work/UPDATE.QW3")
# Embedding puts the integrity record beside the package: 28 bytes and a
# CRC-32 for each of its two entries.
record_size=$((28 + 4 * 2))
{
  head -n 1 "$expected"
  echo "resource type=UPDATE name=102 language=1041 size=$package_size"
  echo "resource type=UPDATE name=103 language=1041 size=$record_size"
  sed -n 2p "$expected"
  echo "resource type=16 name=1 language=1041 size=N"
  tail -n +3 "$expected"
} >"$work/package.expected"
upd_check "the same resources, UPDATE 102 of $package_size bytes, its record and the version record" \
  diff -u "$work/package.expected" "$work/package.txt"
upd_check "resource 102 holds the package byte for byte" \
  cmp "$work/UPDATE.QW3" "$work/saved.bin"

echo "resources: $UPD_FAILURES failure(s)"
[ "$UPD_FAILURES" -eq 0 ]
