#!/usr/bin/env bash
# Every Wine tier (tests/wine/), after `cmake --preset win32 && cmake
# --build --preset win32`: the unit tests, the dialog host, the resources,
# DLL planting, the real updater end to end, copies from a CD-ROM drive,
# updpack and the updaters it builds, the integrity check of damaged
# updaters, patch updaters, signed updaters, the icon, version record, DPI
# layout and private UPDATE.INI of a branded updater, the INI reader against Windows'
# own, and the updater on a system whose code page is 1252. Runs them all
# and fails if any failed.
#
#   scripts/test-wine-all.sh [TIER...]   only these, named as in tests/wine
#                                        (updater_e2e, media_e2e, ...)
cd "$(dirname "$0")/.." || exit 1
tiers=(
  unit_tests
  dialog_host
  resources
  dll_planting
  updater_e2e
  media_e2e
  updpack_cli
  embed_e2e
  integrity_e2e
  patch_e2e
  signing_e2e
  branding_e2e
  ini_diff
  codepage_e2e
)
[ $# -eq 0 ] || tiers=("$@")
failed=()
for tier in "${tiers[@]}"; do
  tier=${tier##*/}
  tier=${tier%.sh}
  script=tests/wine/$tier.sh
  echo "== $script"
  start=$SECONDS
  bash "$script" || failed+=("$tier")
  echo "== $script: $((SECONDS - start)) s"
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "test-wine-all: failed: ${failed[*]}" >&2
  exit 1
fi
echo "test-wine-all: all ${#tiers[@]} tiers passed"
