#!/usr/bin/env bash
# Makes recepteur.wav: about 15 s of what a short-wave receiver gives at 8000 Hz, unsigned 8-bit
# mono. A French voice (espeak-ng) through a 300-2700 Hz passband, band noise, a steady carrier
# near 1230 Hz and a keyed CW tone near 700 Hz calling CQ. Deterministic (sox -R).
set -euo pipefail
cd "$(dirname "$0")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=8000
length=15
sox_opts=(-R -D -V1 --no-show-progress)

# Voice: starts after one second, band-limited like a receiver's SSB filter.
espeak-ng -v fr -s 150 -a 160 -w "$work/voix-brute.wav" \
  "Ici station d'essai, nous émettons sur quarante mètres. Le signal est faible et \
bruité, avec une porteuse gênante. Essayez le filtre passe-bande et le réjecteur."
sox "${sox_opts[@]}" "$work/voix-brute.wav" -r "$rate" -c 1 -b 16 "$work/voix.wav" \
  sinc 300-2700 gain -n -6 pad 1 "$length" trim 0 "$length"

# Band noise over the whole passband.
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/bruit.wav" \
  synth "$length" pinknoise sinc 200-3400 gain -n -20

# Steady carrier (a broadcast heterodyne).
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/porteuse.wav" \
  synth "$length" sine 1230 gain -n -22

# Keyed CW at about 18 words per minute: a dit is 66 ms, a dah and a letter gap 198, a word gap 462.
dit=0.066
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/point.wav" synth "$dit" sine 700 fade 0.004 0 0.004
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/trait.wav" \
  synth 0.198 sine 700 fade 0.004 0 0.004
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/blanc1.wav" trim 0 "$dit"
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/blanc3.wav" trim 0 0.198
sox "${sox_opts[@]}" -n -r "$rate" -c 1 -b 16 "$work/blanc7.wav" trim 0 0.462
declare -A morse=([C]="-.-." [Q]="--.-" [D]=-.. [E]=. [F]=..-. [8]=---.. [V]=...- [L]=.-..)
parts=("$work/blanc7.wav")
for word in CQ CQ DE F8VEL; do
  for ((i = 0; i < ${#word}; i++)); do
    code=${morse[${word:i:1}]}
    for ((j = 0; j < ${#code}; j++)); do
      if [ "${code:j:1}" = "." ]; then parts+=("$work/point.wav"); else parts+=("$work/trait.wav"); fi
      parts+=("$work/blanc1.wav")
    done
    parts+=("$work/blanc3.wav")
  done
  parts+=("$work/blanc7.wav")
done
sox "${sox_opts[@]}" "${parts[@]}" "$work/cw-brut.wav"
sox "${sox_opts[@]}" "$work/cw-brut.wav" "$work/cw.wav" gain -n -14 pad 0.5 "$length" trim 0 "$length"

# The receiver's output, at the program's format.
sox "${sox_opts[@]}" -m "$work/voix.wav" "$work/bruit.wav" "$work/porteuse.wav" "$work/cw.wav" \
  -r "$rate" -c 1 -e unsigned-integer -b 8 recepteur.wav gain -n -3
