#!/usr/bin/env bash
# Builds Korvessa and runs it against the simulated controller started inside the program
# (`korvessa --demo`: UDP on 127.0.0.1:30001, demo configuration, connected at start).
# Extra arguments go to the program (for example a project file).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVS_SANITIZE=OFF -DKVS_TSAN=OFF
cmake --build "$BUILD" -j "$(nproc)" --target korvessa
PROGRAM="$BUILD/app/korvessa"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No display: run the demo on a virtual one, save the connected main window and quit.
  SHOT=${KVS_DEMO_SCREENSHOT:-korvessa-demo.png}
  echo "run-demo: no display here; running the demo under Xvfb and saving $SHOT" >&2
  xvfb-run -a -s "-screen 0 1280x800x24" "$PROGRAM" --demo --screenshot "$SHOT" "$@"
  echo "run-demo: saved $SHOT. For a window you can use, run it on a display:" >&2
  echo "  $PROGRAM --demo" >&2
  exit 0
fi
exec "$PROGRAM" --demo "$@"
