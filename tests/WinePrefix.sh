# Sourced by the Wine tests once $wine is set: a Wine prefix of their own in $work, stopped and
# removed when the test ends. The caller may set WINEDLLOVERRIDES beforehand; Mono's and Gecko's
# installer prompts are always off.
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
wineserver=$(dirname "$wine")/wineserver
cleanup() {
    WINEPREFIX=$WINEPREFIX "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
