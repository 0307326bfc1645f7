#!/bin/sh
# A throw-away PostgreSQL for the SQL directory tests, driven from the Windows
# side under Wine like the LDAP servers' scripts.
#   start   DIR [SECONDS]  make a cluster in a folder of its own under /tmp, start
#                          it on a free port of 127.0.0.1, create the database
#                          "phones", the account kb (password in DIR/password) and
#                          the table with the shipped postgresql.sql and its grants
#   stop    DIR            stop the server (its data stays)
#   restart DIR            start it again on the same data and port
#   sql     DIR FILE       run FILE as the superuser in "phones"; output in DIR/output
#   drop    DIR            stop the server and remove its data
# DIR gets port, connection (the ODBC connection string without the password),
# password and data (the data folder). The server ends by itself after SECONDS
# (default 600) whatever happens. The exit code lands in DIR/status once
# everything is done (77: PostgreSQL or its ODBC driver is not installed), the
# reason of a failure in DIR/control.log.
. "$(dirname "$0")/server-control.sh"
password=kb-secret
user=postgres

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bin" ] && [ -x "$bin/postgres" ] || unavailable "PostgreSQL is not installed"
grep -q '^\[PostgreSQL Unicode\]' /etc/odbcinst.ini 2>/dev/null || unavailable "the ODBC driver PostgreSQL Unicode is not installed"

# PostgreSQL refuses to run as root: the server runs as its service's user.
as_service() {
    if [ "$(id -u)" = 0 ]; then runuser -u "$user" -- "$@"; else "$@"; fi
}

superuser_sql() {
    as_service "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$data" -p "$port" -U postgres "$@"
}

launch() {
    data=$(cat "$dir/data")
    port=$(cat "$dir/port")
    lifetime=$(cat "$dir/lifetime")
    # fsync off: the data is thrown away, and the tests are not about the disk.
    # SIGINT is PostgreSQL's fast shutdown; SIGTERM would wait for every client.
    as_service setsid timeout -s INT -k 15 "$lifetime" "$bin/postgres" -D "$data/db" -p "$port" \
        -k "$data" -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off \
        >>"$log" 2>&1 </dev/null &
    wait_while_alive $! 300 "$bin/pg_isready" -q -h 127.0.0.1 -p "$port" && return 0
    echo "PostgreSQL does not answer on port $port" >>"$log"
    stop_server
    return 1
}

stop_server() {
    data_folder && [ -f "$data/db/postmaster.pid" ] || return 0
    stop_process INT "$(head -n 1 "$data/db/postmaster.pid")" 150 PostgreSQL 0.5
    # Left behind by a server that had to be killed.
    rm -f "$data/db/postmaster.pid"
}

case $command in
start)
    new_data_folder pg "$user" "${3:-600}"
    as_service "$bin/initdb" -D "$data/db" -U postgres -E UTF8 --no-locale --auth-local=trust \
        --auth-host=scram-sha-256 >>"$log" 2>&1 || fail "initdb failed"
    launch_on_free_port PostgreSQL
    superuser_sql -d postgres -c "CREATE ROLE kb LOGIN PASSWORD '$password'" \
        -c "CREATE DATABASE phones ENCODING 'UTF8' TEMPLATE template0" >>"$log" 2>&1 ||
        fail "no database made"
    superuser_sql -d phones <"$here/postgresql.sql" >>"$log" 2>&1 || fail "postgresql.sql failed"
    # The shipped script's GRANT lines, for the tests' account instead of "informer".
    apply_grants "$here/postgresql.sql" 's/^-- \(GRANT .*\)informer;$/\1kb;/p' superuser_sql -d phones
    echo "$password" >"$dir/password"
    echo "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=phones;Uid=kb;" >"$dir/connection"
    ;;
restart)
    launch || fail "the server did not start again"
    ;;
stop)
    stop_server
    ;;
sql)
    data=$(cat "$dir/data")
    port=$(cat "$dir/port")
    superuser_sql -d phones -A -t <"$3" >"$dir/output" 2>>"$log" || fail "the statements failed"
    ;;
drop)
    stop_server
    drop_data_folder pg
    ;;
*)
    fail "unknown command $command"
    ;;
esac
exit 0
