#!/usr/bin/env bash
# Processor time of a steady live session of velunda-filtre, read from /proc/PID/stat over a
# window that starts once the session runs (the card test before it would dominate a short
# run). Each card and delay mode in turn; with VELUNDA_BEFORE, the same session of that other
# build right after each one, so the two are measured side by side.
#   bench/session_cpu.sh [SECONDS]
# VELUNDA_FILTRE_BIN (default build/release/src/velunda-filtre), VELUNDA_BEFORE (another
# velunda-filtre), VELUNDA_CARDS (default "virtuelle pulse"), VELUNDA_MODES (default
# "normale courte"), VELUNDA_ACTION (default "PASSEBAS --coefficients 1000"), VELUNDA_ROUNDS
# (default 1: on a shared machine the figures spread widely, so quote the median of several
# rounds, which run in turn, after and before, and are printed with it).
# The "pulse" card is ALSA's pulse device on a private PulseAudio server with one null sink.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
after=${VELUNDA_FILTRE_BIN:-build/release/src/velunda-filtre}
before=${VELUNDA_BEFORE:-}
cards=${VELUNDA_CARDS:-virtuelle pulse}
modes=${VELUNDA_MODES:-normale courte}
rounds=${VELUNDA_ROUNDS:-1}
read -r -a action <<<"${VELUNDA_ACTION:-PASSEBAS --coefficients 1000}"
[ -x "$after" ] || { echo "session_cpu: $after is missing (cmake --build --preset release)" >&2; exit 1; }

root=$(pwd)
work=$(mktemp -d)
server=""
session=""
cleanup() {
  [ -n "$session" ] && kill "$session" 2>/dev/null && wait "$session" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_pulse() {
  mkdir -p "$work/home" "$work/xdg"
  chmod 700 "$work/xdg"
  export HOME="$work/home" XDG_RUNTIME_DIR="$work/xdg"
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  printf 'autospawn = no\n' >"$work/client.conf"
  export PULSE_CLIENTCONFIG="$work/client.conf"
  unset DBUS_SESSION_BUS_ADDRESS PULSE_SINK PULSE_SOURCE
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L module-native-protocol-unix -L "module-null-sink sink_name=banc format=u8 rate=8000 channels=1" \
    >"$work/pulseaudio.log" 2>&1 &
  server=$!
  for _ in $(seq 150); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { echo "session_cpu: PulseAudio did not start" >&2; exit 1; }
  pactl set-default-sink banc
  pactl set-default-source banc.monitor
}

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# One session: prints its processor time over the window, in ms and in % of one core.
measure() {
  local program=$1 card=$2 mode=$3 log="$work/session.log"
  local name=$card
  [ "$card" = virtuelle ] && name="virtuelle:$root/data/demo/recepteur.wav:$work/out.wav"
  "$program" "${action[@]}" --carte "$name" --latence "$mode" --duree $((seconds + 30)) \
    </dev/null >"$log" 2>&1 &
  session=$!
  for _ in $(seq 300); do
    grep -q "en marche" "$log" && break
    sleep 0.1
  done
  grep -q "en marche" "$log" || { cat "$log" >&2; echo "session_cpu: no session" >&2; exit 1; }
  sleep 2
  local t0 t1
  t0=$(ticks "$session")
  sleep "$seconds"
  t1=$(ticks "$session")
  kill "$session"
  wait "$session" 2>/dev/null || true
  session=""
  awk -v t=$((t1 - t0)) -v hz="$hz" -v s="$seconds" 'BEGIN {
    printf "%6.0f ms  %5.2f %%", t * 1000 / hz, t * 100 / hz / s }'
}

case " $cards " in *" pulse "*) start_pulse ;; esac
echo "Processor time of a steady session over $seconds s: ${action[*]} (load: $(cut -d' ' -f1-3 /proc/loadavg))"
# The median of the percentages in "ms  % ..." figures, one per line.
median() { awk '{ print $3 }' | sort -n | awk '{ v[NR] = $1 } END {
  printf "%5.2f %%", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for card in $cards; do
  for mode in $modes; do
    : >"$work/after" && : >"$work/before"
    for round in $(seq "$rounds"); do
      measure "$after" "$card" "$mode" >>"$work/after" && echo >>"$work/after"
      line=$(printf '%-9s %-7s  after: %s' "$card" "$mode" "$(tail -n 1 "$work/after")")
      if [ -n "$before" ]; then
        measure "$before" "$card" "$mode" >>"$work/before" && echo >>"$work/before"
        line="$line   before: $(tail -n 1 "$work/before")"
      fi
      [ "$rounds" -gt 1 ] && line="$line   (round $round)"
      echo "$line"
    done
    if [ "$rounds" -gt 1 ]; then
      line=$(printf '%-9s %-7s  median after: %s' "$card" "$mode" "$(median <"$work/after")")
      [ -n "$before" ] && line="$line   before: $(median <"$work/before")"
      echo "$line"
    fi
  done
done
echo "(load at the end: $(cut -d' ' -f1-3 /proc/loadavg))"
