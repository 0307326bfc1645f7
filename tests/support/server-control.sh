# What every throw-away server's control script shares; each sources it first:
#   . "$(dirname "$0")/server-control.sh"
# with its command in $1 and its working folder DIR in $2. The scripts are
# started from Windows programs under Wine, which do not wait for a Unix
# process: the exit code lands in DIR/status once everything is done (77: the
# server cannot run here), the reason of a failure in DIR/control.log.
set -u
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
command=$1
# The real path: Wine's way to the folder passes "dosdevices/c:", which some
# servers' tools (ldb) take for a URL scheme.
dir=$(cd "$2" && pwd -P) || exit 1
rm -f "$dir/status"
trap 'code=$?; echo $code >"$dir/status.tmp"; mv "$dir/status.tmp" "$dir/status"' EXIT
log=$dir/control.log
here=$(cd "$(dirname "$0")" && pwd -P)

fail() { echo "$*" >>"$log"; exit 1; }
unavailable() { echo "$*" >>"$log"; exit 77; }
now_ms() { date +%s%3N; }

# A process by its id, or a whole process group as -PGID.
alive() {
    case $1 in
    -*) pgrep -g "${1#-}" >/dev/null 2>&1 ;;
    *) kill -0 "$1" 2>/dev/null ;;
    esac
}
gone() { ! alive "$1"; }
signal() {
    case $2 in
    # procps' kill: the shell's own cannot signal a process group here.
    -*) /bin/kill "-$1" -- "$2" 2>/dev/null ;;
    *) kill "-$1" "$2" 2>/dev/null ;;
    esac
}

# wait_until TENTHS COMMAND...: runs COMMAND every tenth of a second until it
# succeeds (0) or has failed TENTHS times (1).
wait_until() {
    wait_watched=''
    wait_tries "$@"
}
# wait_while_alive PROCESS TENTHS COMMAND...: the same, giving up at once when
# PROCESS ends (a server that died while starting).
wait_while_alive() {
    wait_watched=$1
    shift
    wait_tries "$@"
}
wait_tries() {
    wait_left=$1
    shift
    while [ "$wait_left" -gt 0 ]; do
        [ -z "$wait_watched" ] || alive "$wait_watched" || return 1
        "$@" && return 0
        sleep 0.1
        wait_left=$((wait_left - 1))
    done
    return 1
}

# stop_process SIGNAL PROCESS TENTHS NAME [PAUSE]: sends SIGNAL and waits TENTHS
# tenths of a second for PROCESS to end; with PAUSE, one still there is killed
# and given PAUSE seconds. Fails when it is still there.
stop_process() {
    stop_target=$2
    stop_name=$4
    signal "$1" "$stop_target"
    wait_until "$3" gone "$stop_target"
    if [ $# -ge 5 ] && alive "$stop_target"; then
        signal KILL "$stop_target"
        sleep "$5"
    fi
    alive "$stop_target" && fail "$stop_name ($stop_target) does not end"
    return 0
}

# A TCP port nobody listens on, for a server that sets its own.
free_port() {
    port_tries=0
    while [ $port_tries -lt 100 ]; do
        candidate=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 40000))
        ss -ltnH "sport = :$candidate" 2>/dev/null | grep -q . || { echo "$candidate"; return 0; }
        port_tries=$((port_tries + 1))
    done
    fail "no free port found"
}

# Another server may take the port between the look and the start: up to three
# ports are tried, each written to DIR/port before the script's own launch runs.
launch_on_free_port() {
    launch_tries=0
    until free_port >"$dir/port" && launch; do
        launch_tries=$((launch_tries + 1))
        [ $launch_tries -lt 3 ] || fail "$1 did not start"
    done
}

# new_data_folder NAME OWNER SECONDS: a folder of its own under /tmp for the
# server's data (/tmp/kordavin-NAME.*), owned by the server's user when run as
# root, in DIR/data; the server's lifetime in DIR/lifetime. Those left by runs
# that could not drop them go.
new_data_folder() {
    find /tmp -maxdepth 1 -name "kordavin-$1.*" -mmin +180 -exec rm -rf {} + 2>/dev/null
    data=$(mktemp -d "/tmp/kordavin-$1.XXXXXX") || fail "no folder under /tmp"
    echo "$data" >"$dir/data"
    echo "$3" >"$dir/lifetime"
    [ "$(id -u)" != 0 ] || chown "$2" "$data"
}

# The data folder of an earlier start into $data; fails when there was none.
data_folder() {
    [ -f "$dir/data" ] || return 1
    data=$(cat "$dir/data")
}

# drop_data_folder NAME: the folder new_data_folder made, with everything in it.
drop_data_folder() {
    data=$(cat "$dir/data" 2>/dev/null)
    case $data in /tmp/kordavin-"$1".*) rm -rf "$data" ;; esac
}

# apply_grants SCRIPT SED COMMAND...: the GRANT lines a shipped SQL script has
# as comments for its account, made by SED into the tests' account's, run
# through COMMAND; so the tests show that those grants are enough.
apply_grants() {
    grants_script=$1
    grants=$(sed -n "$2" "$grants_script")
    shift 2
    [ -n "$grants" ] || fail "$(basename "$grants_script") has no GRANT lines"
    echo "$grants" | "$@" >>"$log" 2>&1 || fail "the grants failed"
}
