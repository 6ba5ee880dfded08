#!/usr/bin/env bash
# Starts Tesselon from a build directory. Usage: run.sh BUILD_DIR
set -euo pipefail
build=$1
program="$build/src/app/tesselon"
if [[ ! -x "$program" ]]; then
    echo "run: the desktop program is not built yet ($program); the main window arrives with a later change." >&2
    exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "run: no display; try: xvfb-run -a -s '-screen 0 1280x800x24' $program" >&2
    exit 1
fi
exec "$program"
