#!/usr/bin/env bash
# Starts the player from a build with the demo song, so its lyric shows on the desktop at once.
# Without a display the demo song's lyric is played in the terminal by lirvo-lyrics instead.
# Usage: tools/run-player.sh BUILD_DIR [song]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?build dir}
song=${2:-$here/resources/demo/lirvo-demo.ogg}

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the player window cannot open."
  if [[ -x "$dir/bin/lirvo-lyrics" ]]; then
    echo "Playing the demo song's lyric in the terminal with lirvo-lyrics instead."
    # A machine without a display often has no sound server either; SDL's dummy output then
    # keeps the song's clock running so the lyric still follows it.
    if [[ -z "${SDL_AUDIODRIVER:-}" && ! -d /dev/snd && -z "${PULSE_SERVER:-}" &&
          ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" &&
          ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pipewire-0" ]]; then
      echo "No sound device found: playing silently through SDL's dummy output."
      export SDL_AUDIODRIVER=dummy
    fi
    exec "$dir/bin/lirvo-lyrics" play "$song"
  fi
  echo "lirvo-lyrics is not built in $dir/bin either."
  exit 1
fi

if [[ ! -x "$dir/bin/lirvo" ]]; then
  echo "The player is not built: $dir/bin/lirvo is missing."
  exit 1
fi
# The playlist the player keeps (its settings may name another file than Default.pls). A demo
# song the playlist holds already is not added again: the player then starts with its list.
documents=${XDG_DOCUMENTS_DIR:-}
if [[ -z "$documents" ]] && command -v xdg-user-dir >/dev/null; then
  documents=$(xdg-user-dir DOCUMENTS 2>/dev/null || true)
fi
[[ -n "$documents" && "$documents" != "${HOME:-}" ]] || documents="${HOME:-.}/Documents"
playlist="$documents/lirvo/Default.pls"
settings="$documents/lirvo/Lirvo.xml"
if [[ -f "$settings" ]]; then
  named=$(sed -n 's/.*<PLIST[^>]* PATH="\([^"]*\)".*/\1/p' "$settings" | head -n 1)
  [[ -n "$named" && -f "$named" ]] && playlist=$named
fi
# The path as the XML playlist writes it.
quoted=$(printf '%s' "$song" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g')
if [[ -f "$playlist" ]] && grep -qF "Path=\"$quoted\"" "$playlist"; then
  exec "$dir/bin/lirvo"
fi
exec "$dir/bin/lirvo" "$song"
