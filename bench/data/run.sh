#!/usr/bin/env bash
# The data layer and the mainland lawyer window on a directory of 1,000,000 mainland lawyers,
# beside the sqlite3 command on an imported copy of the same rows (and mdb-sql on the same file),
# all in this one run. Every figure shows wall-clock and CPU time (user + system; the machine may
# be shared, so CPU time and the ratio to the peer measured in the same run are what count),
# each the median of 5 runs, ours and the peer's interleaved. LSS_BENCH_5M=1 adds 5,000,000
# lawyers (slow to generate the first time).
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
LSSDB=$BUILD/tools/lssdb
BENCH=$BUILD/bench/data/bench_data
WINDOW=$BUILD/bench/data/bench_window
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
RUNS=5

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
STAR="SELECT * FROM lawyer"
COUNT="SELECT COUNT(*) FROM lawyer"

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
  rm -f "$WORK/lawyer.tsv"
}

# One run of a command: "wall_ms cpu_ms peak_kb".
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -o "$WORK/time.txt" -f "%U %S %M" "$@" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  tail -1 "$WORK/time.txt" | awk -v w=$(( (end - start) / 1000000 )) '{printf "%d %d %d\n", w, ($1 + $2) * 1000, $3}'
}
median() { sort -n | awk '{v[NR]=$1} END {if (NR) print v[int((NR + 1) / 2)]; else print "-"}'; }
# Median of each field of the lines in a file: "wall cpu peak".
medians() { for k in 1 2 3; do cut -d' ' -f$k "$1" | median; done | paste -sd' '; }

# Fresh processes, interleaved: pair NAME CMD_A -- CMD_B; sets NAME_A and NAME_B to
# "wall cpu peak_kb" medians.
pair() {
  local name=$1; shift
  local -a a=() b=()
  while [ "$1" != "--" ]; do a+=("$1"); shift; done
  shift
  b=("$@")
  : > "$WORK/a.txt"; : > "$WORK/b.txt"
  for _ in $(seq $RUNS); do
    measure "${a[@]}" >> "$WORK/a.txt"
    measure "${b[@]}" >> "$WORK/b.txt"
  done
  printf -v "${name}_A" '%s' "$(medians "$WORK/a.txt")"
  printf -v "${name}_B" '%s' "$(medians "$WORK/b.txt")"
}
field() { echo "$1" | cut -d' ' -f"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a != "" && a != "-") printf "%.2f", a / b; else print "-" }'; }
holds() { awk -v v="$1" -v op="$2" -v t="$3" 'BEGIN { if (v == "-" || v == "") print "?"; else if ((op == "<=" && v + 0 <= t + 0) || (op == ">=" && v + 0 >= t + 0)) print "yes"; else print "NO" }'; }

# In-process time of a statement in the sqlite3 command: "wall_ms cpu_ms", median of 5.
sqlite_in_process() { # file statement
  { printf '.output /dev/null\nselect count(*) from lawyer;\n.timer on\n'; for _ in $(seq $RUNS); do printf '%s;\n' "$2"; done; } \
    | sqlite3 "$1" | awk '/Run Time/ {printf "%.1f %.1f\n", $4 * 1000, ($6 + $8) * 1000}' > "$WORK/s.txt"
  printf '%s %s\n' "$(cut -d' ' -f1 "$WORK/s.txt" | median)" "$(cut -d' ' -f2 "$WORK/s.txt" | median)"
}

# The window program: the data module opens lss.dll beside it; a window system is needed.
window() { # db mode...
  ln -sf "$1" "$(dirname "$WINDOW")/lss.dll"
  shift
  if [ -n "${DISPLAY:-}" ]; then
    "$WINDOW" "$@"
  elif command -v xvfb-run > /dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$WINDOW" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$WINDOW" "$@"
  fi
}
# Medians of the figures of RUNS runs of a window mode, as "key<TAB>value" lines.
window_medians() { # db mode
  : > "$WORK/w.txt"
  for _ in $(seq $RUNS); do window "$1" "$2" >> "$WORK/w.txt"; done
  for key in $(cut -f1 "$WORK/w.txt" | sort -u); do
    case $key in
      *_busy_cursor) v=$(awk -F'\t' -v k="$key" '$1==k {print $2}' "$WORK/w.txt" | sort | head -1) ;;
      *) v=$(awk -F'\t' -v k="$key" '$1==k {print $2}' "$WORK/w.txt" | median) ;;
    esac
    printf '%s\t%s\n' "$key" "$v"
  done
}

