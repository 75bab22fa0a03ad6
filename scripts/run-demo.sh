#!/usr/bin/env bash
# Builds Korvessa and runs it against the simulated controller started inside the program
# (`korvessa --demo`: UDP on 127.0.0.1:30001, demo configuration, connected at start).
# Extra arguments go to the program (for example a project file).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j "$(nproc)" --target korvessa
PROGRAM="$BUILD/app/korvessa"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
run-demo: no display here. Korvessa is built: $PROGRAM
Run it on a virtual display with Xvfb, for example:

  xvfb-run -a -s "-screen 0 1280x800x24" $PROGRAM --demo --screenshot korvessa-demo.png

(saves the connected main window as korvessa-demo.png and quits), or keep it running:

  Xvfb :99 -screen 0 1280x800x24 &
  DISPLAY=:99 $PROGRAM --demo &
  sleep 5; DISPLAY=:99 import -window root korvessa-demo.png
MSG
  exit 0
fi
exec "$PROGRAM" --demo "$@"
