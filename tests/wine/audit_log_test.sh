#!/bin/bash
# What the audit-log mirroring hands ReportEventW under Wine:
#
#   audit_log_test.sh RUN_WINE WINE_DIR audit-log-host.exe CASE_DIR
#
# Wine's ReportEventW stores nothing; it prints its arguments on a fixme
# line of the "advapi" channel and each insertion string on the "eventlog"
# channel, as err, warn or trace by the event's type. The host mirrors
# CASE_DIR/input.xml twice; the reports, reduced to their type, category,
# id and strings, must be CASE_DIR/expected.txt: every entry once, the last
# first, nothing for "Unknown", nothing again on the second pass.
set -u -o pipefail
run_wine=$1 wine_dir=$2 host=$3 case_dir=$4

# Wine maps the Unix root to drive Z:.
input="Z:${case_dir//\//\\}\\input.xml"
output=$(ARVEK_WINEDEBUG="fixme+advapi,+eventlog" "$run_wine" "$wine_dir" "$host" "$input" 2>&1)
status=$?
if [ $status -ne 0 ]; then
    echo "audit-log-host.exe failed with $status:"
    echo "$output"
    exit 1
fi
actual=$(printf '%s\n' "$output" | sed -n -E \
    -e 's/^[0-9a-f]+:fixme:advapi:ReportEventW \([0-9A-Fa-f]+,(0x[0-9a-f]+),(0x[0-9a-f]+),(0x[0-9a-f]+),[0-9A-Fa-f]+,(0x[0-9a-f]+),.*$/report type=\1 category=\2 id=\3 strings=\4/p' \
    -e 's/^[0-9a-f]+:(trace|warn|err):eventlog:ReportEventW (.*)$/\1 \2/p' \
    -e 's/^(keys: [0-9]+)$/\1/p')
if ! diff -u "$case_dir/expected.txt" <(printf '%s\n' "$actual"); then
    echo "--- the host's whole output:"
    echo "$output"
    exit 1
fi
echo "the event log got what the mirroring must write"
