#!/usr/bin/env bash
# The patch benchmark: our patches against bsdiff, zstd -19 --long=31
# --patch-from and xdelta3 -9 on the same pairs of old and new files, in one
# run. The pairs: the generated ones of make_patch_corpus (a game's asset
# archive, a Shift-JIS script) and a real program at two releases from
# Debian's archive (libcrypto.so.3 and libssl.so.3 from libssl3: the
# version bookworm released with and the newest security update), fetched
# with apt-get download and unpacked with dpkg-deb.
#
# For each pair: the patch sizes; the build's wall time and peak memory
# (ours and zstd's alternate, fastest of three each); our apply (the old
# file read where the patch needs it, the new one written in pieces and
# flushed, as the updater does) against a plain copy of the new file with
# the same flushing (cp, then sync of the file), fastest of five
# alternating rounds, and the apply's peak memory; the decoding alone, in
# memory (processor time). Then the whole corpus as one package: `updpack
# create --from` of the new files against the old (its size against the
# smallest peer per file, summed; its build against zstd's builds, summed),
# and the native updater applying it to an installation of the old files
# against a plain copy of the new ones, with its peak memory.
# Not a test: it prints figures and ratios.
# Usage: bench/patch_bench.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-build/native}")
tool=$build/bench/patch_file
for peer in bsdiff zstd xdelta3 dpkg-deb; do
  command -v "$peer" >/dev/null || { echo "patch_bench: $peer is missing (scripts/setup.sh)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/var/tmp}/patch-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

"$build/bench/make_patch_corpus" .
pairs=(assets.pak scenario.txt)
# The release's version of libssl3 and the newest one, as the indices list them.
release=$(apt-cache madison libssl3 | awk -F'|' '$3 ~ /bookworm\/main/ {gsub(/ /, "", $2); print $2; exit}')
newest=$(apt-cache madison libssl3 | awk -F'|' '$3 ~ /security/ {gsub(/ /, "", $2); print $2; exit}')
mkdir debs
if [ -n "$release" ] && [ -n "$newest" ] &&
   (cd debs && apt-get download -q -o APT::Sandbox::User=root "libssl3=$release" "libssl3=$newest" >/dev/null 2>&1); then
  for deb in debs/*.deb; do dpkg-deb -x "$deb" "${deb%.deb}"; done
  lib() { find "debs/libssl3_${1//:/%3a}_"*/ -name "$2" -type f | head -n 1; }
  for name in libcrypto.so.3 libssl.so.3; do
    cp "$(lib "$release" "$name")" "$name.old"
    cp "$(lib "$newest" "$name")" "$name.new"
    pairs+=("$name")
  done
  echo "Debian pair: libssl3 $release -> $newest"
else
  echo "patch_bench: libssl3 could not be fetched; the Debian pairs are left out" >&2
fi

calc() { awk "BEGIN { print ($1) }"; }
min() { calc "$1 < $2 ? $1 : $2"; }
# measure NAME COMMAND...: runs the command under /usr/bin/time; sets
# NAME_wall (seconds) and NAME_rss (KiB).
measure() {
  local name=$1
  shift
  /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>&1 ||
    { echo "patch_bench: failed: $*" >&2; exit 1; }
  read -r wall rss <time.txt
  printf -v "${name}_wall" '%s' "$wall"
  printf -v "${name}_rss" '%s' "$rss"
}
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  calc "$end - $start"
}
copy() { cp "$1" copy.out && sync copy.out; }

