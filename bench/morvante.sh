#!/usr/bin/env bash
# End to end: MORVANTE converting a generated CSV of ROWS rows x 10 columns
# into an SQL dump, with type refinement on and off. Prints wall time, MB/s
# of input (by wall time, and by the CPU time the program used, which other
# work on the machine disturbs less) and peak memory per run. Target: at least 50 MB/s with refinement
# on, peak memory under 100 MB and flat from 1M to 4M rows.
#   [REPEAT=3] bench/morvante.sh [ROWS...]      (default: 1000000 4000000)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/tools/common.sh"
install_packages
BUILD="$ROOT/build-bench"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$BUILD" -j3 --target MORVANTE > /dev/null
PROGRAM="$BUILD/console/MORVANTE"
WORK=$(mktemp -d /tmp/rvl_bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config"

# Ten columns of the kinds a spreadsheet export holds: integers, quoted text
# with the delimiter in it, decimals, dates, date-times, times, codes with
# leading zeros, plain words and free text (about 118 bytes a row).
generate() {
    awk -v rows="$1" 'BEGIN {
        srand(1);
        print "id,name,qty,price,born,seen,at,code,city,note";
        for (i = 1; i <= rows; i++)
            printf "%d,\"Name %d, Jr.\",%d,%d.%d,20%02d-%02d-%02d,2024-01-%02d %02d:%02d:00,%02d:15:00,C%03d,Paris,Some free text here %d\n",
                i, i, int(rand() * 100000), int(rand() * 100000), 1 + int(rand() * 9), 10 + int(rand() * 15),
                1 + int(rand() * 12), 1 + int(rand() * 28), 1 + int(rand() * 28), int(rand() * 24), int(rand() * 60),
                int(rand() * 24), int(rand() * 1000), i
    }' > "$2"
}

printf '%-9s %-8s %8s %8s %8s %8s %10s %10s\n' rows refine "MB in" "wall s" "MB/s" "cpu s" "MB/cpu s" "peak MB"
for rows in "${@:-1000000 4000000}"; do
    for rows1 in $rows; do
        csv="$WORK/in_$rows1.csv"
        generate "$rows1" "$csv"
        mb=$(awk -v b="$(stat -c %s "$csv")" 'BEGIN { printf "%.1f", b / 1048576 }')
        for refine in on off; do
            opt=""
            [ "$refine" = off ] && opt="--no_refine"
            # The best of REPEAT runs: other work on the machine only slows a run down.
            best=""
            for _ in $(seq "${REPEAT:-3}"); do
                /usr/bin/time -f "%e %U %S %M" -o "$WORK/time" "$PROGRAM" --from_csv --src="$csv" --csv_delim=2 \
                    --extr_fn --tab_name=bench --dump --dest="$WORK/out.sql" --silent $opt
                line=$(cat "$WORK/time")
                if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
                    best=$line
                fi
            done
            read -r wall user sys rss <<< "$best"
            awk -v r="$rows1" -v f="$refine" -v mb="$mb" -v w="$wall" -v c="$user" -v s="$sys" -v k="$rss" \
                'BEGIN { printf "%-9s %-8s %8.1f %8.2f %8.1f %8.2f %10.1f %10.1f\n", r, f, mb, w, mb / w, c + s, mb / (c + s), k / 1024 }'
        done
        rm -f "$csv" "$WORK/out.sql"
    done
done
