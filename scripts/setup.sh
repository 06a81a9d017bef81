#!/usr/bin/env bash
# Installs the Debian packages the project needs and the machine lacks, and
# nothing else. Every system dependency of the project is listed here.
#
#   scripts/setup.sh [GROUP ...]
#
#   build     (default) the build, the tool, the Python package, the tests and the benchmarks
#   fuzz      clang with libFuzzer and the sanitizer runtimes
#   windows   the mingw-w64 cross compiler, its libgcrypt, and Wine
#   windows-i686  the 32-bit mingw-w64 cross compiler
#   faults    what scripts/plant-faults.sh adds: ccache
#
# Installs as root or through `sudo -n`. When it cannot, it names the missing
# packages and the command that installs them, and exits 1. A machine that has
# everything costs one dpkg-query.
set -euo pipefail

declare -A groups=(
  [build]="cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
           libcli11-dev nlohmann-json3-dev libgcrypt20-dev libicu-dev python3 python3-dev pybind11-dev
           python3-pytest python3-olefile python3-dask python3-distributed python3-pandas libgsf-bin"
  [fuzz]="clang libclang-rt-14-dev"
  [windows]="g++-mingw-w64-x86-64 libgcrypt-mingw-w64-dev wine wine64"
  [windows-i686]="g++-mingw-w64-i686"
  [faults]="ccache"
)

[ $# -gt 0 ] || set -- build
wanted=()
for group in "$@"; do
  [ -n "${groups[$group]+x}" ] || { echo "setup: unknown group '$group' (${!groups[*]})" >&2; exit 2; }
  read -r -a packages <<<"${groups[$group]//$'\n'/ }"
  wanted+=("${packages[@]}")
done

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "setup: not a Debian system; install the equivalents of: ${wanted[*]}" >&2
  exit 0
fi

# One query for all; a package dpkg has never heard of is not listed at all.
declare -A installed=()
while read -r package status; do
  [ "$status" != installed ] || installed[$package]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null || true)
missing=()
for package in "${wanted[@]}"; do
  [ -n "${installed[$package]+x}" ] || missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || exit 0

command=(apt-get install -y --no-install-recommends "${missing[@]}")
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! sudo -n true 2>/dev/null; then
    echo "setup: missing ${missing[*]}; install them as root: apt-get update && ${command[*]}" >&2
    exit 1
  fi
  sudo=(sudo -n)
fi

echo "setup: installing ${missing[*]}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update &&
       "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${command[@]}"; } >"$log" 2>&1; then
  reason=$(grep -E '^(E|W):' "$log" | head -n1 || true)
  echo "setup: could not install ${missing[*]}${reason:+ ($reason)}; as root: apt-get update && ${command[*]}" >&2
  exit 1
fi