rows=()
total_ours=0 total_best=0
for pair in "${pairs[@]}"; do
  old=$pair.old new=$pair.new
  # Building: ours and zstd's alternate; bsdiff and xdelta3 once.
  ours_build=1e9 zstd_build=1e9 ours_build_rss=0 zstd_build_rss=0
  for round in 1 2 3; do
    measure b "$tool" build "$old" "$new" ours.patch
    ours_build=$(min "$b_wall" "$ours_build"); ours_build_rss=$b_rss
    measure b zstd -q -f -19 --long=31 --patch-from="$old" "$new" -o zstd.patch
    zstd_build=$(min "$b_wall" "$zstd_build"); zstd_build_rss=$b_rss
  done
  measure bsdiff bsdiff "$old" "$new" bsdiff.patch
  measure xdelta xdelta3 -9 -f -e -s "$old" "$new" xdelta.patch
  ours=$(( $(stat -c %s ours.patch) - 4 ))  # less the tool's new size field
  zstd=$(stat -c %s zstd.patch) bsd=$(stat -c %s bsdiff.patch) xd=$(stat -c %s xdelta.patch)
  best=$bsd
  for s in "$zstd" "$xd"; do [ "$s" -lt "$best" ] && best=$s; done
  total_ours=$((total_ours + ours)) total_best=$((total_best + best))

  # Applying: ours against a plain copy, alternating.
  "$tool" apply "$old" ours.patch made.out
  cmp -s made.out "$new" || { echo "patch_bench: $pair: the patch makes other bytes" >&2; exit 1; }
  apply=1e9 plain=1e9
  for round in 1 2 3 4 5; do
    apply=$(min "$(seconds "$tool" apply "$old" ours.patch made.out)" "$apply")
    plain=$(min "$(seconds copy "$new")" "$plain")
  done
  measure a "$tool" apply "$old" ours.patch made.out
  decode=$("$tool" decode "$old" ours.patch)
  size=$(stat -c %s "$new") oldsize=$(stat -c %s "$old")
  rows+=("$(printf '%s|%d|%d|%d|%d|%d|%.3f|%.2f|%.2f|%.3f|%d|%d|%d|%d|%d|%.4f|%.4f|%.4f|%d' \
    "$pair" "$size" "$ours" "$bsd" "$zstd" "$xd" "$(calc "$ours / $best")" \
    "$ours_build" "$zstd_build" "$(calc "$ours_build / $zstd_build")" \
    "$ours_build_rss" "$zstd_build_rss" "$bsdiff_rss" "$xdelta_rss" "$oldsize" \
    "$apply" "$plain" "$decode" "$a_rss")")
done

mib() { calc "int($1 / 1024 * 10 + 0.5) / 10"; }
echo
echo "sizes (bytes)             new file       ours     bsdiff   zstd -19    xdelta3  ours/best peer"
for r in "${rows[@]}"; do
  IFS='|' read -r n size ours bsd zstd xd ratio _ <<<"$r"
  printf '%-22s %11d %10d %10d %10d %10d  %6.3f\n' "$n" "$size" "$ours" "$bsd" "$zstd" "$xd" "$ratio"
done
printf '%-22s %11s %10d %10s %10s %10d  %6.3f  (sum of the best peer per file; targets: sum <= 1, each <= 1.25)\n' \
  "total" "" "$total_ours" "" "" "$total_best" "$(calc "$total_ours / $total_best")"
echo
echo "building                  ours s    zstd s  ours/zstd   ours MiB  zstd MiB  bsdiff MiB  xdelta3 MiB  ours/(6 old + 256 MiB)"
for r in "${rows[@]}"; do
  IFS='|' read -r n _ _ _ _ _ _ ob zb br orss zrss brss xrss oldsize _ <<<"$r"
  printf '%-22s %9.2f %9.2f %9.3f %10.1f %9.1f %11.1f %12.1f  %6.3f\n' "$n" "$ob" "$zb" "$br" \
    "$(mib "$orss")" "$(mib "$zrss")" "$(mib "$brss")" "$(mib "$xrss")" \
    "$(calc "$orss / (6 * $oldsize / 1024 + 262144)")"
done
echo "(targets: ours/zstd <= 1, memory ratio <= 1)"
echo
echo "applying                 apply ms   copy ms  apply/copy  decoding ms  peak MiB  patch + 16 MiB  ratio"
for r in "${rows[@]}"; do
  IFS='|' read -r n _ ours _ _ _ _ _ _ _ _ _ _ _ _ apply plain decode arss <<<"$r"
  limit=$(( ours / 1024 + 16384 ))
  printf '%-22s %9.1f %9.1f %10.2f %12.1f %9.1f %15.1f %6.3f\n' "$n" "$(calc "$apply * 1000")" \
    "$(calc "$plain * 1000")" "$(calc "$apply / $plain")" "$(calc "$decode * 1000")" \
    "$(mib "$arss")" "$(mib "$limit")" "$(calc "$arss / $limit")"
done
echo "(targets: apply/copy <= 1.5, peak memory ratio <= 1; the peak is the whole tool's, with the patch read whole)"

# ---- the corpus as one package, applied by the native updater ---------------
updpack=$build/tools/updpack/updpack
updater=$build/src/updater/updater
mkdir olds news inst copy windows tmp
lines=()
zstd_total=0
for i in "${!pairs[@]}"; do
  pair=${pairs[$i]}
  cp "$pair.old" "olds/$pair"
  cp "$pair.new" "news/$pair"
  lines+=("$(printf 'UpdateFile%02d=%s' "$i" "$pair")")
