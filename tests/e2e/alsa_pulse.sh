#!/usr/bin/env bash
# velunda-filtre live on ALSA, through a private PulseAudio server with two 8000 Hz mono u8
# sinks: the receiver (its monitor is the default source) and the loudspeaker (the default
# sink). Both are remapped onto the two channels of one stereo null sink, so a single
# recording holds what went in and what came out on one time base.
#  1. transport, in each delay mode (--latence normale, then courte): the low-pass at "sans"
#     must give back the played bytes exactly, aligned by their first non-silent sample, with
#     no gap and no repeated or missing sample; the capture-to-loudspeaker delay is reported.
#     Each session is held still once for longer than its playback keeps ahead: the silence
#     that comes in must be clean, the sound after it late but whole. Should the player itself
#     lose samples (a loaded machine), the loudspeaker is compared with what the receiver got
#     instead;
#  2. a real filter by its effect: the low-pass at 1000 Hz keeps 400 Hz and removes 2500 Hz.
#  0. the server as the mixer: the window, on settings that let it drive the mixer (gain x4),
#     sets the default source's volume, and puts it back when it quits; velunda-filtre's table
#     of the mixer finds every line it looks for (no "PROBLÈME MIXER").
# When the server cannot start here, the test says so loudly and is skipped.
# VELUNDA_FILTRE_BIN, VELUNDA_BIN and VELUNDA_E2E_DIR point it at another build (default:
# build/debug).
# For a long measurement: VELUNDA_E2E_SECONDS (length of the transport signal, default 3),
# VELUNDA_E2E_MODES (default "normale courte"), VELUNDA_E2E_BUSY=1 (one busy loop per core
# during the transport sessions), VELUNDA_E2E_ONLY_TRANSPORT=1 (skip step 2).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib.sh

filtre=${VELUNDA_FILTRE_BIN:-build/debug/src/velunda-filtre}
velunda=${VELUNDA_BIN:-build/debug/src/ui/velunda}
work=${VELUNDA_E2E_DIR:-build/debug/e2e-pulse}
rate=8000
seconds=${VELUNDA_E2E_SECONDS:-3}
modes=${VELUNDA_E2E_MODES:-normale courte}
block=$((rate / 3))

untested="The live mode on ALSA"

[ -x "$filtre" ] || fail "$filtre is missing (build the debug preset first)"
[ -x "$velunda" ] || fail "$velunda is missing (build the debug preset first)"
need pulseaudio pactl pacat parecord od awk

