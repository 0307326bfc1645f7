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
set -u
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
command=$1
dir=$(cd "$2" && pwd -P) || exit 1
rm -f "$dir/status"
trap 'code=$?; echo $code >"$dir/status.tmp"; mv "$dir/status.tmp" "$dir/status"' EXIT
log=$dir/control.log
here=$(cd "$(dirname "$0")" && pwd -P)
password=kb-secret
user=mysql

fail() { echo "$*" >>"$log"; exit 1; }
unavailable() { echo "$*" >>"$log"; exit 77; }

command -v mariadbd >/dev/null 2>&1 && command -v mariadb-install-db >/dev/null 2>&1 ||
    unavailable "MariaDB is not installed"
grep -q '^\[MariaDB Unicode\]' /etc/odbcinst.ini 2>/dev/null || unavailable "the ODBC driver MariaDB Unicode is not installed"

free_port() {
    i=0
    while [ $i -lt 100 ]; do
        candidate=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 40000))
        ss -ltnH "sport = :$candidate" 2>/dev/null | grep -q . || { echo "$candidate"; return 0; }
        i=$((i + 1))
    done
    fail "no free port found"
}

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
    server_pid=$!
    i=0
    while [ $i -lt 300 ] && kill -0 "$server_pid" 2>/dev/null; do
        mariadb-admin --no-defaults -S "$data/sock" -u root --connect-timeout=1 ping >/dev/null 2>&1 && return 0
        sleep 0.1
        i=$((i + 1))
    done
    echo "MariaDB does not answer on port $port: $(tail -n 20 "$data/server.log")" >>"$log"
    stop_server
    return 1
}

stop_server() {
    [ -f "$dir/data" ] || return 0
    data=$(cat "$dir/data")
    [ -f "$data/pid" ] || return 0
    pid=$(cat "$data/pid")
    kill -TERM "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 150 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null
        sleep 0.5
    fi
    kill -0 "$pid" 2>/dev/null && fail "MariaDB ($pid) does not end"
    rm -f "$data/pid"
    return 0
}

# The shipped script's GRANT lines, for the tests' account instead of "informer".
grants() {
    sed -n "s/^-- \(GRANT .*\)'informer'@'%';\$/\1'kb'@'%';/p" "$here/mariadb.sql"
}

case $command in
start)
    # Folders left by runs that could not drop them.
    find /tmp -maxdepth 1 -name 'kordavin-maria.*' -mmin +180 -exec rm -rf {} + 2>/dev/null
    data=$(mktemp -d /tmp/kordavin-maria.XXXXXX) || fail "no folder under /tmp"
    echo "$data" >"$dir/data"
    echo "${3:-600}" >"$dir/lifetime"
    [ "$(id -u)" = 0 ] && chown "$user" "$data"
    service_user=''
    [ "$(id -u)" = 0 ] && service_user="--user=$user"
    mariadb-install-db --no-defaults $service_user --datadir="$data/db" --auth-root-authentication-method=normal \
        --skip-test-db >>"$log" 2>&1 || fail "mariadb-install-db failed"
    # Another server may take the port between the look and the start: try another.
    tries=0
    until free_port >"$dir/port" && launch; do
        tries=$((tries + 1))
        [ $tries -lt 3 ] || fail "MariaDB did not start"
    done
    root_sql -e "CREATE DATABASE phones CHARACTER SET utf8mb4; CREATE USER 'kb'@'%' IDENTIFIED BY '$password';" \
        >>"$log" 2>&1 || fail "no database made"
    root_sql phones <"$here/mariadb.sql" >>"$log" 2>&1 || fail "mariadb.sql failed"
    [ -n "$(grants)" ] || fail "mariadb.sql has no GRANT lines"
    grants | root_sql phones >>"$log" 2>&1 || fail "the grants failed"
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
    data=$(cat "$dir/data" 2>/dev/null)
    case $data in /tmp/kordavin-maria.*) rm -rf "$data" ;; esac
    ;;
*)
    fail "unknown command $command"
    ;;
esac
exit 0
