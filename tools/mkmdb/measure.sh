#!/usr/bin/env bash
# Prints how long zentab-mkmdb takes (and how much memory) for the two large cases: 2,000
# tables of 50 fields, and one table of about 1 GB of rows. Figures, not a pass/fail test.
# Usage: tools/mkmdb/measure.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
work=${2:-$(mktemp -d)}
mkmdb="$build/bin/zentab-mkmdb"
[ -x "$mkmdb" ] || { echo "measure.sh: $mkmdb not built" >&2; exit 2; }
mkdir -p "$work"

# Seconds between two `date +%s%N` readings.
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }

# Runs zentab-mkmdb and prints wall time, peak resident memory and file size.
run() {
  local name=$1 json=$2 out=$3 start end
  start=$(date +%s%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%M" -o "$work/rss" "$mkmdb" "$json" "$out"
  else
    "$mkmdb" "$json" "$out"
    echo "?" > "$work/rss"
  fi
  end=$(date +%s%N)
  printf '%-24s %8s s  peak RSS %8s KB  file %12d bytes\n' "$name" \
    "$(seconds "$start" "$end")" "$(cat "$work/rss")" "$(stat -c %s "$out")"
}

# 2,000 tables x 50 fields (ten field types, properties on every other field), 10 rows each.
awk 'BEGIN {
  split("long text boolean double datetime currency memo integer guid byte", types, " ");
  printf "{\"format\": \"jet4\", \"tables\": [\n";
  for (t = 1; t <= 2000; t++) {
    printf "%s{\"name\": \"Table%04d\", \"rows\": 10, \"fields\": [", (t > 1 ? ",\n" : ""), t;
    for (f = 1; f <= 50; f++) {
      type = types[(f - 1) % 10 + 1];
      printf "%s{\"name\": \"Field%02d\", \"type\": \"%s\"", (f > 1 ? ", " : ""), f, type;
      if (f % 2 == 0) printf ", \"required\": true, \"default\": \"0\"";
      printf "}";
    }
    printf "]}";
  }
  printf "\n]}\n";
}' > "$work/wide.json"
run "2000 tables x 50 fields" "$work/wide.json" "$work/wide.mdb"

# One table of 13,000,000 rows of about 80 bytes: about 1 GB of data pages.
cat > "$work/big.json" <<'EOF'
{"format": "jet4", "tables": [{"name": "Big", "rows": 13000000, "fields": [
  {"name": "ID", "type": "long", "autoNumber": true},
  {"name": "Name", "type": "text", "size": 50},
  {"name": "Amount", "type": "currency"},
  {"name": "When", "type": "datetime"},
  {"name": "Ratio", "type": "double"},
  {"name": "Note", "type": "memo"}]}]}
EOF
run "1 table of ~1 GB" "$work/big.json" "$work/big.mdb"

# mdbtools' reading: the table list, the stored row count, and (VERIFY=1, about two
# minutes) every row of the big table fetched through its usage map.
if command -v mdb-tables >/dev/null && command -v mdb-count >/dev/null; then
  echo "mdb-tables lists $(mdb-tables -1 "$work/wide.mdb" | wc -l) tables in wide.mdb"
  echo "mdb-count Table2000: $(mdb-count "$work/wide.mdb" Table2000)"
  echo "mdb-count Big: $(mdb-count "$work/big.mdb" Big)"
  if [ "${VERIFY:-0}" = 1 ]; then
    start=$(date +%s%N)
    echo "mdb-export Big: $(($(mdb-export "$work/big.mdb" Big | wc -l) - 1)) rows" \
      "in $(seconds "$start" "$(date +%s%N)") s"
  fi
fi
echo "files left in $work"
