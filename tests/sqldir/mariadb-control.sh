#!/bin/sh
# A throw-away MariaDB for the SQL directory tests, driven from the Windows side
# under Wine like postgres-control.sh, with the same commands:
#   start   DIR [SECONDS]  make a server in a folder of its own under /tmp, start
#                          it on a free port of 127.0.0.1, create the database
#                          "phones", the account kb (password in DIR/password) and
#                          the table with the shipped mariadb.sql and its grants
#   stop    DIR            stop the server (its data stays)
#   restart DIR            start it again on the same data and port
#   sql     DIR FILE       run FILE as root in "phones"; output in DIR/output
#   drop    DIR            stop the server and remove its data
# DIR gets port, connection (the ODBC connection string without the password),
# password and data (the data folder). The server ends by itself after SECONDS
# (default 600) whatever happens. The exit code lands in DIR/status once
# everything is done (77: MariaDB or its ODBC driver is not installed), the
# reason of a failure in DIR/control.log.
. "$(dirname "$0")/server-control.sh"
password=kb-secret
user=mysql

command -v mariadbd >/dev/null 2>&1 && command -v mariadb-install-db >/dev/null 2>&1 ||
    unavailable "MariaDB is not installed"
grep -q '^\[MariaDB Unicode\]' /etc/odbcinst.ini 2>/dev/null || unavailable "the ODBC driver MariaDB Unicode is not installed"

root_sql() {
    mariadb --no-defaults -S "$data/sock" -u root "$@"
}

launch() {
    data=$(cat "$dir/data")
    port=$(cat "$dir/port")
    lifetime=$(cat "$dir/lifetime")
    # No flushing at every commit: the data is thrown away, and the tests are not
    # about the disk.
    service_user=''
    [ "$(id -u)" = 0 ] && service_user="--user=$user"
    setsid timeout -k 15 "$lifetime" mariadbd --no-defaults $service_user --datadir="$data/db" --port="$port" \
        --bind-address=127.0.0.1 --socket="$data/sock" --pid-file="$data/pid" --log-error="$data/server.log" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci --skip-name-resolve \
        --innodb-buffer-pool-size=64M --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
        --max-allowed-packet=64M >>"$log" 2>&1 </dev/null &
    wait_while_alive $! 300 mariadb-admin --no-defaults -S "$data/sock" -u root --connect-timeout=1 ping \
        >/dev/null 2>&1 && return 0
    echo "MariaDB does not answer on port $port: $(tail -n 20 "$data/server.log")" >>"$log"
    stop_server
    return 1
}

stop_server() {
    data_folder && [ -f "$data/pid" ] || return 0
    stop_process TERM "$(cat "$data/pid")" 150 MariaDB 0.5
    rm -f "$data/pid"
}

case $command in
start)
    new_data_folder maria "$user" "${3:-600}"
    service_user=''
    [ "$(id -u)" = 0 ] && service_user="--user=$user"
    mariadb-install-db --no-defaults $service_user --datadir="$data/db" --auth-root-authentication-method=normal \
        --skip-test-db >>"$log" 2>&1 || fail "mariadb-install-db failed"
    launch_on_free_port MariaDB
    root_sql -e "CREATE DATABASE phones CHARACTER SET utf8mb4; CREATE USER 'kb'@'%' IDENTIFIED BY '$password';" \
        >>"$log" 2>&1 || fail "no database made"
    root_sql phones <"$here/mariadb.sql" >>"$log" 2>&1 || fail "mariadb.sql failed"
    # The shipped script's GRANT lines, for the tests' account instead of "informer".
    apply_grants "$here/mariadb.sql" "s/^-- \(GRANT .*\)'informer'@'%';\$/\1'kb'@'%';/p" root_sql phones
    echo "$password" >"$dir/password"
    echo "Driver={MariaDB Unicode};Server=127.0.0.1;Port=$port;Database=phones;Uid=kb;" >"$dir/connection"
    ;;
restart)
    launch || fail "the server did not start again"
    ;;
stop)
    stop_server
    ;;
sql)
    data=$(cat "$dir/data")
    root_sql -N -B -r phones <"$3" >"$dir/output" 2>>"$log" || fail "the statements failed"
    ;;
drop)
    stop_server
    drop_data_folder maria
    ;;
*)
    fail "unknown command $command"
    ;;
esac
exit 0
