# Shared by the benchmarks that load a private MariaDB server: builds MORVANTE
# in Release, starts the server, and writes the generated CSV. Sourced; expects
# ROOT and a name for the work folder in BENCH_NAME.
. "$ROOT/tools/common.sh"
. "$ROOT/tools/mariadb.sh"
install_packages
BUILD="$ROOT/build-bench"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$BUILD" -j3 --target MORVANTE > /dev/null
PROGRAM="$BUILD/console/MORVANTE"
WORK=$(mktemp -d "/tmp/rvl_bench_$BENCH_NAME.XXXXXX")
trap 'stop_test_server; rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config"
start_test_server > /dev/null
client() {
    mariadb --no-defaults --local-infile=1 -h"$RVL_MYSQL_HOST" -P"$RVL_MYSQL_PORT" -u"$RVL_MYSQL_USER" \
        -p"$RVL_MYSQL_PASSWORD" "$@"
}

# ROWS rows of ten columns of the kinds a spreadsheet export holds (integers,
# quoted text with the delimiter, decimals, dates, date-times, times, codes,
# words, free text) into the file $2.
generate_csv() {
    awk -v rows="$1" 'BEGIN {
        srand(7);
        print "id,name,qty,price,born,seen,at,code,city,note";
        for (i = 1; i <= rows; i++)
            printf "%d,\"Name %d, Jr.\",%d,%d.%02d,19%02d-%02d-%02d,2024-02-%02d %02d:%02d:%02d,%02d:30:00,Z%04d,Lyon,Free text of row %d\n",
                i, i, int(rand() * 100000), int(rand() * 1000), int(rand() * 100), 50 + int(rand() * 49),
                1 + int(rand() * 12), 1 + int(rand() * 28), 1 + int(rand() * 28), int(rand() * 24), int(rand() * 60),
                int(rand() * 60), int(rand() * 24), int(rand() * 10000), i
    }' > "$2"
}
