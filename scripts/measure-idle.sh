#!/bin/bash
# What Tidewatch.exe costs while it waits, under Wine, next to a bare
# message-loop program built the same way (tests/tools/bare_loop.cpp): not a
# test, and not run by CI. Builds nothing; takes the mingw build's programs.
#
#   scripts/measure-idle.sh [BUILD_DIR [SECONDS]]     (build/mingw, 60)
#
# Both programs run one after the other in the build's Wine prefix with its
# server already running, Tidewatch.exe with the Tolm stand-in registered
# and answering for the notebook of the end-to-end test
# (tests/wine/tidewatch-e2e/tolm.scenario). For each program:
#   - start: from the moment this script starts it (run-wine.sh) to its
#     window's existence and to its thread's first answer to a sent WM_NULL,
#     which it gives once it takes messages (window-tool.exe watch, started
#     before the program, prints both times);
#   - idle: after a settling pause, SECONDS of nothing happening: the CPU
#     time (utime + stime of all its threads, /proc/PID/stat) and the
#     voluntary and involuntary context switches (summed over
#     /proc/PID/task/*/status) of the Wine process, the Wine server's CPU
#     time over the same span, and which threads ran (per-thread CPU time
#     and switches);
#   - memory at the end: RSS and PSS (/proc/PID/smaps_rollup).
# Then the ratios Tidewatch/bare. Runs itself on a virtual X display when
# none is set.
set -u -o pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/mingw}
idle_seconds=${2:-60}
readonly settle_seconds=10

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a "$0" "$build" "$idle_seconds"
fi

build=$(cd "$build" && pwd) || exit 2
bin=$build/bin
wine_dir=$build/wine
run_wine=$repo/tests/wine/run-wine.sh
window_tool=$bin/window-tool.exe
standin=$bin/tolm_standin.dll
scenario=$repo/tests/wine/tidewatch-e2e/tolm.scenario
readonly standin_key='HKCR\CLSID\{CA490AE1-8C69-45D5-9533-D4692726F2FB}'
for file in "$bin/Tidewatch.exe" "$bin/bare-loop.exe" "$window_tool" "$standin"; do
    [ -f "$file" ] || { echo "measure-idle: no $file; build the mingw preset first" >&2; exit 2; }
done
ticks_per_second=$(getconf CLK_TCK)

wine_run() { "$run_wine" "$wine_dir" "$@"; }

program_wrapper=""
watcher=""
standin_registered=0
cleanup() {
    local pid
    for pid in $program_wrapper $watcher; do
        kill -TERM "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [ "$standin_registered" = 1 ]; then
        wine_run reg delete "$standin_key" /v Scenario /f >/dev/null 2>&1
        wine_run regsvr32 /s /u "$standin" >/dev/null 2>&1
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() {
    echo "measure-idle: $*" >&2
    exit 1
}

# A process started (indirectly) by `$1` whose name is `$2`: Wine names
# the Unix process after the Windows program.
find_descendant() {
    local root=$1 name=$2 pid children
    local queue=("$root")
    while [ "${#queue[@]}" -gt 0 ]; do
        pid=${queue[0]}
        queue=("${queue[@]:1}")
        if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ]; then
            echo "$pid"
            return 0
        fi
        children=$(cat /proc/"$pid"/task/*/children 2>/dev/null)
        for child in $children; do queue+=("$child"); done
    done
    return 1
}

# The Wine server of the build's prefix: its working folder is the prefix's
# server folder, named after the prefix's device and inode (under a
# temporary folder whose name differs between builds of Wine).
wineserver_pid() {
    local folder pid
    folder=server-$(stat -c '%D' "$wine_dir/prefix")-$(printf '%x' "$(stat -c '%i' "$wine_dir/prefix")")
    for pid in $(pgrep -u "$(id -u)" -x 'wineserver(64)?'); do
        [ "$(basename "$(readlink "/proc/$pid/cwd")")" = "$folder" ] && { echo "$pid"; return 0; }
    done
    return 1
}

cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }

switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^voluntary_ctxt_switches/ { v += $2 } /^nonvoluntary_ctxt_switches/ { n += $2 } END { print v + 0, n + 0 }'
}

# "TID NAME TICKS VOLUNTARY INVOLUNTARY" for every thread of `$1`.
threads() {
    local task tid
    for task in /proc/"$1"/task/*; do
        tid=${task##*/}
        printf '%s %s %s %s\n' "$tid" "$(tr ' ' _ <"$task/comm" 2>/dev/null)" \
            "$(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$task/stat" 2>/dev/null)" \
            "$(awk '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 } END { print v + 0, n + 0 }' "$task/status" 2>/dev/null)"
    done
}

memory_kib() { awk '/^Rss:/ { r = $2 } /^Pss:/ { p = $2 } END { print r + 0, p + 0 }' "/proc/$1/smaps_rollup"; }

