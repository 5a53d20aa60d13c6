#!/bin/bash
# Tidewatch.exe under Wine, end to end. Runs on an X display (the agent's
# hidden window needs one): ctest starts it under xvfb-run.
#
#   tidewatch_test.sh CASE RUN_WINE WINE_DIR TIDEWATCH_EXE WINDOW_TOOL_EXE
#
# CASE image_building   With the maker's image state "IMAGE_STATE_UNDEPLOYABLE"
#                       the agent ends at once with 0; with
#                       "IMAGE_STATE_COMPLETE" the same program stays up with
#                       its window until it is closed.
# CASE single_instance  A second agent in the session ends with 1 while the
#                       first keeps running; closing the first one's window
#                       ends it with 0.
#
# Every wait is bounded; every way out stops the agents this script started
# and removes the registry value it set.
set -u

if [ $# -ne 5 ]; then
    echo "usage: $0 CASE RUN_WINE WINE_DIR TIDEWATCH_EXE WINDOW_TOOL_EXE" >&2
    exit 2
fi
case_name=$1 run_wine=$2 wine_dir=$3 tidewatch=$4 window_tool=$5

readonly image_key='HKLM\Software\Arvek\Arvek Image'
readonly window_class=TIDEWATCH
readonly limit=60          # seconds any one step may take
readonly program_limit=180 # hard limit for an agent started in the background

background=()  # pids of the timeout(1) processes wrapping background agents

wine_run() { "$run_wine" "$wine_dir" "$@"; }

cleanup() {
    local pid
    for pid in "${background[@]}"; do
        # timeout(1) passes the signal on to the agent's process group.
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "${background[@]}"; do
        wait "$pid" 2>/dev/null
    done
    wine_run reg delete "$image_key" /v StateName /f >/dev/null 2>&1
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

step() { echo "-- $*"; }

set_image_state() {
    wine_run reg add "$image_key" /v StateName /t REG_SZ /d "$1" /f >/dev/null ||
        fail "could not set StateName to $1"
}

clear_image_state() {
    wine_run reg delete "$image_key" /v StateName /f >/dev/null 2>&1
    return 0
}

# Runs the agent in the foreground; sets `status` to its exit code.
run_agent() {
    timeout -k 5 "$limit" "$run_wine" "$wine_dir" "$tidewatch"
    status=$?
    [ "$status" -ne 124 ] || fail "Tidewatch.exe did not end within $limit s"
}

# Starts the agent in the background; sets `agent` to the pid to wait for.
start_agent() {
    timeout -k 5 "$program_limit" "$run_wine" "$wine_dir" "$tidewatch" &
    agent=$!
    background+=("$agent")
}

running() { kill -0 "$1" 2>/dev/null; }

window_exists() { wine_run "$window_tool" find "$window_class"; }

# Waits until the agent `$1` shows its window; fails when it ends first.
wait_for_window() {
    local deadline=$((SECONDS + limit))
    until window_exists; do
        if ! running "$1"; then
            wait "$1"
            fail "Tidewatch.exe ended with $? before its window appeared"
        fi
        [ "$SECONDS" -lt "$deadline" ] || fail "no \"$window_class\" window within $limit s"
        sleep 0.2
    done
}

# Waits until the agent `$1` ends; sets `status` to its exit code.
wait_for_exit() {
    local deadline=$((SECONDS + limit))
    while running "$1"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "Tidewatch.exe did not end within $limit s"
        sleep 0.2
    done
    wait "$1"
    status=$?
}

close_window() {
    wine_run "$window_tool" close "$window_class" || fail "could not post WM_CLOSE to the \"$window_class\" window"
}

# A left-over agent of an earlier, interrupted run would change every result.
window_exists && fail "a \"$window_class\" window exists before the test starts"

case "$case_name" in
image_building)
    step "StateName = IMAGE_STATE_UNDEPLOYABLE: the agent ends at once"
    set_image_state IMAGE_STATE_UNDEPLOYABLE
    run_agent
    [ "$status" -eq 0 ] || fail "with the image still building: exit code $status, expected 0"
    window_exists && fail "with the image still building a window was left behind"

    # The same program on a finished image stays up: the quick end above
    # came from the image state.
    step "StateName = IMAGE_STATE_COMPLETE: the agent stays up with its window"
    set_image_state IMAGE_STATE_COMPLETE
    start_agent
    wait_for_window "$agent"
    close_window
    wait_for_exit "$agent"
    [ "$status" -eq 0 ] || fail "on a finished image: exit code $status after WM_CLOSE, expected 0"
    ;;
single_instance)
    step "first instance: up with its window"
    clear_image_state
    start_agent
    first=$agent
    wait_for_window "$first"

    step "second instance: ends with 1, the first keeps running"
    run_agent
    [ "$status" -eq 1 ] || fail "second instance: exit code $status, expected 1"
    running "$first" || fail "the first instance ended when the second one started"
    window_exists || fail "the first instance's window is gone after the second one started"

    step "WM_CLOSE to the first instance: it ends with 0"
    close_window
    wait_for_exit "$first"
    [ "$status" -eq 0 ] || fail "first instance: exit code $status after WM_CLOSE, expected 0"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac

echo "PASS: $case_name"
