#!/usr/bin/env bash
# Documents a sample database into out/ with zentab-cli and says where the report and the
# definition document are.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/out"
mkdir -p "$out"
files=()
if [ -x "$top/$build/bin/zentab-mkmdb" ] && [ -f "$top/tests/data/sample.json" ]; then
  "$top/$build/bin/zentab-mkmdb" "$top/tests/data/sample.json" "$out/sample.mdb"
  files+=("$out/sample.mdb")
fi
"$top/$build/bin/zentab-cli" --output "$out/report.html" --details "$out/definition.html" \
  "${files[@]}"
echo "Report: $out/report.html"
echo "Definition document: $out/definition.html"
