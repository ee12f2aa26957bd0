#!/usr/bin/env bash
# Runs every test tier: unit and program tests natively, the same under
# ASan + UBSan, a short libFuzzer run of every fuzz target, and the Windows
# build under Wine (unit tests, INI differential test, end-to-end runs), after
# checking that the stub builds to the same bytes in another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=2
fuzz_seconds=${FUZZ_SECONDS:-20}

step() { printf '\n==== %s ====\n' "$*"; }

bash scripts/setup.sh

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"

step "asan build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

step "fuzz smoke runs (${fuzz_seconds}s each)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "-- $name"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done

step "win32 build and tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
# The stub's limit is a property of the build: checked wherever it is made.
stub_size=$(stat -c %s build/win32/src/updater/updater.exe)
echo "updater.exe: $stub_size bytes (limit 65536)"
[ "$stub_size" -lt 65536 ] || { echo "test: updater.exe is 64 KiB or more" >&2; exit 1; }
bash scripts/test-reproducible.sh
if bash scripts/can-run-i386.sh; then
  bash scripts/test-wine-all.sh
else
  echo "test: THE WINDOWS TIERS DID NOT RUN: this machine cannot execute 32-bit x86" >&2
  echo "test: programs (its kernel runs 64-bit ones only), so Wine cannot start." >&2
  echo "test: The Windows build was made and checked for reproducibility only." >&2
fi

step "all tiers passed"
