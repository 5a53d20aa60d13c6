#!/usr/bin/env bash
# Builds every preset and runs all tests: native, native with ASan+UBSan,
# native with TSan (the threaded parts), and the Windows build through Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
run_preset() {
  local preset=$1; shift
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs" "$@"
}
start=$(date +%s)
run_preset linux
run_preset linux-asan
run_preset linux-tsan -L threads
run_preset mingw
echo "all presets passed in $(( $(date +%s) - start )) s"
