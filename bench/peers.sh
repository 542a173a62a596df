#!/usr/bin/env bash
# Lirvo beside two other Linux players, Audacious and mpv, on the same song (the demo song and
# its lyric). Every player runs on one private Xvfb and plays through one private PulseAudio
# null sink, each with a fresh HOME. For each player it prints:
#   first window   ms from the process start until its first window is mapped (median of
#                  three starts without a song, after the playing run has warmed the caches)
#   RSS            resident memory after 30 s of playing
#   playing CPU    CPU seconds used between 10 s and 30 s of playing
#   idle CPU       CPU seconds used in 30 s after the song has ended (the player stopped)
# then the first window and RSS of a bare Qt Quick program (bench/bare-quick-window.cpp), the
# floor below which no Qt Quick program starts or lives;
# and Lirvo's figure as a ratio of each peer's (Lirvo ÷ peer; below 1 means Lirvo uses less).
#
# Usage: bench/peers.sh [LIRVO_BUILD_DIR]   (default build/release; configured and built when
# the program is missing). Installs audacious and mpv with apt-get when they are missing.
# The machine's other load adds noise to the CPU figures; compare ratios of one run.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build/release}")
song_src=$here/resources/demo/lirvo-demo.ogg
lyric_src=$here/resources/demo/lirvo-demo.lrc
song_seconds=${PEERS_SONG_SECONDS:-32}  # length of the demo song
settle_after_end=2     # the player's own end-of-song work before the idle measurement
window_starts=3

need() { command -v "$1" >/dev/null 2>&1; }
as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

# ---- the players and the tools around them
missing=()
need audacious || missing+=(audacious)
need mpv || missing+=(mpv)
for tool in Xvfb:xvfb xev:x11-utils xprop:x11-utils pulseaudio:pulseaudio pactl:pulseaudio-utils \
            dbus-daemon:dbus; do
  need "${tool%%:*}" || missing+=("${tool#*:}")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "peers: installing ${missing[*]}"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
players=(${PEERS_PLAYERS:-lirvo audacious mpv})  # PEERS_PLAYERS picks some of them
if [[ " ${players[*]} " == *" lirvo "* && ! -x $build/bin/lirvo ]]; then
  echo "peers: building Lirvo (release) in $build"
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLIRVO_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target lirvo >/dev/null
fi

