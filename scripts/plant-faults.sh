#!/usr/bin/env bash
# Plants the faults listed in scripts/faults/faults.txt, one at a time, into a
# scratch copy of the project, builds it and runs every test suite. A fault is
# caught when a test fails, a suite crashes or a suite hangs.
#
#   scripts/plant-faults.sh [--tests-from REV] [--out FILE] [--compare FILE] [ID ...]
#
#   --tests-from REV  run the tests/ of commit REV against today's library
#   --out FILE        where the results go (default: <scratch>/results.txt)
#   --compare FILE    results of an earlier run: list the faults caught there
#                     and missed now, and the other way round (exit 1 when a
#                     fault caught there is missed now)
#   ID ...            plant only these faults
#
# The scratch copy and its build live in $ZEB_FAULTS_DIR (default
# /tmp/zeb-faults) and are reused: each fault rebuilds only what it touches.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${ZEB_FAULTS_DIR:-/tmp/zeb-faults}
faults=$root/scripts/faults/faults.txt
tests_from= out= compare=
ids=()
while [ $# -gt 0 ]; do
  case $1 in
  --tests-from) tests_from=$2; shift 2 ;;
  --out) out=$2; shift 2 ;;
  --compare) compare=$2; shift 2 ;;
  -h | --help) sed -n '2,16p' "$0"; exit 0 ;;
  *) ids+=("$1"); shift ;;
  esac
done
out=${out:-$scratch/results.txt}
[ -z "$compare" ] || compare=$(realpath "$compare")
mkdir -p "$scratch" "$(dirname "$out")"
out=$(realpath "$out")

# ---- the scratch copy: today's files (and the tests of REV), copied only
# where they differ so that the build stays incremental.
stage=$scratch/stage src=$scratch/src build=$scratch/build
rm -rf "$stage" && mkdir -p "$stage" "$src"
(cd "$root" && git ls-files -co --exclude-standard | while read -r f; do [ -f "$f" ] && echo "$f"; done) |
  tar -C "$root" -cf - -T - | tar -C "$stage" -xf -
if [ -n "$tests_from" ]; then
  rm -rf "$stage/tests"
  git -C "$root" archive "$tests_from" tests | tar -C "$stage" -xf -
fi
(cd "$stage" && find . -type f) | while read -r f; do
  cmp -s "$stage/$f" "$src/$f" || { mkdir -p "$(dirname "$src/$f")"; cp "$stage/$f" "$src/$f"; }
done
(cd "$src" && find . -type f) | while read -r f; do [ -e "$stage/$f" ] || rm -f "$src/$f"; done

bash "$root/scripts/setup.sh" build faults
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$scratch CCACHE_NOHASHDIR=1
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEBFILE_BUILD_BENCH=OFF >/dev/null
build_all() { cmake --build "$build" -j2 >"$scratch/build.log" 2>&1; }

# Runs every suite; prints the failing tests (a crash or a hang names the
# suite and the test that was running). Returns 1 when anything failed.
run_suites() {
  local failed=() exe rc log
  for exe in "$build"/tests/zeb_*tests; do
    log=$scratch/run-$(basename "$exe").log
    rc=0
    (cd "$build/tests" && timeout 120 "$exe" >"$log" 2>&1) || rc=$?
    [ $rc -eq 0 ] && continue
    mapfile -t names < <(sed -n 's/^\[  FAILED  \] \([^ ,]*\.[^ ,]*\).*/\1/p' "$log" | sort -u)
    failed+=("${names[@]}")
    if [ $rc -eq 124 ]; then
      failed+=("$(basename "$exe"):hang($(sed -n 's/^\[ RUN      \] //p' "$log" | tail -1))")
    elif [ $rc -gt 1 ]; then
      failed+=("$(basename "$exe"):crash($(sed -n 's/^\[ RUN      \] //p' "$log" | tail -1))")
    elif [ ${#names[@]} -eq 0 ]; then
      failed+=("$(basename "$exe"):exit-$rc")
    fi
  done
  echo "${failed[*]}"
  [ ${#failed[@]} -eq 0 ]
}

# Plants fault $1 into the scratch copy: 0 applied, 1 text not found once.
plant() {
  python3 - "$faults" "$src" "$1" <<'PY'
import sys
faults, src, wanted = sys.argv[1:]
record = None
for line in open(faults, encoding="utf-8").read().split("\n"):
    if line.startswith("@@ "):
        if record and record["id"] == wanted:
            break
        head, _, _ = line[3:].partition(" | ")
        fid, path = head.split()
        record = {"id": fid, "path": path, "old": [], "new": []}
    elif record and line.startswith("- "):
        record["old"].append(line[2:])
    elif record and line.startswith("+ "):
        record["new"].append(line[2:])
if not record or record["id"] != wanted:
    sys.exit(1)
path = f"{src}/{record['path']}"
text = open(path, encoding="utf-8").read()
old = "\n".join(record["old"])
new = "\n".join(record["new"])
if text.count(old) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

echo "building the scratch copy in $scratch ..."
build_all || { echo "the unfaulted copy does not build: see $scratch/build.log"; exit 2; }
if ! failing=$(run_suites); then
  echo "the unfaulted copy fails its tests: $failing"
  exit 2
fi

mapfile -t all < <(sed -n 's/^@@ \([^ ]*\) \([^ ]*\) | \(.*\)/\1\t\2\t\3/p' "$faults")
: >"$out"
caught=0 missed=0 other=0
for row in "${all[@]}"; do
  IFS=$'\t' read -r id file what <<<"$row"
  if [ ${#ids[@]} -gt 0 ] && [[ " ${ids[*]} " != *" $id "* ]]; then
    continue
  fi
  cp -p "$src/$file" "$scratch/original"
  if ! plant "$id"; then
    status=not-applied tests=
  elif ! build_all; then
    status=not-built tests=
  elif tests=$(run_suites); then
    status=missed
  else
    status=caught
  fi
  cp "$scratch/original" "$src/$file"
  case $status in caught) caught=$((caught + 1)) ;; missed) missed=$((missed + 1)) ;; *) other=$((other + 1)) ;; esac
  printf '%s %-11s %s | %s | %s\n' "$id" "$status" "$file" "$what" "$tests" | tee -a "$out"
done
build_all || true
echo "caught $caught of $((caught + missed)) planted faults ($missed missed, $other not planted); results in $out"

if [ -n "$compare" ]; then
  lost=$(join <(awk '$2 == "caught" {print $1}' "$compare" | sort) <(awk '$2 == "missed" {print $1}' "$out" | sort))
  gained=$(join <(awk '$2 == "missed" {print $1}' "$compare" | sort) <(awk '$2 == "caught" {print $1}' "$out" | sort))
  echo "caught before, missed now: ${lost:-none}" | tr '\n' ' '; echo
  echo "missed before, caught now: ${gained:-none}" | tr '\n' ' '; echo
  [ -z "$lost" ]
fi
