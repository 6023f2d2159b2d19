# Shared settings for the project's scripts: where things are built and
# where the Wine prefix and the test line live. Sourced, not run.

LUMEK7_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
: "${LUMEK7_BUILD:=$LUMEK7_ROOT/build}"
: "${LUMEK7_LINE_DIR:=$LUMEK7_BUILD/line}"
export LUMEK7_ROOT LUMEK7_BUILD LUMEK7_LINE_DIR

# The tests and the run command each have a prefix of their own: they map
# the COM ports differently. LUMEK7_PREFIX, when set, wins.
lumek7_wine_env() {
    local mode=${1:-test}
    : "${LUMEK7_PREFIX:=$LUMEK7_BUILD/wine-$mode}"
    export LUMEK7_PREFIX
    export WINEPREFIX="$LUMEK7_PREFIX"
    export WINEARCH=win64
    # No Mono or Gecko install prompts in a fresh prefix.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # Code page 936 needs a generated zh_CN.UTF-8 locale.
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    # Errors only, but keep err+virtual so that a failed start can be told
    # from a failed program.
    export WINEDEBUG="${WINEDEBUG:--all,err+virtual}"
    local shim="$LUMEK7_BUILD/native/tools/libptyshim.so"
    if [ -f "$shim" ]; then
        export LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}"
    fi
}
