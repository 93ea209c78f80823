#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox), driven with
# xdotool as a user would: started without files it shows a window, "Salir de Tindra" (Ctrl+Q)
# ends it, closing its home window ends it, and started again while it runs behind another
# application's window it comes to the front. Each end within 10 s.
# Usage: desktop_session.sh path/to/tindra
set -uo pipefail

tindra=$1
for tool in Xvfb openbox xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "desktop_session: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done

root=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 200))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >"$root/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$root/openbox.log" 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$root"/{home,run,config/tindra,state,data}
chmod 700 "$root/run"
echo '{"welcomeShown": true, "formsWelcomeShown": true}' >"$root/config/tindra/defaults.json"
export HOME=$root/home XDG_RUNTIME_DIR=$root/run XDG_CONFIG_HOME=$root/config \
  XDG_STATE_HOME=$root/state XDG_DATA_HOME=$root/data
unset QT_QPA_PLATFORM

failures=0
fail() { echo "desktop_session: $*"; failures=$((failures + 1)); }

# Starts the application; its process id in $app.
start() {
  "$tindra" >>"$root/tindra.log" 2>&1 &
  app=$!
  pids+=("$app")
}
# The id of the visible window titled exactly $1, waiting up to 10 s.
window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
# Whether process $1 ends within 10 s (a zombie has ended).
ends() {
  for _ in $(seq 200); do
    if [ ! -e "/proc/$1/stat" ] || awk '{exit !($3 == "Z")}' "/proc/$1/stat"; then return 0; fi
    sleep 0.05
  done
  return 1
}
focus() { xdotool windowactivate --sync "$1" >/dev/null 2>&1; sleep 0.3; }

# 1. Ctrl+Q on the home window.
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no window after the first start"; else
  focus "$home"
  xdotool key --clearmodifiers ctrl+q
  ends "$app" || { fail "Ctrl+Q did not end the application"; kill -9 "$app"; }
fi

# 2. Closing the home window (the window manager's close).
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no window after the second start"; else
  focus "$home"
  xdotool key --clearmodifiers alt+F4
  ends "$app" || { fail "closing the home window did not end the application"; kill -9 "$app"; }
fi

# 3. Started again while it runs behind another window: it comes to the front.
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no window after the third start"; else
  # A window of another application, made active.
  other=""
  if command -v xmessage >/dev/null; then
    xmessage -name otra -title Otra "otra" &
    pids+=($!)
    other=$(window Otra)
  fi
  if [ -n "$other" ]; then
    focus "$other"
    timeout 10 "$tindra" >/dev/null 2>&1
    sleep 1
    active=$(xdotool getactivewindow 2>/dev/null)
    [ "$active" = "$home" ] || fail "started again, the application stayed behind"
  fi
  focus "$home"
  xdotool key --clearmodifiers ctrl+q
  ends "$app" || { fail "Ctrl+Q did not end the application"; kill -9 "$app"; }
fi

if [ "$failures" -gt 0 ]; then
  cat "$root/tindra.log"
  exit 1
fi
echo "desktop_session: correcto"
