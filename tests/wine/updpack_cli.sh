#!/usr/bin/env bash
# updpack built for Windows, under Wine: the PE resource tests and the
# command-line tests (create, list, verify, ini, check, build, embed), the
# latter through the Windows profile reader.
set -euo pipefail
. "$(dirname "$0")/../../scripts/wine-env.sh"

tests=$UPD_WIN32_BUILD/tests/embed/embed_tests.exe
upd_require "$tests" "$UPD_WIN32_BUILD/tools/updpack/updpack.exe"
wine "$tests"
ctest --test-dir "$UPD_WIN32_BUILD" -R '^updpack_' --output-on-failure
