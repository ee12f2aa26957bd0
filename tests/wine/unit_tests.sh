#!/usr/bin/env bash
# The unit tests built for Windows (cmake --preset win32 && cmake --build
# --preset win32), run under Wine with the Japanese code page and a folder
# mapped as CD-ROM drive E:.
set -euo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

tests=$UPD_WIN32_BUILD/tests/unit/unit_tests.exe
upd_require "$tests" "$UPD_AUTOMATE"

# Everything the tests see as Shift-JIS depends on code page 932.
acp=$(echo acp | wine "$UPD_AUTOMATE" | tr -d '\r')
[ "$acp" = "ok 932" ] || { echo "unit_tests: code page is '$acp', not 932" >&2; exit 1; }

disc=$UPD_ROOT/build/wine-cdrom-unit
mkdir -p "$disc"
upd_wine_map_cdrom e "$disc"
UPD_TEST_CDROM=E: wine "$tests" "$@"
