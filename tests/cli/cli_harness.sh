# Sourced by the command line tests: their arguments, a temporary folder to
# work in, and `expect` / `fail` that count failures.
#
# The caller names its arguments in CLI_ARGUMENTS, such as "UPDPACK
# MAKE_TEST_STUB ICON"; any words before them are a runner (wine, say).
# Each argument becomes an absolute path in ARGS, in that order; UPDPACK
# and MAKE_STUB are the first two run through the runner.
read -ra CLI_NAMES <<<"$CLI_ARGUMENTS"
CLI_COUNT=${#CLI_NAMES[@]}
[ $# -ge "$CLI_COUNT" ] || { echo "usage: $0 [RUNNER...] $CLI_ARGUMENTS" >&2; exit 2; }
RUNNER=("${@:1:$#-CLI_COUNT}")
ARGS=()
for argument in "${@:$#-CLI_COUNT+1}"; do ARGS+=("$(realpath "$argument")"); done
UPDPACK=("${RUNNER[@]}" "${ARGS[0]}")
[ "$CLI_COUNT" -lt 2 ] || MAKE_STUB=("${RUNNER[@]}" "${ARGS[1]}")

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
