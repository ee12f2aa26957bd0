#!/usr/bin/env bash
# The player's side: packs a generated 200 MB folder (16 files of 12.5 MB:
# program code, word text, random bytes, smooth image-like bytes), then
# times the native updater applying it (package from a file, through to
# the completion page) against a plain copy of the same files with the same
# flushing (each file flushed, then its folder), and reports the updater's
# peak memory. The updater checks its package against the integrity record
# as a built one does; once more without it shows what the check costs. The
# same files packed without compression show what the
# write path alone costs. Also times the packing on one thread and on all
# of them.
# Not a test: it prints figures. Usage: bench/apply_bench.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-build/native}")
updpack=$build/tools/updpack/updpack
updater=$build/src/updater/updater
work=$(mktemp -d "${TMPDIR:-/var/tmp}/apply-bench.XXXXXX")
# APPLY_BENCH_KEEP=1 keeps the folder, to run the updater under a profiler.
if [ -n "${APPLY_BENCH_KEEP:-}" ]; then
  echo "work folder: $work"
else
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"
mkdir files inst copy windows tmp
"$build/bench/make_mixed_folder" files

lines=()
n=0
for f in $(cd files && ls); do
  lines+=("$(printf 'UpdateFile%02d=%s' "$n" "$f")")
  n=$((n + 1))
done
printf '%s\r\n' '[SETUP]' 'CompanyName=Bench Works' 'GameTitle=Bench' \
  'GameClass=BenchWnd' 'GameDir=Bench' '[UPDATE]' "${lines[@]}" >UPDATE.INI
cp UPDATE.INI files/
printf '%s\r\n' '[SETUP]' 'CompanyName=Bench Works' 'GameTitle=Bench' \
  'GameClass=BenchWnd' 'GameDir=Bench' 'GameExe=Bench.exe' 'UninstExe=Uninst.exe' \
  'SetupBmp=Setup.bmp' 'InstallSelects=1' 'InstallTitle0=Full' \
  'InstallFiles0=Bench.exe' 'Shortcuts=0' >inst/SETUP.INI
printf '[Software\\Bench Works\\Bench]\nInstPath=%s\nInstMode=1\n' "$work/inst" >registry.ini

# seconds COMMAND...: wall seconds of the command, its output discarded.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk "BEGIN { print $end - $start }"
}
calc() { awk "BEGIN { print ($1) }"; }

total=$(du -cb files/*.* | tail -1 | cut -f1)
jobs=$(nproc)
pack1=$(seconds "$updpack" create -j1 -o pkg1.qw3 files)
packN=$(seconds "$updpack" create -j"$jobs" -o pkg.qw3 files)
cmp -s pkg1.qw3 pkg.qw3 || { echo "apply_bench: -j1 and -j$jobs differ" >&2; exit 1; }
rm pkg1.qw3
"$updpack" create --store '*' -o stored.qw3 files >/dev/null
# A built updater carries the record, and checks its package before it starts.
"$build/bench/write_integrity_record" pkg.qw3 pkg.rec
package=$(stat -c %s pkg.qw3)
largest=$(stat -c %s files/*.* | sort -n | tail -1)

# apply PACKAGE [RECORD]: applies the package, checked against the integrity
# record when one is given, to a fresh installation; sets `wall` (seconds)
# and `rss` (the updater's peak resident set, KiB).
apply() {
  rm -f inst/*.*
  cp inst-setup.ini inst/SETUP.INI
  local start end record=()
  [ -n "${2:-}" ] && record=(UPDATER_INTEGRITY="$work/$2")
  start=$(date +%s.%N)
  printf 'n\nn\nn\n' | env "${record[@]}" UPDATER_REGISTRY=$work/registry.ini UPDATER_PACKAGE=$work/$1 \
    UPDATER_WINDOWS=$work/windows TMPDIR=$work/tmp /usr/bin/time -f '%M' -o time.txt \
    "$updater" >updater.txt 2>&1 || [ $? -eq 1 ] || { echo "apply_bench: updater failed" >&2; cat updater.txt >&2; exit 1; }
  end=$(date +%s.%N)
  cmp -s files/TEXT13.TXT inst/TEXT13.TXT || { echo "apply_bench: not applied" >&2; cat updater.txt >&2; exit 1; }
  wall=$(calc "$end - $start")
  rss=$(tail -n 1 time.txt)  # after a line on the exit status
}
plain_copy() {
  rm -f copy/*
  for f in files/*.*; do
    cp "$f" copy/
    sync "copy/${f#files/}"
  done
  sync copy
}
cp inst/SETUP.INI inst-setup.ini

# Alternating rounds, the fastest of each kept: a busy spell on the shared
# machine then slows both alike.
best_apply=1e9 best_unchecked=1e9 best_stored=1e9 best_copy=1e9 peak=0
for round in 1 2 3 4 5; do
  apply pkg.qw3 pkg.rec
  best_apply=$(calc "$wall < $best_apply ? $wall : $best_apply")
  [ "$rss" -gt "$peak" ] && peak=$rss
  apply pkg.qw3
  best_unchecked=$(calc "$wall < $best_unchecked ? $wall : $best_unchecked")
  apply stored.qw3
  best_stored=$(calc "$wall < $best_stored ? $wall : $best_stored")
  t=$(seconds plain_copy)
  best_copy=$(calc "$t < $best_copy ? $t : $best_copy")
done

mib() { calc "int($1 / 104857.6) / 10"; }
echo "folder: $n files, $(mib "$total") MiB; package $(mib "$package") MiB; largest entry $(mib "$largest") MiB"
printf 'pack (best): -j1 %.1f s, -j%d %.1f s: %.2fx\n' "$pack1" "$jobs" "$packN" "$(calc "$pack1 / $packN")"
printf 'apply %.3f s, plain copy %.3f s: apply / copy %.2fx (target <= 1.5)\n' \
  "$best_apply" "$best_copy" "$(calc "$best_apply / $best_copy")"
printf 'apply without the integrity check %.3f s: the check is %.1f%% of applying (target < 5%%)\n' \
  "$best_unchecked" "$(calc "100 * ($best_apply - $best_unchecked) / $best_apply")"
printf 'apply of the same files all stored (the write path alone) %.3f s: %.2fx the copy\n' \
  "$best_stored" "$(calc "$best_stored / $best_copy")"
limit=$(( (package + largest) / 1024 + 2048 ))
printf 'peak memory %s MiB; package + largest entry + 2 MiB = %s MiB: %.2fx (target <= 1)\n' \
  "$(mib $((peak * 1024)))" "$(mib $((limit * 1024)))" "$(calc "$peak / $limit")"
