#!/usr/bin/env bash
# Every Wine tier, after `cmake --preset win32 && cmake --build --preset
# win32`: the unit tests, the dialog host, the resources, DLL planting and
# the real updater end to end. Runs them all and fails if any failed.
here=$(dirname "$0")
failed=()
for tier in unit dialog resources dll e2e; do
  echo "== test-wine-$tier"
  "$here/test-wine-$tier.sh" || failed+=("$tier")
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test-wine-all: failed: ${failed[*]}" >&2
  exit 1
fi
echo "test-wine-all: all passed"
