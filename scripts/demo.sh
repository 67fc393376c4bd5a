#!/usr/bin/env bash
# Builds everything, then runs the program against the two stand-ins on 127.0.0.1 with a
# demo account, in a private home under build/demo (nothing of yours is touched).
#
#   Sign in with demo@norvane.org / demo-password (or by e-mail confirmation with that
#   address). The program then starts the filter-extension stand-in, which reports a
#   blocked request every few seconds; they appear on the Block History page.
#   Ctrl-C (or "Quit (TEST ONLY)" in the status menu) stops the demo and the stand-ins.
#
# Without a desktop (no DISPLAY or WAYLAND_DISPLAY) it runs on a virtual X display, :99,
# where ImageMagick's `import -window root -display :99 shot.png` takes a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"

demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/run"
chmod 700 "$demo/run"
export HOME=$demo/home XDG_CONFIG_HOME=$demo/config XDG_STATE_HOME=$demo/state XDG_DATA_HOME=$demo/data
export XDG_CACHE_HOME=$demo/cache XDG_RUNTIME_DIR=$demo/run NORVANE_RUNTIME_DIR=$demo/run/norvane

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # The extension outlives the program, as a system extension does; the demo ends it.
  if [ -f "$NORVANE_RUNTIME_DIR/org.norvane.filter.mac.extension.pid" ]; then
    extension=$(sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$NORVANE_RUNTIME_DIR/org.norvane.filter.mac.extension.pid")
    [ -n "$extension" ] && kill "$extension" 2>/dev/null || true
  fi
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if ! command -v Xvfb >/dev/null; then
    echo "No display and no Xvfb: install xvfb, or run the demo from a desktop session." >&2
    exit 1
  fi
  Xvfb :99 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:99
  echo "Running on the virtual display :99"
fi

port_file=$demo/server-port
"$build/peers/management-server/management_server" "$demo/server.pem" >"$port_file" 2>"$demo/server.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
[ -s "$port_file" ] || { echo "The management-server stand-in did not start; see $demo/server.log" >&2; exit 1; }
export NORVANE_SERVER_HOST=127.0.0.1:$(head -n1 "$port_file") NORVANE_EXTRA_CA_CERTS=$demo/server.pem
# The stand-in also serves the filter test page the blocking test looks for.
export NORVANE_FILTER_TEST_HOST=$NORVANE_SERVER_HOST
echo "Management server stand-in on https://$NORVANE_SERVER_HOST"
echo "Sign in with demo@norvane.org / demo-password. Logs: $XDG_STATE_HOME/norvane/Logs"

"$build/Norvane.app/Contents/MacOS/Norvane" &
app=$!
pids+=($app)

# Blocked requests from the extension, once it runs and the program is connected.
control="$root/peers/filter-extension/filter-extension-control.py"
sites=("https://casino.example/play" "https://adult.example/" "https://proxy.example/bypass?x=1")
categories=("Gambling" "Adult & Mature" "Proxy & Filter Avoidance")
n=0
while kill -0 "$app" 2>/dev/null; do
  sleep 5
  if [ -S "$NORVANE_RUNTIME_DIR/org.norvane.filter.mac.extension.control" ]; then
    i=$((n % 3))
    python3 "$control" "{\"cmd\":\"urlBlocked\",\"url\":\"${sites[$i]}\",\"category\":\"${categories[$i]}\",\"textTrigger\":\"\"}" >/dev/null 2>&1 || true
    n=$((n + 1))
  fi
done
wait "$app" || true
