#!/bin/sh
# Installs what is missing, builds what Tavelmorinth needs (not the tests) and starts it.
set -eu
cd "$(dirname "$0")"
scripts/setup
scripts/build --program
# An ordinary user's RAM disk gets its size through the set-user-ID mount helper.
scripts/setup --helper build
exe=build/Tavelmorinth/Contents/MacOS/tavelmorinth
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Tavelmorinth under Xvfb (an invisible display)."
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$exe"
fi
exec "$exe"
