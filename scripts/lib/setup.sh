# Set-up shared by scripts/test, scripts/run and scripts/bench: Debian
# packages, the zh_CN locale, the builds and the Wine prefix. Sourced.

# shellcheck source=env.sh
. "$(dirname "${BASH_SOURCE[0]}")/env.sh"

LUMEK7_PACKAGES=(
    cmake make g++ clang clang-format libclang-rt-14-dev googletest
    g++-mingw-w64-x86-64 wine wine64
    socat xvfb x11-utils imagemagick locales
    fonts-wqy-zenhei fonts-arphic-gbsn00lp fonts-wine
)

lumek7_say() { printf '== %s\n' "$*" >&2; }

lumek7_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs whatever of the package list is missing.
lumek7_install_packages() {
    local missing=() p
    for p in "${LUMEK7_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        lumek7_say "installing ${missing[*]}"
        lumek7_as_root apt-get update -q
        lumek7_as_root env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    # Wine uses code page 936 only with a generated zh_CN.UTF-8 locale.
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
        lumek7_say "generating the zh_CN.UTF-8 locale"
        lumek7_as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
    fi
}

lumek7_build() {
    local preset
    for preset in "$@"; do
        lumek7_say "building preset $preset"
        (cd "$LUMEK7_ROOT" && cmake --preset "$preset" >/dev/null &&
            cmake --build --preset "$preset" -j "$(nproc)") || return 1
    done
}

# Writes a .reg file as regedit wants it for non-ASCII names: UTF-16LE with
# a byte-order mark.
lumek7_write_reg() {
    local out=$1
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } > "$out"
}

# The prefix's registry: the font that stands in for the dialog font, and
# the COM ports of the line. For the tests, every port of COM1 to COM32 that
# the line does not map points at a socket file, which no open succeeds on,
# so that the machine's own serial ports (which Wine numbers from the first
# free COM port up) land beyond COM32 and the test line is all there is.
# For the run command they stay free, so a real adapter shows up too.
lumek7_prefix_registry() {
    local mode=$1 n
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    printf '"宋体"="AR PL SungtiL GB"\r\n"SimSun"="AR PL SungtiL GB"\r\n\r\n'
    # Wine draws the window frames itself, so a bare Xvfb without a window
    # manager still shows the caption, the title and the close box.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Decorated"="N"\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    if [ "$mode" = run ]; then
        printf '"COM3"="%s/com3"\r\n\r\n' "$LUMEK7_LINE_DIR"
        return
    fi
    for n in $(seq 1 32); do
        case $n in
            3 | 5 | 6) printf '"COM%d"="%s/com%d"\r\n' "$n" "$LUMEK7_LINE_DIR" "$n" ;;
            *) printf '"COM%d"="%s/absent-port"\r\n' "$n" "$LUMEK7_LINE_DIR" ;;
        esac
    done
    printf '"COM33"="%s/com33"\r\n\r\n' "$LUMEK7_LINE_DIR"
}

# Creates the project's own prefix once, without a display: "test" for the
# test suites, "run" for the run command. In a subshell: Wine's environment
# (the preloaded shim above all) must not leak into the caller's other
# commands.
lumek7_prepare_prefix() (
    local mode=$1
    lumek7_wine_env "$mode"
    local stamp="$LUMEK7_PREFIX/.lumek7-ready"
    # Raise this when the steps below change, so that old prefixes are redone.
    local version=2
    local registry="$LUMEK7_PREFIX.reg"
    mkdir -p "$(dirname "$LUMEK7_PREFIX")"
    lumek7_prefix_registry "$mode" | lumek7_write_reg "$registry.new"
    if [ "$(cat "$stamp" 2>/dev/null)" = "$version" ] && cmp -s "$registry.new" "$registry"; then
        rm -f "$registry.new"
        return 0
    fi
    mv "$registry.new" "$registry"
    lumek7_say "preparing the Wine prefix $LUMEK7_PREFIX"
    (
        unset DISPLAY
        export LD_PRELOAD=
        wineboot -i >/dev/null 2>&1
        wine regedit /S "$registry" >/dev/null 2>&1
        # The caption buttons are drawn from Marlett, which Wine finds only
        # among the prefix's own fonts.
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        local setup="$LUMEK7_BUILD/windows/tools/prefix-setup.exe"
        if [ -f "$setup" ]; then wine "$setup" >/dev/null 2>&1; fi
        # The port mapping is read when the prefix's services start.
        wineserver -k
        wineserver -w
    ) || return 1
    echo "$version" > "$stamp"
)

# A display for Wine's windows: the caller's own, or a private Xvfb.
lumek7_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in $(seq 91 120); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        LUMEK7_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 100); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$LUMEK7_XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
    done
    echo "could not start Xvfb" >&2
    return 1
}

lumek7_stop_display() {
    if [ -n "${LUMEK7_XVFB_PID:-}" ]; then
        kill "$LUMEK7_XVFB_PID" 2>/dev/null || true
        wait "$LUMEK7_XVFB_PID" 2>/dev/null || true
        LUMEK7_XVFB_PID=
    fi
}
