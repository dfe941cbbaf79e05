#!/usr/bin/env bash
# Runs one Windows program under Wine, bounded: the build's emulator for every
# cross-built program (the SDK's tools while building, the Windows tests).
# It needs the environment of scripts/wine-env.sh (throw-away prefix, no crash
# dialog, virtual display); HUSHKIT_WINE_TIMEOUT (seconds, default 300) caps
# each run.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ] || [ -z "${HUSHKIT_WINE_ENV:-}" ]; then
    echo "wine-run: no Wine environment; run through scripts/wine-env.sh" >&2
    exit 2
fi
exec timeout --kill-after=10 "${HUSHKIT_WINE_TIMEOUT:-300}" wine "$@"
