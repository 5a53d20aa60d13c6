#!/usr/bin/env bash
# Builds every preset and runs all tests: native, native with ASan+UBSan,
# native with TSan (the threaded parts), the Windows build through Wine, and
# a short fuzzing run of the firmware-answer parsing.
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
echo "installer package: $(ls build/mingw/package/Tidewatch-*-x64.msi)"
# The firmware-answer parsing (the audit log's too), the scenario reader and the .reg reader under
# libFuzzer for a bounded time. New inputs go to a scratch folder (the seed
# corpus stays as committed); a crash, a hang or a leak stops the script,
# with the input left in build/fuzz/.
echo "=== fuzz ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
fuzz_work=$(mktemp -d)
trap 'rm -rf "$fuzz_work"' EXIT
for target in usbc_messages usbc_config scenario reg_file audit_log; do
  mkdir -p "$fuzz_work/$target"
  build/fuzz/bin/${target}_fuzzer "$fuzz_work/$target" fuzz/corpus/$target \
    -max_total_time=45 -max_len=65536 -rss_limit_mb=1024 -timeout=30 -artifact_prefix=build/fuzz/
done
echo "all presets passed in $(( $(date +%s) - start )) s"
