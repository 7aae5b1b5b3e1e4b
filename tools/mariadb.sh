# A private MariaDB server for the tests: its own data folder under a temporary
# folder, on 127.0.0.1 with a free port, with a test user. Sourced by test.sh.
# It runs in current MySQL's default SQL mode, so that every server test and
# every dump load meets the strict checks users' servers make.
#   start_test_server   starts it and exports RVL_MYSQL_HOST, RVL_MYSQL_PORT,
#                       RVL_MYSQL_USER, RVL_MYSQL_PASSWORD, RVL_MYSQL_SOCKET
#   stop_test_server    stops it by its pid and removes the folder
# RVL_MYSQL_OPTIONS, when set, holds further server options given both to the
# set-up of the data folder and to the server (such as --innodb-page-size=4k,
# which only a new data folder takes).

# A port on 127.0.0.1 that nothing listens on.
free_port() {
    local port
    while :; do
        port=$(( 20000 + RANDOM % 40000 ))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

# Starts mariadbd on a free port (into the caller's port) and waits until it
# answers: 0, or 2 when another process bound the port first (free_port
# cannot hold it for us: servers started side by side may meet there), 1
# on any other failure.
run_server() {
    local socket=$1 i
    port=$(free_port)
    mariadbd --no-defaults --user=root --datadir="$MYSQL_DIR/data" --tmpdir="$MYSQL_DIR/tmp" --bind-address=127.0.0.1 \
        --port="$port" --socket="$socket" --pid-file="$MYSQL_DIR/mysqld.pid" \
        --character-set-server=utf8mb4 --innodb-log-file-size=16M --skip-log-bin \
        --sql-mode=ONLY_FULL_GROUP_BY,STRICT_TRANS_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION \
        ${RVL_MYSQL_OPTIONS:-} \
        > "$MYSQL_DIR/server.log" 2>&1 &
    MYSQL_PID=$!
    for i in $(seq 1 300); do
        mariadb --no-defaults -uroot --socket="$socket" -e 'select 1' >/dev/null 2>&1 && return 0
        if ! kill -0 "$MYSQL_PID" 2>/dev/null; then
            wait "$MYSQL_PID" 2>/dev/null || true
            grep -q "Address already in use" "$MYSQL_DIR/server.log" && return 2
            return 1
        fi
        sleep 0.1
    done
    return 0
}

start_test_server() {
    MYSQL_DIR=$(mktemp -d /tmp/rvl_mysql.XXXXXX)
    local port socket status attempts=0
    socket="$MYSQL_DIR/mysqld.sock"
    # Each server keeps its temporary files in its own folder: servers set up
    # side by side never meet in /tmp.
    mkdir "$MYSQL_DIR/tmp"
    mariadb-install-db --no-defaults --user=root --auth-root-authentication-method=normal \
        --skip-test-db --datadir="$MYSQL_DIR/data" --tmpdir="$MYSQL_DIR/tmp" --innodb-log-file-size=16M \
        ${RVL_MYSQL_OPTIONS:-} > "$MYSQL_DIR/install.log" 2>&1 || { cat "$MYSQL_DIR/install.log"; return 1; }
    while :; do
        status=0
        run_server "$socket" || status=$?
        [ "$status" -eq 2 ] && [ $((attempts += 1)) -lt 5 ] && continue
        [ "$status" -eq 0 ] || { cat "$MYSQL_DIR/server.log"; return 1; }
        break
    done
    mariadb --no-defaults -uroot --socket="$socket" -e "
        CREATE USER 'rvl_test'@'127.0.0.1' IDENTIFIED BY 'rvl_test_pw';
        CREATE USER 'rvl_test'@'localhost' IDENTIFIED BY 'rvl_test_pw';
        GRANT ALL PRIVILEGES ON *.* TO 'rvl_test'@'127.0.0.1';
        GRANT ALL PRIVILEGES ON *.* TO 'rvl_test'@'localhost';" || { cat "$MYSQL_DIR/server.log"; return 1; }
    export RVL_MYSQL_HOST=127.0.0.1 RVL_MYSQL_PORT="$port" RVL_MYSQL_USER=rvl_test \
           RVL_MYSQL_PASSWORD=rvl_test_pw RVL_MYSQL_SOCKET="$socket"
    echo "Test server: MariaDB on 127.0.0.1:$port (pid $MYSQL_PID)"
}

stop_test_server() {
    if [ -n "${MYSQL_PID:-}" ] && kill -0 "$MYSQL_PID" 2>/dev/null; then
        kill "$MYSQL_PID"
        wait "$MYSQL_PID" 2>/dev/null || true
    fi
    [ -n "${MYSQL_DIR:-}" ] && rm -rf "$MYSQL_DIR"
    MYSQL_PID=""
}
