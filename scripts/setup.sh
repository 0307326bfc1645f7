# Shared set-up for scripts/run and scripts/test: packages, SQLite amalgamation,
# the cross-build, a private Wine prefix and a virtual display. Sourced, not run.

KORDAVIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KORDAVIN_BUILD=${KORDAVIN_BUILD:-$KORDAVIN_ROOT/build}
KORDAVIN_BIN=$KORDAVIN_BUILD/bin

# wine64-preloader: Debian only suggests it, but without it wine64 does not
# reserve the addresses Windows needs before its own heap is placed, and
# current x86-64 kernels place that heap anywhere in a 1 GB range. About one
# start in 8,000 the heap covers the shared user data page (0x7ffe0000) and
# Wine exits with code 1 before the program runs, silently under
# WINEDEBUG=-all ("failed to map the shared user data: c0000018" with err+all).
KORDAVIN_PACKAGES=(cmake make gcc libc6-dev g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader
                   xvfb libgtest-dev tcl dpkg-dev x11-apps imagemagick nsis zip unzip wixl msitools
                   slapd ldap-utils samba-ad-dc samba-ad-provision procps openssl
                   nlohmann-json3-dev
                   postgresql odbc-postgresql mariadb-server odbc-mariadb unixodbc)

log() { printf '== %s\n' "$*" >&2; }

install_packages() {
    local missing=()
    local p
    for p in "${KORDAVIN_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    log "installing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # The directory tests start throw-away servers of their own: slapd is
    # installed without a configuration or a database of its own. PostgreSQL and
    # MariaDB are not started by their install here; the tests start their own.
    echo "slapd slapd/no_configuration boolean true" | debconf-set-selections
    apt-get -o DPkg::Lock::Timeout=600 update -q
    apt-get -o DPkg::Lock::Timeout=600 install -y -q "${missing[@]}"
}

# Debian ships no SQLite for mingw, so the amalgamation is generated once from
# Debian's own source package (with Debian's patches) and kept in the build folder.
prepare_sqlite() {
    local dest=$KORDAVIN_BUILD/deps/sqlite
    if [ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ]; then
        return 0
    fi
    log "generating the SQLite amalgamation from Debian's sqlite3 source package"
    local src_list=/etc/apt/sources.list.d/kordavin-deb-src.sources
    if ! apt-get source --print-uris sqlite3 >/dev/null 2>&1; then
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
        else
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/kordavin-deb-src.list
        fi
        apt-get -o DPkg::Lock::Timeout=600 update -q
    fi
    local work=$KORDAVIN_BUILD/deps/sqlite-src
    rm -rf "$work"
    mkdir -p "$work/amalg"
    (cd "$work" && apt-get source -q sqlite3 >/dev/null 2>&1)
    local tree
    tree=$(find "$work" -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
    [ -n "$tree" ] || { echo "sqlite3 source package not unpacked" >&2; return 1; }
    (cd "$work/amalg" && "$tree/configure" --disable-tcl >/dev/null)
    (cd "$work/amalg" && make -s sqlite3.c >/dev/null)
    mkdir -p "$dest"
    cp "$work/amalg/sqlite3.c" "$work/amalg/sqlite3.h" "$dest/"
    rm -rf "$work"
}

# Configures and builds everything, or only the targets given. With
# KORDAVIN_WARNINGS_AS_ERRORS=ON (scripts/test sets it) a compiler warning fails
# the build; unset, the build folder keeps what it was configured with.
build_project() {
    log "configuring and building in $KORDAVIN_BUILD"
    local options=()
    if [ -n "${KORDAVIN_WARNINGS_AS_ERRORS:-}" ]; then
        options+=(-DKORDAVIN_WARNINGS_AS_ERRORS="$KORDAVIN_WARNINGS_AS_ERRORS")
    fi
    cmake -S "$KORDAVIN_ROOT" -B "$KORDAVIN_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$KORDAVIN_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE="${KORDAVIN_BUILD_TYPE:-Release}" \
        -DKORDAVIN_SQLITE_DIR="$KORDAVIN_BUILD/deps/sqlite" "${options[@]}" >/dev/null
    local targets=()
    local t
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$KORDAVIN_BUILD" -j"$(nproc)" "${targets[@]}"
}

setup_wine_env() {
    export WINEPREFIX=${KORDAVIN_WINEPREFIX:-$KORDAVIN_BUILD/wineprefix}
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko install prompts in a fresh prefix.
    export WINEDLLOVERRIDES='mscoree,mshtml='
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix $WINEPREFIX"
        wineboot --init >/dev/null 2>&1 || true
        wineserver -w
    fi
    if [ ! -f "$WINEPREFIX/.kordavin-unmanaged" ]; then
        # Xvfb has no window manager: unmanaged windows spare Wine a 2 s wait
        # each time a captioned window is hidden or destroyed.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.kordavin-unmanaged"
    fi
}

# Starts Xvfb on a free display number and exports DISPLAY.
start_virtual_display() {
    local n=${1:-91}
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    KORDAVIN_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}

# One long-lived Wine process keeps wineserver and its services up, so each
# test does not pay their start-up and CTest does not wait on inherited pipes.
start_wine_keepalive() {
    local ready=$KORDAVIN_BUILD/.wine-keepalive-ready
    rm -f "$ready"
    wine "$KORDAVIN_BIN/WineKeepAlive.exe" "$(winepath -w "$ready" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
    KORDAVIN_KEEPALIVE_PID=$!
    # Wine's services must be up before CTest starts anything, or they inherit
    # CTest's output pipe and CTest waits for them.
    local i
    for i in $(seq 1 600); do
        [ -e "$ready" ] && return 0
        sleep 0.1
    done
    echo "Wine did not come up within 60 s" >&2
    return 1
}

stop_wine_session() {
    [ -n "${KORDAVIN_KEEPALIVE_PID:-}" ] && kill "$KORDAVIN_KEEPALIVE_PID" 2>/dev/null
    wineserver -k 2>/dev/null || true
    [ -n "${KORDAVIN_XVFB_PID:-}" ] && kill "$KORDAVIN_XVFB_PID" 2>/dev/null
    return 0
}
