#!/bin/bash
# A device arrival sent from another program under Wine, as the system sends
# it to a window registered for device interfaces: WM_DEVICECHANGE with
# DBT_DEVICEARRIVAL and a pointer to a DEV_BROADCAST_DEVICEINTERFACE_W record
# in the sender's memory. The receiving window, in a process of its own,
# must read the whole record, path included: the system copies the record
# into the receiver's process for this message.
#
#   device_arrival_test.sh RUN_WINE WINE_DIR WINDOW_TOOL_EXE
#
# Runs on an X display (ctest starts it under xvfb-run). Every wait is
# bounded; every way out stops the receiver.
set -u
run_wine=$1 wine_dir=$2 window_tool=$3

readonly window_class=ARVEK_ARRIVAL_PROBE
readonly path='\\?\USB#VID_17EF&PID_A391#5&2A5C1F0&0&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
readonly limit=30
output=$(mktemp)
receiver=""

cleanup() {
    if [ -n "$receiver" ]; then
        kill -TERM "$receiver" 2>/dev/null
        wait "$receiver" 2>/dev/null
    fi
    rm -f "$output"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    echo "--- the receiver's output:" >&2
    cat "$output" >&2
    exit 1
}

wine_run() { "$run_wine" "$wine_dir" "$@"; }

wine_run "$window_tool" find "$window_class" && fail "a \"$window_class\" window exists before the test starts"
timeout -k 5 90 "$run_wine" "$wine_dir" "$window_tool" receive "$window_class" >"$output" &
receiver=$!
deadline=$((SECONDS + limit))
until wine_run "$window_tool" find "$window_class"; do
    kill -0 "$receiver" 2>/dev/null || fail "the receiver ended before its window appeared"
    [ "$SECONDS" -lt "$deadline" ] || fail "no \"$window_class\" window within $limit s"
    sleep 0.2
done

wine_run "$window_tool" arrive "$window_class" "$path" >/dev/null || fail "sending the arrival failed with $?"
wait "$receiver"
status=$?
receiver=""
[ "$status" -eq 0 ] || fail "the receiver ended with $status"
# The record's size: 28 bytes before the name, then the name and its
# terminator in UTF-16.
size=$((28 + (${#path} + 1) * 2))
expected="WM_DEVICECHANGE wParam=0x8000 size=$size type=5 name=$path"
[ "$(tr -d '\r' <"$output")" = "$expected" ] || fail "expected: $expected"
echo "PASS: the receiver read the record: $expected"
