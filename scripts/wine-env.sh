#!/usr/bin/env bash
# Prepares and tears down the Wine prefix and virtual display that the Windows tests run in.
#   wine-env.sh start BUILD_DIR   create the prefix once, start Xvfb and a detached wineserver
#   wine-env.sh stop BUILD_DIR    stop both
# scripts/wine-run.sh reads the same BUILD_DIR/wine folder.
set -euo pipefail
action=$1
build=$(cd "$2" && pwd)
state=$build/wine
export WINEPREFIX=$state/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

detached() { setsid "$@" </dev/null >/dev/null 2>&1 & }

case $action in
start)
    mkdir -p "$state"
    if ! [ -e "$state/xvfb.pid" ] || ! kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
        # Xvfb picks a free display number itself unless one is named, so a display left
        # running by someone else never gets in the way.
        rm -f "$state/display" "$state/displayfd"
        if [ -n "${DECKWRIGHT_DISPLAY:-}" ]; then
            setsid Xvfb ":$DECKWRIGHT_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp \
                </dev/null >/dev/null 2>&1 &
            echo ":$DECKWRIGHT_DISPLAY" >"$state/display"
        else
            setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
                3>"$state/displayfd" </dev/null >/dev/null 2>&1 &
        fi
        echo $! >"$state/xvfb.pid"
        for _ in $(seq 100); do
            [ -z "${DECKWRIGHT_DISPLAY:-}" ] && [ -s "$state/displayfd" ] &&
                echo ":$(tr -dc 0-9 <"$state/displayfd")" >"$state/display"
            [ -s "$state/display" ] && xdpyinfo -display "$(cat "$state/display")" >/dev/null 2>&1 && break
            sleep 0.1
        done
        if ! kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
            echo "wine-env.sh: Xvfb did not start" >&2
            exit 1
        fi
    fi
    display=$(cat "$state/display")
    export DISPLAY=$display
    if ! [ -f "$state/prefix-ready" ]; then
        wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
        # Debian's Wine does not find its own fonts otherwise: no Tahoma, no Marlett.
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        # No window manager under Xvfb: let Wine draw the title bars.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        wineserver -w
        touch "$state/prefix-ready"
    fi
    # A detached, persistent wineserver keeps Wine's helpers off CTest's output pipe.
    detached wineserver -p30
    sleep 0.5
    wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
    ;;
stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    ;;
*)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
