# What the desktop sessions share: a private X server with openbox, a private home with the
# welcome already seen, and the steps a user takes. Sourced with `name` (the session's name, for
# its messages) and `tools` (the programs it needs besides Xvfb, openbox and xdotool) set; a
# missing program skips the session (status 77).

for tool in Xvfb openbox xdotool $tools; do
  if ! command -v "$tool" >/dev/null; then
    echo "$name: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done

root=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT

# A display number no other session of the same run is likely to take.
display=:$((90 + $$ % 400))
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
fail() { echo "$name: $*"; failures=$((failures + 1)); }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The id of the visible window whose title matches the whole of $1, waiting up to $2 tenths of a
# second (10 s when not given).
window() {
  local id=""
  for _ in $(seq "${2:-100}"); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
# Whether process $1 ends within $2 milliseconds (10 s when not given; a zombie has ended).
ends() {
  local limit=$(($(now_ms) + ${2:-10000}))
  while [ "$(now_ms)" -le "$limit" ]; do
    if [ ! -e "/proc/$1/stat" ] || awk '{exit !($3 == "Z")}' "/proc/$1/stat" 2>/dev/null; then return 0; fi
    sleep 0.02
  done
  return 1
}
# Starts the application (`tindra` set by the session) with the arguments given; its process id
# in $app.
start() {
  "$tindra" "$@" >>"$root/tindra.log" 2>&1 &
  app=$!
  pids+=("$app")
}
focus() { xdotool windowactivate --sync "$1" >/dev/null 2>&1; sleep 0.3; }
# Presses Ctrl+Q on the focused window and whether the application ends within $1 milliseconds
# of the key's being sent, on top of as long as xdotool took to start and send it (most of the
# way on a loaded machine); $2 names the window in the messages. A failure when it does not, and
# then the application is killed.
quit_ends() {
  local asked sent
  asked=$(now_ms)
  xdotool key --clearmodifiers ctrl+q
  sent=$(now_ms)
  if ends "$app" "$1"; then
    echo "$name: ended $(($(now_ms) - sent)) ms after Ctrl+Q on $2 (xdotool took $((sent - asked)) ms to send it)"
    return 0
  fi
  fail "Ctrl+Q on $2 did not end the application within $1 ms of the key (xdotool took $((sent - asked)) ms to send it)"
  kill -9 "$app"
  return 1
}
# The same on window $1, focused first; $2 the limit, $3 the window's name.
ctrl_q_ends() {
  focus "$1"
  quit_ends "$2" "$3"
}

# A certificate of the user's in the NSS store of the private home.
make_certificate() {
  local nss=$HOME/.pki/nssdb
  mkdir -p "$nss"
  certutil -N -d "sql:$nss" --empty-password >/dev/null 2>&1
  head -c 64 /dev/urandom >"$root/noise"
  certutil -S -x -d "sql:$nss" -n prueba -s "CN=Ana Prueba,O=Tindra,C=ES" -t "u,u,u" -k rsa \
    -g 2048 -v 12 --keyUsage digitalSignature,nonRepudiation -z "$root/noise" >/dev/null 2>&1 ||
    fail "certutil could not make the test certificate"
}

# Ends the session: the application's output when a step failed.
finish() {
  if [ "$failures" -gt 0 ]; then
    cat "$root/tindra.log"
    exit 1
  fi
  echo "$name: correcto"
}
