#!/usr/bin/env bash
# Fault injection: plants each fault of mutants/*.patch in turn into a scratch copy of the
# source tree, rebuilds, runs the test suite and prints whether the suite noticed (killed) or
# not (survived), then the score. The source tree itself is never modified.
#
# Environment: MUTATE_WORK scratch folder (default /tmp/zentab-mutate), MUTATE_SOURCE tree to
# mutate (default this repository's working tree), MUTATE_TIMEOUT seconds per suite run
# (default 300), JOBS parallel jobs (default 2). Arguments: patch files to try instead of all.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source_dir=$(cd "${MUTATE_SOURCE:-$root}" && pwd)
work=${MUTATE_WORK:-/tmp/zentab-mutate}
limit=${MUTATE_TIMEOUT:-300}
jobs=${JOBS:-2}
if [ $# -gt 0 ]; then patches=("$@"); else patches=("$root"/mutants/*.patch); fi

src=$work/src
build=$work/build
logs=$work/logs
applied=

# A fault left planted would poison the next run: take it back however this script ends.
revert() {
  if [ -n "$applied" ]; then
    patch -p1 -R -s --no-backup-if-mismatch -d "$src" <"$applied" >/dev/null 2>&1 || true
    applied=
  fi
}
trap 'revert; exit 130' INT TERM
trap revert EXIT

mkdir -p "$work" "$logs"
# A fresh copy of the tree; tar keeps the modification times, so an earlier scratch build
# only recompiles what changed.
rm -rf "$src"
mkdir -p "$src"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git --exclude=./out -cf - . |
  tar -C "$src" -xf -
# Objects of an earlier run may have been built from a planted fault, and the copy keeps the
# older times of the clean files: every file a fault touches is rebuilt once.
for p in "$root"/mutants/*.patch; do
  sed -n 's|^+++ b/\([^[:space:]]*\).*|\1|p' "$p"
done | sort -u | while read -r file; do
  [ -e "$src/$file" ] && touch "$src/$file"
done
# The shared corpus is found beside the source tree.
if [ -d "$source_dir/../shared" ] && [ ! -e "$work/shared" ]; then
  ln -s "$(cd "$source_dir/../shared" && pwd)" "$work/shared"
fi

launcher=
if command -v ccache >/dev/null; then
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
cmake -S "$src" -B "$build" $launcher >"$logs/configure.log" 2>&1 ||
  { echo "configure failed, see $logs/configure.log"; exit 1; }

# A test that fails only once under load is tried again; a planted fault fails it both times.
run_suite() {
  timeout -s KILL "$limit" ctest --test-dir "$build" -j"$jobs" --timeout 120 \
    --repeat until-pass:2 --stop-on-failure --output-on-failure >"$1" 2>&1
}

echo "unmutated: building and running the suite"
if ! cmake --build "$build" -j"$jobs" >"$logs/build.log" 2>&1; then
  echo "the unmutated tree does not build, see $logs/build.log"
  exit 1
fi
if ! run_suite "$logs/unmutated.log"; then
  echo "the suite fails without any fault, see $logs/unmutated.log"
  exit 1
fi

killed=0
total=0
survivors=()
for p in "${patches[@]}"; do
  name=$(basename "$p" .patch)
  if ! patch -p1 -s --no-backup-if-mismatch -d "$src" --dry-run <"$p" >/dev/null 2>&1; then
    printf '%-44s does not apply\n' "$name"
    continue
  fi
  patch -p1 -s --no-backup-if-mismatch -d "$src" <"$p" >/dev/null
  applied=$p
  start=$(date +%s)
  if ! cmake --build "$build" -j"$jobs" >"$logs/$name.build.log" 2>&1; then
    printf '%-44s does not build, see %s\n' "$name" "$logs/$name.build.log"
    revert
    continue
  fi
  total=$((total + 1))
  if run_suite "$logs/$name.log"; then
    printf '%-44s survived (%ds)\n' "$name" $(($(date +%s) - start))
    survivors+=("$name")
  else
    first=$(grep -m1 -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*(Failed|Timeout|Exception)' \
      "$logs/$name.log" | sed -E 's/^.*Test +#[0-9]+: ([^ ]+).*/\1/')
    printf '%-44s killed by %s (%ds)\n' "$name" "${first:-the time limit}" \
      $(($(date +%s) - start))
    killed=$((killed + 1))
  fi
  revert
done

if [ "$total" -gt 0 ]; then
  echo "killed $killed of $total ($((100 * killed / total))%)"
else
  echo "killed 0 of 0"
fi
[ ${#survivors[@]} -eq 0 ] || echo "survived: ${survivors[*]}"
