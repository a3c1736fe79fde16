#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Does nothing when all of them are already installed.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config ccache git
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libsquish-dev
  # media libraries
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libzimg-dev libsnappy-dev libpng-dev libturbojpeg0-dev libtiff-dev
  libebur128-dev libsamplerate0-dev liblz4-dev libsoundio-dev zlib1g-dev liblzma-dev
  # text and data services
  libexpat1-dev libicu-dev uuid-dev nlohmann-json3-dev
  # oracles used by the tests
  ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-good libosmesa6-dev libxml2-utils locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The text tests run under a comma-decimal locale.
need_locale=0
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then need_locale=1; fi

if [ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "error: set-up needs root (packages: ${missing[*]:-none}, de_DE.UTF-8 locale: $need_locale)" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ $need_locale -eq 1 ]; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
