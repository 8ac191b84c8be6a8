#!/usr/bin/env bash
# Opens marivane.exe under Wine, on the display of this session.
set -euo pipefail
build=${1:-build/win32}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
run: there is no display to open the window on.
  On a desktop session, run `make run` from a terminal inside it.
  On a machine without one, give it a virtual display:  xvfb-run -a make run
MSG
  exit 1
fi
exec "$build/wine-run.sh" "$build/bin/marivane.exe"