CMP=$WORK/cmp.db
import_copy "$DB" "$CMP"

echo "== lss data layer (best of three in one process; CPU of the calling thread)"
"$BENCH" "$DB" > "$WORK/ours.txt"
cat "$WORK/ours.txt"

echo "== lss lawyer window"
window "$DB" > "$WORK/window.txt"
window_medians "$DB" instant > "$WORK/instant.txt"
window_medians "$DB" typing > "$WORK/typing.txt"
window_medians "$DB" stall > "$WORK/stall.txt"
cat "$WORK/window.txt" "$WORK/instant.txt" "$WORK/typing.txt" "$WORK/stall.txt"
ours() { awk -F'\t' -v k="$1" '$1==k {v=$2} END {print (v == "" ? "-" : v)}' "$WORK/ours.txt" "$WORK/window.txt" "$WORK/instant.txt" "$WORK/typing.txt" "$WORK/stall.txt" ${EXTRA:+"$WORK/five.txt" "$WORK/five_typing.txt"}; }

echo "== fresh processes, median of $RUNS interleaved runs"
echo "$FUZZY" > "$WORK/fuzzy.sql"
echo "$COUNT" > "$WORK/count.sql"
pair FUZZY "$LSSDB" query "$DB" "$FUZZY" -- sqlite3 "$CMP" "$FUZZY"
pair MDBFUZZY mdb-sql -H -F -P -i "$WORK/fuzzy.sql" "$DB" -- true
pair STAR "$LSSDB" query "$DB" "$STAR" -- sqlite3 "$CMP" "$STAR"
pair COUNT "$LSSDB" query "$DB" "$COUNT" -- sqlite3 "$CMP" "$COUNT"
pair MDBCOUNT mdb-sql -H -F -P -i "$WORK/count.sql" "$DB" -- true
S_FUZZY=$(sqlite_in_process "$CMP" "$FUZZY"); S_WIDE=$(sqlite_in_process "$CMP" "$WIDE")
S_EXACT=$(sqlite_in_process "$CMP" "$EXACT"); S_ALL=$(sqlite_in_process "$CMP" "$ALL")
S_SORT=$(sqlite_in_process "$CMP" "$ALL ORDER BY l_realName")
S_SORTP=$(sqlite_in_process "$CMP" "$ALL ORDER BY l_province")
pair CSV "$LSSDB" query "$DB" "$ALL" --format csv -- sqlite3 -csv "$CMP" "$ALL"

EXTRA=""
if [ -n "${LSS_BENCH_5M:-}" ]; then
  DB5=$(directory 5000000)
  import_copy "$DB5" "$WORK/five.db"
  pair FUZZY5 "$LSSDB" query "$DB5" "$FUZZY" -- sqlite3 "$WORK/five.db" "$FUZZY"
  pair STAR5 "$LSSDB" query "$DB5" "$STAR" -- sqlite3 "$WORK/five.db" "$STAR"
  window "$DB5" | sed 's/^win_/five_win_/' > "$WORK/five.txt"
  window_medians "$DB5" typing | sed 's/^win_/five_win_/' > "$WORK/five_typing.txt"
  cat "$WORK/five.txt" "$WORK/five_typing.txt"
  EXTRA=1
fi

