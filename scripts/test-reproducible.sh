#!/usr/bin/env bash
# The updater stub built a second time from the same sources, in a copy at
# another path, must be byte for byte the stub of build/win32: no build
# folder and no link time may get into it. Run after the win32 build; only
# the updater target is built again.
set -euo pipefail
cd "$(dirname "$0")/.."
first=$PWD/build/win32/src/updater/updater.exe
[ -f "$first" ] || { echo "test-reproducible: $first is not built" >&2; exit 1; }
copy=$(mktemp -d /tmp/upd-reproducible.XXXXXX)
trap 'rm -rf "$copy"' EXIT
tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$copy"
(cd "$copy" && cmake --preset win32 >/dev/null && cmake --build --preset win32 -j2 --target updater >/dev/null)
second=$copy/build/win32/src/updater/updater.exe
if cmp "$first" "$second"; then
  echo "test-reproducible: updater.exe built in $copy is the same $(stat -c %s "$first") bytes"
else
  echo "test-reproducible: updater.exe differs when built in another folder" >&2
  exit 1
fi
