# Shared steps of the project's scripts: packages, builds, a Wine prefix and a virtual display.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PACKAGES=(cmake make g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix wine wine64 fonts-wine
          xvfb imagemagick fonts-liberation fonts-dejavu-core zip unzip clang libclang-rt-14-dev
          osslsigncode openssl faketime nodejs)

# Installs what is missing (as root, on Debian); a second run installs nothing.
install_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    # npm comes with some builds of nodejs (NodeSource's, which conflicts with Debian's npm
    # package) and apart from Debian's: asked for only where the command is missing.
    command -v npm >/dev/null || missing+=(npm)
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q >/dev/null
        apt-get install -y -q "${missing[@]}" >/dev/null
    fi
}

# The build's own output goes to build/logs/build-PRESET.log, shown where the build fails.
build_preset() {
    local log="$ROOT/build/logs/build-$1.log"
    mkdir -p "$ROOT/build/logs"
    if ! { cmake --preset "$1" && cmake --build --preset "$1" -j "$(nproc)"; } >"$log" 2>&1; then
        cat "$log"
        echo "The build of the $1 preset failed (its log: ${log#"$ROOT"/})." >&2
        return 1
    fi
}

# A Wine prefix of the project's own, ready for fast program starts. Sets WINEPREFIX.
prepare_wine_prefix() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEARCH=win64
    local fresh=0
    [ -e "$WINEPREFIX/system.reg" ] || fresh=1
    mkdir -p "$WINEPREFIX"
    # Start the server and the prefix's services with their output away from any pipe: they
    # inherit it and would keep a pipe open after the tests end.
    (wineserver -p >/dev/null 2>&1 &)
    wineboot -i >/dev/null 2>&1
    install_wine_marlett
    # No crash dialog that waits for a click; no window-manager waits without a window manager.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A new prefix comes up with two service managers (the prefix's creation starts one of its
    # own); the COM service then fails to start, after 13 s of waiting. One restart leaves one.
    if [ "$fresh" -eq 1 ]; then
        restart_wine
    fi
}

# Wine draws the title bar's buttons with the Marlett font; without it the close box shows a
# letter "r". Wine 8 looks for its own fonts in the prefix's windows\Fonts only (a new prefix
# gets them there from beside Wine's DLLs), but Debian's fonts-wine puts them in
# /usr/share/wine/fonts, where neither Wine nor fontconfig looks. Only Marlett is copied: the
# other fonts there (Tahoma, MS Sans Serif) would replace the message font the tests measure.
# Programs started afterwards find it.
install_wine_marlett() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ ! -e "$fonts/marlett.ttf" ] && [ -e /usr/share/wine/fonts/marlett.ttf ]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}

# Stops the prefix's server and its programs, then starts it again with its services.
restart_wine() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    (wineserver -p >/dev/null 2>&1 &)
    wineboot >/dev/null 2>&1
}

# Starts the test build's session keeper in the current prefix and returns once it runs (at once
# when one runs already). The prefix's desktop process and COM service start on demand and
# inherit the output of whatever started them: started by a test, they hold ctest's pipe and
# ctest waits 15-20 s for them to end after each test. The keeper starts them here, away from any
# pipe, and keeps them for the run. Anything that stops the prefix's server (restart_wine,
# set_wine_dpi, stop_wine) ends it: call it again (test.sh does before each Wine layer). Without
# it the tests still run, only slower.
start_session_keeper() {
    local code=0
    wine "$ROOT/build/windows/bin/session_keeper.exe" </dev/null >/dev/null 2>&1 || code=$?
    if [ "$code" -ne 0 ]; then
        echo "warning: no session keeper in $WINEPREFIX (exit code $code); tests will be slow" >&2
    fi
}

# Sets the prefix's screen DPI (96 is Windows' 100 %); takes effect for programs started after.
# Restarts the prefix's server, which ends its programs.
set_wine_dpi() {
    wineserver -k >/dev/null 2>&1 || true
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    restart_wine
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
}

# Starts Xvfb on a free display; sets DISPLAY and XVFB_PID.
start_virtual_display() {
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    return 1
}

stop_virtual_display() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