done
for r in "${rows[@]}"; do
  IFS='|' read -r _ _ _ _ _ _ _ _ zb _ <<<"$r"
  zstd_total=$(calc "$zstd_total + $zb")
done
printf '%s\r\n' '[SETUP]' 'CompanyName=Bench Works' 'GameTitle=Bench' \
  'GameClass=BenchWnd' 'GameDir=Bench' '[UPDATE]' "${lines[@]}" >news/UPDATE.INI
printf '%s\r\n' '[SETUP]' 'CompanyName=Bench Works' 'GameTitle=Bench' \
  'GameClass=BenchWnd' 'GameDir=Bench' 'GameExe=Bench.exe' 'UninstExe=Uninst.exe' \
  'SetupBmp=Setup.bmp' 'InstallSelects=1' 'InstallTitle0=Full' \
  'InstallFiles0=Bench.exe' 'Shortcuts=0' >inst-setup.ini
printf '[Software\\Bench Works\\Bench]\nInstPath=%s\nInstMode=1\n' "$work/inst" >registry.ini
# One thread, as zstd's builds above: the time and memory compare per pair.
measure pack "$updpack" create -j1 -o patch.qw3 news --from olds
"$updpack" create -j1 -o patch.qw3 news --from olds >choices.txt
package=$(stat -c %s patch.qw3)
largest_old=$(stat -c %s olds/* | sort -n | tail -1)
new_total=$(du -cb news/* | tail -1 | cut -f1)

# install: the old files as a player has them.
install() {
  rm -rf inst/*
  cp olds/* inst/
  cp inst-setup.ini inst/SETUP.INI
}
# apply: sets `wall` (seconds) and `rss` (the updater's peak, KiB).
apply() {
  install
  local start end
  start=$(date +%s.%N)
  printf 'n\nn\nn\n' | env UPDATER_REGISTRY=$work/registry.ini UPDATER_PACKAGE=$work/patch.qw3 \
    UPDATER_WINDOWS=$work/windows TMPDIR=$work/tmp /usr/bin/time -f '%M' -o time.txt \
    "$updater" >updater.txt 2>&1 || [ $? -eq 1 ] || { echo "patch_bench: updater failed" >&2; cat updater.txt >&2; exit 1; }
  end=$(date +%s.%N)
  for pair in "${pairs[@]}"; do
    cmp -s "news/$pair" "inst/$pair" || { echo "patch_bench: $pair not patched" >&2; cat updater.txt >&2; exit 1; }
  done
  wall=$(calc "$end - $start")
  rss=$(tail -n 1 time.txt)
}
plain_copy() {
  rm -f copy/*
  for pair in "${pairs[@]}"; do
    cp "news/$pair" copy/
    sync "copy/$pair"
  done
  sync copy
}
best_apply=1e9 best_copy=1e9 peak=0
for round in 1 2 3 4 5; do
  apply
  best_apply=$(min "$wall" "$best_apply")
  [ "$rss" -gt "$peak" ] && peak=$rss
  t=$(seconds plain_copy)
  best_copy=$(min "$t" "$best_copy")
done

echo
echo "the corpus as one package (updpack create -j1 --from):"
sed 's/^/  /' choices.txt
printf 'package %d bytes: the patches %d, the rest (UPDATE.INI, directory, records) %d;\n' \
  "$package" "$total_ours" "$((package - total_ours))"
printf '  sum of the smallest peer per file %d: package / best peers %.3f (target <= 1)\n' \
  "$total_best" "$(calc "$package / $total_best")"
printf 'building %.2f s, zstd on every pair %.2f s: %.3f (target <= 1); peak %.1f MiB, ' \
  "$pack_wall" "$zstd_total" "$(calc "$pack_wall / $zstd_total")" "$(mib "$pack_rss")"
printf '6 x largest old + 256 MiB = %.1f MiB: %.3f (target <= 1; the new files are held whole: %.1f MiB)\n' \
  "$(mib $((6 * largest_old / 1024 + 262144)))" \
  "$(calc "$pack_rss / (6 * $largest_old / 1024 + 262144)")" "$(mib $((new_total / 1024)))"
limit=$(( package / 1024 + 16384 ))
printf 'native apply %.3f s, plain copy of the new files %.3f s: %.2fx (target <= 1.5)\n' \
  "$best_apply" "$best_copy" "$(calc "$best_apply / $best_copy")"
printf 'apply peak memory %.1f MiB; package + 16 MiB = %.1f MiB: %.3f (target <= 1)\n' \
  "$(mib "$peak")" "$(mib "$limit")" "$(calc "$peak / $limit")"
