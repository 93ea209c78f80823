#!/usr/bin/env bash
# The application's windows under a real X server and window manager (Xvfb and openbox), driven
# with xdotool as a user would: Ctrl+V in the paste area of "Mis datos" while nothing owns the
# clipboard (nothing was ever copied on the display) leaves the application running and the text
# as it was, and pastes once the clipboard holds something; the window manager offers neither minimise, maximise nor full screen for the
# handwriting sheet "Tu firma manuscrita", which takes the keyboard (Escape cancels it).
# Usage: desktop_windows.sh path/to/tindra path/to/clipboardtext path/to/handwritingsheet
set -uo pipefail

tindra=$1
clipboardtext=$2
handwritingsheet=$3
name=desktop_windows
tools="xprop xwininfo"
source "$(dirname "$0")/desktop_common.sh"

# 1. Ctrl+V in "Mis datos" with no owner of the clipboard.
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no home window"; else
  focus "$home"
  # "Mis datos", the second item of the sidebar: below the menu bar, the sidebar's top inset
  # (24), its header (about 40) and the space after it (24), then the first item (32) and a gap
  # of 2; the pane gives its paste area the keyboard when it shows.
  xdotool mousemove --window "$home" 80 168 click 1
  sleep 1
  xdotool type --delay 20 "hola"
  sleep 0.3
  xdotool key --clearmodifiers ctrl+v
  sleep 1
  if ! kill -0 "$app" 2>/dev/null || ends "$app" 0; then
    fail "Ctrl+V with nothing on the clipboard ended the application"
  else
    # What the area holds, read back through the clipboard, which the application now owns.
    xdotool key --clearmodifiers ctrl+a
    xdotool key --clearmodifiers ctrl+c
    sleep 0.3
    held=$(timeout 10 "$clipboardtext")
    [ "$held" = "hola" ] || fail "the paste area holds «$held» after Ctrl+V, not «hola»"
    # With something on the clipboard, Ctrl+V pastes it.
    xdotool key --clearmodifiers ctrl+End
    xdotool key --clearmodifiers ctrl+v
    xdotool key --clearmodifiers ctrl+a
    xdotool key --clearmodifiers ctrl+c
    sleep 0.3
    held=$(timeout 10 "$clipboardtext")
    [ "$held" = "holahola" ] || fail "the paste area holds «$held» after pasting «hola», not «holahola»"
    focus "$home"
    xdotool key --clearmodifiers ctrl+q
    ends "$app" || { fail "Ctrl+Q did not end the application"; kill -9 "$app"; }
  fi
fi

# 2. The handwriting sheet over its window.
"$handwritingsheet" >"$root/sheet.out" 2>&1 &
sheet_app=$!
pids+=("$sheet_app")
sheet=$(window Tindra)
if [ -z "$sheet" ]; then fail "no handwriting sheet"; else
  sleep 0.5  # the window manager has set its allowed actions
  properties=$(xprop -id "$sheet" _NET_WM_ALLOWED_ACTIONS _NET_WM_WINDOW_TYPE 2>&1)
  echo "$name: the handwriting sheet as the window manager sees it:"
  echo "$properties"
  if grep -Eq '_NET_WM_ACTION_(MINIMIZE|MAXIMIZE_HORZ|MAXIMIZE_VERT|FULLSCREEN)' <<<"$properties"; then
    fail "the window manager offers minimise, maximise or full screen for the handwriting sheet"
  fi
  grep -q '_NET_WM_ALLOWED_ACTIONS(ATOM) = ' <<<"$properties" ||
    fail "the window manager set no allowed actions for the handwriting sheet"
  # Opened over its window, it has the keyboard.
  xdotool key --clearmodifiers Escape
  if ends "$sheet_app" 5000; then
    grep -qx cancelado "$root/sheet.out" || fail "Escape did not cancel the sheet: $(cat "$root/sheet.out")"
  else
    fail "Escape on the handwriting sheet did not close it"
  fi
fi

finish