# ---- one private X server, session bus and sound server for the whole run
work=$(mktemp -d /tmp/lirvo-peers.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [[ -n ${PEERS_KEEP:-} ]] && echo "peers: kept $work" || rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
[[ -s $work/display ]] || { echo "peers: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

mkdir -p "$work/pulse" && chmod 700 "$work/pulse"
HOME=$work/pulse XDG_RUNTIME_DIR=$work/pulse pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --use-pid-file=no --load="module-null-sink sink_name=peers" \
  --load="module-native-protocol-unix socket=$work/pulse/native" 2>"$work/pulse.log" &
pids+=($!)
export PULSE_SERVER=unix:$work/pulse/native
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null 2>&1 || { echo "peers: PulseAudio did not start" >&2; exit 1; }

dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 \
  3>"$work/bus.address" 4>"$work/bus.pid"
pids+=("$(cat "$work/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
unset WAYLAND_DISPLAY SESSION_MANAGER

ticks=$(getconf CLK_TCK)
now_ms() { local us=${EPOCHREALTIME/./}; echo $(( us / 1000 )); } # no process started
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || true; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }
sleep_until_ms() { local left=$(( $1 - $(now_ms) )); (( left > 0 )) && sleep "$(awk -v m="$left" 'BEGIN { print m / 1000 }')"; return 0; }

# Every window mapped on the display, with the time the X server's report of it arrived
# ("ms window" a line), from one xev watching the root window. Waiting for a window so costs the
# starting player nothing: asking the server with a new client every few ms, as this did first,
# kept one of the machine's two cores busy while the player started.
stamp_maps() {
  local line stamp=
  while IFS= read -r line; do
    if [[ $line == MapNotify* ]]; then stamp=$(now_ms); continue; fi
    if [[ -n $stamp ]]; then line=${line#*window }; echo "$stamp ${line%%,*}"; stamp=; fi
  done
}
maps=$work/maps.log
: >"$maps"
xev -root -event substructure > >(stamp_maps >>"$maps") 2>/dev/null &
pids+=($!)
sleep 0.3
# Waits for a window of process $1 mapped after line $2 of the map log; prints the time (ms) of
# its mapping, or nothing after 30 s.
wait_window() {
  local deadline=$(( $(now_ms) + 30000 )) seen=$2 stamp window
  while (( $(now_ms) < deadline )); do
    while read -r stamp window; do
      seen=$((seen + 1))
      if [[ $(xprop -id "$window" _NET_WM_PID 2>/dev/null) == *"= $1" ]]; then echo "$stamp"; return 0; fi
    done < <(tail -n +"$((seen + 1))" "$maps")
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.02
  done
}
map_count() { wc -l <"$maps"; }
# Waits for a sound server stream of process $1; prints the time (ms) or nothing after 20 s.
wait_stream() {
  local deadline=$(( $(now_ms) + 20000 ))
  while (( $(now_ms) < deadline )); do
    if pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$1\""; then now_ms; return 0; fi
    sleep 0.02
  done
}
streams_of() { pactl list sink-inputs 2>/dev/null | grep -c "application.process.id = \"$1\"" || true; }
stop_player() {
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# A fresh home for one player, with the song and its lyric side by side.
make_home() {
  local home=$work/home-$1
  mkdir -p "$home/Music" "$home/Documents" "$home/.config" "$home/.cache" "$home/run"
  chmod 700 "$home/run"
  cp "$song_src" "$home/Music/lirvo-demo.ogg"
  cp "$lyric_src" "$home/Music/lirvo-demo.lrc"
  echo "$home"
}

# The command line of each player; $2 is the song, or empty for a start without one.
player_command() {
  local name=$1 song=$2
  case $name in
    lirvo) echo "$build/bin/lirvo" ${song:+"$song"} ;;
    audacious) echo audacious ${song:+"$song"} ;;
    mpv) echo mpv --idle=yes --force-window=yes --no-terminal --ao=pulse \
                ${song:+--sub-file="${song%.ogg}.lrc" "$song"} ;;
  esac
}

declare -A first_window cold_window rss_mb play_cpu idle_cpu idle_streams

measure() {
  local name=$1 home song pid mark t0 t_win t_play c10 c30 c_end c_idle starts=()
  home=$(make_home "$name")
  song=$home/Music/lirvo-demo.ogg
  local -a env=(env HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/.config"
                XDG_CACHE_HOME="$home/.cache" XDG_DOCUMENTS_DIR="$home/Documents"
                XDG_MUSIC_DIR="$home/Music" QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=pulseaudio)
  echo "peers: $name" >&2

  # The playing run: song and lyric, then the player left alone after the song's end.
  mark=$(map_count)
  t0=$(now_ms)
  (cd "$home" && exec "${env[@]}" $(player_command "$name" "$song")) >"$work/$name.log" 2>&1 &
  pid=$!
  t_win=$(wait_window "$pid" "$mark")
  cold_window[$name]=$([[ -n $t_win ]] && echo $(( t_win - t0 )) || echo "-")
  t_play=$(wait_stream "$pid")
  if [[ -z $t_play ]]; then
    echo "peers: $name made no sound stream; its figures are not measured (log: $work/$name.log)" >&2
    rss_mb[$name]="-"; play_cpu[$name]="-"; idle_cpu[$name]="-"; idle_streams[$name]="-"
    first_window[$name]="-"
    stop_player "$pid"
    return 0
  fi
  sleep_until_ms $(( t_play + 10000 )); c10=$(cpu_ticks "$pid")
  sleep_until_ms $(( t_play + 30000 )); c30=$(cpu_ticks "$pid")
  rss_mb[$name]=$(awk -v k="$(rss_kb "$pid")" 'BEGIN { if (k == "") print "-"; else printf "%.1f", k / 1024 }')
  play_cpu[$name]=$(awk -v a="$c10" -v b="$c30" -v t="$ticks" 'BEGIN { if (a == "" || b == "") print "-"; else printf "%.2f", (b - a) / t }')
  sleep_until_ms $(( t_play + (song_seconds + settle_after_end) * 1000 )); c_end=$(cpu_ticks "$pid")
  sleep_until_ms $(( t_play + (song_seconds + settle_after_end + 30) * 1000 )); c_idle=$(cpu_ticks "$pid")
  idle_cpu[$name]=$(awk -v a="$c_end" -v b="$c_idle" -v t="$ticks" 'BEGIN { if (a == "" || b == "") print "-"; else printf "%.2f", (b - a) / t }')
  idle_streams[$name]=$(streams_of "$pid")
  stop_player "$pid"

  # Starts without a song, caches warm: the first window alone.
  for _ in $(seq "$window_starts"); do
    mark=$(map_count)
    t0=$(now_ms)
    (cd "$home" && exec "${env[@]}" $(player_command "$name" "")) >>"$work/$name.log" 2>&1 &
    pid=$!
    t_win=$(wait_window "$pid" "$mark")
    [[ -n $t_win ]] && starts+=($(( t_win - t0 )))
    stop_player "$pid"
  done
  if [[ ${#starts[@]} -gt 0 ]]; then
    first_window[$name]=$(printf '%s\n' "${starts[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  else
    first_window[$name]="-"
  fi
}

for p in "${players[@]}"; do measure "$p"; done

# The floor: a bare Qt Quick window (bench/bare-quick-window.cpp), started the same way.
floor_window="-"
floor_rss="-"
if c++ -O2 -std=c++17 -fPIC $(pkg-config --cflags Qt6Quick Qt6Widgets 2>/dev/null) \
     "$here/bench/bare-quick-window.cpp" -o "$work/bare-quick-window" \
     $(pkg-config --libs Qt6Quick Qt6Widgets 2>/dev/null) 2>"$work/bare.log"; then
  echo "peers: a bare Qt Quick window" >&2
  home=$(make_home bare)
  floor_starts=()
  for _ in $(seq "$window_starts"); do
    mark=$(map_count)
    t0=$(now_ms)
    (cd "$home" && exec env HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb \
       "$work/bare-quick-window") >>"$work/bare.log" 2>&1 &
    pid=$!
    t_win=$(wait_window "$pid" "$mark")
    [[ -n $t_win ]] && floor_starts+=($(( t_win - t0 )))
    if [[ $floor_rss == "-" ]]; then
      sleep 3
      floor_rss=$(awk -v k="$(rss_kb "$pid")" 'BEGIN { if (k == "") print "-"; else printf "%.1f", k / 1024 }')
    fi
    stop_player "$pid"
  done
  if [[ ${#floor_starts[@]} -gt 0 ]]; then
    floor_window=$(printf '%s\n' "${floor_starts[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  fi
else
  echo "peers: the bare Qt Quick window did not build (log: $work/bare.log)" >&2
fi

ratio() { awk -v a="${1:--}" -v b="${2:--}" 'BEGIN { if (a == "-" || b == "-" || b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }

echo
echo "commit $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown), $(date -u +%FT%TZ), load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %14s %14s %10s %16s %14s %12s\n' player "first window" "(cold start)" "RSS MB" "playing CPU s" "idle CPU s" "idle streams"
for p in "${players[@]}"; do
  printf '%-10s %14s %14s %10s %16s %14s %12s\n' "$p" "${first_window[$p]}" "${cold_window[$p]}" \
    "${rss_mb[$p]}" "${play_cpu[$p]}" "${idle_cpu[$p]}" "${idle_streams[$p]}"
done
echo
echo "Lirvo as a ratio of each player (Lirvo ÷ player):"
printf '%-10s %14s %10s %16s %14s\n' player "first window" "RSS" "playing CPU" "idle CPU"
for p in "${players[@]}"; do
  printf '%-10s %14s %10s %16s %14s\n' "$p" \
    "$(ratio "${first_window[lirvo]:--}" "${first_window[$p]}")" "$(ratio "${rss_mb[lirvo]:--}" "${rss_mb[$p]}")" \
    "$(ratio "${play_cpu[lirvo]:--}" "${play_cpu[$p]}")" "$(ratio "${idle_cpu[lirvo]:--}" "${idle_cpu[$p]}")"
done
echo
goal() { # name value limit
  awk -v n="$1" -v v="$2" -v l="$3" 'BEGIN { if (v == "-") s = "n/a"; else s = (v <= l) ? "met" : "NOT met";
                                             printf "  %-13s %6s  (goal <= %s)  %s\n", n, v, l, s }'
}
echo "A bare Qt Quick window (one rectangle, QApplication, software renderer), as a ratio of Audacious:"
printf '  first window %s ms (%s), RSS %s MB (%s)\n' "$floor_window" \
  "$(ratio "$floor_window" "${first_window[audacious]:--}")" "$floor_rss" "$(ratio "$floor_rss" "${rss_mb[audacious]:--}")"
echo
echo "Goals against Audacious:"
goal "first window" "$(ratio "${first_window[lirvo]:--}" "${first_window[audacious]:--}")" 0.8
goal "RSS" "$(ratio "${rss_mb[lirvo]:--}" "${rss_mb[audacious]:--}")" 0.75
goal "playing CPU" "$(ratio "${play_cpu[lirvo]:--}" "${play_cpu[audacious]:--}")" 0.6
goal "idle CPU" "$(ratio "${idle_cpu[lirvo]:--}" "${idle_cpu[audacious]:--}")" 1