pids=()     # the server and the keep-alive clients
running=()  # the session and recorder of the moment, until waited for
stall=""    # how long live_session holds the session still, if at all
busy=()     # the busy loops of VELUNDA_E2E_BUSY
cleanup() {
  # Clients first, the server (pids[0]) last, so no client reports a lost connection.
  local p clients=("${busy[@]}" "${running[@]}" "${pids[@]:1}")
  for p in "${clients[@]}"; do
    kill "$p" 2>/dev/null || true
    kill -CONT "$p" 2>/dev/null || true  # a session held still ends only once let go
  done
  for p in "${clients[@]}"; do
    wait "$p" 2>/dev/null || true
  done
  for p in "${pids[@]:0:1}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work/home" "$work/xdg"
chmod 700 "$work/xdg"
work=$(cd "$work" && pwd)
export HOME="$work/home" XDG_RUNTIME_DIR="$work/xdg"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
printf 'autospawn = no\n' >"$work/client.conf"
export PULSE_CLIENTCONFIG="$work/client.conf"
unset DBUS_SESSION_BUS_ADDRESS PULSE_SINK PULSE_SOURCE

u8="format=u8 rate=$rate"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
  -L module-native-protocol-unix \
  -L "module-null-sink sink_name=mesure channels=2 $u8" \
  -L "module-remap-sink sink_name=recepteur master=mesure channels=1 channel_map=mono master_channel_map=front-left remix=no $u8" \
  -L "module-remap-sink sink_name=hautparleur master=mesure channels=1 channel_map=mono master_channel_map=front-right remix=no $u8" \
  >"$work/pulseaudio.log" 2>&1 &
pids+=($!)
if ! poll 150 pactl info >/dev/null 2>&1; then
  tail -5 "$work/pulseaudio.log" >&2 || true
  skip "the private PulseAudio server did not start"
fi
pactl set-default-sink hautparleur
pactl set-default-source recepteur.monitor

raw=(--raw --format=u8 --rate="$rate" --latency-msec=20)
# A null sink without a client answers its first one late and in a burst: keep one attached.
for source in recepteur.monitor hautparleur.monitor; do
  parecord "${raw[@]}" --channels=1 --device="$source" >/dev/null &
  pids+=($!)
done

# Bytes of a file as decimal numbers, one per line.
bytes() { od -An -v -tu1 -w1 "$1"; }

# Writes a 0.5 s lead of silence (so the stream's own start-up cannot touch the signal), then
# `seconds` of the signal: "noise" (a fixed pseudo-random sequence) or "tone F".
make_signal() {
  awk -v rate="$rate" -v kind="$1" -v freq="${2:-0}" -v seconds="$3" 'BEGIN {
    for (i = 0; i < rate / 2; i++) printf "%c", 128
    x = 12345
    for (i = 0; i < rate * seconds; i++) {
      if (kind == "noise") {
        x = (x * 1103515245 + 12345) % 2147483648
        v = 40 + int(x / 2147483648 * 176)
        if (i == 0) v = 200
      } else {
        v = 128 + int(90 * sin(6.283185307179586 * freq * i / rate))
      }
      printf "%c", v
    }
  }' >"$4"
}

# Runs one live session of `seconds` while `signal` is played into the receiver; the stereo
# recording of both sinks goes to `record`.
live_session() {
  local seconds=$1 signal=$2 record=$3 log=$4
  shift 4
  parecord "${raw[@]}" --channels=2 --device=mesure.monitor "$record" &
  local recorder=$!
  "$filtre" "$@" --carte pulse --duree "$seconds" </dev/null >"$log" 2>&1 &
  local session=$!
  running=("$recorder" "$session")
  started() { grep -q "en marche" "$log" || ! kill -0 "$session" 2>/dev/null; }
  poll 300 started || true
  grep -q "en marche" "$log" || { cat "$log" >&2; fail "the live session did not start"; }
  sleep 0.5
  local holder=""
  if [ -n "$stall" ]; then
    # The whole session held still once, 1.5 s into the signal, as a loaded machine may do.
    (sleep 1.5; kill -STOP "$session"; sleep "$stall"; kill -CONT "$session") &
    holder=$!
    running+=("$holder")
  fi
  # The player gets a second of buffer: with 20 ms it starved hundreds of times in ten loaded
  # minutes, and the server's rewriting of its gaps blurred what the session itself did.
  pacat --raw --format=u8 --rate="$rate" --latency-msec=1000 --channels=1 --device=recepteur \
    "$signal"
  [ -z "$holder" ] || wait "$holder"
  local status=0
  wait "$session" || status=$?
  sleep 0.3
  kill "$recorder"
  wait "$recorder" 2>/dev/null || true
  running=()
  cat "$log"
  [ "$status" -eq 0 ] || fail "velunda-filtre ended with status $status"
}

export LC_ALL=C

# 0. The server as the mixer. Settings: gain x4 (byte 1), left line (byte 4), the program
# adjusts the mixer (byte 6).
source_volume() {
  pactl get-source-volume recepteur.monitor | sed -n 's|^Volume:[^/]*/ *\([0-9]*\)%.*|\1|p'
}
pactl set-source-volume recepteur.monitor 40%
printf ' \004  \001 \001' >"$work/reglages.ser"
"$filtre" --table-de-mixage --carte pulse --config "$work/reglages.ser" >"$work/table.txt" 2>&1
grep -q "^Message au démarrage : aucun$" "$work/table.txt" ||
  { cat "$work/table.txt" >&2; fail "the sound server's mixer table lacks a line"; }
