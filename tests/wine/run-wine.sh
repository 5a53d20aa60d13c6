#!/bin/bash
# Runs a Windows program under Wine for the tests of the Windows build:
#
#   run-wine.sh WINE_DIR PROGRAM.exe [ARGUMENTS...]
#
# WINE_DIR (a folder in the build tree) holds the Wine prefix of these tests,
# so that nothing touches ~/.wine. The prefix is made on first use; a
# persistent wineserver is started for it, so that later Wine processes start
# in a fraction of a second instead of booting Wine each time. The server ends
# by itself a while after its last program (ARVEK_WINESERVER_LINGER seconds).
#
# The exit code is the Windows program's (its low 8 bits, as Unix passes
# exit codes on). Its standard output has the CR of
# Wine's CRLF line ends removed, so that tests can compare text.
#
# With ARVEK_WINE_DISPLAY=xvfb in the environment and no DISPLAY set, the
# program runs on a private virtual X display (xvfb-run -a): Wine creates
# windows only with an X display.
set -u -o pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 WINE_DIR PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi
wine_dir=$1
shift

mkdir -p "$wine_dir" || exit 2
wine_dir=$(cd "$wine_dir" && pwd) || exit 2
export WINEPREFIX="$wine_dir/prefix"
export WINEDEBUG="${ARVEK_WINEDEBUG:--all}"
# No desktop integration: menu entries and file associations of a test prefix
# have no business in the host's desktop.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
linger="${ARVEK_WINESERVER_LINGER:-120}"

# Starts a persistent server for the prefix unless one runs, and the
# services with it. Wine's background processes (the server, the services)
# inherit open descriptors and outlive this script: their output goes to
# files, since a caller's pipe would stay open until they end, and they do not
# get the lock's descriptor (9), since the lock would stay held as long.
start_session() {
    # Fails when a server already runs; that one stays.
    wineserver -p"$linger" >>"$wine_dir/wineserver.log" 2>&1 </dev/null 9>&- || return 0
    wineboot >>"$wine_dir/wineboot.log" 2>&1 </dev/null 9>&-
}

# One caller at a time makes the prefix and starts the session; the others
# wait here.
{
    if ! flock -w 300 9; then
        echo "run-wine.sh: timed out waiting for $wine_dir/lock" >&2
        exit 2
    fi
    if [ ! -f "$WINEPREFIX/.arvek-ready" ]; then
        # A half-made prefix of an interrupted run goes, with its server.
        wineserver -k >/dev/null 2>&1 </dev/null 9>&-
        wineserver -w >/dev/null 2>&1 </dev/null 9>&-
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineserver -p"$linger" >"$wine_dir/wineserver.log" 2>&1 </dev/null 9>&-
        if ! wineboot -i >"$wine_dir/wineboot.log" 2>&1 </dev/null 9>&-; then
            echo "run-wine.sh: wineboot -i failed; see $wine_dir/wineboot.log" >&2
            exit 2
        fi
        # Making the prefix leaves a desktop process without a display
        # behind, and it would refuse windows to every later program: this
        # session ends here (the server saves the registry), a new one starts.
        wineserver -k >>"$wine_dir/wineserver.log" 2>&1 </dev/null 9>&-
        wineserver -w >>"$wine_dir/wineserver.log" 2>&1 </dev/null 9>&-
        touch "$WINEPREFIX/.arvek-ready"
    fi
    start_session
} 9>"$wine_dir/lock"

run=(wine "$@")
if [ "${ARVEK_WINE_DISPLAY:-}" = xvfb ] && [ -z "${DISPLAY:-}" ]; then
    run=(xvfb-run -a -e "$wine_dir/xvfb.log" "${run[@]}")
fi
"${run[@]}" | tr -d '\r'
