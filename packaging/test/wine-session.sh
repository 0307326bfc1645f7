# Sourced by the package tests: a fresh Wine prefix of the test's own on a
# display of its own, with the simulated recording server registered, and the
# helpers that drive it. The test sets work (its own folder), bin (the built
# programs) and session (the simulator session) first; it keeps the programs it
# starts in informer_pid and portable_pid, and lists in cleanup_paths what goes
# with the prefix at the end.

started=$SECONDS
log() { printf '[%3ds] %s\n' $((SECONDS - started)) "$*"; }
fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }
trap 'printf "FAILED: line %s: %s\n" "$LINENO" "$BASH_COMMAND" >&2' ERR

# Polls a condition (a command) every half second for up to $1 seconds.
wait_for() {
    local seconds=$1
    shift
    local i
    for ((i = 0; i < seconds * 2; i++)); do
        "$@" && return 0
        sleep 0.5
    done
    return 1
}

mkdir -p "$work"
work=$(cd "$work" && pwd)
rm -rf "$work/prefix"

export WINEPREFIX=$work/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export KORDAVIN_SIM_SESSION=$session

xvfb_pid=
keepalive_pid=
informer_pid=
portable_pid=
cleanup_paths=()
cleanup() {
    [ -n "$informer_pid" ] && kill "$informer_pid" 2>/dev/null
    [ -n "$portable_pid" ] && kill "$portable_pid" 2>/dev/null
    [ -n "$keepalive_pid" ] && kill "$keepalive_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "${KEEP_PREFIX:-}" ] || rm -rf "$work/prefix" "${cleanup_paths[@]}"
    return 0
}
trap cleanup EXIT

# A display of our own, so the installed program's popups never meet the
# windows of the tests running on the main display.
start_display() {
    local n=120
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    wait_for 10 test -e "/tmp/.X11-unix/X$n" || fail "Xvfb did not start"
}

win() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
recsim() { win "$bin/recsim.exe" --session "$session" "$@"; }
reg_value() { win reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
# Instances of the simulated server, one process id a line.
sim_instances() { recsim list | awk 'NF { print $1 }'; }
has_instance() { [ -n "$(sim_instances)" ]; }
no_instance() { [ -z "$(sim_instances)" ]; }

start_prefix() {
    log "creating a fresh Wine prefix"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    # Xvfb has no window manager: unmanaged windows spare Wine a wait on each close.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    local ready=$work/keepalive-ready
    rm -f "$ready"
    wine "$bin/WineKeepAlive.exe" "$(winepath -w "$ready")" </dev/null >/dev/null 2>&1 &
    keepalive_pid=$!
    wait_for 60 test -e "$ready" || fail "Wine did not come up"
    win regsvr32 /s "$(winepath -w "$bin/KordavinSim.dll")"
}

# The exit code of a program started in the background, once it has ended
# within $2 seconds; 124 when it is still running then.
exit_code_of() {
    local pid=$1
    wait_for "$2" eval "! kill -0 $pid 2>/dev/null" || return 124
    local status=0
    wait "$pid" || status=$?
    return "$status"
}

# Starts a copy of the program from its own folder in the background; the
# process id in started_pid. Returns once the copy shows its exit-request
# window, as an installer would look for it.
start_copy() {
    local exe_win=$1
    wine "$exe_win" </dev/null >/dev/null 2>&1 &
    started_pid=$!
    wait_for 30 win "$bin/dialogprobe.exe" --exit-request "$exe_win" >/dev/null ||
        fail "the copy $exe_win did not start"
}

# Starts the installed program ($install_win) with the INI beside it ($ini)
# saying "connect at start", and checks that a ringing call brings its popup.
# Sets informer_pid.
expect_popup_from_installed() {
    printf '[Main]\r\nActive=1\r\n' > "$ini"
    wine "$install_win\\KordavinInformer.exe" </dev/null >/dev/null 2>&1 &
    informer_pid=$!
    wait_for 30 has_instance || fail "the installed program did not connect to the simulated server"
    recsim ring K1 >/dev/null
    local popup
    popup=$(win "$bin/popupprobe.exe" 10000) || fail "no popup for a ringing call (saw: $popup)"
    [ "$(head -n 1 <<<"$popup")" = "ВЫЗОВ" ] || fail "popup title: $popup"
    recsim end K1 >/dev/null
}

# What an upgrade or uninstall must leave as it is: the user's data files and INI.
fingerprint() { (cd "$data_dir" && find . -type f -printf '%p %s %T@ %i\n' | sort; md5sum "$ini"); }

# A portable copy of this version from the zip, in a folder of its own; sets
# portable_pid. portable_runs tells whether it still runs.
start_portable_copy() {
    unzip -q -o "$portable" -d "$work/portable"
    start_copy "$(winepath -w "$work/portable/KordavinInformer-$version-portable/KordavinInformer.exe")"
    portable_pid=$started_pid
}
portable_runs() { kill -0 "$portable_pid" 2>/dev/null; }