QT_QPA_PLATFORM=offscreen "$velunda" --carte pulse --config "$work/reglages.ser" \
  >"$work/velunda.log" 2>&1 &
running=($!)
gain_set() { [ "$(source_volume)" = 159 ]; }
poll 300 gain_set || { cat "$work/velunda.log" >&2; fail "gain x4: the source is at $(source_volume)%, not 159%"; }
kill -TERM "${running[0]}"
wait "${running[0]}" || fail "velunda ended with status $? on SIGTERM"
running=()
[ "$(source_volume)" = 40 ] || fail "after Quit the source is at $(source_volume)%, not back at 40%"
echo "mixer: gain x4 set the source to 159%, put back to 40% at Quit"
pactl set-source-volume recepteur.monitor 100%  # the transport below wants every byte

# 1. Transport, byte for byte, and the delay, in each mode. Streamed through files of one
# number a line, so a long run does not need the whole recording in memory.
make_signal noise 0 "$seconds" "$work/noise.u8"
tail -c +$((rate / 2 + 1)) "$work/noise.u8" | od -An -v -tu1 -w1 | awk '{ print $1 + 0 }' \
  >"$work/noise_signal.txt"
n=$(wc -l <"$work/noise_signal.txt")
# Each session is held still once for longer than its playback keeps ahead (normal: 120 ms;
# short: the 24 ms lead and a block), so the sound server runs dry: the sound must then come
# later, with nothing lost or repeated.
stall_of() { [ "$1" = courte ] && echo 0.08 || echo 0.25; }
for mode in $modes; do
  stall=$(stall_of "$mode")
  if [ "${VELUNDA_E2E_BUSY:-0}" = 1 ]; then
    for _ in 1 2; do
      (while :; do :; done) &
      busy+=($!)
    done
  fi
  live_session $((seconds + 5)) "$work/noise.u8" "$work/transport_$mode.u8" \
    "$work/transport_$mode.log" PASSEBAS --coupure sans --latence "$mode"
  for p in "${busy[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  busy=()
  stall=""
  # The block length the session reports ("..., blocs de N.").
  mode_block=$(sed -n 's/.*blocs de \([0-9]*\)\..*/\1/p' "$work/transport_$mode.log")
  [ -n "$mode_block" ] || fail "transport $mode: no block length in the session's log"
  bytes "$work/transport_$mode.u8" | awk -v l="$work/left.txt" -v r="$work/right.txt" '
    NR % 2 == 1 { print $1 + 0 >l; next }
    { print $1 + 0 >r }'
  # The first non-silent sample of each channel, counted from 0.
  first() { awk '$1 != 128 { print NR - 1; found = 1; exit } END { if (!found) print -1 }' "$1"; }
  fl=$(first "$work/left.txt")
  fr=$(first "$work/right.txt")
  [ "$fl" -ge 0 ] || fail "transport $mode: the receiver got nothing"
  [ "$fr" -ge 0 ] || fail "transport $mode: the loudspeaker stayed silent"
  # Lines from+1 .. from+n of a file (read to its end: no broken pipe).
  window() { awk -v a="$2" -v n="$n" 'NR > a && NR <= a + n' "$1"; }
  window "$work/left.txt" "$fl" >"$work/receiver.txt"
  player_lost=0
  rewritten=""
  if ! cmp -s "$work/receiver.txt" "$work/noise_signal.txt"; then
    player_lost=1
    # The player itself lost samples (a starved pacat on a loaded machine): the sound card then
    # captured that gap too, so the loudspeaker is compared with what the receiver really got.
    echo "transport $mode: note: the player lost samples under load; comparing with the receiver"
  fi
  # Should the machine hold the session back until the sound system is about to run dry,
  # silence fills in and the rest comes that much later: nothing is lost or repeated. Each such
  # run of silence (1 ms at least) after which the loudspeaker goes on exactly where the
  # receiver is, is taken out and counted; anything else is left for the comparison below.
  : >"$work/inserted.txt"  # awk writes it only when it finds a silence: none from the last mode
  awk -v a="$fr" -v n="$n" -v speaker="$work/right.txt" -v gaps="$work/inserted.txt" '
    function next_sample() { if ((getline v < speaker) <= 0) { done = 1; return -1 } return v + 0 }
    BEGIN { for (i = 0; i < a; i++) getline v < speaker; s = next_sample() }
    done { exit }
    { x = $1 + 0 }
    raw || s == x { print s; s = next_sample(); next }
    s == 128 {
      g = 0
      while (s == 128 && !done) { g++; s = next_sample() }
      if (g >= 8 && s == x) { print NR - 1, g >gaps; print s; s = next_sample(); next }
      for (i = 0; i < g; i++) print 128
    }
    { raw = 1; print s; s = next_sample() }' "$work/receiver.txt" >"$work/speaker.txt"
  read -r inserted inserted_samples first_inserted <<<"$(awk '{ k++; t += $2 } NR == 1 { f = $1 }
    END { print k + 0, t + 0, f + 0 }' "$work/inserted.txt")"
  got=$(cat "$work/speaker.txt" | wc -l)
  [ "$got" -eq "$n" ] || fail "transport $mode: the loudspeaker is out of step ($got bytes for the $n played)"
  # Differing bytes: a missing or repeated sample shifts everything after it.
  bad=$(cat "$work/speaker.txt" | paste - "$work/receiver.txt" |
    awk -v block="$mode_block" '$1 != $2 { if (!bad) first = NR - 1; bad++ }
      END { if (bad) printf "%d of the bytes differ, first at byte %d (block %d)", bad, first, int(first / block) }')
  if [ -n "$bad" ] && [ "$player_lost" = 1 ]; then
    # Where the starved player left a gap, the sound server rewrites what it had already mixed
    # once the late sound comes: the session captured the first version, the recording holds
    # the second. Such a rewrite changes a few bytes in place; a sample the session lost or
    # repeated would shift everything after it, and on noise nearly every later byte would
    # differ. So the differences are taken as places (runs of differing bytes less than 8 ms
    # apart): each must lie within 50 ms of a gap the player left, or be at most 50 ms long with
    # the stream back in step after it.
    awk '$1 == 128 { if (!run) s = NR; run++; next }
      { if (run >= 8) print s, NR - 1; run = 0 }
      END { if (run >= 8) print s, NR }' "$work/receiver.txt" >"$work/gaps.txt"
    verdict=$(cat "$work/speaker.txt" | paste - "$work/receiver.txt" |
      awk -v margin=$((rate / 20)) -v apart=$((rate / 125)) -v gaps="$work/gaps.txt" '
        BEGIN { while ((getline line < gaps) > 0) { split(line, g, " "); n++; a[n] = g[1] - margin; b[n] = g[2] + margin } }
        function close_place() {
          if (!from) return
          places++
          k = 1; while (k <= n && b[k] < from) k++
          if (k <= n && a[k] <= from && to <= b[k]) { beside++ }
          else if (to - from < margin) { elsewhere++; if (to - from + 1 > longest) longest = to - from + 1 }
          else { shifted++; if (!first_shift) first_shift = from - 1 }
          from = 0
        }
        $1 != $2 { if (from && NR - to > apart) close_place(); if (!from) from = NR; to = NR }
        END { close_place(); printf "%d %d %d %d %d\n", places, beside, elsewhere, longest, shifted ? first_shift : -1 }')
    read -r places beside elsewhere longest shift_at <<<"$verdict"
    if [ "$shift_at" -lt 0 ]; then
      where="$beside beside the $(wc -l <"$work/gaps.txt") gaps the player left"
      [ "$elsewhere" -eq 0 ] || where="$where, $elsewhere elsewhere (at most $longest bytes each)"
      echo "transport $mode: note: $bad, in $places places rewritten by the server: $where"
      rewritten=" ($places places rewritten by the sound server)"
      bad=""
    else
      bad="$bad; the stream is out of step from byte $shift_at (block $((shift_at / mode_block)))"
    fi
  fi
  [ -z "$bad" ] || fail "transport $mode: loudspeaker: $bad"
  d=$((fr - fl))
  [ "$inserted" -gt 0 ] || fail "transport $mode: held still, the session inserted no silence"
  awk -v k="$inserted" -v t="$inserted_samples" -v f="$first_inserted" -v d="$d" -v rate="$rate" -v mode="$mode" 'BEGIN {
    printf "transport %s: %d silences inserted, %.1f ms in all, the first at %.1f s: the delay went from %.1f to %.1f ms\n", mode, k, t * 1000 / rate, f / rate, d * 1000 / rate, (d + t) * 1000 / rate }'
  # The short mode's aim: a delay nobody hears (two 16 ms blocks and the back-end's lead, about
  # 57 ms). A sound server that runs dry at the start can add tens of ms on a loaded machine:
  # that is said; past 150 ms at the start, or 150 ms and the stall at the end, the short mode is
  # broken (its old blocks gave 185 ms).
  if [ "$mode" = courte ]; then
    [ $((d + inserted_samples)) -le $((rate * (150 + 80) / 1000)) ] ||
      fail "transport courte: delay $((d + inserted_samples)) samples at the end, over 150 ms and the stall"
    [ "$d" -le $((rate * 60 / 1000)) ] ||
      echo "transport courte: delay over 60 ms this time (the sound server ran dry at the start?)"
  fi
  awk -v d="$d" -v n="$n" -v rate="$rate" -v block="$mode_block" -v mode="$mode" -v rewritten="$rewritten" -v inserted="$inserted" 'BEGIN {
    printf "transport --latence %s: %d bytes (%.0f s), %s; delay %d samples = %.1f ms, two blocks of %d + %.1f ms\n", mode, n, n / rate, rewritten == "" && inserted == 0 ? "all identical" : "no lost or repeated sample" rewritten, d, d * 1000 / rate, block, (d - 2 * block) * 1000 / rate }'
