#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Korvessa needs.
# Idempotent and non-interactive; run as root (or through sudo).
set -euo pipefail

PACKAGES=(
  # toolchain and tests
  build-essential iproute2 util-linux cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # kvsh (JSON output)
  libjsoncpp-dev
  # the program
  qt6-base-dev qt6-base-dev-tools libqscintilla2-qt6-dev qt6-serialport-dev libgl-dev
  # USB transport
  libusb-1.0-0-dev
  # real-window checks and CJK glyphs
  xvfb xauth x11-apps imagemagick fonts-wqy-microhei openbox xdotool
  # the toolkit's own texts (dialog buttons, file dialogs) in Chinese
  qt6-translations-l10n
  # bench-only peer
  libmodbus-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "install-deps: installed ${missing[*]}"
