#!/usr/bin/env bash
# Installs the Debian packages Lirvo needs to build, test and run, skipping those present.
# Usage: tools/install-deps.sh [extra-package...]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-declarative-private-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6
  qml6-module-qtquick qml6-module-qtquick-window
  qml6-module-qtquick-layouts qml6-module-qtquick-dialogs
  qml6-module-qtqml-workerscript qml6-module-qtquick-shapes qml6-module-qttest
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libsndfile1-dev libvorbis-dev libsoxr-dev libmpg123-dev
  libsdl2-dev libpulse-dev libtag1-dev libxml2-dev libcurl4-openssl-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  fonts-wqy-microhei
  libxcb1-dev
  xvfb xauth x11-utils ffmpeg lame sox imagemagick xdotool
  pulseaudio pulseaudio-utils dbus dbus-x11 playerctl weston xwayland qt6-wayland qt6-translations-l10n
  mpv mpv-mpris audacious
  desktop-file-utils appstream
  libssl-dev zlib1g-dev libopencc-dev libopencc-data
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  echo "deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "deps: installing ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
