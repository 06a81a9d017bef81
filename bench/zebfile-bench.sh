#!/usr/bin/env bash
# Times `zebfile ls --hash` and `zebfile props` over the tests/data compound
# files copied COPIES times (200 by default; hard links where the file system
# allows, so that the 8 MiB file does not fill the disk), with -j 1 and -j 2,
# and prints files per second. Each run is timed after one untimed run that
# brings the files into the page cache.
#
#   bash bench/zebfile-bench.sh [path/to/zebfile]   (default build/default/tools/zebfile)
set -euo pipefail
cd "$(dirname "$0")/.."
zebfile=${1:-build/default/tools/zebfile}
copies=${COPIES:-200}
[ -x "$zebfile" ] || { echo "no $zebfile: build it first (cmake --build --preset default --target zebfile)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sources=()
for file in tests/data/*; do
  [ -f "$file" ] && [ "${file##*.}" != md ] && sources+=("$file")
done
for ((i = 0; i < copies; i++)); do
  mkdir "$work/$i"
  cp -l "${sources[@]}" "$work/$i/" 2>/dev/null || cp "${sources[@]}" "$work/$i/"
done
count=$((copies * ${#sources[@]}))
bytes=$(du -sbL "${sources[@]}" | awk '{s += $1} END {print s * '"$copies"'}')
echo "$count files ($((bytes / 1000000)) MB), ${#sources[@]} files of tests/data copied $copies times"

printf '%-16s %4s %10s %12s\n' command jobs seconds files/s
for command in "ls --hash" "props"; do
  for jobs in 1 2; do
    # shellcheck disable=SC2086
    "$zebfile" $command -r -j "$jobs" "$work" >/dev/null
    start=$(date +%s.%N)
    # shellcheck disable=SC2086
    "$zebfile" $command -r -j "$jobs" "$work" >/dev/null
    end=$(date +%s.%N)
    awk -v c="$command" -v j="$jobs" -v s="$start" -v e="$end" -v n="$count" \
      'BEGIN { t = e - s; printf "%-16s %4d %10.2f %12.0f\n", c, j, t, n / t }'
  done
done
