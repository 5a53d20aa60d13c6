#!/bin/bash
# Tidewatch.exe under Wine, end to end, told through its own log. Runs on an
# X display (ctest starts it under xvfb-run) with the Tolm stand-in
# registered in the prefix (fixture tolm_standin).
#
#   tidewatch_e2e_test.sh RUN_WINE WINE_DIR TIDEWATCH_EXE WINDOW_TOOL_EXE CASE_DIR
#
# CASE_DIR (tidewatch-e2e) holds tolm.scenario, the machine the stand-in
# answers for (named by the stand-in's "Scenario" value for the run), and
# story.txt, the run as the agent's main thread logs
# it, "Level|Function|Message" a line, with the messages sent to the window
# from another process between them as "> COMMAND ARGUMENTS" lines of
# window-tool.exe (send, post, close), the lines of the agent's other
# threads as "~ Level|Function|Message" and "#" comments. The script points
# the stand-in at the scenario, sets the log policy (file log, Verbose to Error) in the prefix, starts the agent,
# and before each command waits until the log holds every line above it, so
# a message never arrives while the start-up still runs or while the one
# before is handled. After the last command the agent must end with exit
# code 0 and the main thread's lines must be the story's, in order, with
# nothing more; the other threads' lines must be the story's "~" lines in
# their order, wherever they fall between the main thread's (that is the
# scheduler's choice).
#
# Every wait is bounded; every way out stops the agent and removes the
# policy values, the stand-in's scenario and the log file this script made.
set -u

