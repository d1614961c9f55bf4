#!/usr/bin/env bash
# Shows the game starter at work. Builds, lays out a demo game folder in build/demo/
# (Ironvale.exe beside hl2.exe), starts the starter once beside an empty hl2.exe so that it
# registers the ivl:// protocol and starts nothing, puts a stand-in game that writes down its
# command line in place, opens ivl://127.0.0.1:27015 through the shell as a browser hands a link
# over, and prints the command line the game got once the question is answered with OK.
# Without a display it runs on a virtual one, saves a screenshot of the question and presses OK.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

link=ivl://127.0.0.1:27015
install_packages
build_preset windows

bin="$ROOT/build/windows/bin"
demo="$ROOT/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$bin/Ironvale.exe" "$demo/Ironvale.exe"
: >"$demo/hl2.exe"

trap 'stop_wine; stop_virtual_display' EXIT
virtual=
if [ -z "${DISPLAY:-}" ]; then
    start_virtual_display
    virtual=1
fi
prepare_wine_prefix "$ROOT/build/wineprefix-run"
echo "Wine prefix: $WINEPREFIX"

wine "$demo/Ironvale.exe"
command=$(wine reg query 'HKCR\ivl\shell\open\command' /ve 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p')
echo "A first start beside an empty hl2.exe registered ivl:// links to: $command"
cp "$bin/hl2_standin.exe" "$demo/hl2.exe"

echo "Opening $link through the shell"
if [ -z "$virtual" ]; then
    echo "The question shows on display $DISPLAY"
    wine "$bin/open_link.exe" "$link"
else
    echo "No display is set: running on the virtual display $DISPLAY"
    shot="$demo/ironvale-confirmation"
    wine "$bin/open_link.exe" "$link" --press-ok "$(winepath -w "$shot.bmp" 2>/dev/null)"
    convert "$shot.bmp" "$shot.png" && rm -f "$shot.bmp"
    echo "Screenshot of the question: ${shot#"$ROOT"/}.png"
fi

# The stand-in writes "<show-window request><tab><working folder><tab><command line>" when it
# starts.
for _ in $(seq 150); do
    if [ -s "$demo/hl2-calls.txt" ]; then
        echo "The game (build/demo/hl2.exe) was started with this command line:"
        cut -f3- "$demo/hl2-calls.txt"
        echo "in the folder: $(cut -f2 "$demo/hl2-calls.txt")"
        exit 0
    fi
    sleep 0.1
done
echo "The game was not started (the question was cancelled?)" >&2
exit 1
