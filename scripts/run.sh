#!/usr/bin/env bash
# Starts Tesselon from a build directory (`make run` builds it first, after
# installing what is missing). Usage: run.sh BUILD_DIR
set -euo pipefail
build=$1
program="$build/src/app/tesselon"
if [[ ! -x "$program" ]]; then
    echo "run: $program is not built; run 'make build' first." >&2
    exit 1
fi
# Tesselon was not run: say how to run it, and fail, so that a script
# calling `make run` does not take it for a run that went well.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "run: no display (DISPLAY is not set); to run Tesselon without one: xvfb-run -a -s '-screen 0 1280x800x24' $program" >&2
    exit 1
fi
# The program's own exit status is make's.
exec "$program"
