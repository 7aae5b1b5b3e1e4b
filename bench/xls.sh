#!/usr/bin/env bash
# The workbook road against the CSV road, side by side in one run: the same
# generated data (ROWS rows x 10 columns: numbers, text, dates, date-times,
# times) as a CSV file and as an .xlsx workbook, each converted by MORVANTE
# as by default (refinement on) straight into one private MariaDB server,
# into fresh databases.
# Prints rows/s and peak memory (maximum resident set) of both and the ratio
# of their rows/s. Target: the workbook road at least 0.8 of the CSV road's
# rows/s.
#   bench/xls.sh [ROWS] [RUNS]      (defaults: 1000000 rows, best of 3 runs)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ROWS="${1:-1000000}"
RUNS="${2:-3}"
BENCH_NAME=xls
. "$ROOT/bench/server_lib.sh"
generate_csv "$ROWS" "$WORK/bench.csv"
/usr/bin/python3 "$ROOT/bench/csv2xlsx.py" "$WORK/bench.csv" "$WORK/bench.xlsx"

server=(--host="$RVL_MYSQL_HOST" --port="$RVL_MYSQL_PORT" --user="$RVL_MYSQL_USER" --pswd="$RVL_MYSQL_PASSWORD"
        --mode=0 --silent --extr_fn)
# One conversion: prints "wall_s peak_kB" and checks the row count.
convert() {
    local db=$1; shift
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$PROGRAM" "${server[@]}" --dest="$db" "$@"
    local n
    n=$(client -N -e "SELECT COUNT(*) FROM $db.bench")
    [ "$n" = "$ROWS" ] || { echo "$db holds $n rows, not $ROWS" >&2; exit 1; }
    cat "$WORK/time"
}

printf "%-4s %-5s %8s %12s %10s\n" run road "wall s" "rows/s" "peak MB"
best_csv=0 best_xls=0
for run in $(seq 1 "$RUNS"); do
    read -r wall_c peak_c < <(convert bench_csv --from_csv --src="$WORK/bench.csv" --csv_delim=2 --tab_name=bench)
    read -r wall_x peak_x < <(convert bench_xls --src="$WORK/bench.xlsx")
    awk -v r="$ROWS" -v run="$run" -v wc="$wall_c" -v pc="$peak_c" -v wx="$wall_x" -v px="$peak_x" 'BEGIN {
        printf "%-4d %-5s %8.2f %12.0f %10.1f\n", run, "csv", wc, r / wc, pc / 1024;
        printf "%-4d %-5s %8.2f %12.0f %10.1f\n", run, "xlsx", wx, r / wx, px / 1024 }'
    best_csv=$(awk -v a="$best_csv" -v w="$wall_c" -v r="$ROWS" 'BEGIN { v = r / w; print (v > a ? v : a) }')
    best_xls=$(awk -v a="$best_xls" -v w="$wall_x" -v r="$ROWS" 'BEGIN { v = r / w; print (v > a ? v : a) }')
done
awk -v c="$best_csv" -v x="$best_xls" 'BEGIN {
    printf "best rows/s: csv %.0f, xlsx %.0f; xlsx/csv = %.2f (target 0.80)\n", c, x, x / c }'
ls -l "$WORK/bench.csv" "$WORK/bench.xlsx" | awk '{ printf "%s %.1f MB\n", $NF, $5 / 1048576 }'
