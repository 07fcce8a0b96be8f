# Shared by the end-to-end scripts: `untested` (set by the script) says what a skip leaves
# untested; a skip is loud and exits 0, a failure exits 1.
me="tests/e2e/$(basename "$0")"
skip() {
  local bar="!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
  printf '%s\n!! SKIPPED: %s: %s\n!! %s was NOT tested on this machine.\n%s\n' \
    "$bar" "$me" "$*" "$untested" "$bar" >&2
  exit 0
}
fail() {
  echo "FAILED: $me: $*" >&2
  exit 1
}
# Skips unless every tool named is installed.
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
}
# Tries a command up to `tries` times, a tenth of a second apart; fails when it never succeeds.
poll() {
  local tries=$1 _
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
