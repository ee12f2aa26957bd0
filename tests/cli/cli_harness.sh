# Sourced by the command line tests: a temporary folder to work in, and
# `expect` / `fail` that count failures. The caller sets UPDPACK first.
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
export TZ=UTC
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect CODE DESCRIPTION COMMAND...: the command exits with CODE; its
# stdout and stderr are kept in out.txt and err.txt.
expect() {
  local code=$1 what=$2
  shift 2
  "$@" >out.txt 2>err.txt
  local got=$?
  sed -i 's/\r$//' out.txt err.txt  # a Windows build ends its lines in CRLF
  [ "$got" -eq "$code" ] || fail "$what: exit $got, expected $code: $(cat err.txt)"
}
