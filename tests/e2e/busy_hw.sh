#!/usr/bin/env bash
# A sound card held by another program: with arecord capturing from the first hardware
# device, velunda-filtre live on the same device must end with the message for an input used
# by another application, not "no sound card". Skipped loudly where the machine has no
# hardware sound device. VELUNDA_FILTRE_BIN points it at another build (default: build/debug).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib.sh

filtre=${VELUNDA_FILTRE_BIN:-build/debug/src/velunda-filtre}

untested="A card held by another program, on real hardware,"

[ -x "$filtre" ] || fail "$filtre is missing (build the debug preset first)"
need arecord
line=$(arecord -l 2>/dev/null | grep -m1 -E '^card [0-9]+: .*device [0-9]+:' || true)
[ -n "$line" ] || skip "no hardware capture device"
card=$(sed -E 's/^card ([0-9]+):.*/\1/' <<<"$line")
device=$(sed -E 's/.*device ([0-9]+):.*/\1/' <<<"$line")
name="plughw:$card,$device"

arecord -q -D "$name" -f S16_LE -c 1 -r 8000 -d 20 /dev/null &
holder=$!
trap 'kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true' EXIT
sleep 1
kill -0 "$holder" 2>/dev/null || skip "arecord could not hold $name"

status=0
err=$("$filtre" PASSEBAS --carte "$name" --duree 1 2>&1 >/dev/null </dev/null) || status=$?
[ "$status" = 1 ] || fail "status $status, expected 1: $err"
grep -q "entrée carte son utilisée par une autre application" <<<"$err" ||
  fail "expected the in-use message, got: $err"
echo "tests/e2e/busy_hw.sh: $name held by arecord is named as in use"
