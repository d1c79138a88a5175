#!/usr/bin/env bash
# The data layer and the mainland lawyer window on a directory of 1,000,000 mainland lawyers,
# beside the sqlite3 command on the same rows and mdb-sql (mdbtools) on the same file, all in
# this one run. Prints one table of figures; the machine's load is part of it.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
LSSDB=$BUILD/tools/lssdb
BENCH=$BUILD/bench/data/bench_data
WINDOW=$BUILD/bench/data/bench_window
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

directory() { # rows -> path of a generated directory of that many lawyers
  local db=$BUILD/bench-lawyers-$1.mdb
  if [ ! -f "$db" ]; then
    echo "Generating $db ($1 lawyers) ..." >&2
    "$LSSDB" generate "$db.tmp" --lawyers "$1" --seed 7 >&2
    mv "$db.tmp" "$db"
  fi
  echo "$db"
}
DB=$(directory 1000000)
# the file's name the earlier runs used
[ -e "$BUILD/bench-lawyers-1m.mdb" ] || ln -sf "$DB" "$BUILD/bench-lawyers-1m.mdb"

SELECT="SELECT l_realName,l_sex,l_province,l_city,l_domain FROM lawyer"
FUZZY="$SELECT WHERE l_city like '%郑%'"
EXACT="$SELECT where 1=1 and l_province = '河南'"
ALL="$SELECT where 1=1"
WIDE="$SELECT WHERE l_city like '%州%'"

