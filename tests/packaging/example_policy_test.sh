#!/bin/bash
# The administrators' example policy: the README shows the file as it is,
# and the simulated notebook takes it unchanged. The agent on it writes its
# log file as the example says: notable steps (Verbose) and elapsed times
# (Diag), no function entries (TraceIn).
#
#   example_policy_test.sh TIDEWATCH_SIM SCENARIO EXAMPLE.reg README.md
set -u
if [ $# -ne 4 ]; then
    echo "usage: $0 TIDEWATCH_SIM SCENARIO EXAMPLE.reg README.md" >&2
    exit 2
fi
sim=$1 scenario=$2 example=$3 readme=$4

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The README's ```reg block that follows the line naming the file.
shown=$(awk -v name="$(basename "$example")" '
    index($0, name) { named = 1 }
    named && /^```reg$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' "$readme")
[ -n "$shown" ] || fail "$readme shows no \`\`\`reg block after naming $(basename "$example")"
[ "$shown" = "$(cat "$example")" ] || fail "$readme shows another text than $example: $(diff <(echo "$shown") "$example")"

root=$(mktemp -d) || exit 2
trap 'rm -rf "$root"' EXIT
"$sim" "$scenario" --root "$root" || fail "tidewatch-sim ended with $?"
log="$root/C/Users/user/AppData/Roaming/arqLog/Tidewatch.log"
[ -f "$log" ] || fail "no log file: $(cd "$root" && find . -type f)"
grep -q '|Verbose    |' "$log" || fail "no Verbose line in the log file"
grep -q '|Diag       |' "$log" || fail "no Diag line in the log file"
! grep -q '|TraceIn    |' "$log" || fail "a TraceIn line in the log file"
echo "PASS"