echo
echo "== Side by side, 1,000,000 lawyers, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
row() { printf '%-46s %9s %9s  %-26s %9s %9s %7s   %-18s %s\n' "$@"; }
row "figure" "wall ms" "CPU ms" "peer, same run" "wall ms" "CPU ms" "ratio" "target (CPU)" "holds"
pairrow() { # label ours peer-label peer target-op target-value [scale]
  local r; r=$(ratio "$(field "$2" 2)" "$(field "$4" 2)")
  row "$1" "$(field "$2" 1)" "$(field "$2" 2)" "$3" "$(field "$4" 1)" "$(field "$4" 2)" "$r" "ratio $5 $6" "$(holds "$r" "$5" "$6")"
}
pairrow "fresh lssdb query fuzzy city" "$FUZZY_A" "sqlite3" "$FUZZY_B" "<=" 1.0
pairrow "  the same, beside mdb-sql" "$FUZZY_A" "mdb-sql" "$MDBFUZZY_A" "<=" 1.0
if [ -n "$EXTRA" ]; then
  pairrow "  the same at 5,000,000" "$FUZZY5_A" "sqlite3" "$FUZZY5_B" "<=" 1.0
fi
pairrow "fresh SELECT * FROM lawyer" "$STAR_A" "sqlite3" "$STAR_B" "<=" 1.3
mem_row() { # label ours peer
  local a b; a=$(awk -v k="$(field "$2" 3)" 'BEGIN {printf "%.0f", k / 1024}'); b=$(awk -v k="$(field "$3" 3)" 'BEGIN {printf "%.0f", k / 1024}')
  row "$1" "$a MB" "" "sqlite3" "$b MB" "" "$(ratio "$a" "$b")" "<= 64 MB" "$(holds "$a" "<=" 64)"
}
mem_row "  its peak memory" "$STAR_A" "$STAR_B"
if [ -n "$EXTRA" ]; then
  mem_row "  its peak memory at 5,000,000" "$STAR5_A" "$STAR5_B"
