#!/usr/bin/env bash
# The data layer and the mainland lawyer window on a directory of 1,000,000 mainland lawyers,
# beside the sqlite3 command on the same rows and mdb-sql (mdbtools) on the same file.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
LSSDB=$BUILD/tools/lssdb
BENCH=$BUILD/bench/data/bench_data
WINDOW=$BUILD/bench/data/bench_window
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
WIDE="$SELECT WHERE l_city like '%州%'"

echo "== lss data layer"
"$BENCH" "$DB" > "$WORK/ours.txt"
cat "$WORK/ours.txt"

echo "== lss lawyer window (no box checked: every lawyer; then fuzzy searches on the city)"
# The data module opens lss.dll beside the program; a window system is needed for the window.
ln -sf "$DB" "$(dirname "$WINDOW")/lss.dll"
if [ -n "${DISPLAY:-}" ]; then
  "$WINDOW" > "$WORK/window.txt"
elif command -v xvfb-run > /dev/null; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "$WINDOW" > "$WORK/window.txt"
else
  QT_QPA_PLATFORM=offscreen "$WINDOW" > "$WORK/window.txt"
fi
cat "$WORK/window.txt"
ours() { awk -F'\t' -v k="$1" '$1==k {print $2}' "$WORK/ours.txt" "$WORK/window.txt"; }

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
S_FUZZY=$(sqlite_ms "$FUZZY"); S_EXACT=$(sqlite_ms "$EXACT"); S_ALL=$(sqlite_ms "$ALL"); S_WIDE=$(sqlite_ms "$WIDE")
echo "fuzzy_ms $S_FUZZY  exact_ms $S_EXACT  all_ms $S_ALL  wide_ms $S_WIDE"

echo "== mdb-sql (mdbtools), whole command, wall clock"
mdb_ms() {
  local start end
  start=$(date +%s%N)
  echo "$1" | mdb-sql -H -F -P "$DB" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
M_FUZZY=$(mdb_ms "$FUZZY"); M_EXACT=$(mdb_ms "$EXACT"); M_ALL=$(mdb_ms "$ALL"); M_WIDE=$(mdb_ms "$WIDE")
echo "fuzzy_ms $M_FUZZY  exact_ms $M_EXACT  all_ms $M_ALL  wide_ms $M_WIDE"

echo
echo "== Side by side (1,000,000 lawyers)"
printf '%-34s %12s %12s %12s %s\n' "figure" "lss" "sqlite3" "mdb-sql" "target"
printf '%-34s %12s %12s %12s %s\n' "connect (ms)" "$(ours connect_ms)" "-" "-" "< 50"
printf '%-34s %12s %12s %12s %s\n' "load lawyer (rows/s)" "$(ours load_rows_per_s)" "-" "-" ">= 500000"
printf '%-34s %12s %12s %12s %s\n' "fuzzy l_city like '%郑%' (ms)" "$(ours fuzzy_ms)" "$S_FUZZY" "$M_FUZZY" "<= 1.5 x sqlite3"
printf '%-34s %12s %12s %12s %s\n' "exact l_province (ms)" "$(ours exact_ms)" "$S_EXACT" "$M_EXACT" "<= 1.5 x sqlite3"
printf '%-34s %12s %12s %12s %s\n' "all rows, open + count (ms)" "$(ours all_open_count_ms)" "$S_ALL" "$M_ALL" "< 1000"
printf '%-34s %12s %12s %12s %s\n' "peak memory (MB)" "$(ours peak_rss_mb)" "-" "-" "< 400"
echo
echo "== The lawyer window (1,000,000 lawyers; searches include repainting the grid)"
printf '%-34s %12s %12s %12s %s\n' "figure" "lss" "sqlite3" "mdb-sql" "target"
printf '%-34s %12s %12s %12s %s\n' "first search, all rows + load (ms)" "$(ours win_first_all_ms)" "-" "$M_ALL" "< mdb-sql"
printf '%-34s %12s %12s %12s %s\n' "search again, all rows (ms)" "$(ours win_all_ms)" "$S_ALL" "$M_ALL" "< 1000"
printf '%-34s %12s %12s %12s %s\n' "fuzzy '%郑%' $(ours win_fuzzy_rows) rows (ms)" "$(ours win_fuzzy_ms)" "$S_FUZZY" "$M_FUZZY" "<= 1.5 x sqlite3"
printf '%-34s %12s %12s %12s %s\n' "fuzzy '%州%' $(ours win_fuzzy_wide_rows) rows (ms)" "$(ours win_fuzzy_wide_ms)" "$S_WIDE" "$M_WIDE" "<= 1.5 x sqlite3"
printf '%-34s %12s %12s %12s %s\n' "scroll a page + repaint (ms)" "$(ours win_page_scroll_ms)" "-" "-" "< 16.7 (60 Hz)"
printf '%-34s %12s %12s %12s %s\n' "jump anywhere + repaint (ms)" "$(ours win_jump_scroll_ms)" "-" "-" "< 16.7 (60 Hz)"
printf '%-34s %12s %12s %12s %s\n' "window open, RSS (MB)" "$(ours win_window_rss_mb)" "-" "-" "-"
printf '%-34s %12s %12s %12s %s\n' "all rows shown, RSS (MB)" "$(ours win_all_open_rss_mb)" "-" "-" "< 400"
printf '%-34s %12s %12s %12s %s\n' "peak memory (MB)" "$(ours win_peak_rss_mb)" "-" "-" "< 400"
