#!/usr/bin/env bash
# Starts the desktop program, or, on a machine without a display, the command-line demonstration.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
if [ -x "$bin/kelvora" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$bin/kelvora"
fi
if [ -x "$bin/kelvora" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): running the command-line demonstration instead."
fi
exec bash tools/demo.sh "$build"
