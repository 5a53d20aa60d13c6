#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test both
# builds: the native one and the Windows one (mingw-w64, run under Wine),
# with its installer package (wixl and msitools) and the policy templates'
# checks (xmllint, from libxml2-utils).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake ninja-build g++ git
  googletest libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev
  libpugixml-dev python3 locales
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 xvfb xauth
  wixl msitools libxml2-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=""
  [ "$(id -u)" = 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