# Best of three wall-clock times of a command, in milliseconds.
best_ms() {
  local best="" start end ms
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1 || true
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
mdb_sql() { echo "$2" | mdb-sql -H -F -P "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a != "") printf "%.2f", a / b; else print "-" }'; }

# An imported copy of the same rows for the sqlite3 command (text columns COLLATE NOCASE).
import_copy() { # mdb -> sqlite file
  "$LSSDB" query "$1" "select * from lawyer" | sed '1d;$d' > "$WORK/lawyer.tsv"
  rm -f "$2"
  sqlite3 "$2" <<SQL
CREATE TABLE lawyer (l_id INTEGER, l_realName TEXT COLLATE NOCASE, l_sex TEXT COLLATE NOCASE,
  l_province TEXT COLLATE NOCASE, l_city TEXT COLLATE NOCASE, l_address TEXT COLLATE NOCASE,
  l_domain TEXT COLLATE NOCASE);
.mode tabs
.import $WORK/lawyer.tsv lawyer
SQL
}
import_copy "$DB" "$WORK/cmp.db"
# In-process time of a statement in the sqlite3 command, best of three.
sqlite_ms() {
  printf '.output /dev/null\nselect count(*) from lawyer;\n.timer on\n%s;\n%s;\n%s;\n' "$1" "$1" "$1" \
    | sqlite3 "$WORK/cmp.db" | awk '/Run Time/ {ms=$4*1000; if (best=="" || ms<best) best=ms} END {printf "%.1f", best}'
}

echo "== lss data layer"
"$BENCH" "$DB" > "$WORK/ours.txt"
cat "$WORK/ours.txt"

echo "== lss lawyer window"
# The data module opens lss.dll beside the program; a window system is needed for the window.
ln -sf "$DB" "$(dirname "$WINDOW")/lss.dll"
window() {
  if [ -n "${DISPLAY:-}" ]; then
    "$WINDOW" "$@"
  elif command -v xvfb-run > /dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$WINDOW" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$WINDOW" "$@"
  fi
}
window > "$WORK/window.txt"
for _ in 1 2 3; do window instant; done | sort -t$'\t' -k1,1 -k2,2n | awk -F'\t' '!seen[$1]++' > "$WORK/instant.txt"
for _ in 1 2 3; do window typing; done | sort -t$'\t' -k1,1 -k2,2n | awk -F'\t' '!seen[$1]++' > "$WORK/typing.txt"
cat "$WORK/window.txt" "$WORK/instant.txt" "$WORK/typing.txt"
ours() { awk -F'\t' -v k="$1" '$1==k {print $2}' "$WORK/ours.txt" "$WORK/window.txt" "$WORK/instant.txt" "$WORK/typing.txt"; }

echo "== fresh processes, fuzzy city search (best of 3, wall clock; then best CPU time, user + system)"
Q_FUZZY=$(best_ms "$LSSDB" query "$DB" "$FUZZY")
M_FUZZY=$(best_ms mdb_sql "$DB" "$FUZZY")
C_FUZZY=$(best_ms sqlite3 "$WORK/cmp.db" "$FUZZY")
echo "lssdb query $Q_FUZZY ms, mdb-sql $M_FUZZY ms, sqlite3 $C_FUZZY ms"
# CPU time of a command (all its processes), best of three, in milliseconds.
best_cpu_ms() {
  local best="" ms
  for _ in 1 2 3; do
    /usr/bin/time -o "$WORK/time.txt" -f "%U %S" "$@" > /dev/null 2>&1 || true
    ms=$(tail -1 "$WORK/time.txt" | awk '{printf "%d", ($1 + $2) * 1000}')
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
echo "$FUZZY" > "$WORK/fuzzy.sql"
QC_FUZZY=$(best_cpu_ms "$LSSDB" query "$DB" "$FUZZY")
MC_FUZZY=$(best_cpu_ms mdb-sql -H -F -P -i "$WORK/fuzzy.sql" "$DB")
CC_FUZZY=$(best_cpu_ms sqlite3 "$WORK/cmp.db" "$FUZZY")
echo "CPU: lssdb query $QC_FUZZY ms, mdb-sql $MC_FUZZY ms, sqlite3 $CC_FUZZY ms"

echo "== growth: the same three at 100,000 and 1,000,000 lawyers${LSS_BENCH_5M:+ and 5,000,000}"
SIZES="100000 1000000${LSS_BENCH_5M:+ 5000000}"
GROWTH=""
for n in $SIZES; do
  db=$(directory "$n")
  import_copy "$db" "$WORK/g.db"
  q=$(best_ms "$LSSDB" query "$db" "$FUZZY"); m=$(best_ms mdb_sql "$db" "$FUZZY"); s=$(best_ms sqlite3 "$WORK/g.db" "$FUZZY")
  GROWTH="$GROWTH$(printf '%-44s %10s %10s %10s %8s %8s' "  $n lawyers, fresh fuzzy (ms)" "$q" "$m" "$s" "$(ratio "$q" "$m")" "$(ratio "$q" "$s")")"$'\n'
done

S_FUZZY=$(sqlite_ms "$FUZZY"); S_ALL=$(sqlite_ms "$ALL"); S_WIDE=$(sqlite_ms "$WIDE"); S_EXACT=$(sqlite_ms "$EXACT")

echo
echo "== Side by side, 1,000,000 lawyers, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
row() { printf '%-44s %10s %10s %10s %8s %8s   %s\n' "$@"; }
row "figure" "lss" "mdb-sql" "sqlite3" "/mdb" "/sqlite3" "target"
row "lssdb query fuzzy city, fresh (ms)" "$Q_FUZZY" "$M_FUZZY" "$C_FUZZY" "$(ratio "$Q_FUZZY" "$M_FUZZY")" "$(ratio "$Q_FUZZY" "$C_FUZZY")" "/mdb < 1.0, /sqlite3 <= 2.5"
row "  the same, CPU time (ms)" "$QC_FUZZY" "$MC_FUZZY" "$CC_FUZZY" "$(ratio "$QC_FUZZY" "$MC_FUZZY")" "$(ratio "$QC_FUZZY" "$CC_FUZZY")" "-"
row "window first search, opened 1 s before (ms)" "$(ours win_typing_ms)" "-" "-" "-" "-" "<= 300"
row "window first search, at once (ms)" "$(ours win_instant_ms)" "-" "-" "-" "-" "<= 600"
row "later fuzzy '%郑%' $(ours win_fuzzy_rows) rows, in process (ms)" "$(ours win_fuzzy_ms)" "-" "$S_FUZZY" "-" "$(ratio "$(ours win_fuzzy_ms)" "$S_FUZZY")" "/sqlite3 <= 1.0"
row "later fuzzy '%州%' $(ours win_fuzzy_wide_rows) rows, in process (ms)" "$(ours win_fuzzy_wide_ms)" "-" "$S_WIDE" "-" "$(ratio "$(ours win_fuzzy_wide_ms)" "$S_WIDE")" "/sqlite3 <= 1.0"
row "exact l_province, data layer (ms)" "$(ours exact_ms)" "-" "$S_EXACT" "-" "$(ratio "$(ours exact_ms)" "$S_EXACT")" "/sqlite3 <= 1.0"
row "all rows, open + count, warm (ms)" "$(ours all_open_count_ms)" "-" "$S_ALL" "-" "$(ratio "$(ours all_open_count_ms)" "$S_ALL")" "<= 250"
row "  the same, CPU time of the thread (ms)" "$(ours all_open_count_cpu_ms)" "-" "-" "-" "-" "-"
row "all rows result open in the window (MB RSS)" "$(ours win_all_open_rss_mb)" "-" "-" "-" "-" "<= 120"
row "window process peak (MB)" "$(ours win_peak_rss_mb)" "-" "-" "-" "-" "-"
row "decode every column of lawyer (ms)" "$(ours load_ms)" "-" "-" "-" "-" "-"
row "  the same, CPU of the calling thread (ms)" "$(ours load_cpu_ms)" "-" "-" "-" "-" "(a second thread decodes half)"
printf '%s' "$GROWTH"
