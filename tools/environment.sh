# Shared set-up for the build and test commands: packages, Wine prefix, display.
# Sourced, not run. Expects QUARRIX_ROOT to be the checkout.

QUARRIX_BUILD=${QUARRIX_BUILD:-$QUARRIX_ROOT/build}
PACKAGES="cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xauth imagemagick xdotool googletest python3 ntfs-3g attr python3-libfsntfs python3-fusepy clang libclang-rt-14-dev"

install_missing_packages() {
    local missing=""
    for package in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    if [ "$(id -u)" != 0 ]; then
        echo "Run as root to install the missing packages." >&2
        return 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

export WINEPREFIX=$QUARRIX_BUILD/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

start_display() {
    if [ -n "${QUARRIX_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
    local number
    for number in $(seq 90 140); do
        if [ ! -e /tmp/.X11-unix/X$number ] && [ ! -e /tmp/.X$number-lock ]; then break; fi
    done
    Xvfb :$number -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=:$number
    for _ in $(seq 1 50); do
        [ -e /tmp/.X11-unix/X$number ] && break
        sleep 0.1
    done
}

start_wine() {
    mkdir -p "$QUARRIX_BUILD"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix in $WINEPREFIX"
        wineboot --init >/dev/null 2>&1
        wineserver -w
    fi
    setsid wineserver -p >/dev/null 2>&1 </dev/null &
    # Start Wine's own services now, detached: started by a test, they would inherit its
    # output pipe and CTest would wait for them to close it.
    wine wineboot >/dev/null 2>&1 </dev/null
}

stop_environment() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}

configure_and_build() {
    cmake -S "$QUARRIX_ROOT" -B "$QUARRIX_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$QUARRIX_ROOT/cmake/mingw-w64-posix.cmake" \
        -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$QUARRIX_BUILD" -j "$(nproc)"
}