# Measures the program `$1` (a path) whose window class is `$2`; leaves
# the results in the variables named by the prefix `$3`.
measure() {
    local program=$1 class=$2 prefix=$3 name watch_out started pid server
    name=$(basename "$program")
    watch_out=$(mktemp)
    wine_run "$window_tool" find "$class" && die "a \"$class\" window exists before the measurement"

    "$run_wine" "$wine_dir" "$window_tool" watch "$class" >"$watch_out" &
    watcher=$!
    sleep 1  # the watcher's own start is not the program's
    started=$(date +%s.%N)
    timeout -k 5 $((idle_seconds + 180)) "$run_wine" "$wine_dir" "$program" &
    program_wrapper=$!
    wait "$watcher" || die "$name: no window, or no answer, within 60 s"
    watcher=""
    pid=$(find_descendant "$program_wrapper" "$name") || die "$name: no process of that name"
    local window answered
    window=$(awk '$1 == "window" { print $2 }' "$watch_out")
    answered=$(awk '$1 == "answered" { print $2 }' "$watch_out")
    rm -f "$watch_out"

    sleep "$settle_seconds"
    server=$(wineserver_pid) || die "no Wine server for $wine_dir/prefix"
    local cpu0 sw0 server0 threads0 cpu1 sw1 server1 threads1
    cpu0=$(cpu_ticks "$pid"); sw0=$(switches "$pid"); server0=$(cpu_ticks "$server"); threads0=$(threads "$pid")
    sleep "$idle_seconds"
    cpu1=$(cpu_ticks "$pid"); sw1=$(switches "$pid"); server1=$(cpu_ticks "$server"); threads1=$(threads "$pid")
    local memory
    memory=$(memory_kib "$pid")

    wine_run "$window_tool" close "$class" || die "$name: could not close its window"
    wait "$program_wrapper"
    local status=$?
    program_wrapper=""
    [ "$status" -eq 0 ] || echo "   $name ended with $status" >&2

    printf -v "${prefix}_to_window" '%s' "$(awk -v a="$started" -v b="$window" 'BEGIN { printf "%.0f", (b - a) * 1000 }')"
    printf -v "${prefix}_to_loop" '%s' "$(awk -v a="$started" -v b="$answered" 'BEGIN { printf "%.0f", (b - a) * 1000 }')"
    printf -v "${prefix}_cpu_ms" '%s' $(( (cpu1 - cpu0) * 1000 / ticks_per_second ))
    printf -v "${prefix}_server_ms" '%s' $(( (server1 - server0) * 1000 / ticks_per_second ))
    read -r v0 n0 <<<"$sw0"
    read -r v1 n1 <<<"$sw1"
    printf -v "${prefix}_voluntary" '%s' $((v1 - v0))
    printf -v "${prefix}_involuntary" '%s' $((n1 - n0))
    read -r rss pss <<<"$memory"
    printf -v "${prefix}_rss" '%s' "$rss"
    printf -v "${prefix}_pss" '%s' "$pss"
    printf -v "${prefix}_threads" '%s' "$(grep -c '' <<<"$threads1")"
    # Per thread over the idle span (threads that ran through all of it).
    printf -v "${prefix}_per_thread" '%s' "$(join <(sort <<<"$threads0") <(sort <<<"$threads1") |
        awk '{ printf "      %s %-16s cpu %d ms, switches %d + %d\n", $1, $2, ($7 - $3) * 1000 / '"$ticks_per_second"', $8 - $4, $9 - $5 }')"
}

# The server and the services run before anything is measured.
wine_run cmd /c exit || die "Wine does not start in $wine_dir"
wine_run regsvr32 /s "$standin" || die "could not register $standin"
standin_registered=1
wine_run reg add "$standin_key" /v Scenario /t REG_SZ /d "Z:${scenario//\//\\}" /f >/dev/null ||
    die "could not point the stand-in at $scenario"

echo "idle span ${idle_seconds} s after ${settle_seconds} s of settling; $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
measure "$bin/bare-loop.exe" ARVEK_BARE_LOOP bare
measure "$bin/Tidewatch.exe" TIDEWATCH agent

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print (a == 0 ? "- (both 0)" : "inf"); else printf "%.2f", a / b }'; }
row() {
    printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$(ratio "$4" "$5")"
}
# The bare_* and agent_* values are set by measure through printf -v.
# shellcheck disable=SC2154
{
echo
echo "| Measure | bare-loop.exe | Tidewatch.exe | Tidewatch/bare |"
echo "|---|---|---|---|"
row "CPU time over ${idle_seconds} s" "$bare_cpu_ms ms" "$agent_cpu_ms ms" "$agent_cpu_ms" "$bare_cpu_ms"
row "voluntary context switches" "$bare_voluntary" "$agent_voluntary" "$agent_voluntary" "$bare_voluntary"
row "involuntary context switches" "$bare_involuntary" "$agent_involuntary" "$agent_involuntary" "$bare_involuntary"
row "Wine server CPU time meanwhile" "$bare_server_ms ms" "$agent_server_ms ms" "$agent_server_ms" "$bare_server_ms"
row "threads" "$bare_threads" "$agent_threads" "$agent_threads" "$bare_threads"
row "RSS" "$bare_rss KiB" "$agent_rss KiB" "$agent_rss" "$bare_rss"
row "PSS" "$bare_pss KiB" "$agent_pss KiB" "$agent_pss" "$bare_pss"
row "start to window" "$bare_to_window ms" "$agent_to_window ms" "$agent_to_window" "$bare_to_window"
row "start to message loop" "$bare_to_loop ms" "$agent_to_loop ms" "$agent_to_loop" "$bare_to_loop"
echo
echo "   bare-loop.exe's threads over the idle span:"
echo "$bare_per_thread"
echo "   Tidewatch.exe's threads over the idle span:"
echo "$agent_per_thread"
}
