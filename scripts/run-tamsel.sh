#!/usr/bin/env bash
# Builds tamsel.exe and starts it under Wine, in a Wine prefix of the project's own. On a
# machine without a display it runs on a virtual one and saves a screenshot of what it shows.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

PACKAGES+=(x11-utils)
install_packages
build_preset windows

# The program runs from a folder of its own, where it keeps its config.ini.
mkdir -p build/run
cp build/windows/bin/tamsel.exe build/run/tamsel.exe

trap 'stop_wine; stop_virtual_display' EXIT
if [ -n "${DISPLAY:-}" ]; then
    prepare_wine_prefix "$ROOT/build/wineprefix-run"
    echo "Wine prefix: $WINEPREFIX"
    echo "Starting build/run/tamsel.exe on display $DISPLAY (settings: build/run/config.ini)"
    wine build/run/tamsel.exe
    exit 0
fi

start_virtual_display
prepare_wine_prefix "$ROOT/build/wineprefix-run"
echo "Wine prefix: $WINEPREFIX"
echo "No display is set: running on the virtual display $DISPLAY"
wine build/run/tamsel.exe >/dev/null 2>&1 &
shot="$ROOT/build/run/tamsel-start.png"
for _ in $(seq 150); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Mirelak"'; then
        sleep 0.5 # let the box finish painting
        import -display "$DISPLAY" -window root -crop 1024x768+0+0 "$shot"
        echo "The greeting is shown; screenshot: $shot"
        exit 0
    fi
    sleep 0.1
done
echo "tamsel.exe showed no window within 15 s" >&2
exit 1
