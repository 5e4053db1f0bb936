# Sourced by the feeder tests: a work folder with a SANE configuration of its own (our feeder
# backend found through LD_LIBRARY_PATH), page codes, and our eSCL scanner on loopback.
# feeders_begin BACKEND_DIR sets work, SANE_CONFIG_DIR and LD_LIBRARY_PATH and cleans up at exit.
feeders_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
server=
feeders_begin() {
  backends=$(cd "$1" && pwd)
  work=$(mktemp -d)
  trap feeders_end EXIT
  mkdir -p "$work/conf"
  export SANE_CONFIG_DIR=$work/conf LD_LIBRARY_PATH=$backends
  failures=0
}
feeders_end() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}

# page_codes FILES...: the codes of the pages, on one line
page_codes() {
  python3 "$feeders_here/PageCodes.py" "$@" | tr '\n' ' ' | sed 's/ $//'
}

have_airscan() {
  [ -e /usr/lib/x86_64-linux-gnu/sane/libsane-airscan.so.1 ] ||
    ls /usr/lib/*/sane/libsane-airscan.so.1 >/dev/null 2>&1
}

# escl ARGS...: (re)starts the network scanner with these arguments, and points sane-airscan
# at it alone (no discovery)
net="airscan:e0:Velorix eSCL"
escl() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -f "$work/port"
  python3 "$feeders_here/EsclScanner.py" --port-file "$work/port" "$@" 2>>"$work/escl.log" &
  server=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
  printf '[devices]\n"Velorix eSCL" = http://127.0.0.1:%s/eSCL, eSCL\n[options]\ndiscovery = disable\n' \
    "$(cat "$work/port")" >"$work/conf/airscan.conf"
}
