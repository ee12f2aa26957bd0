#!/usr/bin/env bash
# Every Wine tier, after `cmake --preset win32 && cmake --build --preset
# win32`: the unit tests, the dialog host, the resources, DLL planting, the
# real updater end to end, copies from a CD-ROM drive, updpack and the
# updaters it builds, the integrity check of damaged updaters, signed
# updaters, the icon, version record, DPI layout and private UPDATE.INI of
# a branded updater, the INI reader against Windows' own, and the updater
# on a system whose code page is 1252. Runs them all and fails if any failed.
cd "$(dirname "$0")/.."
tiers=(
  scripts/test-wine-unit.sh
  scripts/test-wine-dialog.sh
  scripts/test-wine-resources.sh
  scripts/test-wine-dll.sh
  scripts/test-wine-e2e.sh
  tests/wine/media_e2e.sh
  scripts/test-wine-updpack.sh
  tests/wine/embed_e2e.sh
  tests/wine/integrity_e2e.sh
  tests/wine/signing_e2e.sh
  tests/wine/branding_e2e.sh
  tests/wine/ini_diff.sh
  tests/wine/codepage_e2e.sh
)
failed=()
for tier in "${tiers[@]}"; do
  echo "== $tier"
  start=$SECONDS
  bash "$tier" || failed+=("$tier")
  echo "== $tier: $((SECONDS - start)) s"
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test-wine-all: failed: ${failed[*]}" >&2
  exit 1
fi
echo "test-wine-all: all ${#tiers[@]} tiers passed"