done
[ "${VELUNDA_E2E_ONLY_TRANSPORT:-0}" = 1 ] && { echo "alsa_pulse: transport passed"; exit 0; }

# 2. The low-pass at 1000 Hz by its effect: 400 Hz kept, 2500 Hz removed.
for tone in 400 2500; do
  make_signal tone "$tone" 2 "$work/tone$tone.u8"
  live_session 6 "$work/tone$tone.u8" "$work/tone$tone.rec.u8" "$work/tone$tone.log" \
    PASSEBAS --coupure 1000 --coefficients 300
  ratio=$(paste <(bytes "$work/tone$tone.rec.u8" | awk 'NR % 2 == 1') \
                <(bytes "$work/tone$tone.rec.u8" | awk 'NR % 2 == 0') |
    awk -v block="$block" '
         { l[NR] = $1; r[NR] = $2
           if (!fl && $1 != 128) fl = NR }
         END {
           if (!fl) { print "none"; exit }
           # The middle second of the tone at the receiver and, two blocks later, at the
           # loudspeaker; the added delay is far below the half second of margin. Levels are
           # taken around each window'"'"'s mean (the filter may move silence by one step).
           n = 8000; a = fl + 4000; b = a + 2 * block
           for (i = 0; i < n; i++) { ml += l[a + i]; mr += r[b + i] }
           ml /= n; mr /= n
           for (i = 0; i < n; i++) { el += (l[a + i] - ml) ^ 2; er += (r[b + i] - mr) ^ 2 }
           printf "%.3f\n", sqrt(er / el)
         }')
  echo "low-pass 1000 Hz, tone $tone Hz: output/input amplitude $ratio"
  case $tone in
    400) awk -v x="$ratio" 'BEGIN { exit !(x != "none" && x > 0.8 && x < 1.2) }' ||
           fail "the 400 Hz tone was not kept ($ratio)" ;;
    2500) awk -v x="$ratio" 'BEGIN { exit !(x != "none" && x < 0.1) }' ||
           fail "the 2500 Hz tone was not removed ($ratio)" ;;
  esac
done
echo "alsa_pulse: passed"
