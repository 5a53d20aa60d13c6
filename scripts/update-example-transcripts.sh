#!/usr/bin/env bash
# Writes each example notebook's transcript beside its scenario, from the
# linux preset's tidewatch-sim: run it after a change that is meant to
# change what the agent does, and read the diff before committing it.
set -euo pipefail
cd "$(dirname "$0")/.."
sim=${1:-build/linux/bin/tidewatch-sim}
for scenario in examples/*.scenario; do
  case $scenario in *-ports.scenario) continue ;; esac  # the viewer's
  LC_ALL=C "$sim" "$scenario" > "${scenario%.scenario}.transcript"
  echo "wrote ${scenario%.scenario}.transcript"
done