if [ $# -ne 5 ]; then
    echo "usage: $0 RUN_WINE WINE_DIR TIDEWATCH_EXE WINDOW_TOOL_EXE CASE_DIR" >&2
    exit 2
fi
run_wine=$1 tidewatch=$3 window_tool=$4
wine_dir=$(cd "$2" && pwd) || exit 2
case_dir=$(cd "$5" && pwd) || exit 2
story=$case_dir/story.txt
scenario=$case_dir/tolm.scenario

readonly product_key='HKLM\Software\Policies\Arvek\Tidewatch Application'
readonly policy_key="$product_key\\Tidewatch"
readonly standin_key='HKCR\CLSID\{CA490AE1-8C69-45D5-9533-D4692726F2FB}'
readonly window_class=TIDEWATCH
readonly limit=60          # seconds any one step may take
readonly program_limit=240 # hard limit for the agent in the background

agent=""
user_log=""
product_key_existed=1

wine_run() { "$run_wine" "$wine_dir" "$@"; }

cleanup() {
    if [ -n "$agent" ]; then
        # timeout(1) passes the signal on to the agent's process group.
        kill -TERM "$agent" 2>/dev/null
        wait "$agent" 2>/dev/null
    fi
    wine_run reg delete "$standin_key" /v Scenario /f >/dev/null 2>&1
    wine_run reg delete "$policy_key" /f >/dev/null 2>&1
    [ "$product_key_existed" = 0 ] && wine_run reg delete "$product_key" /f >/dev/null 2>&1
    [ -n "$user_log" ] && rm -f "$user_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    if [ -n "$user_log" ] && [ -f "$user_log" ]; then
        echo "--- the agent's log:" >&2
        tr -d '\r' <"$user_log" >&2
    fi
    exit 1
}

step() { echo "-- $*"; }
running() { kill -0 "$1" 2>/dev/null; }
window_exists() { wine_run "$window_tool" find "$window_class"; }

# The log's lines "time|thread|level|function|message" as
# "thread|level|function|message", the level without its padding.
log_records() {
    [ -f "$user_log" ] || return 0
    tr -d '\r' <"$user_log" |
        sed -n -E -e '1s/^\xEF\xBB\xBF//' -e 's/^[0-9]{4}\/[0-9]{2}\/[0-9]{2} [0-9:.]{12}\|([0-9A-F]{8})\|([A-Za-z]+) *\|/\1|\2|/p'
}

# The main thread's lines, "level|function|message": the main thread writes
# the first line of the run (the window's WM_CREATE).
main_lines() {
    log_records | awk -F'|' 'NR == 1 { main = $1 } $1 == main { print substr($0, length($1) + 2) }'
}

other_lines() {
    log_records | awk -F'|' 'NR == 1 { main = $1 } $1 != main { print substr($0, length($1) + 2) }'
}

# Waits until the main thread has logged the story's first `$1` lines; fails
# at once when what it logged differs from them.
wait_for_lines() {
    local count=$1 deadline=$((SECONDS + limit)) got
    while :; do
        got=$(main_lines | head -n "$count")
        if [ "$got" = "$(head -n "$count" <<<"$expected")" ]; then
            return 0
        fi
        if [ "$(grep -c '' <<<"$got")" -ge "$count" ] && [ -n "$got" ]; then
            diff -u <(head -n "$count" <<<"$expected") <(printf '%s\n' "$got") >&2
            fail "the agent's main thread logged other lines than the story's first $count"
        fi
        if ! running "$agent"; then
            wait "$agent"
            local status=$?
            agent=""
            fail "Tidewatch.exe ended with $status before it logged the story's first $count lines"
        fi
        [ "$SECONDS" -lt "$deadline" ] || fail "the story's first $count lines were not logged within $limit s"
        sleep 0.2
    done
}

# --- before the run --------------------------------------------------------

[ -f "$story" ] || fail "no story $story"
[ -f "$scenario" ] || fail "no scenario $scenario"
wine_run reg query "$standin_key" >/dev/null 2>&1 || fail "the Tolm stand-in is not registered in the prefix"
window_exists && fail "a \"$window_class\" window exists before the test starts"

# The user's roaming folder as Wine has it, where the file log goes.
appdata=$(wine_run cmd /c echo %APPDATA% | tail -n 1)
[ -n "$appdata" ] || fail "no APPDATA in the prefix"
unix_appdata=$(WINEPREFIX="$wine_dir/prefix" winepath -u "$appdata" 2>/dev/null)
[ -d "$unix_appdata" ] || fail "the user's folder $appdata is not in the prefix"
user_log="$unix_appdata/arqLog/Tidewatch.log"
rm -f "$user_log"

# Wine maps the Unix root to drive Z:.
wine_run reg add "$standin_key" /v Scenario /t REG_SZ /d "Z:${scenario//\//\\}" /f >/dev/null ||
    fail "could not point the stand-in at $scenario"
wine_run reg query "$product_key" >/dev/null 2>&1 || product_key_existed=0
wine_run reg delete "$policy_key" /f >/dev/null 2>&1
for value in LoggingType=FILE MinLogLevel=Verbose MaxLogLevel=Error; do
    wine_run reg add "$policy_key" /v "${value%%=*}" /t REG_SZ /d "${value#*=}" /f >/dev/null ||
        fail "could not set ${value%%=*}"
done

# The story's expected lines, and the number of them before each command.
expected=""
others=""
commands=()
counts=()
lines=0
while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
    '' | '#'*) ;;
    '> '*)
        commands+=("${line#> }")
        counts+=("$lines")
        ;;
    '~ '*)
        others+="${line#\~ }"$'\n'
        ;;
    *)
        expected+="$line"$'\n'
        lines=$((lines + 1))
        ;;
    esac
done <"$story"
expected=${expected%$'\n'}
others=${others%$'\n'}
[ "${#commands[@]}" -gt 0 ] || fail "the story $story sends nothing"

# --- the run ---------------------------------------------------------------

step "Tidewatch.exe starts with the file log at Verbose"
timeout -k 5 "$program_limit" "$run_wine" "$wine_dir" "$tidewatch" &
agent=$!

for i in "${!commands[@]}"; do
    command=${commands[$i]}
    wait_for_lines "${counts[$i]}"
    step "window-tool $command"
    # shellcheck disable=SC2086 # the command's words are its arguments
    set -- $command
    verb=$1
    shift
    wine_run "$window_tool" "$verb" "$window_class" "$@" >/dev/null ||
        fail "window-tool $command failed with $?"
done

deadline=$((SECONDS + limit))
while running "$agent"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "Tidewatch.exe did not end within $limit s of the last command"
    sleep 0.2
done
wait "$agent"
status=$?
agent=""
[ "$status" -eq 0 ] || fail "Tidewatch.exe ended with $status, expected 0"

if ! diff -u <(printf '%s\n' "$expected") <(main_lines); then
    fail "the main thread's log is not the story $story"
fi
if ! diff -u <(printf '%s\n' "$others") <(other_lines); then
    fail "the other threads' log is not the story's \"~\" lines"
fi
echo "PASS: the agent told the story of $story"
