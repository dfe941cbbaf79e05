#!/usr/bin/env bash
# The environment for Windows programs under Wine: a throw-away prefix inside
# a build folder, a virtual X display of its own, and one wineserver and one
# desktop kept alive for the whole run; all of it stopped again at the end,
# failures included.
#
# Run a command in it (a Windows build, its tests, one test program):
#
#     bash scripts/wine-env.sh build/windows cmake --build build/windows -j4
#     bash scripts/wine-env.sh build/windows ctest --test-dir build/windows -R Module
#     bash scripts/wine-env.sh build/windows scripts/wine-run.sh build/windows/tests/module_tests.exe
#
# or source it and call wine_env_start BUILD_DIR, then wine_env_stop (the
# test script does that). The build needs it too: the SDK's moduleinfotool
# runs under Wine after the module is linked.
#
# The prefix (BUILD_DIR/wineprefix) is created once: no Mono or Gecko
# installers, no menu entries, no crash dialog (a crash prints a backtrace and
# the program ends), Tahoma standing in for Segoe UI, and windows not managed
# by a window manager (there is none).

wine_env_say() { printf 'wine-env: %s\n' "$*" >&2; }

wine_env_make_prefix() {
    local stamp="$WINEPREFIX/.hushkit-prefix"
    [ -f "$stamp" ] && return 0
    wine_env_say "creating the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 300 wineboot -i >/dev/null 2>&1 || { wine_env_say "wineboot failed"; return 1; }
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf \
       /usr/share/wine/fonts/marlett.ttf "$fonts/"
    local reg="$WINEPREFIX/hushkit.reg"
    cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"Segoe UI"="Tahoma"
REG
    timeout 120 wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 \
        || { wine_env_say "regedit failed"; return 1; }
    # Writes the registry to disk before the stamp says the prefix is ready.
    timeout 120 wineserver -w
    touch "$stamp"
}

# wine_env_start BUILD_DIR: exports the environment, starts the display and
# the wineserver, creates the prefix if needed.
wine_env_start() {
    local dir
    mkdir -p "$1"
    dir=$(cd "$1" && pwd)
    # One run per prefix at a time: the end of a run ends every Wine process
    # of its prefix. (The lock is held until this run's processes are gone.)
    exec {WINE_ENV_LOCK_FD}>"$dir/.wine-env.lock"
    if ! flock -n "$WINE_ENV_LOCK_FD"; then
        wine_env_say "waiting for another run in $dir"
        flock -w 3600 "$WINE_ENV_LOCK_FD" || { wine_env_say "gave up waiting"; return 1; }
    fi
    export WINEPREFIX="$dir/wineprefix"
    export WINEDEBUG=-all
    # No Mono or Gecko installers, no menu entries written into $HOME.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEARCH=win64
    export HUSHKIT_WINE_ENV=1

    # Xvfb picks a free display number itself and writes it to the pipe.
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    local display=""
    read -r -t 20 display <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display" ]; then
        wine_env_say "Xvfb did not start"
        wine_env_stop
        return 1
    fi
    export DISPLAY=":$display"

    wine_env_make_prefix || { wine_env_stop; return 1; }
    wineserver -p
    # Starts the prefix's service processes now, detached from the caller's
    # output: started later by a test, they would keep its output pipe open
    # until the end of the run.
    timeout 120 wine wineboot </dev/null >/dev/null 2>&1 || { wine_env_say "wineboot failed"; wine_env_stop; return 1; }
    wine_env_hold_desktop || { wine_env_stop; return 1; }
}

# Keeps the prefix's desktop open from now until wine_env_stop. Wine closes a
# desktop about a second after its last program ends, and a program that
# starts while it closes can find the windows it makes gone or refused; test
# programs start one after another, so some would start in that second.
# - A command interpreter that waits for input that never comes is a user of
#   the desktop (it loads user32) and draws nothing; its input is a pipe opened
#   for reading and writing, so the end of its input never comes.
# - The desktop's window and its manager (explorer /desktop) start now too,
#   detached from the caller's output: started by the first test that makes a
#   window, the manager would inherit that test's error output and keep its
#   pipe open to the end of the run. rundll32 makes a hidden window, which
#   starts them, calls a function that changes nothing and returns once the
#   desktop's window is there.
# wineserver -k ends them with the rest.
wine_env_hold_desktop() {
    local fifo fd
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    exec {fd}<>"$fifo"
    rm -f "$fifo"
    wine cmd <&"$fd" >/dev/null 2>&1 &
    exec {fd}>&-
    timeout 120 wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 ||
        { wine_env_say "the desktop did not start"; return 1; }
}

# wine_env_stop: ends every Wine process of the prefix, then the display.
wine_env_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        timeout 60 wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
    if [ -n "${WINE_ENV_LOCK_FD:-}" ]; then
        exec {WINE_ENV_LOCK_FD}>&-
        WINE_ENV_LOCK_FD=""
    fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    if [ $# -lt 2 ]; then
        echo "usage: $0 BUILD_DIR COMMAND [ARGS...]" >&2
        exit 2
    fi
    build_dir=$1; shift
    trap wine_env_stop EXIT
    trap 'exit 130' INT TERM
    wine_env_start "$build_dir"
    "$@"
fi
