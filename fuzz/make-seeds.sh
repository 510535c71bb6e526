#!/usr/bin/env bash
# Writes the reader fuzzer's seed databases: every description in fuzz/seeds-json/ and the
# sample in tests/data/, run through the project's test-database writer.
# usage: fuzz/make-seeds.sh [BUILD_DIR] [SEED_DIR]   (defaults: build, build-fuzz/seeds)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
seeds="${2:-$root/build-fuzz/seeds}"
mkmdb="$build/bin/zentab-mkmdb"
if [[ ! -x "$mkmdb" ]]; then
  echo "make-seeds.sh: $mkmdb not found; build the zentab-mkmdb target first" >&2
  exit 1
fi
mkdir -p "$seeds"
for json in "$root"/fuzz/seeds-json/*.json "$root"/tests/data/sample.json; do
  out="$seeds/$(basename "${json%.json}").mdb"
  "$mkmdb" "$json" "$out"
  echo "$out ($(stat -c %s "$out") bytes)"
done