fi
pairrow "fresh SELECT COUNT(*)" "$COUNT_A" "sqlite3" "$COUNT_B" "<=" 0.5
pairrow "  the same, beside mdb-sql" "$COUNT_A" "mdb-sql" "$MDBCOUNT_A" "<=" 1.0
INSTANT="$(ours win_instant_ms) $(ours win_instant_cpu_ms)"
r=$(ratio "$(ours win_instant_ms)" "$(field "$FUZZY_A" 1)"); rc=$(ratio "$(ours win_instant_cpu_ms)" "$(field "$FUZZY_A" 2)")
row "window: first search at the instant it opens" "$(field "$INSTANT" 1)" "$(field "$INSTANT" 2)" "fresh lssdb query" "$(field "$FUZZY_A" 1)" "$(field "$FUZZY_A" 2)" "$r/$rc" "wall, CPU <= 1.0" "$(holds "$r" "<=" 1.0)/$(holds "$rc" "<=" 1.0)"
inrow() { # label key peer
  local r; r=$(ratio "$(ours "${2}_cpu_ms")" "$(field "$3" 2)")
  row "$1" "$(ours "${2}_ms")" "$(ours "${2}_cpu_ms")" "sqlite3, in process" "$(field "$3" 1)" "$(field "$3" 2)" "$r" "ratio <= 0.3" "$(holds "$r" "<=" 0.3)"
}
inrow "window: later fuzzy '%郑%', $(ours win_fuzzy_rows) rows" win_fuzzy "$S_FUZZY"
inrow "window: later fuzzy '%州%', $(ours win_fuzzy_wide_rows) rows" win_fuzzy_wide "$S_WIDE"
row "window: all rows, open and count" "$(ours win_all_ms)" "$(ours win_all_cpu_ms)" "sqlite3, in process" "$(field "$S_ALL" 1)" "$(field "$S_ALL" 2)" "$(ratio "$(ours win_all_cpu_ms)" "$(field "$S_ALL" 2)")" "<= 100 ms" "$(holds "$(ours win_all_cpu_ms)" "<=" 100)"
row "  data layer, the same" "$(ours all_open_count_ms)" "$(ours all_open_count_cpu_ms)" "" "" "" "" "" ""
row "window: sort all rows by name (pinyin)" "$(ours win_sort_name_ms)" "$(ours win_sort_name_cpu_ms)" "sqlite3 ORDER BY, in process" "$(field "$S_SORT" 1)" "$(field "$S_SORT" 2)" "$(ratio "$(ours win_sort_name_cpu_ms)" "$(field "$S_SORT" 2)")" "<= 500 ms" "$(holds "$(ours win_sort_name_cpu_ms)" "<=" 500)"
row "  the same by province" "$(ours win_sort_province_ms)" "$(ours win_sort_province_cpu_ms)" "sqlite3 ORDER BY, in process" "$(field "$S_SORTP" 1)" "$(field "$S_SORTP" 2)" "$(ratio "$(ours win_sort_province_cpu_ms)" "$(field "$S_SORTP" 2)")" "<= 500 ms" "$(holds "$(ours win_sort_province_cpu_ms)" "<=" 500)"
row "  longest stretch without repainting" "$(ours win_sort_stall_ms)" "" "" "" "" "" "<= 100 ms" "$(holds "$(ours win_sort_stall_ms)" "<=" 100)"
row "window: save all rows as CSV, $(ours win_save_mb) MB" "$(ours win_save_ms)" "$(ours win_save_cpu_ms)" "fresh sqlite3 -csv" "$(field "$CSV_B" 1)" "$(field "$CSV_B" 2)" "$(ratio "$(ours win_save_cpu_ms)" "$(field "$CSV_B" 2)")" "ratio <= 1.0" "$(holds "$(ratio "$(ours win_save_cpu_ms)" "$(field "$CSV_B" 2)")" "<=" 1.0)"
row "  longest stretch without repainting" "$(ours win_save_stall_ms)" "" "" "" "" "" "<= 100 ms" "$(holds "$(ours win_save_stall_ms)" "<=" 100)"
row "window: Ctrl+A, Ctrl+C of all rows" "$(ours win_copy_ms)" "$(ours win_copy_cpu_ms)" "" "" "" "" "-" ""
row "  longest stretch without repainting" "$(ours win_copy_stall_ms)" "" "" "" "" "" "<= 100 ms" "$(holds "$(ours win_copy_stall_ms)" "<=" 100)"
row "window: first search 1 s after opening" "$(ours win_typing_ms)" "$(ours win_typing_cpu_ms)" "fresh lssdb query" "$(field "$FUZZY_A" 1)" "$(field "$FUZZY_A" 2)" "$(ratio "$(ours win_typing_ms)" "$(field "$FUZZY_A" 1)")" "<= 300 ms at 5M" "$(holds "$(ours win_typing_ms)" "<=" 300)"
row "window: RSS with all rows open" "$(ours win_all_open_rss_mb) MB" "" "peak of the process" "$(ours win_peak_rss_mb) MB" "" "" "<= 250 MB at 5M" "$(holds "$(ours win_all_open_rss_mb)" "<=" 250)"
if [ -n "$EXTRA" ]; then
  row "  at 5,000,000: first search 1 s after opening" "$(ours five_win_typing_ms)" "$(ours five_win_typing_cpu_ms)" "fresh lssdb query" "$(field "$FUZZY5_A" 1)" "$(field "$FUZZY5_A" 2)" "" "<= 300 ms" "$(holds "$(ours five_win_typing_ms)" "<=" 300)"
  row "  at 5,000,000: RSS with all rows open" "$(ours five_win_all_open_rss_mb) MB" "" "peak of the process" "$(ours five_win_peak_rss_mb) MB" "" "" "<= 250 MB" "$(holds "$(ours five_win_all_open_rss_mb)" "<=" 250)"
fi
STALL=$(awk -v a="$(ours win_stall_ms)" -v b="$(ours win_instant_stall_ms)" 'BEGIN {print (a > b ? a : b)}')
BUSY=$([ "$(ours win_busy_cursor)" = yes ] && [ "$(ours win_instant_busy_cursor)" = yes ] && echo yes || echo no)
row "window: longest stretch without repainting" "$STALL" "" "busy cursor shown" "$BUSY" "" "" "<= 100 ms, busy" "$(holds "$STALL" "<=" 100)/$BUSY"
row "exact l_province, data layer" "$(ours exact_ms)" "$(ours exact_cpu_ms)" "sqlite3, in process" "$(field "$S_EXACT" 1)" "$(field "$S_EXACT" 2)" "$(ratio "$(ours exact_cpu_ms)" "$(field "$S_EXACT" 2)")" "-" ""
row "decode every column of lawyer" "$(ours load_ms)" "$(ours load_cpu_ms)" "(a second thread decodes half)" "" "" "" "-" ""
