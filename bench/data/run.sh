#!/usr/bin/env bash
# The data layer on a directory of 1,000,000 mainland lawyers, beside the sqlite3 command on
# the same rows and mdb-sql (mdbtools) on the same file.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
LSSDB=$BUILD/tools/lssdb
BENCH=$BUILD/bench/data/bench_data
DB=$BUILD/bench-lawyers-1m.mdb
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

if [ ! -f "$DB" ]; then
  echo "Generating $DB (1,000,000 lawyers) ..."
  "$LSSDB" generate "$DB.tmp" --lawyers 1000000 --seed 7
  mv "$DB.tmp" "$DB"
fi

SELECT="SELECT l_realName,l_sex,l_province,l_city,l_domain FROM lawyer"
FUZZY="$SELECT WHERE l_city like '%郑%'"
EXACT="$SELECT where 1=1 and l_province = '河南'"
ALL="$SELECT where 1=1"

echo "== lss data layer"
"$BENCH" "$DB" > "$WORK/ours.txt"
cat "$WORK/ours.txt"
ours() { awk -F'\t' -v k="$1" '$1==k {print $2}' "$WORK/ours.txt"; }

echo "== sqlite3 $(sqlite3 --version | cut -d' ' -f1) (same rows, text columns COLLATE NOCASE, best of 3)"
"$LSSDB" query "$DB" "select * from lawyer" | sed '1d;$d' > "$WORK/lawyer.tsv"
sqlite3 "$WORK/cmp.db" <<SQL
CREATE TABLE lawyer (l_id INTEGER, l_realName TEXT COLLATE NOCASE, l_sex TEXT COLLATE NOCASE,
  l_province TEXT COLLATE NOCASE, l_city TEXT COLLATE NOCASE, l_address TEXT COLLATE NOCASE,
  l_domain TEXT COLLATE NOCASE);
.mode tabs
.import $WORK/lawyer.tsv lawyer
SQL
sqlite_ms() {
  printf '.output /dev/null\nselect count(*) from lawyer;\n.timer on\n%s;\n%s;\n%s;\n' "$1" "$1" "$1" \
    | sqlite3 "$WORK/cmp.db" | awk '/Run Time/ {ms=$4*1000; if (best=="" || ms<best) best=ms} END {printf "%.1f", best}'
}
S_FUZZY=$(sqlite_ms "$FUZZY"); S_EXACT=$(sqlite_ms "$EXACT"); S_ALL=$(sqlite_ms "$ALL")
echo "fuzzy_ms $S_FUZZY  exact_ms $S_EXACT  all_ms $S_ALL"

echo "== mdb-sql (mdbtools), whole command, wall clock"
mdb_ms() {
  local start end
  start=$(date +%s%N)
  echo "$1" | mdb-sql -H -F -P "$DB" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
M_FUZZY=$(mdb_ms "$FUZZY"); M_EXACT=$(mdb_ms "$EXACT"); M_ALL=$(mdb_ms "$ALL")
echo "fuzzy_ms $M_FUZZY  exact_ms $M_EXACT  all_ms $M_ALL"

echo
echo "== Side by side (1,000,000 lawyers)"
printf '%-34s %12s %12s %12s %s\n' "figure" "lss" "sqlite3" "mdb-sql" "target"
printf '%-34s %12s %12s %12s %s\n' "connect (ms)" "$(ours connect_ms)" "-" "-" "< 50"
printf '%-34s %12s %12s %12s %s\n' "load lawyer (rows/s)" "$(ours load_rows_per_s)" "-" "-" ">= 500000"
printf '%-34s %12s %12s %12s %s\n' "fuzzy l_city like '%郑%' (ms)" "$(ours fuzzy_ms)" "$S_FUZZY" "$M_FUZZY" "<= 1.5 x sqlite3"
printf '%-34s %12s %12s %12s %s\n' "exact l_province (ms)" "$(ours exact_ms)" "$S_EXACT" "$M_EXACT" "<= 1.5 x sqlite3"
printf '%-34s %12s %12s %12s %s\n' "all rows, open + count (ms)" "$(ours all_open_count_ms)" "$S_ALL" "$M_ALL" "< 1000"
printf '%-34s %12s %12s %12s %s\n' "peak memory (MB)" "$(ours peak_rss_mb)" "-" "-" "< 400"
