#!/usr/bin/env bash
# One CSV file of ROWS rows x 10 columns loaded, on one private MariaDB server,
# into fresh tables in these ways:
#   (a) MORVANTE straight into the server, as by default (refinement on);
#   (b) the mariadb client running the dump MORVANTE --dump makes of the file
#       with the same settings (the same final statements: the server-bound
#       limit of this design);
#   (a') and (b') the same two with --no_refine;
#   (c) the server's own LOAD DATA LOCAL INFILE into the table of (a').
# Prints rows/s of each, the ratios a/b, a'/b' and a'/c, and MORVANTE's CPU
# share of its wall time in (a). Targets: a/b at least 0.9, a'/b' at least
# 1.0, MORVANTE's CPU below 15% of its wall time; a'/c is recorded, not gated.
#   bench/server.sh [ROWS]      (default: 1000000)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ROWS="${1:-1000000}"
BENCH_NAME=server
. "$ROOT/bench/server_lib.sh"
generate_csv "$ROWS" "$WORK/in.csv"

# Seconds of wall time of a command, its CPU (user + system) kept in $WORK/cpu.
timed() {
    /usr/bin/time -f "%e %U %S" -o "$WORK/time" "$@"
    read -r wall user sys < "$WORK/time"
    awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }' > "$WORK/cpu"
    echo "$wall"
}
common=(--from_csv --src="$WORK/in.csv" --csv_delim=2 --extr_fn --tab_name=bench --silent)
server=(--host="$RVL_MYSQL_HOST" --port="$RVL_MYSQL_PORT" --user="$RVL_MYSQL_USER" --pswd="$RVL_MYSQL_PASSWORD"
        --mode=0)

# MORVANTE into database $1, then the client replaying its dump into $2;
# the extra options follow. Prints "wall_a cpu_a wall_b".
pair() {
    local a=$1 b=$2; shift 2
    local wall_a cpu_a wall_b
    wall_a=$(timed "$PROGRAM" "${common[@]}" "$@" "${server[@]}" --dest="$a")
    cpu_a=$(cat "$WORK/cpu")
    "$PROGRAM" "${common[@]}" "$@" --dump --dest="$WORK/$b.sql"
    client -e "CREATE DATABASE $b"
    wall_b=$(timed sh -c "mariadb --no-defaults -h$RVL_MYSQL_HOST -P$RVL_MYSQL_PORT -u$RVL_MYSQL_USER \
        -p$RVL_MYSQL_PASSWORD $b < '$WORK/$b.sql'")
    echo "$wall_a $cpu_a $wall_b"
}
read -r wall_a cpu_a wall_b < <(pair bench_a bench_b)
read -r wall_na cpu_na wall_nb < <(pair bench_na bench_nb --no_refine)

client -e "CREATE DATABASE bench_c; CREATE TABLE bench_c.bench LIKE bench_na.bench"
wall_c=$(timed mariadb --no-defaults --local-infile=1 -h"$RVL_MYSQL_HOST" -P"$RVL_MYSQL_PORT" -u"$RVL_MYSQL_USER" \
    -p"$RVL_MYSQL_PASSWORD" bench_c -e "LOAD DATA LOCAL INFILE '$WORK/in.csv' INTO TABLE bench
    FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"' LINES TERMINATED BY '\n' IGNORE 1 LINES")

for db in bench_a bench_b bench_na bench_nb bench_c; do
    n=$(client -N -e "SELECT COUNT(*) FROM $db.bench")
    [ "$n" = "$ROWS" ] || { echo "$db holds $n rows, not $ROWS" >&2; exit 1; }
done
awk -v r="$ROWS" -v a="$wall_a" -v b="$wall_b" -v na="$wall_na" -v nb="$wall_nb" -v c="$wall_c" -v cpu="$cpu_a" 'BEGIN {
    printf "%-44s %8s %12s\n", "way", "wall s", "rows/s";
    printf "%-44s %8.2f %12.0f\n", "(a) MORVANTE into the server", a, r / a;
    printf "%-44s %8.2f %12.0f\n", "(b) mariadb client runs its dump", b, r / b;
    printf "%-44s %8.2f %12.0f\n", "(a\x27) MORVANTE --no_refine into the server", na, r / na;
    printf "%-44s %8.2f %12.0f\n", "(b\x27) mariadb client runs its dump", nb, r / nb;
    printf "%-44s %8.2f %12.0f\n", "(c) LOAD DATA LOCAL INFILE", c, r / c;
    printf "a/b = %.2f   a\x27/b\x27 = %.2f   a\x27/c = %.2f   MORVANTE CPU = %.1f%% of its wall time in (a)\n",
        b / a, nb / na, c / na, 100 * cpu / a
}'
