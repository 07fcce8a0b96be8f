#!/usr/bin/env bash
# velunda-filtre's 1000-tap low-pass against sox's 1000-tap sinc on the same hour of 8000 Hz
# audio, side by side in one run.
#
#   bench/compare_sox.sh [RUNS]
#
# Each round runs every command once, in the same order, so that a change of load on the
# machine weighs on all of them alike; the table gives the median CPU time (user + system)
# of each over RUNS rounds (5 by default). The pass-throughs (sox copying the file,
# velunda-filtre with the filter off) show what reading and writing cost on their own.
# With valgrind installed, the instruction counts of one run of each command on a shorter
# file follow (CALLGRIND_SECONDS, 360 by default; 0 to skip): they do not depend on the load.
#
# Environment:
#   VELUNDA_FILTRE   the program to measure (default build/release/src/velunda-filtre)
#   VELUNDA_BEFORE   another velunda-filtre to measure beside it (an older build), filtering
#                    and passing through; its outputs must be byte for byte the same
#   SECONDS_OF_AUDIO length of the file (default 3600)
#   WORK             directory for the files (default: a temporary one, removed at the end)
set -euo pipefail

runs=${1:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
filtre=${VELUNDA_FILTRE:-$here/build/release/src/velunda-filtre}
before=${VELUNDA_BEFORE:-}
duration=${SECONDS_OF_AUDIO:-3600}
callgrind_seconds=${CALLGRIND_SECONDS:-360}

for tool in sox "$filtre" ${before:+"$before"}; do
  if ! command -v "$tool" >/dev/null; then
    echo "compare_sox: $tool not found (build the release preset, install sox)" >&2
    exit 1
  fi
done

if [[ -n ${WORK:-} ]]; then
  work=$WORK
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

# Speech-band noise with a few tones, unsigned 8-bit mono: what a receiver gives.
make_input() {
  sox -q -n -r 8000 -c 1 -b 8 -e unsigned-integer "$2" \
    synth "$1" pinknoise sine 700 sine 1500 sine 2900 remix 1-4 gain -n -1
}

# Name, then the command; the input is $in, the output $out.<name>.wav.
commands=(
  "velunda-filtre PASSEBAS 1000 coefficients|$filtre PASSEBAS --coefficients 1000 @in @out"
  "sox sinc -n 1000 -1000|sox @in @out sinc -n 1000 -1000"
  "velunda-filtre, filter off|$filtre PASSEBAS --coupure sans --coefficients 1000 @in @out"
  "sox copy|sox @in @out"
)
# Pairs of commands whose outputs must be identical: "index index".
same=()
if [[ -n $before ]]; then
  commands=("velunda-filtre before, 1000 coefficients|$before PASSEBAS --coefficients 1000 @in @out"
    "${commands[@]:0:2}"
    "velunda-filtre before, filter off|$before PASSEBAS --coupure sans --coefficients 1000 @in @out"
    "${commands[@]:2}")
  same=("0 1" "3 4")
fi

# Prints the CPU seconds (user + system) one command took.
cpu_seconds() {
  local cmd=$1 in=$2 out=$3 t
  cmd=${cmd//@in/$in}
  cmd=${cmd//@out/$out}
  t=$( { TIMEFORMAT='%U %S'; time $cmd >/dev/null 2>&1; } 2>&1 )
  awk '{ printf "%.3f\n", $1 + $2 }' <<<"$t"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

in=$work/in.wav
make_input "$duration" "$in"
echo "Input: $duration s of 8000 Hz unsigned 8-bit mono, $(stat -c %s "$in") bytes"
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Load at start: $(cut -d' ' -f1-3 /proc/loadavg)"

declare -A times
for ((round = 1; round <= runs; round++)); do
  for i in "${!commands[@]}"; do
    IFS='|' read -r name cmd <<<"${commands[$i]}"
    times[$i]+="$(cpu_seconds "$cmd" "$in" "$work/out.$i.wav") "
  done
done
echo "Load at end:   $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '%-44s %10s   %s\n' "command ($runs interleaved rounds)" "median s" "all runs (CPU s)"
for i in "${!commands[@]}"; do
  IFS='|' read -r name cmd <<<"${commands[$i]}"
  m=$(tr ' ' '\n' <<<"${times[$i]}" | grep . | median)
  printf '%-44s %10.3f   %s\n' "$name" "$m" "${times[$i]}"
done

for pair in "${same[@]}"; do
  read -r a b <<<"$pair"
  IFS='|' read -r name _ <<<"${commands[$b]}"
  if cmp -s "$work/out.$a.wav" "$work/out.$b.wav"; then
    echo "Outputs of both velunda-filtre builds ($name): identical"
  else
    echo "Outputs of both velunda-filtre builds ($name): DIFFERENT" >&2
    exit 1
  fi
done

if [[ $callgrind_seconds -gt 0 ]] && command -v valgrind >/dev/null; then
  short=$work/short.wav
  make_input "$callgrind_seconds" "$short"
  echo
  printf '%-44s %16s\n' "instructions on $callgrind_seconds s (callgrind)" "instructions"
  for i in "${!commands[@]}"; do
    IFS='|' read -r name cmd <<<"${commands[$i]}"
    cmd=${cmd//@in/$short}
    cmd=${cmd//@out/$work/short.$i.wav}
    n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null $cmd 2>&1 >/dev/null |
      sed -n 's/.*Collected : *\([0-9]*\).*/\1/p')
    printf '%-44s %16s\n' "$name" "$n"
  done
fi
