#!/usr/bin/env bash
# Builds the demo song "lirvo-demo.ogg" (a 32-second tune of our own: a plucked melody over a
# soft bass, C major, 120 beats a minute) and checks that its lyric file lies beside it.
# Needs sox and ffmpeg. Usage: resources/demo/make-demo.sh [output folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rate=22050
beat=0.5

# Melody: note:beats, sixteen bars of four beats. "R" is a rest.
melody="E4:1 G4:1 C5:1 B4:1  A4:2 G4:2  F4:1 A4:1 C5:1 A4:1  G4:4
        E4:1 G4:1 C5:1 D5:1  E5:2 D5:2  C5:1 A4:1 G4:1 E4:1  D4:4
        C4:1 E4:1 G4:1 C5:1  B4:2 A4:2  G4:1 F4:1 E4:1 D4:1  E4:4
        A4:1 C5:1 E5:1 D5:1  C5:2 B4:2  A4:1 G4:1 F4:1 D4:1  C4:4"
# Bass: one root note per bar.
bass="C3 F3 F3 C3  C3 A2 F2 G2  C3 G2 C3 C3  A2 G2 F2 C3"

n=0
for item in $melody; do
  note=${item%%:*}
  beats=${item##*:}
  len=$(awk "BEGIN{print $beats*$beat}")
  file=$(printf '%s/m%03d.wav' "$work" "$n")
  if [[ $note == R ]]; then
    sox -q -n -r $rate -c 1 "$file" trim 0 "$len"
  else
    sox -q -n -r $rate -c 1 "$file" synth "$len" pluck "$note" fade 0 "$len" 0.05 vol 0.6
  fi
  n=$((n + 1))
done
sox -q "$work"/m*.wav "$work/melody.wav"

n=0
for note in $bass; do
  file=$(printf '%s/b%03d.wav' "$work" "$n")
  sox -q -n -r $rate -c 1 "$file" synth 2 sine "$note" fade 0.05 2 0.6 vol 0.35
  n=$((n + 1))
done
sox -q "$work"/b*.wav "$work/bass.wav"

sox -q -m "$work/melody.wav" "$work/bass.wav" "$work/mix.wav" reverb 30 norm -3
ffmpeg -loglevel error -y -i "$work/mix.wav" -ac 1 -c:a libvorbis -q:a 2 \
  -metadata title="晨光" -metadata artist="Lirvo" -metadata album="Lirvo 演示" \
  "$out/lirvo-demo.ogg"

[[ -f "$here/lirvo-demo.lrc" && "$out" != "$here" ]] && cp "$here/lirvo-demo.lrc" "$out/"
echo "wrote $out/lirvo-demo.ogg"
